#include "export/headerscan.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/timezone.h"
#include "config/settings.h"
#include "export/datezone.h"
#include "export/rfcheader.h"
#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

struct idcase {
    const char* name;
    const char* rest;  // the kludge text after "MSGID:"
    bool ftn;
    const char* id;
    fidoaddr addr;
    std::uint32_t serial;
};

class idtest : public statetest, public ::testing::WithParamInterface<idcase> {};

TEST_P(idtest, readsoriginandserial) {
    const idcase& c = GetParam();
    text128 id;
    fidoaddr addr{9, 9, 9, 9};  // numbers the origin does not give keep these
    std::uint32_t serial = 0;
    EXPECT_EQ(parseidkludge(c.rest, id, addr, serial), c.ftn);
    EXPECT_EQ(id.sv(), c.id);
    EXPECT_EQ(addr, c.addr);
    EXPECT_EQ(serial, c.serial);
}

INSTANTIATE_TEST_SUITE_P(
    kludges, idtest,
    ::testing::Values(
        idcase{"fidonet", " 2:292/854.1 1A2B3C4D", true, "", {2, 292, 854, 1}, 0x1A2B3C4D},
        idcase{"nopoint", " 2:292/854 abc", true, "", {2, 292, 854, 9}, 0xABC},
        idcase{"domain", " 2:292/854@fidonet 1", true, "", {2, 292, 854, 9}, 1},
        idcase{"internet", " <abc@host> 12", false, "<abc@host>", {9, 9, 9, 9}, 0x12},
        idcase{"internetbare", "abc@host 7f", false, "abc@host", {9, 9, 9, 9}, 0x7F},
        // Not hexadecimal: the CRC-32 of the serial text.
        idcase{"crcserial", " 2:1/2 xyz", true, "", {2, 1, 2, 9}, 0xEB8EBA67u},
        // Without a space the origin text is the serial text as well.
        idcase{"noserial", " 2:1/2", true, "", {2, 1, 2, 9}, 2},
        // Numbers as scanf reads them: a sign, a value that wraps at 65536.
        idcase{"signedpoint", " 2:292/854.+3 1", true, "", {2, 292, 854, 3}, 1},
        idcase{"widenet", " 2:70000/1 1", true, "", {2, 4464, 1, 9}, 1}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(chrstest, joinsthelevelwithahash) {
    EXPECT_EQ(chrsvalue(" LATIN-1 2"), "LATIN-1#2");
    EXPECT_EQ(chrsvalue("IBMPC 2"), "IBMPC#2");
    EXPECT_EQ(chrsvalue("  CP850"), "CP850");
    EXPECT_EQ(chrsvalue(" MAC ROMAN 2"), "MAC ROMAN#2");
    EXPECT_EQ(chrsvalue(" X 2 "), "X 2 ");
}

struct datecase {
    const char* text;
    msgtimes want;
};

class datetest : public statetest, public ::testing::WithParamInterface<datecase> {};

TEST_P(datetest, readsthefidonetdate) {
    curmsg.msgdate = GetParam().text;
    parsemsgdate();
    const msgtimes& t = curmsg.msgtime;
    const msgtimes& w = GetParam().want;
    EXPECT_EQ(t.day, w.day);
    EXPECT_EQ(t.month, w.month);
    EXPECT_EQ(t.year, w.year);
    EXPECT_EQ(t.hour, w.hour);
    EXPECT_EQ(t.minute, w.minute);
    EXPECT_EQ(t.second, w.second);
}

// The fixed clock: Tue 14 Sep 1999 20:16:10 (the tests run with TZ=UTC).
const msgtimes CLOCK{14, 8, 1999, 20, 16, 10};

INSTANTIATE_TEST_SUITE_P(dates, datetest,
                         ::testing::Values(datecase{"05 Mar 98  09:04:07", {5, 2, 1998, 9, 4, 7}},
                                           // Any white space where the date has blanks.
                                           datecase{"05\tMar 98\t09:04:07", {5, 2, 1998, 9, 4, 7}},
                                           datecase{"05 mar 05  09:04:07", {5, 2, 2005, 9, 4, 7}},
                                           datecase{"01 Jan 100 00:00:00", {1, 0, 2000, 0, 0, 0}},
                                           datecase{"29 Feb 00  12:00:00", {29, 1, 2000, 12, 0, 0}},
                                           // An unknown month name reads as January.
                                           datecase{"02 Xyz 99  01:02:03", {2, 0, 1999, 1, 2, 3}},
                                           // What no Date header can carry: the clock instead.
                                           datecase{"29 Feb 99  12:00:00", CLOCK},
                                           datecase{"14 Sep 99  24:00:00", CLOCK},
                                           datecase{"Tue 14 Sep 99 20:16", CLOCK},
                                           datecase{"", CLOCK}));

TEST(zonetest, rfczonesgivetheiroffsets) {
    struct {
        const char* zone;
        long seconds;
    } good[] = {{"+0100", 3600}, {"-0330", -12600}, {"+0000", 0}, {"UT", 0},     {"GMT", 0},
                {"est", -18000}, {"EDT", -14400},   {"CST", -21600}, {"CDT", -18000},
                {"MST", -25200}, {"MDT", -21600},   {"PST", -28800}, {"PDT", -25200}};
    for (const auto& g : good) {
        long s = 1;
        EXPECT_TRUE(rfczoneoffset(g.zone, s)) << g.zone;
        EXPECT_EQ(s, g.seconds) << g.zone;
    }
    for (const char* z : {"", "UTC", "CET", "Europe/Berlin", "+100", "+01000", "+0160", "0100",
                          "+01a0", "Z", "EST5EDT"}) {
        long s = 0;
        EXPECT_FALSE(rfczoneoffset(z, s)) << z;
    }
    // The zone of an Internet Date header, comment and all.
    long s = 0;
    EXPECT_TRUE(datezoneoffset(" +0200 (CEST)", s));
    EXPECT_EQ(s, 7200);
    EXPECT_TRUE(datezoneoffset("gmt", s));
    EXPECT_EQ(s, 0);
    EXPECT_FALSE(datezoneoffset("(CEST)", s));
    EXPECT_FALSE(datezoneoffset("", s));
}

// TZUTC as FTS-4008 writes it: no "+", leading zeros.
TEST(zonetest, tzutckludges) {
    struct {
        const char* value;
        bool ok;
        long seconds;
        const char* back;
    } cases[] = {{" 0100", true, 3600, "0100"},   {"-0500", true, -18000, "-0500"},
                 {"0000", true, 0, "0000"},      {" +0530", true, 19800, "0530"},
                 {"-330", true, -12600, "-0330"}, {"1200 ", true, 43200, "1200"},
                 {"0160", false, 0, ""},          {"2400", false, 0, ""},
                 {"", false, 0, ""},              {"01:00", false, 0, ""},
                 {"12345", false, 0, ""}};
    for (const auto& c : cases) {
        long s = 99;
        EXPECT_EQ(tzutcoffset(c.value, s), c.ok) << c.value;
        if (!c.ok) continue;
        EXPECT_EQ(s, c.seconds) << c.value;
        EXPECT_EQ(tzutctext(s), c.back) << c.value;
    }
}

class datezonetest : public statetest {
   protected:
    void TearDown() override {
        setenv("TZ", "UTC", 1);
        tzset();
        statetest::TearDown();
    }
};

// TimeZone, whatever it names, gives the offset of the message's own date;
// without one (or with one that names no zone) the local zone does.
TEST_F(datezonetest, offsetofthemessagesdate) {
    const msgtimes summer{22, 8, 1999, 8, 0, 0};
    const msgtimes winter{22, 11, 1999, 8, 0, 0};
    struct {
        const char* timezone;
        const char* tz;
        const char* summer;
        const char* winter;
    } cases[] = {
        {"+0100", "UTC", "+0100", "+0100"},
        {"Europe/Berlin", "EST5", "+0200", "+0100"},
        {"CET", "UTC", "+0200", "+0100"},
        {"America/New_York", "UTC", "-0400", "-0500"},
        {"GMT", "EST5", "+0000", "+0000"},
        {"", "IST-5:30", "+0530", "+0530"},
        {"", "Europe/Berlin", "+0200", "+0100"},
        {"Europe/Nowhere", "EST5EDT", "-0400", "-0500"},
    };
    for (const auto& c : cases) {
        cfg.timezonestr = c.timezone;
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(rfcoffset(gatewayoffsetfor(summer)), c.summer) << c.timezone << " " << c.tz;
        EXPECT_EQ(rfcoffset(gatewayoffsetfor(winter)), c.winter) << c.timezone << " " << c.tz;
    }
}

TEST(headervaluetest, keepsfidonetdataononeline) {
    EXPECT_EQ(headervalue("Re: hi\nBcc: x@y\r"), "Re: hi Bcc: x@y ");
    EXPECT_EQ(headervalue("tab\tkept"), "tab\tkept");
    EXPECT_EQ(headercomment("John (JD) Doe\\"), "John \\(JD\\) Doe\\\\");
}

}  // namespace
