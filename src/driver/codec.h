// Digits of the encodings the gateway reads and writes, the day of the week
// and the CRC-32 used for serials, passwords and the member index.
#pragma once

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

// The Base64 value of a character code ("-" counts like "/"); -1 outside
// the alphabet and for codes below 32 or above 127.
int mimevalue(int c);

// The uuencode character of a 6-bit value: 0 gives "`".
char uuenc(int v);

// Day of the week, 0 Sunday .. 6 Saturday, of year, month 1..12 and day.
int dow(int year, int mon, int day);

// The standard CRC-32 (ISO 3309, as zlib) of n bytes.
std::uint32_t crc32(const void* data, std::size_t n);
inline std::uint32_t crc32(std::string_view s) { return crc32(s.data(), s.size()); }
