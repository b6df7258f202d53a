#include "export/msgidprint.h"

#include <gtest/gtest.h>

#include "config/tables.h"
#include "support/testutil.h"

class msgidtest : public statetest {};

// Internet ids get their angle brackets once; FidoNet serials (read as
// hexadecimal, written in decimal) go under the zone's domain: with '#' it
// follows the address, without it stands alone, and one holding a sender
// address ('@') leaves the default domain.
TEST_F(msgidtest, idsasmessageids) {
    tables.fidodomain.push_back({1, 4, "#zone.example"});
    tables.fidodomain.push_back({5, 5, "gate@zone5.example"});
    tables.fidodomain.push_back({7, 7, "plain.example"});
    struct {
        const char* id;
        std::uint32_t serial;
        fidoaddr addr;
        const char* text;
    } cases[] = {{"abc@host", 5, {}, "<abc@host>"},
                 {"<abc@host>", 5, {}, "<abc@host>"},
                 {"<abc@host", 5, {}, "<abc@host>"},
                 {"", 0x1A2B3C4D, {2, 292, 854, 1}, "<439041101@p1.f854.n292.z2.zone.example>"},
                 {"", 7, {6, 292, 854, 0}, "<7@f854.n292.z6.fidonet.org>"},
                 {"", 4294967295u, {7, 4, 5, 6}, "<4294967295@plain.example>"},
                 {"", 12, {5, 1, 2, 3}, "<12@p3.f2.n1.z5.fidonet.org>"}};
    for (const auto& c : cases) EXPECT_EQ(msgidtext(c.id, c.serial, c.addr), c.text) << c.text;
    scratchdir d;
    std::FILE* f = std::fopen((d / "m").c_str(), "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(msgidprint(f, "x@y", 0, {}), 0);
    std::fclose(f);
    EXPECT_EQ(readfile(d / "m"), "<x@y>\n");
}
