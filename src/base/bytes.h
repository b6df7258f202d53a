// Fixed-width integers in byte buffers, in a stated byte order. Binary
// formats (FidoNet packets and stored messages) are read and written only
// through these, at named offsets; a struct is never written as it lies in
// memory.
#pragma once

#include <cstdint>

inline void put16le(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline std::uint16_t get16le(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void put32le(unsigned char* p, std::uint32_t v) {
    put16le(p, static_cast<std::uint16_t>(v & 0xFFFF));
    put16le(p + 2, static_cast<std::uint16_t>(v >> 16));
}

inline std::uint32_t get32le(const unsigned char* p) {
    return static_cast<std::uint32_t>(get16le(p)) |
           (static_cast<std::uint32_t>(get16le(p + 2)) << 16);
}

inline void put32be(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>((v >> 16) & 0xFF);
    p[2] = static_cast<unsigned char>((v >> 8) & 0xFF);
    p[3] = static_cast<unsigned char>(v & 0xFF);
}

inline std::uint32_t get32be(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
