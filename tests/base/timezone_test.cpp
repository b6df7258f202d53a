#include "base/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "support/testutil.h"

namespace {

// The offset as a Date header writes it, for a wall-clock time in the zone.
std::string offsetfor(const std::string& zone, int y, int mo, int d, int h, int mi) {
    zonedata z;
    if (parsezone(zone, z) != 0) return "unknown";
    return rfcoffset(zoneoffsetfor(z, civilseconds(y, mo, d, h, mi, 0)));
}

}  // namespace

// Summer and winter differ, after the zone's rule and not the clock's; the
// rules after the zone file's last transition come from its footer.
TEST(timezone, offsetfollowsthedateinthezone) {
    struct {
        const char* zone;
        int y, mo, d, h, mi;
        const char* offset;
    } cases[] = {
        {"Europe/Berlin", 1999, 9, 22, 8, 0, "+0200"},
        {"Europe/Berlin", 2000, 1, 15, 12, 0, "+0100"},
        {"Europe/Berlin", 2060, 7, 1, 12, 0, "+0200"},
        {"Europe/Berlin", 2060, 12, 1, 12, 0, "+0100"},
        {":Europe/Berlin", 1999, 9, 22, 8, 0, "+0200"},
        {"CET", 1999, 7, 1, 0, 0, "+0200"},
        {"America/New_York", 2021, 7, 4, 12, 0, "-0400"},
        {"America/New_York", 2021, 12, 24, 12, 0, "-0500"},
        // The southern summer spans the turn of the year.
        {"Australia/Sydney", 2022, 1, 10, 12, 0, "+1100"},
        {"Australia/Sydney", 2022, 7, 10, 12, 0, "+1000"},
        {"Asia/Kolkata", 2022, 7, 10, 12, 0, "+0530"},
        // The hour the clocks skip takes the offset before the change; the
        // hour they show twice, its first (summer) offset.
        {"Europe/Berlin", 2021, 3, 28, 2, 30, "+0100"},
        {"Europe/Berlin", 2021, 3, 28, 3, 0, "+0200"},
        {"Europe/Berlin", 2021, 10, 31, 2, 30, "+0200"},
        {"Europe/Berlin", 2021, 10, 31, 3, 0, "+0100"},
        // POSIX rules, with and without their change dates.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1999, 9, 22, 8, 0, "+0200"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1999, 11, 22, 8, 0, "+0100"},
        {"EST5EDT", 2021, 7, 4, 12, 0, "-0400"},
        {"EST5EDT", 2021, 1, 4, 12, 0, "-0500"},
        {"<+0330>-3:30", 2021, 1, 4, 12, 0, "+0330"},
        {"NZST-12NZDT,M9.5.0,M4.1.0/3", 2021, 1, 4, 12, 0, "+1300"},
        {"NZST-12NZDT,M9.5.0,M4.1.0/3", 2021, 6, 4, 12, 0, "+1200"},
        {"AAA3BBB,J60/0,J300/0", 2021, 3, 2, 12, 0, "-0200"},
        // Fixed offsets, and the names RFC 5322 gives a meaning.
        {"+0100", 1999, 9, 22, 8, 0, "+0100"},
        {"-0330", 1999, 9, 22, 8, 0, "-0330"},
        {"+05:45", 1999, 9, 22, 8, 0, "+0545"},
        {"GMT", 1999, 9, 22, 8, 0, "+0000"},
        {"pdt", 1999, 9, 22, 8, 0, "-0700"},
        {"EST", 1999, 9, 22, 8, 0, "-0500"},
        {"UTC", 1999, 9, 22, 8, 0, "+0000"},
        {"", 1999, 9, 22, 8, 0, "+0000"},  // the local zone: the tests run with TZ=UTC
        // Names of no zone.
        {"Europe/Nowhere", 1999, 9, 22, 8, 0, "unknown"},
        {"../../../etc/passwd", 1999, 9, 22, 8, 0, "unknown"},
        {"/etc/passwd", 1999, 9, 22, 8, 0, "unknown"},
        {"+0160", 1999, 9, 22, 8, 0, "unknown"},
        {"CET-1CEST,M13.5.0,M10.5.0", 1999, 9, 22, 8, 0, "unknown"},
        {"Berlin Time", 1999, 9, 22, 8, 0, "unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(offsetfor(c.zone, c.y, c.mo, c.d, c.h, c.mi), c.offset)
            << c.zone << " " << c.y << "-" << c.mo << "-" << c.d;
    }
}

TEST(timezone, localzonefollowsTZ) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    EXPECT_EQ(offsetfor("", 1999, 9, 22, 8, 0), "+0200");
    EXPECT_EQ(offsetfor("", 1999, 12, 22, 8, 0), "+0100");
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// A zone file that is cut or damaged anywhere is no zone.
TEST(timezone, damagedzonefilesarerefused) {
    std::string berlin = readfile("/usr/share/zoneinfo/Europe/Berlin");
    ASSERT_GT(berlin.size(), 100u);
    zonedata z;
    EXPECT_EQ(parsetzif(berlin, z), 0);
    for (std::size_t cut : {std::size_t{0}, std::size_t{4}, std::size_t{43}, std::size_t{60},
                            berlin.size() / 2}) {
        EXPECT_EQ(parsetzif(berlin.substr(0, cut), z), -1) << cut;
    }
    std::string badindex = berlin;
    // The first transition's type index (version 1 block) after 44 + 4 n bytes.
    unsigned timecnt = static_cast<unsigned char>(berlin[35]);
    badindex[44 + 4 * timecnt] = '\xff';
    EXPECT_EQ(parsetzif(badindex, z), -1);
}

TEST(timezone, civilcalendar) {
    struct {
        int y, mo, d;
        int weekday;
    } cases[] = {{1970, 1, 1, 4}, {1999, 9, 14, 2}, {2000, 2, 29, 2}, {2038, 1, 19, 2},
                 {1969, 12, 31, 3}, {2100, 3, 1, 1}};
    for (const auto& c : cases) {
        civiltime t = civilfromseconds(civilseconds(c.y, c.mo, c.d, 23, 59, 58));
        EXPECT_EQ(t.year, c.y);
        EXPECT_EQ(t.month, c.mo);
        EXPECT_EQ(t.day, c.d);
        EXPECT_EQ(t.hour, 23);
        EXPECT_EQ(t.second, 58);
        EXPECT_EQ(t.weekday, c.weekday) << c.y << "-" << c.mo << "-" << c.d;
    }
    EXPECT_EQ(civilseconds(1999, 9, 14, 20, 16, 10), FIXEDNOW);
}
