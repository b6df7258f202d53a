#include "base/codec.h"

#include <array>

const char MIMEALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char* const weekday[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const month[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char packetext[] = ".PKT";

char tohexdigit(int v) { return "0123456789ABCDEF"[v & 15]; }

int hexdigit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

int hexbyte(const char* two) {
    return (hexdigit(static_cast<unsigned char>(two[0])) << 4) |
           hexdigit(static_cast<unsigned char>(two[1]));
}

char uuenc(int v) { return v == 0 ? '`' : static_cast<char>((v & 63) + 32); }

int dow(int year, int mon, int day) {
    static const int t[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (mon < 1 || mon > 12) mon = 1;
    int y = year;
    if (mon < 3) y -= 1;
    int r = (y + y / 4 - y / 100 + y / 400 + t[mon - 1] + day) % 7;
    return r < 0 ? r + 7 : r;
}

namespace {
// Eight tables, each a further byte on: the CRC takes eight bytes a step
// ("slicing by 8"), since export folds every header line into a hash.
using crctables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr crctables makecrctables() {
    crctables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}
constexpr crctables crc_32_tab = makecrctables();

std::uint32_t load32le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
}  // namespace

std::uint32_t crc32(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    const crctables& t = crc_32_tab;
    std::uint32_t crc = 0xFFFFFFFFu;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint32_t one = load32le(p) ^ crc;
        std::uint32_t two = load32le(p + 4);
        crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^
              t[4][one >> 24] ^ t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^
              t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
    }
    for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return ~crc;
}
