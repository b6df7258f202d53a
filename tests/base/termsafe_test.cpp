// Nothing raw reaches a log or a terminal: the escapes of termsafe, and
// logprintf's formatting, which escapes its arguments and nothing else.
#include "base/termsafe.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "driver/log.h"

namespace {

// A property every escaped text has: no C0 control but what allow lets
// pass, no DEL, no lone byte 0x80..0x9F, no UTF-8 C1, bidirectional
// control or line separator. Checked by decoding it afresh here.
bool safe(const std::string& s, int allow) {
    auto cont = [&](std::size_t k) { return k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80; };
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\n' && (allow & TERM_NEWLINE)) continue;
        if (c == '\t' && (allow & TERM_TAB)) continue;
        if (c < 0x20 || c == 0x7F) return false;
        if (c < 0x80) continue;
        std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        bool whole = n > 0;
        for (std::size_t k = 1; k < n; ++k) whole = whole && cont(i + k);
        unsigned long cp = 0;
        if (whole) {
            cp = c & (n == 2 ? 0x1Fu : n == 3 ? 0x0Fu : 0x07u);
            for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
            if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
                whole = false;
        }
        if (!whole) {
            if (c <= 0x9F) return false;  // a lone 8-bit C1
            continue;
        }
        if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
            (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029)
            return false;
        i += n - 1;
    }
    return true;
}

}  // namespace

TEST(termsafe, escapesthecontrolsandkeepsthetext) {
    struct {
        std::string in, out;
    } cases[] = {
        {"Jane Doe", "Jane Doe"},
        {"Evil\nNode", "Evil\\x0ANode"},
        {"x\r\n--- forged line", "x\\x0D\\x0A--- forged line"},
        {"\x1b[31mred", "\\x1B[31mred"},
        {"csi \x9b" "2J", "csi \\x9B2J"},              // the 8-bit CSI alone
        {"utf8 csi \xc2\x9b" "2J", "utf8 csi \\xC2\\x9B2J"},  // U+009B
        {"abc\xe2\x80\xaeolleh", "abc\\xE2\\x80\\xAEolleh"},    // U+202E
        {"isolate \xe2\x81\xa6x", "isolate \\xE2\\x81\\xA6x"},  // U+2066
        {"sep \xe2\x80\xa8", "sep \\xE2\\x80\\xA8"},            // U+2028
        {"Gr\xc3\xbc\xc3\x9f" "e", "Gr\xc3\xbc\xc3\x9f" "e"},   // UTF-8 letters stay
        {"Gr\xfc\xdf" "e", "Gr\xfc\xdf" "e"},                   // and Latin-1 ones
        {"tab\there", "tab\\x09here"},
        {"del\x7f", "del\\x7F"},
        {std::string("nul\0x", 5), "nul\\x00x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(termsafe(c.in), c.out) << c.in;
        EXPECT_EQ(istermsafe(c.in), c.in == c.out) << c.in;
    }
    EXPECT_EQ(termsafe("a\tb\nc\x1b", TERM_NEWLINE | TERM_TAB), "a\tb\nc\\x1B");
}

// Random bytes, skewed towards the dangerous ones: the escaped text is
// always safe, and text that was safe is left as it was.
TEST(termsafe, everyescapedtextissafe) {
    std::mt19937 rng(2204);
    const unsigned char interesting[] = {'\n', '\r', 0x1b, 0x9b, 0xc2, 0xe2, 0x80, 0xae, 0x81, 0xa6, 'a', ' '};
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        std::size_t n = rng() % 24;
        for (std::size_t i = 0; i < n; ++i) {
            s += rng() % 2 ? static_cast<char>(interesting[rng() % sizeof interesting]) : static_cast<char>(rng() % 256);
        }
        for (int allow : {static_cast<int>(TERM_NONE), TERM_NEWLINE | TERM_TAB}) {
            std::string e = termsafe(s, allow);
            ASSERT_TRUE(safe(e, allow)) << ::testing::PrintToString(s);
            ASSERT_TRUE(istermsafe(e, allow));
            if (safe(s, allow)) {
                ASSERT_EQ(e, s) << ::testing::PrintToString(s);
            }
        }
    }
}

TEST(logformat, formatslikeprintfandescapesonlythearguments) {
    EXPECT_EQ(logformat("-> %ld messages exported\nmail: %-5ld     news: %-5ld\n", 7L, 3L, 4L),
              "-> 7 messages exported\nmail: 3         news: 4    \n");
    EXPECT_EQ(logformat("%hu:%hu/%hu.%hu", static_cast<unsigned short>(2), static_cast<unsigned short>(280),
                        static_cast<unsigned short>(5555), static_cast<unsigned short>(0)),
              "2:280/5555.0");
    EXPECT_EQ(logformat("%3d%% %5.2f %x %zu %c|%-4s|%.*s|", 7, 1.5, 255u, static_cast<std::size_t>(12), 'x', "ab", 3,
                        "abcdef"),
              "  7%  1.50 ff 12 x|ab  |abc|");
    EXPECT_EQ(logformat("- from %s (%s) to %s\n", "2:280/5556", "Evil\nFAKE: export done", "x@y.example"),
              "- from 2:280/5556 (Evil\\x0AFAKE: export done) to x@y.example\n");
    EXPECT_EQ(logformat("%s", "\xe2\x80\xae" "gnp.exe"), "\\xE2\\x80\\xAEgnp.exe");
    EXPECT_EQ(logformat("%c", '\n'), "\\x0A");
    EXPECT_EQ(logformat("%lld %llu", -5LL, 6ULL), "-5 6");
}

// Whatever the arguments hold, a line of the log is a line of the format.
TEST(logformat, argumentsneverbreakaline) {
    std::mt19937 rng(2205);
    for (int round = 0; round < 5000; ++round) {
        std::string arg;
        for (std::size_t i = 0, n = rng() % 30; i < n; ++i) arg += static_cast<char>(rng() % 256);
        if (arg.find('\0') != std::string::npos) arg.erase(arg.find('\0'));
        std::string line = logformat("! msg from %s (%s): %s\n", "2:280/5556", arg.c_str(), arg.c_str());
        ASSERT_EQ(line.find('\n'), line.size() - 1) << ::testing::PrintToString(arg);
        ASSERT_TRUE(safe(line, TERM_NEWLINE)) << ::testing::PrintToString(arg);
    }
}
