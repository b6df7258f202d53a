// The text of an exported message: FidoNet lines (ended by carriage
// returns, of any length, with kludges and a trailer) become Internet lines
// of at most LineWidth characters, quoted-printable when the text needs it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "export/exportmsg.h"
#include "export/pktinput.h"
#include "import/replies.h"

// Looks through the text ahead (pieces of LineWidth characters; kludge
// lines and empty lines are passed over) and goes back to where it began.
// Sets m.empty when no line is worth sending and m.needsencoding when a
// line has a control character, DEL or an 8-bit byte. Returns 0, or -1
// when the input cannot be positioned.
[[nodiscard]] int prescantext(pktinput& in, exportmsg& m);

// Writes the text from the input's position to out: kludge lines and
// everything from the trailer on (tear line with origin, SEEN-BY or Via
// after it; an origin line) left out, long lines wrapped with their quote
// prefix carried, quoted-printable when m.needsencoding and UseQP. Consumes
// the text through its terminating zero. Returns 0, or -1 when the input
// cannot be positioned.
[[nodiscard]] int writebody(pktinput& in, replymsg& out, const exportmsg& m);

// Appends one line of the gateway's own to the text of the message: in
// InternetCharSet for a converted message and quoted-printable when the
// text is (as writebody() writes its lines), without wrapping.
void appendbodyline(replymsg& out, const exportmsg& m, std::string_view line);

// Where a line cut at width breaks: the last white space at a position
// from 33 to width - 1, else the last character there that is neither a
// letter nor a digit (8-bit bytes count as letters, so no character of the
// message's character set is split). npos when there is none.
std::size_t wrapposition(std::string_view line, std::size_t width);

// The quote prefix a wrapped line carries to its continuation: up to and
// including the first ">" among the first 6 characters, and a space, when
// no "<" stands among the first 7; otherwise carried stays.
std::string quoteprefix(std::string_view line, const std::string& carried);

// One text line quoted-printable: "=", control characters, DEL and 8-bit
// bytes (and a space that ends the line) as "=XX", with soft line breaks
// ("=" at the end) so that no line is longer than 76 characters. The
// result ends with a line feed.
std::string qpencode(std::string_view line);

// qpencode() appended to out.
void appendqp(std::string& out, std::string_view line);
