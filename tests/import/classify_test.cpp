#include "import/classify.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/counters.h"
#include "import/curmsg.h"
#include "lists/listfiles.h"
#include "support/testutil.h"

// The junk and own-organisation actions, the route password check and the
// MailingList, IgnoreMessageText and AreaMap rules are also run end to end
// by the golden import cases; these tables hold the boundaries those miss.

namespace {

fidoaddr addr(std::uint16_t zone, std::uint16_t net, std::uint16_t node, std::uint16_t point = 0) {
    return fidoaddr{zone, net, node, point};
}

addrmapentry mapentry(fidoaddr a, const char* email, const char* name = "") {
    addrmapentry e;
    e.ftnaddr = a;
    e.email = email;
    e.name = name;
    return e;
}

// A gateway at 2:280/5555 serving its sysop and two points, and a mail
// from bob to the sysop.
class classify : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        v = msgverdict{};
        cfg.gateaddr = addr(2, 280, 5555);
        tables.addrmap = {mapentry(addr(2, 280, 5555), "sysop@pond.example", "Sysop"),
                          mapentry(addr(2, 280, 5555, 1), "jane@pond.example", "Jane Doe"),
                          mapentry(addr(2, 280, 5555, 2), "joe@pond.example", "Joe Bloggs"),
                          mapentry(addr(2, 280, 5555, 3), "ann@pond.example"),
                          mapentry(addr(2, 280, 5555, 4), "max@pond.example", "Max")};
        curmsg.msgtype = MSGTYPE_MAIL;
        curmsg.areaname = "Email";
        curmsg.msgfromemail = "bob@net.example";
        curmsg.msgfromname = "Bob";
        curmsg.msgtoemail = "sysop@pond.example";
        curmsg.msgsubj = "hello";
    }
    msgverdict v;
    int run() { return classifymessage(v); }
};

TEST_F(classify, missingnamesandaddressesgetdefaults) {
    struct {
        const char *fromemail, *fromname, *toemail, *toname;
        const char *wantfromemail, *wantfromname, *wanttoemail, *wanttoname;
    } cases[] = {
        {"", "", "", "", "anonymous", "anonymous", "unknown", "unknown"},
        {"", "Only Name", "", "Jane", "Only Name", "Only Name", "Jane", "Jane"},
        {"a@b.c", "", "x@y.z", "", "a@b.c", "a@b.c", "x@y.z", "x@y.z"},
    };
    for (const auto& c : cases) {
        SetUp();
        curmsg.msgfromemail = c.fromemail;
        curmsg.msgfromname = c.fromname;
        curmsg.msgtoemail = c.toemail;
        curmsg.msgtoname = c.toname;
        run();
        EXPECT_EQ(curmsg.msgfromemail.str(), c.wantfromemail);
        EXPECT_EQ(curmsg.msgfromname.str(), c.wantfromname);
        EXPECT_EQ(curmsg.msgtoemail.str(), c.wanttoemail);
        EXPECT_EQ(curmsg.msgtoname.str(), c.wanttoname);
        EXPECT_EQ(curmsg.msgreplyemail.str(), c.wantfromemail);
        EXPECT_EQ(curmsg.msgreplyname.str(), c.wantfromname);
    }
}

TEST_F(classify, destinationisthefirstmatchingentrybutthedefault) {
    struct {
        const char* name;
        std::function<void()> setup;
        fidoaddr want;
    } cases[] = {
        // clang-format off
        {"unknownaddress", [] { curmsg.msgtoemail = "who@else.example"; }, addr(2, 280, 5555)},
        {"toandccpickthefirstlisted", [] { curmsg.msgtoemail = "joe@pond.example";
             curmsg.emaillist = {{EMAIL_CC, "max@pond.example", ""}}; }, addr(2, 280, 5555, 2)},
        {"defaultandanotherpicktheother", [] {
             curmsg.emaillist = {{EMAIL_TO, "ann@pond.example", ""}}; }, addr(2, 280, 5555, 3)},
        {"byname", [] { curmsg.msgtoemail = "jdoe@elsewhere.example";
             curmsg.msgtoname = "jane doe"; }, addr(2, 280, 5555, 1)},
        {"bynameinthelist", [] { curmsg.emaillist = {{EMAIL_BCC, "x@y.example", "MAX"}}; },
         addr(2, 280, 5555, 4)},
        {"newsalwaysgoestothedefault", [] { curmsg.msgtype = MSGTYPE_NEWS;
             curmsg.msgtoemail = "jane@pond.example"; }, addr(2, 280, 5555)},
        // clang-format on
    };
    for (const auto& c : cases) {
        SetUp();
        c.setup();
        run();
        EXPECT_EQ(curmsg.destaddr, c.want) << c.name;
        EXPECT_EQ(curmsg.fromaddr, addr(2, 280, 5555)) << c.name;
    }
}

// The route address compares without case, its password with case.
TEST_F(classify, routesetstheoriginunlessitspasswordiswrong) {
    routeentry open, locked;
    open.ftnaddr = addr(2, 280, 5556);
    open.email = "node5556@uplink.example";
    locked.ftnaddr = addr(2, 280, 5557, 9);
    locked.email = "node5557@uplink.example";
    locked.password = "s3cr3t";
    struct {
        const char *from, *pwd;
        int routing, routeno, failed;
        fidoaddr origin;
    } cases[] = {
        {"NODE5556@uplink.example", "", 1, 0, 0, addr(2, 280, 5556)},
        {"node5557@uplink.example", "s3cr3t", 1, 1, 0, addr(2, 280, 5557, 9)},
        {"node5557@uplink.example", "S3CR3T", 1, 1, 1, addr(2, 280, 5555)},
        {"node5557@uplink.example", "", 1, 1, 1, addr(2, 280, 5555)},
        {"bob@net.example", "", 0, -1, 0, addr(2, 280, 5555)},
    };
    for (const auto& c : cases) {
        SetUp();
        tables.route = {open, locked};
        curmsg.msgfromemail = c.from;
        curmsg.routemailpwd = c.pwd;
        run();
        EXPECT_EQ(curmsg.routing, c.routing) << c.from << " " << c.pwd;
        EXPECT_EQ(curmsg.routeno, c.routeno) << c.from;
        EXPECT_EQ(curmsg.routepwdfailed, c.failed) << c.from << " " << c.pwd;
        EXPECT_EQ(curmsg.fromaddr, c.origin) << c.from << " " << c.pwd;
    }
}

TEST_F(classify, subjectstartdecidesthelistcommand) {
    listrecord l;
    l.listaddress = "birds@lists.example";
    l.listarea = "birds.list";
    lists.listconfig.push_back(l);
    struct {
        const char* subject;
        int command, outcome;
    } cases[] = {
        {"Subscribe", LISTCMD_SUBSCRIBE, OUTCOME_LISTCOMMAND},
        {"subscribers wanted", LISTCMD_SUBSCRIBE, OUTCOME_LISTCOMMAND},
        {"UNSUBSCRIBE me", LISTCMD_UNSUBSCRIBE, OUTCOME_LISTCOMMAND},
        {"changepassword old new", LISTCMD_CHANGEPASS, OUTCOME_LISTCOMMAND},
        {"Re: subscribe", LISTCMD_NONE, OUTCOME_LISTPOSTING},
    };
    for (const auto& c : cases) {
        v = msgverdict{};
        curmsg.msgtoemail = "Birds@Lists.Example";
        curmsg.msgsubj = c.subject;
        EXPECT_EQ(run(), c.outcome) << c.subject;
        EXPECT_EQ(v.listindex, 0);
        EXPECT_EQ(v.listcommand, c.command) << c.subject;
        EXPECT_EQ(v.category, CAT_LIST);
        EXPECT_EQ(curmsg.fidoareaname.str(), "BIRDS.LIST");
    }
    // Junk to a list address is neither command nor posting.
    v = msgverdict{};
    v.junkcategory = JUNK_BODY;
    curmsg.msgsubj = "subscribe";
    EXPECT_EQ(run(), OUTCOME_CONVERT);
}

TEST_F(classify, mailinglistrulesmovemailandstripthetag) {
    maillistentry rule;
    rule.area = "Birds.List";
    rule.match = "[birds]";
    rule.truncate = "--";
    rule.subjstrip = "BIRDS: ";
    struct {
        const char* name;
        std::function<void()> setup;
        bool moved;
        const char* subject;
    } cases[] = {
        // clang-format off
        {"subjectmatchstripsthefirsttag", [] { curmsg.msgsubj = "BIRDS: BIRDS: [birds] herons"; },
         true, "BIRDS: [birds] herons"},
        {"tagcomparedwithcase", [] { curmsg.msgsubj = "birds: [Birds]"; }, true, "birds: [Birds]"},
        {"sendermatches", [] { curmsg.sender = "owner-[BIRDS]@lists.example";
             curmsg.msgsubj = "BIRDS: hi"; }, true, "hi"},
        {"recipientlistmatchkeepsthetag", [] { curmsg.msgsubj = "BIRDS: y";
             curmsg.emaillist = {{EMAIL_CC, "list@x", "The [Birds] List"}}; }, true, "BIRDS: y"},
        {"nomatch", [] { curmsg.msgsubj = "BIRDS: y"; }, false, "BIRDS: y"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SetUp();
        tables.maillist = {rule};
        c.setup();
        run();
        EXPECT_EQ(v.maillistrule, c.moved ? 1 : 0) << c.name;
        EXPECT_EQ(curmsg.fidoareaname.str(), c.moved ? "BIRDS.LIST" : "NETMAIL") << c.name;
        EXPECT_EQ(v.category, c.moved ? CAT_LIST : CAT_EMAIL) << c.name;
        EXPECT_EQ(v.truncate, c.moved ? "--" : "") << c.name;
        EXPECT_EQ(curmsg.msgsubj.str(), c.subject) << c.name;
    }
}

TEST_F(classify, ignoremessagetextwholeorcontained) {
    struct {
        const char* entry;
        const char* fromname;
        std::vector<emailentry> list;
        bool ignored;
    } cases[] = {
        {"*Bob", "bob", {}, true},
        {"*Bob", "Bobby", {}, false},
        {"Bob", "Bobby", {}, true},
        {"*mailer-daemon@x.example", "Anna", {{EMAIL_CC, "MAILER-DAEMON@x.example", ""}}, true},
        {"*daemon", "Anna", {{EMAIL_CC, "mailer-daemon@x.example", ""}}, false},
        {"daemon", "Anna", {{EMAIL_CC, "mailer-daemon@x.example", ""}}, true},
        {"*Carol", "Anna", {{EMAIL_TO, "c@x.example", "carol"}}, true},
    };
    for (const auto& c : cases) {
        SetUp();
        tables.ignoretext = {c.entry};
        curmsg.msgfromname = c.fromname;
        curmsg.emaillist = c.list;
        run();
        EXPECT_EQ(v.ignored, c.ignored ? 1 : 0) << c.entry << " / " << c.fromname;
    }
}

// Rules that do apply are run end to end by the golden junk cases; here
// the reply address and the categories that keep a rule from applying.
TEST_F(classify, junkrulestaketheircategoryintoaccount) {
    struct {
        const char* name;
        std::function<void()> setup;
        int msgtype, junk;
    } cases[] = {
        // clang-format off
        {"replyto", [] { curmsg.msgreplyemail = "spam@spam.example";
             tables.junkfrom = {{JUNKCAT_EMAIL, "*@spam.example"}}; }, MSGTYPE_MAIL, JUNK_FROM},
        {"strinsubject", [] { tables.junkstr = {{JUNKCAT_ALL, "ell"}}; }, MSGTYPE_NEWS, JUNK_BODY},
        {"newsnotforemail", [] { tables.junkstr = {{JUNKCAT_NEWS, "ell"}}; }, MSGTYPE_MAIL, JUNK_NONE},
        {"emailnotfornews", [] { tables.junksubj = {{JUNKCAT_EMAIL, "ell"}}; }, MSGTYPE_NEWS, JUNK_NONE},
        {"nonenever", [] { tables.junksubj = {{JUNKCAT_NONE, "ell"}}; }, MSGTYPE_MAIL, JUNK_NONE},
        {"fromtonotfornews", [] { cfg.junkfromto = 1; curmsg.msgtoemail = "bob@net.example"; },
         MSGTYPE_NEWS, JUNK_NONE},
        // clang-format on
    };
    for (const auto& c : cases) {
        SetUp();
        curmsg.msgtype = c.msgtype;
        c.setup();
        EXPECT_EQ(run(), OUTCOME_CONVERT) << c.name;
        EXPECT_EQ(v.junkcategory, c.junk) << c.name;
        EXPECT_EQ(stats.junkcount, c.junk ? 1 : 0) << c.name;
    }
}

TEST_F(classify, charsetmapskipsexportonlyandtakesthelasthashasspace) {
    tables.charsetmap = {{"CP850#2", "ibm850", DIR_EXPORT},
                         {"IBM#PC#2", "IBM850", DIR_IMPORT},
                         {"LATIN-1#2", "iso-8859-1", DIR_BOTH}};
    struct {
        const char *rfc, *fido;
    } cases[] = {{"ibm850", "IBM#PC 2"}, {"\"ISO-8859-1\"", "LATIN-1 2"}, {"utf-8", ""}, {"", ""}};
    for (const auto& c : cases) {
        curmsg.rfccharset = c.rfc;
        run();
        EXPECT_EQ(curmsg.fidocharset.str(), c.fido) << c.rfc;
    }
}

TEST_F(classify, identifiersandgatewaynames) {
    curmsg.msgid = "1234@p1.f5555.n280.z2.fidonet.org";
    curmsg.replyid = "42@p1.f5555.n280.z2.fidonet.org";
    curmsg.msgreplyemail = "first.last@p7.f2.n3.z4.fidonet.org";
    curmsg.msgtoemail = "sam.sysop@f9.n8.z7.fidonet.org";
    run();
    EXPECT_EQ(curmsg.validmsgid, 1);
    EXPECT_EQ(curmsg.fidomsgid, 1234u);
    EXPECT_EQ(curmsg.msgidaddr, addr(2, 280, 5555, 1));
    EXPECT_EQ(curmsg.validreplyid, 1);
    // The reply goes to the AddrMap name of the replied-to address...
    EXPECT_EQ(curmsg.msgtoname.str(), "Jane Doe");
    EXPECT_EQ(stats.personalcount, 1);
    // ...and the gateway-domain names become FidoNet names; without
    // TransFidoOrg the addresses stay the gateway's.
    EXPECT_EQ(curmsg.msgreplyname.str(), "Bob");
    EXPECT_EQ(curmsg.fromaddr, addr(2, 280, 5555));

    SetUp();
    cfg.transfidoorg = 1;
    curmsg.msgfromname.clear();
    curmsg.msgfromemail = "first.last@p7.f2.n3.z4.fidonet.org";
    curmsg.msgtoemail = "sam.sysop@f9.n8.z7.fidonet.org";
    run();
    EXPECT_EQ(curmsg.msgreplyname.str(), "first last");
    EXPECT_EQ(curmsg.msgfromname.str(), "first last");
    EXPECT_EQ(curmsg.fromaddr, addr(4, 3, 2, 7));
    EXPECT_EQ(curmsg.msgtoname.str(), "sam sysop");
    EXPECT_EQ(curmsg.destaddr, addr(7, 8, 9));
    EXPECT_EQ(curmsg.validmsgid, 0);
}

TEST_F(classify, echorecipientisthequotedauthororall) {
    maillistentry rule;
    rule.area = "BIRDS";
    rule.match = "birds";
    struct {
        const char* name;
        int msgtype;
        const char *subject, *toname, *toemail, *quotename, *quoteemail, *want;
    } cases[] = {
        // clang-format off
        {"newsall", MSGTYPE_NEWS, "x", "", "", "", "", "All"},
        {"newsquotename", MSGTYPE_NEWS, "x", "", "", "Ann Author", "ann@x.example", "Ann Author"},
        {"newsquoteemail", MSGTYPE_NEWS, "x", "", "", "", "ann@x.example", "ann@x.example"},
        // X-Comment-To alone also fills the address, so the name counts as none.
        {"newsnameonly", MSGTYPE_NEWS, "x", "Somebody", "", "Ann", "", "Ann"},
        {"newsnamedwithaddress", MSGTYPE_NEWS, "x", "Somebody", "s@x", "Ann", "", "Somebody"},
        {"listmail", MSGTYPE_MAIL, "birds", "list@x", "list@x", "", "", "All"},
        {"mailkeepsitsname", MSGTYPE_MAIL, "x", "", "someone@x", "Ann", "", "someone@x"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SetUp();
        tables.maillist = {rule};
        curmsg.msgtype = c.msgtype;
        curmsg.msgsubj = c.subject;
        curmsg.msgtoname = c.toname;
        curmsg.msgtoemail = c.toemail;
        curmsg.quotename = c.quotename;
        curmsg.quoteemail = c.quoteemail;
        run();
        EXPECT_EQ(curmsg.msgtoname.str(), c.want) << c.name;
    }
}

}  // namespace

namespace {

// Junk addressed to a list that has no FidoNet area, left where it is
// (JunkAction ignore), goes to netmail: never into an empty "AREA:".
TEST_F(classify, junktoalistwithoutareaisnetmail) {
    listrecord l;
    l.listaddress = "birds@lists.example";
    lists.listconfig.push_back(l);
    curmsg.msgtoemail = "birds@lists.example";
    v.junkcategory = JUNK_BODY;
    EXPECT_EQ(run(), OUTCOME_CONVERT);
    EXPECT_EQ(curmsg.fidoareaname.str(), "NETMAIL");
    EXPECT_EQ(v.category, CAT_EMAIL);
    // Moved junk goes to JunkArea as before.
    v = msgverdict{};
    v.junkcategory = JUNK_BODY;
    cfg.junkaction = ACTION_MOVE;
    EXPECT_EQ(run(), OUTCOME_CONVERT);
    EXPECT_EQ(curmsg.fidoareaname.str(), "JUNKMAIL");
}

}  // namespace
