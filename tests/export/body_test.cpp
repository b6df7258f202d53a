#include "export/body.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/codec.h"
#include "support/testutil.h"

namespace {

// Quoted-printable decoding as a reader does it: soft breaks joined, =XX
// turned back into bytes; the single line's own line feed dropped.
std::string qpdecode(const std::string& enc) {
    std::string out;
    for (std::size_t i = 0; i < enc.size(); ++i) {
        if (enc[i] == '=' && i + 1 < enc.size() && enc[i + 1] == '\n') {
            ++i;
        } else if (enc[i] == '=' && i + 2 < enc.size()) {
            out += static_cast<char>(hexbyte(enc.c_str() + i + 1));
            i += 2;
        } else if (enc[i] != '\n') {
            out += enc[i];
        }
    }
    return out;
}

struct qpcase {
    const char* name;
    std::string line;
    std::string encoded;  // empty: only the limits and the round trip are checked
};

class qptest : public ::testing::TestWithParam<qpcase> {};

TEST_P(qptest, encodeswithinthelinelimit) {
    const qpcase& c = GetParam();
    std::string enc = qpencode(c.line);
    if (!c.encoded.empty()) {
        EXPECT_EQ(enc, c.encoded);
    }
    ASSERT_FALSE(enc.empty());
    EXPECT_EQ(enc.back(), '\n');
    std::size_t start = 0;
    for (std::size_t nl; (nl = enc.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string l = enc.substr(start, nl - start);
        EXPECT_LE(l.size(), 76u) << l;
        // Every line but the last ends in a soft break, and no escape is split.
        if (nl + 1 < enc.size()) {
            EXPECT_EQ(l.back(), '=');
        } else if (!l.empty()) {
            EXPECT_NE(l.back(), ' ');
        }
        for (unsigned char ch : l) {
            EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << l;
        }
    }
    EXPECT_EQ(qpdecode(enc), c.line);
}

std::string highbytes(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(0x80 + i % 128);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    lines, qptest,
    ::testing::Values(
        qpcase{"escapes", "a=b\tc\x7f\xe9", "a=3Db=09c=7F=E9\n"},
        qpcase{"trailingspace", "ends with space ", "ends with space=20\n"},
        qpcase{"empty", "", "\n"},
        qpcase{"exactly76", std::string(76, 'x'), std::string(76, 'x') + "\n"},
        qpcase{"77breaks", std::string(77, 'x'), std::string(75, 'x') + "=\nxx\n"},
        qpcase{"escapenotsplit", std::string(74, 'x') + "\xe9y",
               std::string(74, 'x') + "=\n=E9y\n"},
        qpcase{"runafterescape", std::string("\xe9").append(80, 'x'),
               std::string("=E9").append(72, 'x').append("=\n").append(8, 'x').append("\n")},
        qpcase{"longhighbytes", highbytes(206), ""},
        qpcase{"mixedlong", std::string(50, 'a') + highbytes(30) + std::string(60, ' ') + "=", ""}),
    [](const auto& p) { return std::string(p.param.name); });

struct wrapcase {
    const char* name;
    std::string line;
    std::size_t width;
    std::size_t pos;
};

class wraptest : public ::testing::TestWithParam<wrapcase> {};

TEST_P(wraptest, breaksatthelastgoodplace) {
    EXPECT_EQ(wrapposition(GetParam().line, GetParam().width), GetParam().pos);
}

std::string words(const std::string& word, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += word;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    lines, wraptest,
    ::testing::Values(
        // Spaces at 9, 19, ..., 99: the last below 72 is at 69.
        wrapcase{"space", words("xxxxxxxxx ", 10), 72, 69},
        // Punctuation only when there is no space from position 33 on.
        wrapcase{"punctuation", words("aaaaaaaaa,", 10), 72, 69},
        wrapcase{"spacebeforepunctuation", std::string(40, 'a') + " " + words("b,", 20), 72, 40},
        wrapcase{"nothing", std::string(100, 'a'), 72, std::string::npos},
        // Position 33 is the first that may be used, 32 never.
        wrapcase{"at33", std::string(33, 'a') + " " + std::string(66, 'a'), 72, 33},
        wrapcase{"at32", std::string(32, 'a') + " " + std::string(67, 'a'), 72, std::string::npos},
        // 8-bit bytes are letters of the message's character set.
        wrapcase{"eightbit", std::string(100, '\xe9'), 72, std::string::npos},
        // A carried prefix makes the line longer than the width; positions
        // from the width on are never used.
        wrapcase{"beyondwidth", std::string(75, 'a') + " " + std::string(3, 'a'), 72,
                 std::string::npos}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(quoteprefixtest, carriesthequotemark) {
    EXPECT_EQ(quoteprefix("AB> quoted text", ""), "AB> ");
    EXPECT_EQ(quoteprefix(" > quoted", ""), " > ");
    EXPECT_EQ(quoteprefix("ABCDE> text", ""), "ABCDE> ");
    // Only the first 6 characters are looked at for ">".
    EXPECT_EQ(quoteprefix("ABCDEF> text", ""), "");
    // A "<" among the first 7 makes it no quote: the carried prefix stays.
    EXPECT_EQ(quoteprefix("<a> text", "X> "), "X> ");
    EXPECT_EQ(quoteprefix("abc> x<", ""), "");
    EXPECT_EQ(quoteprefix("plain text", "AB> "), "AB> ");
}

}  // namespace

namespace {

struct prescancase {
    const char* name;
    std::string text;  // the message text from its first body line on
    bool empty;
    bool needsencoding;
};

class prescantest : public statetest, public ::testing::WithParamInterface<prescancase> {};

// The pre-scan looks at the text as the body writer reads it, in pieces of
// LineWidth, and leaves the input where it found it.
TEST_P(prescantest, findsemptyandeightbittext) {
    const prescancase& c = GetParam();
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::string bytes = "ahead" + c.text;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::rewind(f);
    {
        pktinput in(f);
        unsigned char skip[5];
        ASSERT_EQ(in.read(skip, sizeof skip), sizeof skip);
        exportmsg m;
        ASSERT_EQ(prescantext(in, m), 0);
        EXPECT_EQ(m.empty, c.empty);
        EXPECT_EQ(m.needsencoding, c.needsencoding);
        EXPECT_EQ(in.tell(), 5);
    }
    std::fclose(f);
}

std::string withzero(std::string s) {
    s.push_back('\0');
    return s;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    texts, prescantest,
    ::testing::Values(
        prescancase{"eightbit", withzero("hello\rw\xe4ter\r"), false, true},
        prescancase{"tab", withzero("a\tb\r"), false, true},
        prescancase{"kludgesdonotcount", withzero("\x01" "CHRS: \xe9\r\x01PID: x\r"), true, false},
        prescancase{"emptylines", withzero("\r\r"), true, false},
        // A line feed after a carriage return begins no line of its own.
        prescancase{"crlf", withzero("one\r\ntwo\r\n"), false, false},
        prescancase{"crlfkludge", withzero("\r\n\x01" "A \xe9\r\n"), true, false},
        // Elsewhere a line feed is a control character...
        prescancase{"linefeedinside", withzero("a\nb\r"), false, true},
        // ... except at the start of a piece: a line cut at the width.
        prescancase{"linefeedatthewidth", withzero(std::string(72, 'x') + "\ny\r"), false, false},
        prescancase{"linefeedafterthewidth", withzero(std::string(73, 'x') + "\ny\r"), false, true},
        // The last line counts without its carriage return, also at the file's end.
        prescancase{"endoffile", "ok\r\xe9", false, true},
        // What follows the zero is the next message.
        prescancase{"afterthezero", withzero("ok\r") + "\xe9\r", false, false}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

}  // namespace
