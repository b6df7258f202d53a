#include "import/ftnform.h"

#include <gtest/gtest.h>

#include "config/tables.h"
#include "support/testutil.h"

namespace {

TEST_F(statetest, gatewaydomains) {
    tables.fidodomain.push_back({1, 6, "#fidonet.net"});
    tables.fidodomain.push_back({7, 7, "@gate.example"});
    struct {
        const char* domain;
        int want;
    } cases[] = {
        {"f2.n3.z4.fidonet.org", 1},
        {"p1.F2.N3.Z4.FidoNet.Org", 1},
        {"x.fidonet.org", 1},
        {"fidonet.org", 0},  // the domain alone is no FTN form
        {"notfidonet.org", 0},
        {"fidonet.org.evil.com", 0},
        {"f1.n2.z3.fidonet.net", 1},
        {"fidonet.net", 0},
        {"f1.n2.z3.gate.example", 0},  // entries without "#" are full addresses
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ismapdomain(c.domain), c.want) << c.domain;
    EXPECT_EQ(hasmapdomain("John.Doe@f2.n3.z4.fidonet.org"), 1);
    EXPECT_EQ(hasmapdomain("f2.n3.z4.fidonet.org"), 0);
    EXPECT_EQ(hasmapdomain("joe@example.com"), 0);
}

struct addrcase {
    const char* text;
    int valid;
    fidoaddr want;
};

TEST(ftnform, addresses) {
    const addrcase cases[] = {
        {"john.doe@p1.f2.n3.z4.fidonet.org", 1, {4, 3, 2, 1}},
        {"x@f2.n3.z4.fidonet.org", 1, {4, 3, 2, 0}},
        {"x@F20.N300.Z2.fidonet.org", 1, {2, 300, 20, 0}},
        {"x@n3.z4.fidonet.org", 1, {4, 3, 0, 0}},
        {"x@f2.z4.fidonet.org", 1, {4, 0, 2, 0}},
        {"x@z4.f2.fidonet.org", 1, {4, 0, 0, 0}},  // out of order: f is not seen again
        {"x@fx.n3.z4.fidonet.org", 1, {4, 3, 0, 0}},
        {"x@f2.n3.z4", 0, {}},  // no domain follows the zone
        {"x@f70000.n3.z4.d", 1, {4, 3, 4464, 0}},
        {"no at sign", 0, {}},
    };
    for (const addrcase& c : cases) {
        fidoaddr a{9, 9, 9, 9};
        EXPECT_EQ(decodeftnaddr(c.text, a), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(a, c.want) << c.text;
        }
    }
}

struct idcase {
    const char* id;
    int valid;
    fidoaddr addr;
    std::uint32_t serial;
};

TEST_F(statetest, messageidsandreferences) {
    const idcase msgids[] = {
        {"305419896@f2.n3.z4.fidonet.org", 1, {4, 3, 2, 0}, 305419896},
        {"305419896@p7.f2.n3.z4.fidonet.org", 1, {4, 3, 2, 7}, 305419896},
        {"12ab@f2.n3.z4.fidonet.org", 1, {4, 3, 2, 0}, 12},
        {"4294967295@f2.n3.z4.fidonet.org", 1, {4, 3, 2, 0}, 0xFFFFFFFFu},
        {"ab12@f2.n3.z4.fidonet.org", 0, {}, 0},
        {"1@f2.n3.z4.example.com", 0, {}, 0},
        {"1@f2.n3.z4fidonet.org", 0, {}, 0},
        {"1", 0, {}, 0},
    };
    for (const idcase& c : msgids) {
        fidoaddr a{9, 9, 9, 9};
        std::uint32_t serial = 77;
        EXPECT_EQ(decodeftnmsgid(c.id, a, serial), c.valid) << c.id;
        const fidoaddr untouched{9, 9, 9, 9};
        EXPECT_EQ(a, c.valid ? c.addr : untouched) << c.id;
        EXPECT_EQ(serial, c.valid ? c.serial : 77u) << c.id;
    }
    fidoaddr a;
    std::uint32_t serial = 0;
    ASSERT_EQ(decodeftnreplyid("-1@f1.n2.z3.fidonet.org", a, serial), 1);
    EXPECT_EQ(serial, 0xFFFFFFFFu);
    EXPECT_EQ(a, (fidoaddr{3, 2, 1, 0}));
    ASSERT_EQ(decodeftnreplyid("2147483649@f1.n2.z3.fidonet.org", a, serial), 1);
    EXPECT_EQ(serial, 2147483649u);
    tables.fidodomain.push_back({1, 6, "#fidonet.net"});
    EXPECT_EQ(decodeftnreplyid("5@f1.n2.z3.fidonet.net", a, serial), 1);
    EXPECT_EQ(serial, 5u);
}

}  // namespace
