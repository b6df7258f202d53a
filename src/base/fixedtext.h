// Text fields with a fixed capacity.
//
// Every name, address, subject and path the gateway keeps has a capacity
// that includes the terminating zero: a 128-byte field holds 127
// characters. Assigning longer text cuts it there, silently, so no input
// can overrun a field and no cut can be forgotten at a call site.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

template <std::size_t N>
struct fixedtext {
    static_assert(N >= 1);
    static constexpr std::size_t capacity = N;

    char buf[N] = {};

    fixedtext() = default;
    fixedtext(std::string_view s) { assign(s); }  // NOLINT: implicit by design
    fixedtext(const char* s) { assign(s ? std::string_view(s) : std::string_view()); }

    fixedtext& operator=(std::string_view s) {
        assign(s);
        return *this;
    }
    fixedtext& operator=(const char* s) {
        assign(s ? std::string_view(s) : std::string_view());
        return *this;
    }

    // Copies at most N-1 bytes; the source may overlap this field.
    void assign(std::string_view s) {
        std::size_t n = std::min(s.size(), N - 1);
        if (n) std::memmove(buf, s.data(), n);
        buf[n] = '\0';
    }
    // Appends as much of s as still fits.
    void append(std::string_view s) {
        std::size_t len = size();
        std::size_t n = std::min(s.size(), N - 1 - len);
        if (n) std::memmove(buf + len, s.data(), n);
        buf[len + n] = '\0';
    }
    void clear() { buf[0] = '\0'; }

    const char* c_str() const { return buf; }
    char* data() { return buf; }
    std::size_t size() const { return std::strlen(buf); }
    bool empty() const { return buf[0] == '\0'; }
    std::string_view sv() const { return std::string_view(buf, size()); }
    std::string str() const { return std::string(buf, size()); }
    operator std::string_view() const { return sv(); }  // NOLINT: implicit by design

    bool operator==(std::string_view o) const { return sv() == o; }
    bool operator==(const char* o) const { return sv() == std::string_view(o); }
    template <std::size_t M>
    bool operator==(const fixedtext<M>& o) const { return sv() == o.sv(); }
    char operator[](std::size_t i) const { return buf[i]; }
    char& operator[](std::size_t i) { return buf[i]; }
};

using text9 = fixedtext<9>;
using text21 = fixedtext<21>;
using text32 = fixedtext<32>;
using text64 = fixedtext<64>;
using text72 = fixedtext<72>;
using text128 = fixedtext<128>;
using text256 = fixedtext<256>;
// Paths: directories and file names hold up to 4094 characters.
using pathtext = fixedtext<4095>;
