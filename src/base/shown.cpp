#include "base/shown.h"

#include "base/codec.h"

namespace {
// The length of the well-formed UTF-8 character at the start of s, or 0.
std::size_t utf8length(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = b(0);
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n == 0 || c > 0xF4 || s.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((b(i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points above U+10FFFF.
    if (n == 3 && c == 0xE0 && b(1) < 0xA0) return 0;
    if (n == 3 && c == 0xED && b(1) >= 0xA0) return 0;
    if (n == 4 && c == 0xF0 && b(1) < 0x90) return 0;
    if (n == 4 && c == 0xF4 && b(1) >= 0x90) return 0;
    // C1 controls (U+0080 to U+009F) act on some terminals.
    if (n == 2 && c == 0xC2 && b(1) < 0xA0) return 0;
    return n;
}
}  // namespace

std::string showntext(std::string_view text, std::size_t max) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (i >= max) {
            out += "...";
            break;
        }
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (c >= 0x80) {
            std::size_t n = utf8length(text.substr(i));
            if (n > 0) {
                if (i + n > max) {
                    out += "...";
                    break;
                }
                out.append(text.substr(i, n));
                i += n;
                continue;
            }
        }
        if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out.push_back(tohexdigit(c >> 4));
            out.push_back(tohexdigit(c & 15));
        }
        ++i;
    }
    return out;
}
