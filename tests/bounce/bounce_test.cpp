// Bounces to FidoNet senders: a sound netmail packet to the right person
// that says what failed and about which message, one per original message
// also across runs, never a bounce of a bounce, and nothing from the
// server's answer that could pass for a kludge.
#include "bounce/bounce.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "config/tables.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

class bouncetest : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        makedirs(dir / "in");
        makedirs(dir / "soup");
        cfg.indir = dir / "in/";
        cfg.soupdir = dir / "soup/";
        cfg.gateaddr = {2, 280, 5555, 0};
        tables.addrmap.emplace_back();
        tables.addrmap.back().ftnaddr = {2, 280, 5555, 0};
    }
    bouncenotice notice(const std::string& key = "<k1@pond.example>") {
        bouncenotice n;
        n.headline = "Mail refused";
        n.recipients = {"refused@pond.test"};
        n.answer = "550 5.1.1 <refused@pond.test>: Recipient address rejected: User unknown";
        n.detail = "The mail stays with the gateway's sysop.";
        n.subject = "Meeting on Friday";
        n.firstlines = "Hello Bob,\nsee you at eight.\n";
        n.toname = "Jane Doe";
        n.toaddr = {2, 280, 5555, 1};
        n.key = key;
        return n;
    }
    std::vector<checkedmessage> packets() {
        std::vector<checkedmessage> out;
        for (const std::string& name : listtree(dir / "in")) {
            checkedpacket p = checkpacket(readfile(dir / ("in/" + name)));
            EXPECT_EQ(p.error, "") << name;
            EXPECT_EQ(name.size(), 12u) << name;  // 8 digits .PKT, published
            out.insert(out.end(), p.messages.begin(), p.messages.end());
        }
        return out;
    }
    scratchdir dir;
};

TEST_F(bouncetest, anetmailtothesenderthatsayswhatfailed) {
    ASSERT_EQ(sendbounce(notice()), BOUNCE_WRITTEN);
    std::vector<checkedmessage> m = packets();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].toname, "Jane Doe");
    EXPECT_EQ(m[0].fromname, BOUNCEFROMNAME);
    EXPECT_EQ(m[0].subject, "Mail refused: Meeting on Friday");
    EXPECT_EQ(m[0].attribute & 1, 1);  // private
    EXPECT_EQ(m[0].destnet, 280);
    EXPECT_EQ(m[0].destnode, 5555);
    const std::string& t = m[0].text;
    EXPECT_EQ(t.find("\x01INTL 2:280/5555 2:280/5555\r"), 0u) << t;
    EXPECT_NE(t.find("\x01TOPT 1\r"), std::string::npos);
    EXPECT_NE(t.find("\x01MSGID: 2:280/5555.0 "), std::string::npos);
    EXPECT_EQ(t.find("CHRS"), std::string::npos);  // plain ASCII
    for (const char* s : {"Mail refused:\r", "\r   refused@pond.test\r",
                          "\r   550 5.1.1 <refused@pond.test>: Recipient address rejected: User unknown\r",
                          "\rThe mail stays with the gateway's sysop.\r", "\r   Subject: Meeting on Friday\r",
                          "\r   > Hello Bob,\r   > see you at eight.\r\x01Via 2:280/5555 @19990914.201610 "})
        EXPECT_NE(t.find(s), std::string::npos) << s << "\n" << t;
    // The record of bounces names it.
    std::string rec = readfile(dir / ("soup/" + std::string(BOUNCELOGNAME)));
    EXPECT_EQ(rec, std::to_string(FIXEDNOW) + "\t<k1@pond.example>\t2:280/5555.1\tMail refused\n");
}

TEST_F(bouncetest, atmostonepermessagealsoinalaterrun) {
    ASSERT_EQ(sendbounce(notice()), BOUNCE_WRITTEN);
    EXPECT_EQ(sendbounce(notice()), BOUNCE_ALREADY);
    resetbounces();  // a later run reads the record
    EXPECT_TRUE(bouncedbefore("<k1@pond.example>"));
    EXPECT_EQ(sendbounce(notice()), BOUNCE_ALREADY);
    EXPECT_EQ(sendbounce(notice("<k2@pond.example>")), BOUNCE_WRITTEN);
    EXPECT_EQ(packets().size(), 2u);
    // The record keeps them for HistoryDays, at least GiveUpDays and a day.
    cfg.historydays = 0;
    cfg.giveupdays = 5;
    setfixedclock(FIXEDNOW + 5 * 86400);
    resetbounces();
    EXPECT_TRUE(bouncedbefore("<k1@pond.example>"));
    setfixedclock(FIXEDNOW + 7 * 86400);
    resetbounces();
    EXPECT_FALSE(bouncedbefore("<k1@pond.example>"));
    EXPECT_EQ(readfile(dir / ("soup/" + std::string(BOUNCELOGNAME))), "");
    setfixedclock(FIXEDNOW);
}

TEST_F(bouncetest, abouncethatcamebackisnotbounced) {
    bouncenotice n = notice();
    n.toname = BOUNCEFROMNAME;
    EXPECT_EQ(sendbounce(n), BOUNCE_REFUSED);
    EXPECT_TRUE(listtree(dir / "in").empty());
}

TEST_F(bouncetest, hostileanswersandtextsstaytext) {
    bouncenotice n = notice();
    n.answer = std::string("550 no\r\x01" "AREA:FAKE\n\x01PID: evil\0zero", 30) + "\n" + std::string(2000, 'x');
    n.subject = "Sub\x01ject\r\nInjected: yes";
    n.firstlines = std::string("line\x01one\0\n", 10) + "SEEN-BY: 1/1\n";
    n.toname = std::string(60, 'N');
    n.recipients.assign(80, "r@x.test");
    ASSERT_EQ(sendbounce(n), BOUNCE_WRITTEN);
    std::vector<checkedmessage> m = packets();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].toname, std::string(35, 'N'));
    EXPECT_EQ(m[0].subject.find('\x01'), std::string::npos);
    EXPECT_LE(m[0].subject.size(), 71u);
    // Every kludge line is one the gateway wrote.
    std::size_t pos = 0;
    int kludges = 0;
    while (pos < m[0].text.size()) {
        std::size_t end = m[0].text.find('\r', pos);
        std::string line = m[0].text.substr(pos, end - pos);
        if (!line.empty() && line[0] == '\x01') {
            ++kludges;
            EXPECT_TRUE(line.rfind("\x01INTL ", 0) == 0 || line.rfind("\x01TOPT ", 0) == 0 ||
                        line.rfind("\x01MSGID: ", 0) == 0 || line.rfind("\x01PID: PondLark", 0) == 0 ||
                        line.rfind("\x01Via ", 0) == 0)
                << line;
        }
        EXPECT_NE(line.rfind("SEEN-BY", 0), 0u);
        EXPECT_NE(line.rfind("AREA:", 0), 0u);
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    EXPECT_EQ(kludges, 5);
    EXPECT_NE(m[0].text.find("   and 30 more\r"), std::string::npos);
    EXPECT_NE(m[0].text.find(" [...]\r"), std::string::npos);  // the long answer line cut
}

TEST_F(bouncetest, writteninthenetmailcharacterset) {
    bouncenotice n = notice();
    n.toname = "J\xc3\xbcrgen M\xc3\xbcller";
    n.subject = "Gr\xc3\xbc\xc3\x9f" "e";
    ASSERT_EQ(sendbounce(n), BOUNCE_WRITTEN);
    std::vector<checkedmessage> m = packets();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].toname, "J\xc3\xbcrgen M\xc3\xbcller");  // UTF-8 labelled so
    EXPECT_NE(m[0].text.find("\x01" "CHRS: UTF-8 4\r"), std::string::npos);

    cfg.fidocharset.identifier = "CP437";
    cfg.fidocharset.level = 2;
    cfg.fidocharset.icuname = "ibm-437_P100-1995";
    n.key = "<k3@pond.example>";
    std::string first = listtree(dir / "in")[0];
    ASSERT_EQ(sendbounce(n), BOUNCE_WRITTEN);
    std::vector<std::string> names = listtree(dir / "in");
    ASSERT_EQ(names.size(), 2u);
    checkedpacket p = checkpacket(readfile(dir / ("in/" + names[names[0] == first ? 1 : 0])));
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].toname, "J\x81rgen M\x81ller");
    EXPECT_EQ(p.messages[0].subject, "Mail refused: Gr\x81\xE1" "e");
    EXPECT_NE(p.messages[0].text.find("\x01" "CHRS: CP437 2\r"), std::string::npos);
}

// A message the gateway made: the sender, subject, first lines and key
// come from it, decoded; one that names nobody of FidoNet gets none.
TEST_F(bouncetest, fromamessagethegatewaymade) {
    tables.addrmap.front().email = "sysop@pond.example";
    bouncenotice n;
    n.headline = "Article refused";
    n.recipients = {"alt.test"};
    n.answer = "437 Bad header";
    std::string article = "From: sysop@pond.example (Jim Node)\nNewsgroups: alt.test\n"
                          "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\nMessage-ID: <9@f100.n280.z2.fidonet.org>\n"
                          "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
                          "Sch=C3=B6ne Gr=C3=BC=C3=9Fe aus dem Teich, mit einer sehr langen Zeile, die weich =\numbricht.\n";
    ASSERT_EQ(bouncemessage(article, n), BOUNCE_WRITTEN);
    std::vector<checkedmessage> m = packets();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].toname, "Jim Node");
    EXPECT_EQ(m[0].destnode, 100);
    EXPECT_EQ(m[0].subject, "Article refused: Gr\xc3\xbc\xc3\x9f" "e");
    EXPECT_NE(m[0].text.find("   > Sch\xc3\xb6ne Gr\xc3\xbc\xc3\x9f" "e aus dem Teich, mit einer sehr langen Zeile, die weich umbricht.\r"),
              std::string::npos) << m[0].text;
    EXPECT_TRUE(bouncedbefore("<9@f100.n280.z2.fidonet.org>"));
    EXPECT_EQ(bouncemessage(article, n), BOUNCE_ALREADY);
    EXPECT_EQ(bouncemessage("From: bob@net.example\nMessage-ID: <b@net.example>\n\nHi\n", n), BOUNCE_REFUSED);
}

// Inside a unit the bounce waits for its commit; a unit taken back takes
// it back.
TEST_F(bouncetest, insideaunititgoeswiththeunit) {
    recoveryinfo info;
    ASSERT_EQ(journalstart("export", 0, info), 0);
    unitbegin("export", "");
    ASSERT_EQ(sendbounce(notice()), BOUNCE_WRITTEN);
    std::vector<std::string> names = listtree(dir / "in");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "00000000.PKT.tmp");
    discardbounces();
    unitabandon();
    EXPECT_TRUE(listtree(dir / "in").empty());
    EXPECT_FALSE(bouncedbefore("<k1@pond.example>"));
    resetbounces();  // nor does a later run find it in the record
    EXPECT_FALSE(bouncedbefore("<k1@pond.example>"));

    unitbegin("export", "");
    ASSERT_EQ(sendbounce(notice()), BOUNCE_WRITTEN);
    ASSERT_EQ(unitcommit(), 0);
    keepbounces();
    EXPECT_EQ(listtree(dir / "in"), std::vector<std::string>{"00000000.PKT"});
    journalfinish();
}

}  // namespace
