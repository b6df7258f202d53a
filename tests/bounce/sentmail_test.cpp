// Who in FidoNet wrote a reply, read back from its header the way export
// wrote it, and the record of mail sent that notifications are matched
// against: by Message-ID, by address, and only for HistoryDays.
#include "bounce/sentmail.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "config/tables.h"
#include "support/testutil.h"

namespace {

class sentmailtest : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        cfg.soupdir = dir.path;
        cfg.historydays = 30;
        addrmapentry sysop, jane;
        sysop.ftnaddr = {2, 280, 5555, 0};
        sysop.email = "sysop@pond.example";
        sysop.name = "Sysop Pond";
        jane.ftnaddr = {2, 280, 5555, 1};
        jane.email = "jane@pond.example";
        jane.replyemail = "jane-replies@pond.example";
        jane.name = "Jane Doe";
        tables.addrmap = {sysop, jane};
    }
    void TearDown() override {
        setfixedclock(FIXEDNOW);
        statetest::TearDown();
    }
    scratchdir dir;
};

TEST_F(sentmailtest, thesenderofareplyasexportwroteit) {
    const struct {
        const char *from, *id, *name;
        fidoaddr addr;
        bool found;
    } cases[] = {
        // An AddrMap entry's address (or its reply address).
        {"jane@pond.example (Jane Doe)", "<1@f5555.n280.z2.fidonet.org>", "Jane Doe", {2, 280, 5555, 1}, true},
        {"Jane <jane-replies@pond.example>", "<x@elsewhere>", "Jane", {2, 280, 5555, 1}, true},
        // The first entry's address stands in for unknown senders: the
        // FTN-form Message-ID tells the system.
        {"sysop@pond.example (Jim Node)", "<4075657260@f100.n280.z2.fidonet.org>", "Jim Node", {2, 280, 100, 0}, true},
        {"sysop@pond.example (Sysop Pond)", "<abc@elsewhere.example>", "Sysop Pond", {2, 280, 5555, 0}, true},
        // An FTN-form address names its system and its user.
        {"Klaus.Groesser@p3.f100.n280.z2.fidonet.org", "", "Klaus Groesser", {2, 280, 100, 3}, true},
        {"=?UTF-8?Q?J=C3=BCrgen?= <juergen@p4.f100.n280.z2.fidonet.org>", "", "J\xc3\xbcrgen", {2, 280, 100, 4}, true},
        // Nobody of FidoNet.
        {"bob@net.example (Bob)", "<b@net.example>", "Bob", {}, false},
    };
    for (const auto& c : cases) {
        std::string name;
        fidoaddr a;
        EXPECT_EQ(fidosenderof(c.from, c.id, name, a), c.found) << c.from;
        if (!c.found) continue;
        EXPECT_EQ(name, c.name) << c.from;
        EXPECT_EQ(a, c.addr) << c.from;
    }
}

TEST_F(sentmailtest, foundbyidorbyaddressforhistorydays) {
    sentmail s;
    ASSERT_TRUE(sentmailof("From: sysop@pond.example (Jim Node)\nTo: a@x.example, B <b@y.example>\nCc: c@z.example\n"
                           "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\nMessage-ID: <7@f100.n280.z2.fidonet.org>\n\n",
                           s));
    EXPECT_EQ(s.recipients, (std::vector<std::string>{"a@x.example", "b@y.example", "c@z.example"}));
    EXPECT_EQ(s.subject, "Gr\xc3\xbc\xc3\x9f" "e");
    ASSERT_EQ(notesentmail(s), 0);
    setfixedclock(FIXEDNOW + 86400);
    resetsentmail();
    sentmail got;
    ASSERT_TRUE(findsentmail("7@f100.n280.z2.fidonet.org", got));
    EXPECT_EQ(got.fromname, "Jim Node");
    EXPECT_EQ(got.from, (fidoaddr{2, 280, 100, 0}));
    EXPECT_EQ(got.subject, s.subject);
    ASSERT_TRUE(findsentto("B@Y.example", got));
    EXPECT_EQ(got.messageid, "<7@f100.n280.z2.fidonet.org>");
    EXPECT_FALSE(findsentto("d@z.example", got));
    // Thirty days on it is gone, and the file with it.
    setfixedclock(FIXEDNOW + 31 * 86400);
    ASSERT_EQ(prunesentmail(), 0);
    EXPECT_EQ(readfile(dir / SENTMAILNAME), "");
    resetsentmail();
    EXPECT_FALSE(findsentmail("<7@f100.n280.z2.fidonet.org>", got));
}

}  // namespace
