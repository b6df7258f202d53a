// The structural checker must refuse broken packets, or every test that
// relies on it proves nothing. The packets here are made by hand.
#include "pkt/pktcheck.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pkt/pkttest.h"

namespace {

// A literal with its embedded zero bytes, without the one the compiler adds.
template <std::size_t N>
std::string bin(const char (&s)[N]) {
    return std::string(s, N - 1);
}

const std::string HEADER = hexbytes(
    "12 04 38 00 CF 07 08 00 0E 00 14 00 10 00 0A 00 00 00 02 00 9C 13 EA 00 00 00"
    "53 45 43 52 45 54 00 00 02 00 01 00 00 00 00 01 01 00 01 00 02 00 01 00 07 00 03 00"
    "00 00 00 00");
const std::string MSGHEADER = hexbytes("02 00 12 04 38 00 9C 13 EA 00 01 00 00 00");
const std::string DATE = bin("05 Mar 01  09:04:07\0");
const std::string FIELDS = DATE + bin("To\0From\0Subj\0");
const std::string TEXT = bin("AREA:X\r\x01PID: x\rHello\r\0");
const std::string END = std::string(2, '\0');
const std::string GOOD = HEADER + MSGHEADER + FIELDS + TEXT + END;

struct brokencase {
    const char* name;
    std::function<std::string()> make;
    const char* error;  // part of the report
};

void PrintTo(const brokencase& c, std::ostream* os) {
    *os << c.name;
}

std::string patched(std::size_t at, const std::string& bytes) {
    std::string s = GOOD;
    s.replace(at, bytes.size(), bytes);
    return s;
}

std::string withfields(const std::string& fields) {
    return HEADER + MSGHEADER + fields + TEXT + END;
}

// clang-format off
const brokencase brokencases[] = {
    {"shortheader", [] { return GOOD.substr(0, 57); }, "shorter than"},
    {"packettype1", [] { return patched(18, bin("\x01\x00")); }, "packet type"},
    {"copynotswapped", [] { return patched(40, bin("\x01\x00")); }, "validation copy"},
    {"no2plusbit", [] { return patched(40, std::string(6, '\0')); }, "lacks type 2+"},
    {"capwordwithout2plus",
     [] { return patched(40, bin("\x00\x02")).replace(44, 2, bin("\x02\x00")); }, "lacks type 2+"},
    {"month12", [] { return patched(6, bin("\x0C\x00")); }, "out of range"},
    {"zonecopiesdiffer", [] { return patched(34, bin("\x03\x00")); }, "zone copies"},
    {"passwordpadding", [] { return patched(33, "Z"); }, "padding"},
    {"noterminator", [] { return GOOD.substr(0, GOOD.size() - 2); }, "no terminating"},
    {"dataafterterminator", [] { return GOOD + "x"; }, "after the terminating"},
    {"messagetype1", [] { return patched(58, bin("\x01\x00")); }, "message type"},
    {"baddate", [] { return withfields(bin("5 Mar 01  09:04:07 \0To\0From\0Subj\0")); }, "date is not"},
    {"longdate", [] { return withfields(bin("05 Mar 01  09:04:07 \0To\0From\0Subj\0")); }, "date longer"},
    {"toname36", [] { return withfields(DATE + std::string(36, 't') + bin("\0From\0Subj\0")); },
     "to-name longer"},
    {"subject72", [] { return withfields(DATE + bin("To\0From\0") + std::string(72, 's') + '\0'); },
     "subject longer"},
    {"textunterminated", [] { return HEADER + MSGHEADER + FIELDS + "Hello"; }, "not ended"},
    {"kludgeinsideline", [] { return HEADER + MSGHEADER + FIELDS + bin("Hi \x01PID: x\r\0") + END; },
     "inside a line"},
    {"arealate", [] { return HEADER + MSGHEADER + FIELDS + bin("Hi\rAREA:X\r\0") + END; }, "AREA line"},
};
// clang-format on

class brokenpacket : public ::testing::TestWithParam<brokencase> {};

TEST_P(brokenpacket, refused) {
    checkedpacket p = checkpacket(GetParam().make());
    EXPECT_NE(p.error.find(GetParam().error), std::string::npos) << p.error;
}

INSTANTIATE_TEST_SUITE_P(pktcheck, brokenpacket, ::testing::ValuesIn(brokencases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(pktcheck, soundpacketparsed) {
    checkedpacket p = checkpacket(GOOD);
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.password, "SECRET");
    EXPECT_EQ(p.origpoint, 7);
    EXPECT_EQ(p.destzone, 1);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].attribute, 1);
    EXPECT_EQ(p.messages[0].subject, "Subj");
    EXPECT_EQ(p.messages[0].text, "AREA:X\r\x01PID: x\rHello\r");
    EXPECT_EQ(checkpacket(HEADER + END).error, "");
}

}  // namespace
