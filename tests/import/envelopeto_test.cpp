// The envelope recipient decides where a delivered copy goes: the copy for
// Joe goes to Joe although Jane comes first in its To line; an envelope
// that names nobody of the gateway (a provider's mailbox) changes nothing;
// news never has one.
#include "import/envelopeto.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "config/tables.h"
#include "import/classify.h"
#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

addrmapentry entry(fidoaddr a, const char* email, const char* name) {
    addrmapentry e;
    e.ftnaddr = a;
    e.email = email;
    e.name = name;
    return e;
}

class envelopeto : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        cfg.gateaddr = {2, 280, 5555, 0};
        tables.addrmap = {entry({2, 280, 5555, 0}, "sysop@pond.example", "Sysop"),
                          entry({2, 280, 5555, 1}, "jane@pond.example", "Jane Doe"),
                          entry({2, 280, 5555, 2}, "joe@pond.example", "Joe Bloggs")};
        curmsg.msgtype = MSGTYPE_MAIL;
        curmsg.areaname = "Email";
        curmsg.msgfromemail = "bob@net.example";
        curmsg.msgtoemail = "jane@pond.example";
        curmsg.msgtoname = "Jane";
        emailentry cc;
        cc.kind = EMAIL_CC;
        cc.email = "joe@pond.example";
        cc.name = "Joe";
        curmsg.emaillist = {cc};
    }
    fidoaddr destination() {
        msgverdict v;
        (void)classifymessage(v);
        return curmsg.destaddr;
    }
};

TEST_F(envelopeto, thecopygoestotherecipientitwasdeliveredfor) {
    curmsg.origto = "joe@pond.example";
    applyenvelope();
    EXPECT_EQ(curmsg.hasenvelope, 1);
    EXPECT_EQ(curmsg.msgtoemail.str(), "joe@pond.example");
    EXPECT_EQ(curmsg.msgtoname.str(), "Joe");
    // Jane stays listed, first.
    ASSERT_EQ(curmsg.emaillist.size(), 1u);
    EXPECT_EQ(curmsg.emaillist[0].email, "jane@pond.example");
    EXPECT_EQ(destination(), (fidoaddr{2, 280, 5555, 2}));
}

TEST_F(envelopeto, deliveredtostandsinandstrangersarepassedover) {
    // A provider's mailbox in X-Original-To names nobody of the gateway;
    // the Delivered-To lines do, the second of them.
    curmsg.origto = "fidogate@provider.example";
    curmsg.deliveredto = {"pondlark@localhost", "Joe@Pond.Example"};
    applyenvelope();
    EXPECT_EQ(curmsg.msgtoemail.str(), "Joe@Pond.Example");
    EXPECT_EQ(destination(), (fidoaddr{2, 280, 5555, 2}));
}

TEST_F(envelopeto, withoutoneortonewsnothingchanges) {
    curmsg.origto = "fidogate@provider.example";
    applyenvelope();
    EXPECT_EQ(curmsg.hasenvelope, 0);
    EXPECT_EQ(curmsg.msgtoemail.str(), "jane@pond.example");
    EXPECT_EQ(destination(), (fidoaddr{2, 280, 5555, 1}));
    SetUp();
    curmsg.msgtype = MSGTYPE_NEWS;
    curmsg.origto = "joe@pond.example";
    applyenvelope();
    EXPECT_EQ(curmsg.hasenvelope, 0);
    EXPECT_EQ(curmsg.msgtoemail.str(), "jane@pond.example");
}

// An FTN-form address under the gateway's domain is a FidoNet user too.
TEST_F(envelopeto, ftnformaddressesareusers) {
    curmsg.origto = "Bob.Jones@f101.n280.z2.fidonet.org";
    applyenvelope();
    EXPECT_EQ(curmsg.hasenvelope, 1);
    EXPECT_EQ(curmsg.msgtoemail.str(), "Bob.Jones@f101.n280.z2.fidonet.org");
}

}  // namespace
