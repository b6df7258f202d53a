// How the viewer (pondlark show) writes the bytes of a message as text
// lines a person can read and a terminal can show: kludge bytes marked,
// control bytes and 8-bit bytes that are no UTF-8 written as escapes. The
// escapes are those of the packet descriptions the tests build packets
// from (tests/export/mkpkt.py), so that a description written with /raw
// builds the same bytes again.
#pragma once

#include <string>
#include <string_view>

// One line of message text (without its line end) as it is shown: 0x01 as
// "^A"; other control bytes, DEL, bytes above 127 that are no part of a
// UTF-8 character, and the bytes of UTF-8 C1 and bidirectional controls
// (base/termsafe.h) as "\xNN"; a backslash as "\\"; a "^" that "A" follows
// as "\x5E"; a "c" after a backslash at the end as "\x63" (so that the
// end is not read as "\c"). A line that is only "." becomes "\x2E", so
// that it does not end the text.
std::string viewline(std::string_view bytes);

// The same for a header field value (name, subject, date): no "." rule.
std::string viewfield(std::string_view bytes);

// The text of a line in UTF-8 when charset (an ICU name) is given and
// the line holds 8-bit bytes; the bytes as they are otherwise, or when
// they cannot be converted.
std::string viewutf8(std::string_view bytes, const std::string& charset);

// The words for a FidoNet attribute word: "private, file attached", or
// "" when no bit is set.
std::string attributewords(unsigned attr);
