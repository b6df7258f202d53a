// The Internet header of an exported message: recipients, sender, subject,
// date, Message-IDs, gateway identity and the MIME lines of the text part.
#pragma once

#include <string>
#include <string_view>

#include "export/exportmsg.h"

// The MIME boundary between the text and attached files.
inline constexpr char EXPORTBOUNDARY[] = "+=PondLark=+";

// The whole header of the current message, from the "To:" (or
// "Newsgroups:") line to the empty line that ends it (for a file attach,
// the header of the text part). Reads curmsg, cfg, lists (the members of
// a list distribution); for a list distribution the list file is read and
// closed again.
std::string rfcheader(const exportmsg& m);

// A header value from FidoNet data on one line: control characters other
// than tab (a line feed could start a header of its own) become spaces.
std::string headervalue(std::string_view s);

// headervalue() for the text of a comment "( )": "(", ")" and "\" are
// escaped, so a name with one bracket cannot swallow the rest of the line.
std::string headercomment(std::string_view s);
