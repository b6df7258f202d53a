// Text from outside shown on a terminal or in the log: what cannot be
// shown as it stands is written as an escape, so that no byte of it acts
// on the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// text with every control character, DEL and every byte that is no part of
// a well-formed UTF-8 character (or is a C1 control) written "\xNN"; a tab
// is written "\t" and a backslash stays one. At most max bytes of text are
// taken, never ending inside a character; "..." marks a cut.
std::string showntext(std::string_view text, std::size_t max = 200);
