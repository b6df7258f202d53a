// Every recipient gets the mail and every failure reaches its sender,
// through a real Postfix: copies it delivers for two FidoNet users reach
// both, once each, also when fetched again; a recipient it refuses, or puts
// off past GiveUpDays, comes back to the FidoNet sender as one bounce that
// the tosser takes; the notification Postfix itself writes for mail it
// could not deliver reaches the FidoNet sender readable.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

class failuretest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        home = new scratchdir;
        mta = new testpostfix(home->path);
        for (const char* u : {"jane", "joe"}) mta->adduser(u);
        mta->refuse("refused@pond.test");
        mta->deferrecipient("slow@pond.test");
        mta->gatewaydomain("fidonet.org");
        started = mta->start(why);
    }
    static void TearDownTestSuite() {
        delete mta;
        delete home;
        mta = nullptr;
        home = nullptr;
    }
    static scratchdir* home;
    static testpostfix* mta;
    static bool started;
    static std::string why;
};
scratchdir* failuretest::home = nullptr;
testpostfix* failuretest::mta = nullptr;
bool failuretest::started = false;
std::string failuretest::why;

// Submits a message with Python's smtplib to the recipients given.
void submitto(int port, const std::vector<std::string>& rcpts, const std::string& message) {
    scratchdir d;
    writefile(d / "m", message);
    std::string list;
    for (const std::string& r : rcpts) list += "'" + r + "',";
    writefile(d / "send.py", "import smtplib, sys\ns = smtplib.SMTP('127.0.0.1', " + std::to_string(port) +
                                 ")\ns.sendmail('bob@net.example', [" + list + "], open(sys.argv[1], 'rb').read())\n"
                                 "s.quit()\n");
    runresult r = runprogram("/usr/bin/python3", {d / "send.py", d / "m"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
}

std::string mail(const std::string& id, const std::string& headers, const std::string& token) {
    return "From: Bob <bob@net.example>\n" + headers + "Subject: About " + token +
           "\nDate: Tue, 14 Sep 1999 18:00:00 +0000\nMessage-ID: <" + id + ">\n\nToken " + token + "\n";
}

// Takes every message of the packets in in/ with crashmail: netmail for
// the gateway's own system into its netmail folder, netmail for others
// routed into the outbound. Returns them: stored messages as they are,
// routed ones as to-name, subject and text.
std::vector<std::string> toss(const gateway& g) {
    std::string cm = g.path("crashmail/");
    fs::remove_all(cm);
    for (const char* sub : {"inb", "outb", "tmp", "netmail", "bad"}) makedirs(cm + sub);
    for (const std::string& p : listtree(g.path("in"))) fs::copy(g.path("in/" + p), cm + "inb/" + p);
    writefile(cm + "crashmail.prefs",
              "SYSOP \"Sysop Pond\"\nLOGFILE \"" + cm + "crashmail.log\"\nLOGLEVEL 6\n"
              "DUPEFILE \"" + cm + "dupes\" 200\nDUPEMODE BAD\nDEFAULTZONE 2\n"
              "INBOUND \"" + cm + "inb\"\nOUTBOUND \"" + cm + "outb\"\nTEMPDIR \"" + cm + "tmp\"\n"
              "CREATEPKTDIR \"" + cm + "tmp\"\nPACKETDIR \"" + cm + "outb\"\nSTATSFILE \"" + cm + "stats\"\n"
              "AKA 2:280/5555\nDOMAIN \"FidoNet\"\nNODE 2:280/5555.0 \"\" \"\"\nNODE 2:280/100 \"\" \"\"\n"
              "ROUTE \"2:*/*\" \"2:280/100\" 2:280/5555\n"
              "NETMAIL \"NETMAIL\" 2:280/5555 MSG \"" + cm + "netmail\"\n"
              "AREA \"BAD\" 2:280/5555 MSG \"" + cm + "bad\"\n");
    runresult t = runprogram("/usr/bin/crashmail", {"SETTINGS", cm + "crashmail.prefs", "TOSS"}, cm);
    EXPECT_EQ(t.status, 0) << t.out << t.err;
    EXPECT_TRUE(fs::is_empty(cm + "bad")) << readfile(cm + "crashmail.log");
    EXPECT_TRUE(fs::is_empty(cm + "inb")) << readfile(cm + "crashmail.log");
    std::vector<std::string> out;
    for (const std::string& f : listtree(cm + "netmail")) out.push_back(readfile(cm + "netmail/" + f));
    for (const std::string& f : listtree(cm + "outb")) {
        checkedpacket p = checkpacket(readfile(cm + "outb/" + f));
        EXPECT_EQ(p.error, "") << f;
        for (const checkedmessage& m : p.messages) out.push_back(m.toname + "\n" + m.subject + "\n" + m.text);
    }
    fs::remove_all(g.path("in"));
    makedirs(g.path("in"));
    return out;
}

int withsubject(const std::vector<std::string>& delivered, const std::string& subject) {
    int n = 0;
    for (const std::string& m : delivered) n += m.find("\nSubject: " + subject + "\n") != std::string::npos;
    return n;
}

// Marks every message of a Maildir unseen again, as a fetcher that
// fetched them again would.
void unseeall(const std::string& md) {
    for (const std::string& n : listtree(md + "cur")) fs::rename(md + "cur/" + n, md + "new/" + n.substr(0, n.find(':')));
}

TEST_F(failuretest, eachrecipientgetsthemailonce) {
    REQUIRE_SERVER(started, why);
    const std::string md = mta->gatewaymaildir();
    gateway g("ImportMaildir " + md + "\nTransFidoOrg Yes\n");
    const std::string alice = "Alice.Smith@f100.n280.z2.fidonet.org", bob = "Bob.Jones@f101.n280.z2.fidonet.org";
    submitto(mta->port, {alice, bob},
             mail("two@net.example", "To: Alice Smith <" + alice + ">\nCc: Bob Jones <" + bob + ">\n", "two"));
    // A list's copy and a direct copy of the same mail for Alice.
    submitto(mta->port, {alice}, mail("list@net.example", "To: pond-talk@lists.example\n", "list"));
    submitto(mta->port, {alice}, mail("list@net.example", "To: " + alice + "\n", "list"));
    ASSERT_TRUE(mta->drained()) << mta->log();
    ASSERT_EQ(listtree(md + "new").size(), 4u) << mta->log();

    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> to;
    for (const checkedmessage& m : g.messages()) {
        std::size_t t = m.text.find("Token ");
        ASSERT_NE(t, std::string::npos);
        to[m.toname + " " + std::to_string(m.destnet) + "/" + std::to_string(m.destnode) + " " +
           m.text.substr(t + 6, m.text.find('\r', t) - t - 6)]++;
    }
    EXPECT_EQ(to, (std::map<std::string, int>{{"Alice Smith 280/100 two", 1},
                                               {"Bob Jones 280/101 two", 1},
                                               {"Alice Smith 280/100 list", 1}}))
        << r.err;
    EXPECT_NE(r.err.find("dupes: 1"), std::string::npos) << r.err;

    // Fetched again: nothing twice.
    unseeall(md);
    fs::remove_all(g.path("in"));
    makedirs(g.path("in"));
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(g.messages().empty());
    EXPECT_NE(r.err.find("dupes: 4"), std::string::npos) << r.err;
}

std::vector<testmsg> failingmail() {
    std::vector<testmsg> msgs(3);
    msgs[0].to = "refused@pond.test";
    msgs[0].subject = "For nobody";
    msgs[0].text = "Dear nobody,\rthis will not arrive.\r";
    msgs[1].to = "jane@pond.test";
    msgs[1].subject = "For Jane and nobody";
    msgs[1].text = "Copy: refused@pond.test\r\rHello Jane.\r";
    msgs[2].to = "slow@pond.test";
    msgs[2].subject = "For the slow one";
    msgs[2].text = "This waits.\r";
    return msgs;
}

runresult exportat(const gateway& g, std::time_t when) {
    return runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, g.dir,
                       {"PONDLARK_TEST_NOW=" + std::to_string(when)});
}

TEST_F(failuretest, therefusedandthegivenupcomebacktothesenderonce) {
    REQUIRE_SERVER(started, why);
    gateway g("SendMail " + mta->url() + "\nGiveUpDays 5\n");
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket({2, 280, 5555, 0}, failingmail()));
    runresult r = exportat(g, FIXEDNOW);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(mta->drained());
    EXPECT_EQ(withsubject(mta->delivered("jane", 1), "For Jane and nobody"), 1);
    // Two bounces to the sender, Jim Node at 2:280/100, that the tosser takes.
    std::vector<std::string> netmail = toss(g);
    ASSERT_EQ(netmail.size(), 2u) << r.err;
    std::string all = netmail[0] + netmail[1];
    EXPECT_EQ(countof(all, "Jim Node"), 2);
    EXPECT_EQ(countof(all, "Mail refused: For nobody"), 1) << all;
    EXPECT_EQ(countof(all, "Mail refused for some recipients: For Jane and nobody"), 1) << all;
    EXPECT_EQ(countof(all, "550 5.1.1 <refused@pond.test>: Recipient address rejected: no such user here"), 2) << all;
    EXPECT_EQ(countof(all, "   > Dear nobody,\r"), 1) << all;
    // The refused mail stays for the sysop; the one put off waits.
    std::vector<std::string> rejected = listtree(g.path("soup/rejected"));
    ASSERT_EQ(rejected.size(), 1u);
    EXPECT_NE(readfile(g.path("soup/rejected/" + rejected[0])).find("Subject: For nobody"), std::string::npos);
    EXPECT_EQ(souprecords(g.path("soup/MAIL0000.MSG")).size(), 1u);

    // Run again (a day later): no second bounce, the slow one still waits.
    r = exportat(g, FIXEDNOW + 86400);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(listtree(g.path("in")).empty()) << r.err;
    EXPECT_NE(r.err.find("kept for the next run: 450 4.2.1"), std::string::npos) << r.err;

    // Past GiveUpDays it is given up: one bounce, the mail in rejected/.
    r = exportat(g, FIXEDNOW + 5 * 86400 + 60);
    ASSERT_EQ(r.status, 0) << r.err;
    netmail = toss(g);
    ASSERT_EQ(netmail.size(), 1u) << r.err;
    EXPECT_NE(netmail[0].find("Mail not delivered in 5 days: For the slow one"), std::string::npos) << netmail[0];
    EXPECT_NE(netmail[0].find("450 4.2.1"), std::string::npos) << netmail[0];
    EXPECT_EQ(listtree(g.path("soup/rejected")).size(), 2u);
    EXPECT_FALSE(fileexists(g.path("soup/MAIL0000.MSG")));
    r = exportat(g, FIXEDNOW + 6 * 86400);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(listtree(g.path("in")).empty()) << r.err;
}

TEST_F(failuretest, thenotificationpostfixwritesreachesthesenderreadable) {
    REQUIRE_SERVER(started, why);
    const std::string md = mta->gatewaymaildir();
    // Jim Node's mail goes out from gate@fido.test, whose mail comes back
    // into the gateway's Maildir.
    gateway g("SendMail " + mta->url() + "\nImportMaildir " + md + "\nAddrMap 2:280/100 gate@fido.test Jim Node\n");
    for (const std::string& n : listtree(md + "new")) fs::remove(md + "new/" + n);
    std::vector<testmsg> msgs(1);
    msgs[0].to = "nosuchuser@fido.test";
    msgs[0].subject = "Lost in the mail";
    msgs[0].text = "Hello?\r";
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket({2, 280, 5555, 0}, msgs));
    runresult r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(mta->drained()) << mta->log();
    // Postfix could not deliver it and wrote its notification.
    std::vector<std::string> back;
    for (int i = 0; i < 100 && back.empty(); ++i) {
        back = listtree(md + "new");
        usleep(50000);
    }
    ASSERT_EQ(back.size(), 1u) << mta->log();
    ASSERT_NE(readfile(md + "new/" + back[0]).find("multipart/report"), std::string::npos);

    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<checkedmessage> m = g.messages();
    ASSERT_EQ(m.size(), 1u) << r.err;
    EXPECT_EQ(m[0].toname, "Jim Node");
    EXPECT_EQ(m[0].destnet, 280);
    EXPECT_EQ(m[0].destnode, 100);
    EXPECT_EQ(m[0].subject, "Undelivered Mail Returned to Sender (Lost in the mail)");
    for (const char* s : {"This is the mail system at host", "Recipient:  nosuchuser@fido.test\r",
                          "Action:     failed\r", "Status:     5.1.1\r", "[Your message]\r",
                          "Subject:    Lost in the mail\r"})
        EXPECT_NE(m[0].text.find(s), std::string::npos) << s << "\n" << m[0].text;
    // No file was made of the status block.
    for (const std::string& f : listtree(g.path("in"))) EXPECT_TRUE(ispacketname(f)) << f;
    std::vector<std::string> netmail = toss(g);
    EXPECT_EQ(netmail.size(), 1u);
}

// A news server that will not have one article of a batch: the batch is
// posted again article by article, the others get through, the refused
// one comes back to its sender once and stays for the sysop.
TEST(refusedarticle, comesbacktoitssender) {
    gateway g("PostNews ./rnews.sh\n");
    std::string cfg = readfile(g.path("gate.cfg"));
    writefile(g.path("gate.cfg"), cfg.replace(cfg.find("./rnews.sh"), 10, g.path("rnews.sh")));
    writefile(g.path("rnews.sh"), "#!/bin/sh\ncat > \"$0.in\"\nif grep -q 'Token bad' \"$0.in\"; then\n"
                                  "  echo 'rnews: article rejected: 437 Bad header' >&2 ; exit 1\nfi\n"
                                  "cat \"$0.in\" >> \"$0.posted\"\n");
    chmod(g.path("rnews.sh").c_str(), 0755);
    std::vector<testmsg> msgs(2);
    for (std::size_t i = 0; i < 2; ++i) {
        std::string t = i == 0 ? "good" : "bad";
        msgs[i].to = "All";
        msgs[i].subject = "About " + t;
        msgs[i].text = "AREA:PONDLARK.TEST\rToken " + t + "\rSome echomail.\r";
    }
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket({2, 280, 5555, 0}, msgs));
    runresult r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string posted = readfile(g.path("rnews.sh.posted"));
    EXPECT_EQ(countof(posted, "Token good\n"), 1) << r.err;
    EXPECT_EQ(countof(posted, "Token bad\n"), 0);
    std::vector<checkedmessage> m = g.messages();
    ASSERT_EQ(m.size(), 1u) << r.err;
    EXPECT_EQ(m[0].toname, "Jim Node");
    EXPECT_EQ(m[0].subject, "Article refused: About bad");
    EXPECT_NE(m[0].text.find("\r   alt.test\r"), std::string::npos) << m[0].text;
    EXPECT_NE(m[0].text.find("437 Bad header"), std::string::npos) << m[0].text;
    EXPECT_EQ(listtree(g.path("soup/rejected")).size(), 1u);
    EXPECT_FALSE(fileexists(g.path("soup/NEWS0000.MSG")));
    r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(g.messages().size(), 1u);
}

// The stored forms of Exim and Gmail, found through the gateway's record
// of what it sent: by the returned Message-ID, and by the address alone.
TEST(storedreports, reachtheirsenderreadable) {
    scratchdir md;
    for (const char* sub : {"new", "cur", "tmp"}) makedirs(md / sub);
    gateway g("ImportMaildir " + md.path + "\n");
    for (const char* f : {"exim.eml", "gmail.eml"})
        writefile(md / (std::string("new/") + f), readfile(std::string(PONDLARK_SOURCE_DIR) + "/tests/import/dsn/" + f));
    writefile(g.path("soup/pondlark.snt"),
              std::to_string(FIXEDNOW - 60) + "\t<1111@f100.n280.z2.fidonet.org>\t2:280/100.0\tJim Node\tMeeting on Friday\tnobody@example.net\n" +
              std::to_string(FIXEDNOW - 60) + "\t<elsewhere@pond.example>\t2:280/5555.7\tJ\xc3\xbcrgen\tGr\xc3\xbc\xc3\x9f" "e\tnobody@example.com\n");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> bysubject;
    for (const checkedmessage& m : g.messages()) bysubject[m.subject] = m.toname + "\n" + m.text;
    ASSERT_EQ(bysubject.size(), 2u) << r.err;
    const std::string exim = bysubject["Mail delivery failed: returning message to sender (Meeting on Friday)"];
    EXPECT_EQ(exim.rfind("Jim Node\n\x01INTL 2:280/100 2:280/5555\r", 0), 0u) << exim;
    for (const char* s : {"This message was created automatically by mail delivery software.\r",
                          "Diagnostic: 550 5.1.1 <nobody@example.net>: Recipient address rejected: User unknown\r"})
        EXPECT_NE(exim.find(s), std::string::npos) << s << exim;
    EXPECT_EQ(exim.find("See you at eight"), std::string::npos);  // the copy is not repeated
    const std::string gmail = bysubject["Delivery Status Notification (Failure) (Gr\xc3\xbc\xc3\x9f" "e)"];
    EXPECT_EQ(gmail.rfind("J\xc3\xbcrgen\n\x01INTL 2:280/5555 2:280/5555\r\x01TOPT 7\r", 0), 0u) << gmail;
    EXPECT_NE(gmail.find("\x01" "CHRS: UTF-8 4\r"), std::string::npos) << gmail;
    EXPECT_NE(gmail.find("Status:     5.1.1\r"), std::string::npos) << gmail;
    for (const std::string& f : listtree(g.path("in"))) EXPECT_TRUE(ispacketname(f)) << f;
}

// A report's text is the Internet's: lines a tosser would read as control
// information (a kludge, SEEN-BY, a tear or origin line) and control bytes
// in it reach the FidoNet sender disarmed, like everything else import
// writes.
TEST(storedreports, carrynocontrolinformationofthesender) {
    scratchdir md;
    for (const char* sub : {"new", "cur", "tmp"}) makedirs(md / sub);
    gateway g("ImportMaildir " + md.path + "\n");
    std::string exim = readfile(std::string(PONDLARK_SOURCE_DIR) + "/tests/import/dsn/exim.eml");
    std::size_t at = exim.find("A message that you sent");
    ASSERT_NE(at, std::string::npos);
    exim.insert(at, "SEEN-BY: 1/1 2/2\n\x01INTL 1:1/1 9:9/9\n---\n * Origin: forged (1:1/1)\n"
                    "AREA:FORGED\nbidi \xe2\x80\xae and C1 \xc2\x9b here\x01FMPT 7\n");
    writefile(md / "new/hostile.eml", exim);
    writefile(g.path("soup/pondlark.snt"),
              std::to_string(FIXEDNOW - 60) + "\t<1111@f100.n280.z2.fidonet.org>\t2:280/100.0\tJim Node\tMeeting\tnobody@example.net\n");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<checkedmessage> msgs = g.messages();
    ASSERT_EQ(msgs.size(), 1u) << r.err;
    const std::string& t = msgs[0].text;
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < t.size();) {
        std::size_t end = std::min(t.find('\r', pos), t.size());
        lines.push_back(t.substr(pos, end - pos));
        pos = end + 1;
    }
    // The tear and origin lines are the gateway's own, at the end.
    int tears = 0, origins = 0;
    for (const std::string& line : lines) {
        if (line.rfind("\x01", 0) == 0) {
            bool ours = false;
            for (const char* k : {"\x01INTL 2:280/100 2:280/5555", "\x01MSGID: ", "\x01PID: ", "\x01" "CHRS: ",
                                  "\x01TZUTC", "\x01REPLYADDR", "\x01REPLYTO", "\x01Via "})
                ours = ours || line.rfind(k, 0) == 0;
            EXPECT_TRUE(ours) << line;
            continue;
        }
        EXPECT_EQ(line.find('\x01'), std::string::npos) << line;
        for (const char* forged : {"SEEN-BY:", "AREA:"}) EXPECT_NE(line.rfind(forged, 0), 0u) << line;
        tears += line == "---" || line.rfind("--- ", 0) == 0;
        origins += line.rfind(" * Origin:", 0) == 0;
        EXPECT_EQ(line.find("\xe2\x80\xae"), std::string::npos) << line;
        EXPECT_EQ(line.find("\xc2\x9b"), std::string::npos) << line;
    }
    EXPECT_EQ(tears, 1) << t;
    EXPECT_EQ(origins, 1) << t;
    EXPECT_NE(t.find("SEEN+BY: 1/1 2/2\r"), std::string::npos) << t;
}

}  // namespace
