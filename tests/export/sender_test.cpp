#include "export/sender.h"

#include <gtest/gtest.h>

#include "config/tables.h"
#include "support/testutil.h"

class sendertest : public statetest {};

// Local parts made from FidoNet names are ASCII dot-atoms, and a long name
// is cut so that the host stays whole.
TEST_F(sendertest, mappedaddressesareascii) {
    tables.fidodomain.push_back({2, 2, "#fidonet.example"});
    tables.fidodomain.push_back({3, 3, "plain.example"});
    const fidoaddr z2{2, 280, 100, 0}, z3{3, 10, 1, 0};
    struct {
        const char* name;
        fidoaddr addr;
        const char* email;
    } cases[] = {
        {"Joe Bloggs", z2, "Joe.Bloggs@f100.n280.z2.fidonet.example"},
        {"Klaus Gr\xc3\xb6\xc3\x9f" "er", z2, "Klaus.Groesser@f100.n280.z2.fidonet.example"},
        {"\xd0\xa1\xd0\xbc\xd0\xb8\xd1\x80\xd0\xbd\xd0\xbe\xd0\xb2", z3, "Smirnov@plain.example"},
        {"John (Pond) Doe", z3, "John.Pond.Doe@plain.example"},
        {"Dr. J.R.  Who.", z3, "Dr.J.R.Who@plain.example"},
        {"Jim O'Neil", z3, "Jim.O'Neil@plain.example"},
        {"\"<>[]@,;:\\", z3, "unknown@plain.example"},
        {"", z3, "unknown@plain.example"},
    };
    for (const auto& c : cases) EXPECT_EQ(mappedsender(c.name, c.addr), c.email) << c.name;
    std::string longname(200, 'a');
    std::string a = mappedsender(longname, z2);
    EXPECT_EQ(a, std::string(LOCALPARTMAX, 'a') + "@f100.n280.z2.fidonet.example");
    tables.fidodomain.push_back({4, 4, std::string(100, 'h') + ".example"});
    a = mappedsender("Joe Bloggs Senior the Third", {4, 1, 1, 0});
    EXPECT_EQ(a, "Joe.Bloggs.Senior@" + std::string(100, 'h') + ".example");  // no dot left at the cut
}
