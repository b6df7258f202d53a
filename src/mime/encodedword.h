// Encoded words of RFC 2047 ("=?utf-8?B?SsO8cmdlbg==?="): how Internet
// headers carry text that is not ASCII. This is the reading side; writing
// them is mime/headerencode.h.
#pragma once

#include <string>
#include <string_view>

// Whether value may hold an encoded word: the cheap test that lets the
// common ASCII header skip decoding.
inline bool hasencodedword(std::string_view value) {
    return value.find("=?") != std::string_view::npos;
}

// Decodes value into UTF-8 (appended to out): every encoded word, B or Q,
// in any charset ICU knows ("*language" after the charset is ignored);
// adjacent encoded words are joined without the white space between them,
// and their bytes are joined before conversion, so that a character split
// across two words survives. Text outside encoded words is taken as UTF-8
// when it is valid UTF-8, else as windows-1252 (raw 8-bit headers). An
// encoded word that cannot be read (unknown charset, bad syntax) stays as
// written. Control characters (a line break or 0x01 in a decoded word
// would end a FidoNet kludge line early or start a forged one) become
// blanks. Returns the number of encoded words decoded.
int decodeencodedwords(std::string_view value, std::string& out);
