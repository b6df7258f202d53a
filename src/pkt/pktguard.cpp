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

// Eight bytes at a time: whether any of them is below 0x20.
bool anycontrol(std::uint64_t w) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    return ((w - ones * 0x20) & ~w & highs) != 0;
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

const guardrule& guardfor() {
    // Looked up once per character set: most messages of a run share one.
    static const guardrule utf8;
    static std::string charset;
    static guardrule other;
    const std::string& cs = curmsg.outcharset;
    if (cs.empty() || cs == "UTF-8") return utf8;
    if (cs != charset) {
        charset = cs;
        other.utf8 = isutf8charset(cs);
        other.c1 = other.utf8 ? 0 : charsetc1bytes(cs);
    }
    return other;
}

void guardvalue(char* p, std::size_t n, const guardrule& rule) {
    for (std::size_t i = 0; i < n; ++i) {
        switch (BYTECLASS[byteat(p, i)]) {
            case B_OK:
                break;
            case B_CONTROL:
                p[i] = ' ';
                break;
            case B_C1:
                if (!rule.utf8 && (rule.c1 >> (byteat(p, i) - 0x80) & 1)) p[i] = ' ';
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
    std::size_t i = 0;
    for (;;) {
        // Plain text has no byte below 0x20: it is passed over eight bytes
        // at a time.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (anycontrol(w)) break;
            i += 8;
        }
        std::size_t stop = i + 8 < n ? i + 8 : n;
        if (i >= n) return;
        for (; i < stop; ++i) {
            unsigned char c = byteat(p, i);
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
}

void appendguarded(std::string& out, std::string_view text) {
    std::size_t from = out.size();
    out.append(text);
    guardvalue(out.data() + from, text.size(), guardfor());
}

void appendbodyline(std::string& out, std::string_view text) {
    std::size_t from = out.size();
    out.append(text);
    guardbody(out.data() + from, text.size());
    out.push_back('\r');
}

void appendkludgeline(std::string& out, std::string_view text, bool continuation) {
    out.append(continuation ? "\x01  " : "\x01");
    appendguarded(out, text);
    out.push_back('\r');
}
