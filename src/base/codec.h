// Digits of the encodings the gateway reads and writes, the day of the week
// and the CRC-32 used for serials, passwords and the member index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern const char MIMEALPHABET[];       // the Base64 alphabet of RFC 2045
extern const char* const weekday[7];    // "Sun" .. "Sat", 0 is Sunday
extern const char* const month[12];     // "Jan" .. "Dec", 0 is January
extern const char packetext[];          // ".PKT"

// The upper-case hexadecimal digit of a value 0..15.
char tohexdigit(int v);

// The value of a hexadecimal digit; 0 for anything else.
int hexdigit(int c);

// The byte written as two hexadecimal digits (quoted-printable escapes).
int hexbyte(const char* two);

// Base64 values of the byte values, -1 outside the alphabet; a table,
// since attachments are decoded through it byte by byte.
inline constexpr std::array<signed char, 256> MIMEVALUES = [] {
    std::array<signed char, 256> t{};
    for (signed char& v : t) v = -1;
    for (int i = 0; i < 26; ++i) {
        t['A' + i] = static_cast<signed char>(i);
        t['a' + i] = static_cast<signed char>(26 + i);
    }
    for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<signed char>(52 + i);
    t['+'] = 62;
    t['/'] = 63;
    t['-'] = 63;
    return t;
}();

// The Base64 value of a character code ("-" counts like "/"); -1 outside
// the alphabet and for codes below 32 or above 127.
inline int mimevalue(int c) {
    return c >= 0 && c < 256 ? MIMEVALUES[static_cast<std::size_t>(c)] : -1;
}

// The uuencode character of a 6-bit value: 0 gives "`".
char uuenc(int v);

// Day of the week, 0 Sunday .. 6 Saturday, of year, month 1..12 and day.
int dow(int year, int mon, int day);

// The standard CRC-32 (ISO 3309, as zlib) of n bytes.
std::uint32_t crc32(const void* data, std::size_t n);
inline std::uint32_t crc32(std::string_view s) { return crc32(s.data(), s.size()); }
