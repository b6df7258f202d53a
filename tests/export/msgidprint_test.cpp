#include "export/msgidprint.h"

#include <gtest/gtest.h>

#include "config/tables.h"
#include "support/testutil.h"

class msgidtest : public statetest {};

TEST_F(msgidtest, internetidsgetanglebracketsonce) {
    EXPECT_EQ(msgidtext("abc@host", 5, {}), "<abc@host>");
    EXPECT_EQ(msgidtext("<abc@host>", 5, {}), "<abc@host>");
    EXPECT_EQ(msgidtext("<abc@host", 5, {}), "<abc@host>");
}

TEST_F(msgidtest, fidonetserialsunderthezonedomain) {
    // 1A2B3C4D read as hexadecimal from a MSGID kludge, written in decimal.
    EXPECT_EQ(msgidtext("", 0x1A2B3C4D, {2, 292, 854, 1}),
              "<439041101@p1.f854.n292.z2.fidonet.org>");
    EXPECT_EQ(msgidtext("", 7, {2, 292, 854, 0}), "<7@f854.n292.z2.fidonet.org>");

    tables.fidodomain.push_back({1, 6, "#zone.example"});
    tables.fidodomain.push_back({7, 7, "plain.example"});
    EXPECT_EQ(msgidtext("", 1, {3, 4, 5, 0}), "<1@f5.n4.z3.zone.example>");
    EXPECT_EQ(msgidtext("", 4294967295u, {7, 4, 5, 6}), "<4294967295@plain.example>");
    EXPECT_EQ(msgidtext("", 1, {8, 4, 5, 0}), "<1@f5.n4.z8.fidonet.org>");
}

TEST_F(msgidtest, zonewithonesenderaddressusesthedefaultdomain) {
    tables.fidodomain.push_back({5, 5, "gate@zone5.example"});
    EXPECT_EQ(msgidtext("", 12, {5, 1, 2, 3}), "<12@p3.f2.n1.z5.fidonet.org>");
}

TEST_F(msgidtest, printendstheline) {
    scratchdir d;
    std::FILE* f = std::fopen((d / "m").c_str(), "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(msgidprint(f, "x@y", 0, {}), 0);
    std::fclose(f);
    EXPECT_EQ(readfile(d / "m"), "<x@y>\n");
}
