#include "pkt/pktappend.h"

#include <cstdarg>
#include <cstdio>

void pktappendf(std::string& out, const char* fmt, ...) {
    // Most texts fit a small buffer and are formatted once; only a longer
    // one is formatted again into its full length.
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
    } else if (n > 0) {
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data() + old, static_cast<std::size_t>(n) + 1, fmt, copy);
        out.resize(old + static_cast<std::size_t>(n));
    }
    va_end(copy);
}

void appenddec(std::string& out, unsigned long v, int width) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (end - p < width && p > digits) *--p = '0';
    int n = static_cast<int>(end - p);
    // Wider than the digits buffer: the rest of the zeros in front.
    if (n < width) out.append(static_cast<std::size_t>(width - n), '0');
    out.append(p, static_cast<std::size_t>(n));
}

void appendhex8(std::string& out, std::uint32_t v) {
    static const char hex[] = "0123456789ABCDEF";
    char digits[8];
    for (int i = 0; i < 8; ++i) digits[i] = hex[(v >> (28 - 4 * i)) & 15];
    out.append(digits, sizeof digits);
}

namespace {
// The decimal digits of v in front of end; returns where they begin.
char* putdec(char* end, unsigned v) {
    do {
        *--end = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}
}  // namespace

void appendaddr(std::string& out, const fidoaddr& a, bool withpoint) {
    // Filled from the back: "zone:net/node.point" in one piece.
    char text[32];
    char* end = text + sizeof text;
    char* p = end;
    if (withpoint) {
        p = putdec(p, a.point);
        *--p = '.';
    }
    p = putdec(p, a.node);
    *--p = '/';
    p = putdec(p, a.net);
    *--p = ':';
    p = putdec(p, a.zone);
    out.append(p, static_cast<std::size_t>(end - p));
}
