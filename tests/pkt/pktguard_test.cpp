// The last step before the packet: values lose every control, body lines
// that a tosser would read as its own are disarmed, and nothing changes
// length. The tables are the ways a sender was seen to get control
// information through; the property at the end tries many more.
#include "pkt/pktguard.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

std::string value(std::string s, guardrule rule = guardrule{}) {
    guardvalue(s.data(), s.size(), rule);
    return s;
}

std::string body(std::string s) {
    guardbody(s.data(), s.size());
    return s;
}

TEST(pktguard, valueslosetheircontrols) {
    const struct {
        std::string given, safe;
    } cases[] = {
        {"Eve", "Eve"},
        {"hi\r\x01INTL 1:1/1 9:9/9", "hi  INTL 1:1/1 9:9/9"},
        {std::string("a\0b", 3), "a b"},
        {"tab\there\nline\x7f", "tab here line "},
        {"\x1b[31mred", " [31mred"},
        // UTF-8: C1 controls and bidirectional overrides, byte for byte.
        {"x\xc2\x85y", "x  y"},
        {"\xe2\x80\xae" "evil\xe2\x80\xac", "   evil   "},
        {"\xe2\x81\xa6iso\xe2\x81\xa9", "   iso   "},
        // Letters that share lead bytes stay.
        {"\xc2\xa9 \xe2\x80\x94 \xe2\x82\xac", "\xc2\xa9 \xe2\x80\x94 \xe2\x82\xac"},
        // A sequence cut at the end is no control.
        {"end\xe2\x80", "end\xe2\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(value(c.given), c.safe) << c.given;
}

TEST(pktguard, eightbitvaluesfollowtheircharacterset) {
    guardrule cp437{false, 0};
    guardrule latin1{false, 0xFFFFFFFFu};
    // In CP437 0x85 is a letter; in ISO 8859-1 a C1 control (NEL).
    EXPECT_EQ(value("a\x85" "b\x9f", cp437), "a\x85" "b\x9f");
    EXPECT_EQ(value("a\x85" "b\x9f", latin1), "a b ");
    EXPECT_EQ(value("\xe2\x80\xae", cp437), "\xe2\x80\xae");  // three CP437 letters
    EXPECT_EQ(value("\x01\r", cp437), "  ");
}

class pktguardmsg : public statetest {};

TEST_F(pktguardmsg, theruleofthemessagecomesfromitscharset) {
    curmsg.outcharset = "UTF-8";
    EXPECT_TRUE(guardfor().utf8);
    curmsg.outcharset = "ISO-8859-1";
    EXPECT_FALSE(guardfor().utf8);
    EXPECT_EQ(guardfor().c1, 0xFFFFFFFFu);
    curmsg.outcharset = "ibm-437_P100-1995";
    EXPECT_EQ(guardfor().c1, 0u);
    curmsg.outcharset = "windows-1252";
    // Its holes (0x81, 0x8D, 0x8F, 0x90, 0x9D) read as C1 controls.
    EXPECT_EQ(guardfor().c1, (1u << 1) | (1u << 0xD) | (1u << 0xF) | (1u << 0x10) | (1u << 0x1D));
    curmsg.outcharset.clear();
    EXPECT_TRUE(guardfor().utf8);
}

TEST(pktguard, bodylinesthatreadascontrolinformationaredisarmed) {
    const struct {
        std::string given, safe;
    } cases[] = {
        {"SEEN-BY: 1/1 2/2", "SEEN+BY: 1/1 2/2"},
        {"seen-by: 1/1", "seen+by: 1/1"},
        {"SEEN-BY 1/1", "SEEN-BY 1/1"},
        {"AREA:EVIL", "AREA+EVIL"},
        {"Area: the garden", "Area+ the garden"},
        {"---", "-+-"},
        {"--- Evil 1.0", "-+- Evil 1.0"},
        {"---\tx", "-+-\tx"},
        // A dash line is no tear line.
        {"----------", "----------"},
        {"-----Original Message-----", "-----Original Message-----"},
        {"-- ", "-- "},
        {" * Origin: fake (1:1/1)", " + Origin: fake (1:1/1)"},
        {" * ORIGIN: fake", " + ORIGIN: fake"},
        {"* Origin: x", "* Origin: x"},
        {"\x01INTL 1:1/1 9:9/9", "@INTL 1:1/1 9:9/9"},
        {std::string("nul\0here", 8), "nul here"},
        // Every piece a lone carriage return or line feed would start.
        {"hello\rSEEN-BY: 1/1", "hello\rSEEN+BY: 1/1"},
        {"hello\nAREA:X", "hello\nAREA+X"},
        {"a\r---\r * Origin: x", "a\r-+-\r + Origin: x"},
        {"a\r\r\x01MSGID: 1", "a\r\r@MSGID: 1"},
        // Past eight-byte steps, and at the very end.
        {"0123456789abcdef\rSEEN-BY: 5", "0123456789abcdef\rSEEN+BY: 5"},
        {"0123456789abcde\r---", "0123456789abcde\r-+-"},
        {"plain text of a line, nothing to do here at all", "plain text of a line, nothing to do here at all"},
        {"tabs\tstay", "tabs\tstay"},
    };
    for (const auto& c : cases) EXPECT_EQ(body(c.given), c.safe) << c.given;
}

TEST_F(pktguardmsg, linesareappendedsafe) {
    curmsg.outcharset = "UTF-8";
    std::string out;
    appendkludgeline(out, "Subject: hi\r\x01INTL 1:1/1 9:9/9", false);
    appendkludgeline(out, "and more", true);
    appendbodyline(out, "SEEN-BY: 1/1");
    appendguarded(out, "x\ry");
    EXPECT_EQ(out, "\x01Subject: hi  INTL 1:1/1 9:9/9\r\x01  and more\rSEEN+BY: 1/1\rx y");
}

// Random lines built of the pieces that matter: whatever they form, no
// line of the result begins like control information, no 0x00 or 0x01 is
// left, and the length stays.
TEST(pktguard, nolineofguardedtextreadsascontrolinformation) {
    const char* pieces[] = {"SEEN-BY:", "seen-by:", "AREA:", "area:", "---", "--", "-",
                            " * Origin:", " * origin:", "\r", "\n", "\r\n", "<nul>",
                            "\x01", "x", " ", "\t", "\xc2\x85", "12345678", "INTL 1:1/1"};
    std::mt19937 rng(21);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) {
            std::size_t k = rng() % (sizeof pieces / sizeof pieces[0]);
            if (k == 12) {
                s.push_back('\0');
            } else {
                s += pieces[k];
            }
        }
        std::string g = body(s);
        ASSERT_EQ(g.size(), s.size());
        ASSERT_EQ(g.find('\0'), std::string::npos);
        ASSERT_EQ(g.find('\x01'), std::string::npos);
        std::size_t start = 0;
        while (start <= g.size()) {
            std::size_t end = g.find_first_of("\r\n", start);
            if (end == std::string::npos) end = g.size();
            std::string line = g.substr(start, end - start);
            std::string lower = line;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            ASSERT_NE(lower.rfind("seen-by:", 0), 0u) << testing::PrintToString(s);
            ASSERT_NE(lower.rfind("area:", 0), 0u) << testing::PrintToString(s);
            ASSERT_NE(lower.rfind(" * origin:", 0), 0u) << testing::PrintToString(s);
            ASSERT_FALSE(line == "---" || (line.rfind("---", 0) == 0 && static_cast<unsigned char>(line[3]) <= ' '))
                << testing::PrintToString(s);
            start = end + 1;
        }
    }
}

}  // namespace
