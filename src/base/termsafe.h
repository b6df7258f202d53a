// Text that reaches a person's terminal or log: the log, standard error and
// what `pondlark show` writes. Names, subjects, addresses and server replies
// come from strangers; a line feed in one would forge a log line, an escape
// sequence (ESC, or the 8-bit CSI 0x9B, or U+009B in UTF-8) could rewrite
// the screen, and a bidirectional override (U+202E) could turn what is shown
// around. Such characters are written as "\xNN", byte by byte, the form the
// viewer already uses for bytes that are no text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What may pass raw besides ordinary text.
enum termallow {
    TERM_NONE = 0,
    TERM_NEWLINE = 1,  // line feeds (the lines of our own output)
    TERM_TAB = 2,      // tabs
};

// The number of bytes of the character at text[i] when it is one that
// must not reach a terminal raw: a C0 control or DEL (one byte), a C1
// control as a lone byte 0x80 to 0x9F that starts no UTF-8 character, or a
// UTF-8 character that is a C1 control (U+0080 to U+009F), a bidirectional
// control (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) or a
// line or paragraph separator (U+2028, U+2029). 0 for anything else: text,
// and 8-bit bytes of other character sets, which no terminal obeys.
std::size_t unsafelength(std::string_view text, std::size_t i, int allow = TERM_NONE);

// Appends text to out with every such character written as "\xNN" per byte.
void appendtermsafe(std::string& out, std::string_view text, int allow = TERM_NONE);

// The same, as a new text.
std::string termsafe(std::string_view text, int allow = TERM_NONE);

// Whether text holds nothing that appendtermsafe would escape.
bool istermsafe(std::string_view text, int allow = TERM_NONE);
