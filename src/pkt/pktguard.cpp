#include "pkt/pktguard.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "import/curmsg.h"
#include "mime/charsets.h"

namespace {

// What a byte of a value is: fine, a control (always a space), the lead
// byte of a UTF-8 sequence to look at, or a C1 byte of an ISO 8859 set.
enum byteclasses : unsigned char { B_OK = 0, B_CONTROL, B_UTF8LEAD, B_C1 };

constexpr std::array<unsigned char, 256> BYTECLASS = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = B_CONTROL;
    t[0x7F] = B_CONTROL;
    for (int c = 0x80; c < 0xA0; ++c) t[c] = B_C1;
    t[0xC2] = B_UTF8LEAD;  // U+0080..U+00BF
    t[0xE2] = B_UTF8LEAD;  // U+2000..U+2FFF
    return t;
}();

unsigned char byteat(const char* p, std::size_t i) {
    return static_cast<unsigned char>(p[i]);
}

// The length of the C1 control or bidirectional override that begins at
// p[i] in UTF-8 text, or 0.
std::size_t utf8control(const char* p, std::size_t i, std::size_t n) {
    unsigned char lead = byteat(p, i);
    if (lead == 0xC2) {
        return i + 1 < n && byteat(p, i + 1) >= 0x80 && byteat(p, i + 1) <= 0x9F ? 2 : 0;
    }
    if (i + 2 >= n || lead != 0xE2) return 0;
    unsigned char b1 = byteat(p, i + 1), b2 = byteat(p, i + 2);
    // U+202A..U+202E (E2 80 AA..AE) and U+2066..U+2069 (E2 81 A6..A9).
    if (b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) return 3;
    if (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9) return 3;
    return 0;
}

// Most text holds nothing to change: it is passed over eight bytes at a
// time (the last eight overlapping the ones before, a short text filled up
// with blanks), and looked at byte by byte only when that found something.
constexpr std::uint64_t ONES = 0x0101010101010101ULL;
constexpr std::uint64_t HIGHS = 0x8080808080808080ULL;
constexpr std::uint64_t BLANKS = 0x2020202020202020ULL;

// Bytes below 0x20 in w.
std::uint64_t controls(std::uint64_t w) {
    return (w - BLANKS) & ~w & HIGHS;
}

// Bytes that are no printable ASCII in w: below 0x20, 0x7F, above.
std::uint64_t others(std::uint64_t w) {
    std::uint64_t del = w ^ (ONES * 0x7F);
    return controls(w) | (w & HIGHS) | ((del - ONES) & ~del & HIGHS);
}

template <std::uint64_t (*Test)(std::uint64_t)>
bool anybyte(const unsigned char* p, std::size_t n) {
    std::uint64_t w = BLANKS;
    if (n < 8) {
        std::memcpy(&w, p, n);
        return Test(w) != 0;
    }
    std::uint64_t found = 0;
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        std::memcpy(&w, p + i, 8);
        found |= Test(w);
    }
    std::memcpy(&w, p + n - 8, 8);
    return (found | Test(w)) != 0;
}

bool anycontrol(const unsigned char* p, std::size_t n) {
    return anybyte<controls>(p, n);
}

// Whether a value holds a byte that is not printable ASCII.
bool anyother(const unsigned char* p, std::size_t n) {
    return anybyte<others>(p, n);
}

// A line begins at p (n bytes of it in this text): control information
// there is disarmed.
void disarm(char* p, std::size_t n) {
    if (n < 3) return;
    switch (p[0]) {
        case 'S':
        case 's':
            if (n >= 8 && memicmp(p, "seen-by:", 8) == 0) p[4] = '+';
            return;
        case 'A':
        case 'a':
            if (n >= 5 && memicmp(p, "area:", 5) == 0) p[4] = '+';
            return;
        case '-':
            if (p[1] == '-' && p[2] == '-' && (n == 3 || byteat(p, 3) <= ' ')) p[1] = '+';
            return;
        case ' ':
            if (n >= 10 && memicmp(p, " * origin:", 10) == 0) p[1] = '+';
            return;
        default:
            return;
    }
}

}  // namespace

const guardrule& guardforcharset(std::string_view cs) {
    // Looked up once per character set: most messages of a run share one.
    static const guardrule utf8;
    static std::string charset;
    static guardrule other;
    if (cs.empty() || cs == "UTF-8") return utf8;
    if (cs != charset) {
        charset = cs;
        other.utf8 = isutf8charset(charset);
        other.c1 = other.utf8 ? 0 : charsetc1bytes(charset);
    }
    return other;
}

const guardrule& guardfor() {
    return guardforcharset(curmsg.outcharset);
}

void guardvalue(char* p, std::size_t n, const guardrule& rule) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (!anyother(u, n)) return;
    for (std::size_t i = 0; i < n; ++i) {
        switch (BYTECLASS[u[i]]) {
            case B_OK:
                break;
            case B_CONTROL:
                p[i] = ' ';
                break;
            case B_C1:
                if (!rule.utf8 && (rule.c1 >> (u[i] - 0x80) & 1)) p[i] = ' ';
                break;
            case B_UTF8LEAD:
                if (rule.utf8) {
                    std::size_t len = utf8control(p, i, n);
                    if (len > 0) {
                        std::memset(p + i, ' ', len);
                        i += len - 1;
                    }
                }
                break;
        }
    }
}

void guardbody(char* p, std::size_t n) {
    disarm(p, n);
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (!anycontrol(u, n)) return;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = u[i];
        if (c >= 0x20) continue;
        if (c == '\0') {
            p[i] = ' ';
        } else if (c == '\x01') {
            p[i] = '@';
        } else if (c == '\r' || c == '\n') {
            disarm(p + i + 1, n - i - 1);
        }
    }
}
