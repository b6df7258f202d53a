// One mailbox per recipient: what a FidoNet user or an Internet sender may
// give as an address, and how a recipient text is cut into pieces.
#include "base/mailbox.h"

#include <gtest/gtest.h>

#include <string>

#include "transport/envelope.h"

TEST(mailbox, onemailboxandnothingelse) {
    struct {
        std::string text;
        bool mailbox;
    } cases[] = {
        {"jane@pond.test", true},
        {"Jane.Doe@f100.n280.z2.fidonet.example", true},
        {"o'brien+lists@mail.example.org", true},
        {"root@localhost", true},
        {"user@[192.0.2.1]", true},
        {"user@[IPv6:2001:db8::1]", true},
        {"x@evil;v1@a;v2@b", false},        // several addresses in one
        {"a@b.example,c@d.example", false},
        {"a@b.example c@d.example", false},
        {"\"a@b, c\"@d.example", false},    // quoted local parts are not taken
        {"Jane <jane@pond.test>", false},
        {"jane@pond.test (Jane)", false},
        {"<jane@pond.test>", false},       // mailboxtext takes the brackets off first
        {"jane@", false},
        {"@pond.test", false},
        {"jane", false},
        {"jane@pond..test", false},
        {"jane.@pond.test", false},
        {".jane@pond.test", false},
        {"ja..ne@pond.test", false},
        {"jane@-pond.test", false},
        {"jane@pond_test.example", false},
        {"jane@pond.test\r\nRCPT TO:<x@y>", false},
        {"j\xc3\xa4ne@pond.test", false},   // no SMTPUTF8
        {std::string(64, 'a') + "@pond.test", true},
        {std::string(65, 'a') + "@pond.test", false},
        {"a@" + std::string(63, 'b') + "." + std::string(63, 'c') + "." + std::string(63, 'd') + "." +
             std::string(57, 'e'),
         true},  // 251 characters
        {"a@" + std::string(63, 'b') + "." + std::string(63, 'c') + "." + std::string(63, 'd') + "." +
             std::string(61, 'e'),
         false},  // 255 characters
        {"a@" + std::string(64, 'b') + ".example", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ismailbox(c.text), c.mailbox) << c.text;
}

// What ismailbox takes, the transport's header reader finds as exactly that
// one address, alone and in angle brackets.
TEST(mailbox, amailboxisoneaddresstotheenvelope) {
    for (const char* a : {"jane@pond.test", "o'brien+lists@mail.example.org", "user@[192.0.2.1]",
                          "a.b.c@d-e.example"}) {
        ASSERT_TRUE(ismailbox(a)) << a;
        EXPECT_EQ(addresslist(a), std::vector<std::string>{a}) << a;
        EXPECT_EQ(addresslist(std::string("Name <") + a + ">"), std::vector<std::string>{a}) << a;
    }
}

TEST(mailbox, recipienttextsandpieces) {
    EXPECT_EQ(mailboxtext("  <jane@pond.test> "), "jane@pond.test");
    EXPECT_EQ(mailboxtext("jane@pond.test"), "jane@pond.test");
    EXPECT_EQ(mailboxtext("Jane <jane@pond.test>"), "Jane <jane@pond.test>");
    EXPECT_EQ(recipientpieces("a@b.example, c@d.example ,e@f.example"),
              (std::vector<std::string_view>{"a@b.example", "c@d.example", "e@f.example"}));
    EXPECT_EQ(recipientpieces(" , a@b.example,,"), std::vector<std::string_view>{"a@b.example"});
    EXPECT_EQ(recipientpieces("x@evil;v1@a"), std::vector<std::string_view>{"x@evil;v1@a"});
    EXPECT_TRUE(recipientpieces("  ").empty());
}
