#include "driver/codec.h"

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
constexpr std::array<std::uint32_t, 256> makecrctable() {
    std::array<std::uint32_t, 256> tab{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tab[i] = c;
    }
    return tab;
}
constexpr std::array<std::uint32_t, 256> crc_32_tab = makecrctable();
}  // namespace

std::uint32_t crc32(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ crc_32_tab[(crc ^ p[i]) & 0xFF];
    return ~crc;
}
