#include "base/termsafe.h"

namespace {

// The code point of a well-formed UTF-8 character of n bytes at s[i] (no
// overlong forms, surrogates or values beyond U+10FFFF), else -1.
long utf8char(std::string_view s, std::size_t i, std::size_t& n) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return -1;
    long cp = c & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return -1;
    return cp;
}

bool unsafecodepoint(long cp) {
    return (cp >= 0x80 && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 ||
           cp == 0x2029;
}

void escapebyte(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 15];
}

}  // namespace

std::size_t unsafelength(std::string_view text, std::size_t i, int allow) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20) {
        if (c == '\n' && (allow & TERM_NEWLINE)) return 0;
        if (c == '\t' && (allow & TERM_TAB)) return 0;
        return 1;
    }
    if (c < 0x7F) return 0;
    if (c == 0x7F) return 1;
    std::size_t n = 0;
    long cp = utf8char(text, i, n);
    if (cp < 0) return c <= 0x9F ? 1 : 0;
    return unsafecodepoint(cp) ? n : 0;
}

void appendtermsafe(std::string& out, std::string_view text, int allow) {
    std::size_t i = 0;
    while (i < text.size()) {
        // Plain text is copied in runs: log lines are mostly ASCII.
        std::size_t run = i;
        while (run < text.size()) {
            unsigned char c = static_cast<unsigned char>(text[run]);
            if (c < 0x20 || c >= 0x7F) break;
            ++run;
        }
        out.append(text.substr(i, run - i));
        i = run;
        if (i >= text.size()) break;
        std::size_t n = unsafelength(text, i, allow);
        if (n == 0) {
            std::size_t len = 0;
            n = static_cast<unsigned char>(text[i]) >= 0x80 && utf8char(text, i, len) >= 0 ? len : 1;
            out.append(text.substr(i, n));
        } else {
            for (std::size_t k = 0; k < n; ++k) escapebyte(out, static_cast<unsigned char>(text[i + k]));
        }
        i += n;
    }
}

std::string termsafe(std::string_view text, int allow) {
    std::string out;
    out.reserve(text.size());
    appendtermsafe(out, text, allow);
    return out;
}

bool istermsafe(std::string_view text, int allow) {
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            ++i;
            continue;
        }
        if (unsafelength(text, i, allow) != 0) return false;
        std::size_t len = 0;
        i += c >= 0x80 && utf8char(text, i, len) >= 0 ? len : 1;
    }
    return true;
}
