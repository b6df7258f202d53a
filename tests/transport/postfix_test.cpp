// Mail both ways through a real Postfix: mail it delivers into the
// gateway's Maildir reaches the tosser, netmail leaves over SMTP and
// arrives byte for byte, refused recipients and a stopped server lose
// nothing and double nothing, and neither does a run killed while it
// delivers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

// The envelope sender of the test gateway (2:280/5555, no FidoDomain).
constexpr char GATEMAILBOX[] = "pondlark@f5555.n280.z2.fidonet.org";

// One Postfix for the cases that do not stop it.
class postfixtest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        home = new scratchdir;
        mta = new testpostfix(home->path);
        for (const char* u : {"jane", "joe"}) mta->adduser(u);
        mta->refuse("refused@pond.test");
        mta->refusesubject("Reply never");
        mta->defersender("later@pond.example");
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
scratchdir* postfixtest::home = nullptr;
testpostfix* postfixtest::mta = nullptr;
bool postfixtest::started = false;
std::string postfixtest::why;

// Submits messages to port with Python's smtplib: a client that is not ours.
void submit(int port, const std::string& to, const std::vector<std::string>& messages) {
    scratchdir d;
    for (std::size_t i = 0; i < messages.size(); ++i) writefile(d / ("m" + std::to_string(i)), messages[i]);
    std::string py = "import smtplib, sys, glob\n"
                     "s = smtplib.SMTP('127.0.0.1', " + std::to_string(port) + ")\n"
                     "for f in sorted(glob.glob(sys.argv[1] + 'm*')):\n"
                     "    s.sendmail('bob@net.example', ['" + to + "'], open(f, 'rb').read())\n"
                     "s.quit()\n";
    writefile(d / "send.py", py);
    runresult r = runprogram("/usr/bin/python3", {d / "send.py", d.path}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
}

// Reply messages in a SOUP reply file registered in REPLIES.
void queuereplies(const gateway& g, const std::vector<std::string>& messages) {
    std::string data;
    for (const std::string& m : messages) {
        unsigned char be[4] = {static_cast<unsigned char>(m.size() >> 24), static_cast<unsigned char>(m.size() >> 16),
                               static_cast<unsigned char>(m.size() >> 8), static_cast<unsigned char>(m.size())};
        data += std::string(reinterpret_cast<char*>(be), 4) + m;
    }
    writefile(g.path("soup/MAIL0000.MSG"), data);
    writefile(g.path("soup/REPLIES"), "MAIL0000\tmail\tbn\n");
}

std::string reply(const std::string& id, const std::string& to, const std::string& extra = "") {
    return "From: Sysop Pond <sysop@pond.example>\nTo: " + to + "\n" + extra + "Subject: Reply " + id +
           "\nDate: Tue, 14 Sep 1999 20:16:10 +0000\nMessage-ID: <" + id + "@pond.example>\n\nText of " + id +
           "\n.\n..a line with dots\nFrom the start of a line\n";
}

// How many of the delivered messages carry each Message-ID.
std::map<std::string, int> byid(const std::vector<std::string>& delivered) {
    std::map<std::string, int> n;
    for (const std::string& m : delivered) {
        std::size_t p = m.find("\nMessage-ID: <");
        if (p == std::string::npos) continue;
        std::size_t e = m.find('@', p);
        ++n[m.substr(p + 14, e - p - 14)];
    }
    return n;
}

// A delivered message without what Postfix put in front of it: its trace
// header lines (Return-Path, X-Original-To, Delivered-To, Received).
std::string withouttrace(const std::string& m) {
    std::size_t pos = 0;
    for (;;) {
        bool trace = false;
        for (const char* f : {"Return-Path:", "X-Original-To:", "Delivered-To:", "Received:"})
            trace = trace || m.compare(pos, std::string(f).size(), f) == 0;
        if (!trace) return m.substr(pos);
        do pos = m.find('\n', pos) + 1;
        while (pos < m.size() && (m[pos] == ' ' || m[pos] == '\t'));
    }
}

std::vector<std::string> soupfiles(const gateway& g) {
    std::vector<std::string> out;
    for (const std::string& n : listtree(g.path("soup"))) {
        // The gateway's own state: delivery log, history, records of mail
        // sent and bounces, replies put off.
        if (n.rfind("pondlark.", 0) != 0) out.push_back(n);
    }
    return out;
}

TEST_F(postfixtest, mailthatpostfixdeliversreachesthetosser) {
    REQUIRE_SERVER(started, why);
    // Delivered as the README sets it up: an alias to the gateway's Maildir.
    const std::string md = mta->gatewaymaildir();
    gateway g("ImportMaildir " + md + "\n");
    const std::vector<std::string> tokens = {"p1", "p2", "p3"};
    std::vector<std::string> mails;
    for (const std::string& t : tokens) mails.push_back(tokenmail(t, t + "@net.example", "gate@fido.test"));
    submit(mta->port, "gate@fido.test", mails);
    ASSERT_TRUE(mta->drained()) << mta->log();
    ASSERT_EQ(listtree(md + "new").size(), 3u) << mta->log();

    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(notexactlyonce(tokens, g.tokens()), "") << r.err;  // and every packet is sound
    std::vector<std::string> left;
    ASSERT_TRUE(fs::is_empty(md + "new"));

    // The tosser takes every message into its netmail area.
    std::string cm = g.path("crashmail/");
    for (const char* sub : {"inb", "outb", "tmp", "netmail", "bad"}) makedirs(cm + sub);
    for (const std::string& p : listtree(g.path("in"))) fs::copy(g.path("in/" + p), cm + "inb/" + p);
    writefile(cm + "crashmail.prefs",
              "SYSOP \"Sysop Pond\"\nLOGFILE \"" + cm + "crashmail.log\"\nLOGLEVEL 6\n"
              "DUPEFILE \"" + cm + "dupes\" 200\nDUPEMODE BAD\nDEFAULTZONE 2\n"
              "INBOUND \"" + cm + "inb\"\nOUTBOUND \"" + cm + "outb\"\nTEMPDIR \"" + cm + "tmp\"\n"
              "CREATEPKTDIR \"" + cm + "tmp\"\nPACKETDIR \"" + cm + "outb\"\nSTATSFILE \"" + cm + "stats\"\n"
              "AKA 2:280/5555\nDOMAIN \"FidoNet\"\nNODE 2:280/5555.0 \"\" \"\"\n"
              "NETMAIL \"NETMAIL\" 2:280/5555 MSG \"" + cm + "netmail\"\n"
              "AREA \"BAD\" 2:280/5555 MSG \"" + cm + "bad\"\n");
    runresult t = runprogram("/usr/bin/crashmail", {"SETTINGS", cm + "crashmail.prefs", "TOSS"}, cm);
    ASSERT_EQ(t.status, 0) << t.out << t.err;
    std::map<std::string, int> tossed;
    for (const std::string& f : listtree(cm + "netmail")) {
        std::string m = readfile(cm + "netmail/" + f);
        for (const std::string& tok : tokens) tossed[tok] += countof(m, "Token " + tok + "\r");
    }
    EXPECT_EQ(notexactlyonce(tokens, tossed), "") << readfile(cm + "crashmail.log");
    EXPECT_TRUE(fs::is_empty(cm + "bad"));

    // A crash between taking a message in and marking it leaves it unseen:
    // taken in again, it is a dupe.
    std::vector<std::string> cur = listtree(md + "cur");
    ASSERT_EQ(cur.size(), 3u);
    std::string name = cur[0];
    fs::rename(md + "cur/" + name, md + "new/" + name.substr(0, name.find(':')));
    fs::remove_all(g.path("in"));
    makedirs(g.path("in"));
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(g.tokens().empty());
    EXPECT_NE(r.err.find("dupes: 1"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(md + "new"));
}

TEST_F(postfixtest, netmailarrivesbyteforbyteoveroneconnection) {
    REQUIRE_SERVER(started, why);
    // The same FidoNet mail exported twice: once into the SOUP reply
    // files, once to Postfix; what arrives is what the reply file held.
    std::vector<testmsg> msgs(3);
    msgs[0].to = "jane@pond.test";
    msgs[0].subject = "Plain";
    msgs[0].text = "Hello Jane,\r.\r..two dots\rGr\xfc\xdf" "e from Fido\r";
    msgs[1].to = "jane@pond.test";
    msgs[1].subject = "pkt/notes.bin";
    msgs[1].attr = 0x0011;
    msgs[1].text = "The file you asked for.\r";
    msgs[2].to = "joe@pond.test";
    msgs[2].subject = "For Joe";
    msgs[2].text = "Hello Joe\r";
    std::string file = filebytes(5000, 7);
    std::string packet = testpacket(GATE, msgs);
    std::vector<std::string> written;
    for (bool send : {false, true}) {
        gateway g(send ? "SendMail " + mta->url() + "\n" : "");
        makedirs(g.path("pkt"));
        writefile(g.path("pkt/0001.PKT"), packet);
        writefile(g.path("pkt/notes.bin"), file);
        int before = mta->connections();
        runresult r = g.run("export", {"/pkt=pkt"});
        ASSERT_EQ(r.status, 0) << r.err;
        if (!send) {
            written = souprecords(g.path("soup/MAIL0000.MSG"));
            ASSERT_EQ(written.size(), 3u) << r.err;
            continue;
        }
        EXPECT_NE(r.err.find("Delivered 3 mail message(s) over SMTP (1 connection(s))\n"), std::string::npos)
            << r.err;
        EXPECT_EQ(soupfiles(g), std::vector<std::string>{}) << r.err;
        std::vector<std::string> jane = mta->delivered("jane", 2), joe = mta->delivered("joe", 1);
        ASSERT_TRUE(mta->drained());
        EXPECT_EQ(mta->connections() - before, 1) << mta->log();
        // On the way PondLark names itself the sender, in the envelope
        // (Return-Path) and in a Sender line; the rest is the reply file's.
        std::vector<std::string> arrived;
        const std::string sender = "Sender: " + std::string(GATEMAILBOX) + "\n";
        for (const std::vector<std::string>* box : {&jane, &joe}) {
            for (const std::string& m : *box) {
                EXPECT_EQ(m.rfind("Return-Path: <" + std::string(GATEMAILBOX) + ">\n", 0), 0u) << m;
                std::string a = withouttrace(m);
                std::size_t at = a.find(sender);
                EXPECT_NE(at, std::string::npos) << a;
                if (at != std::string::npos) a.erase(at, sender.size());
                arrived.push_back(a);
            }
        }
        std::sort(arrived.begin(), arrived.end());
        std::sort(written.begin(), written.end());
        ASSERT_EQ(arrived.size(), written.size());
        for (std::size_t i = 0; i < arrived.size(); ++i) EXPECT_EQ(arrived[i], written[i]) << describediff(written[i], arrived[i]);
        EXPECT_NE(arrived[0].find(base64(file).substr(0, 76)) + arrived[1].find(base64(file).substr(0, 76)) +
                      arrived[2].find(base64(file).substr(0, 76)),
                  3 * std::string::npos);
    }
}

TEST_F(postfixtest, arefusedrecipientisloggedandanallrefusedreplygoestorejected) {
    REQUIRE_SERVER(started, why);
    gateway g("SendMail " + mta->url() + "\n");
    std::string r1 = reply("ok1", "jane@pond.test"), r2 = reply("bad2", "refused@pond.test"),
                r3 = reply("mixed3", "jane@pond.test", "Cc: refused@pond.test\nBcc: joe@pond.test\n");
    queuereplies(g, {r1, r2, r3});
    std::size_t jane = mta->delivered("jane").size(), joe = mta->delivered("joe").size();
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> got = byid(mta->delivered("jane", jane + 2));
    EXPECT_EQ(got["ok1"], 1);
    EXPECT_EQ(got["mixed3"], 1);
    EXPECT_EQ(got["bad2"], 0);
    // The blind copy went, and its line did not.
    std::vector<std::string> joes = mta->delivered("joe", joe + 1);
    EXPECT_EQ(byid(joes)["mixed3"], 1);
    for (const std::string& m : joes) EXPECT_EQ(m.find("Bcc:"), std::string::npos);
    EXPECT_EQ(soupfiles(g), std::vector<std::string>{"rejected/00000000.eml"});
    EXPECT_EQ(readfile(g.path("soup/rejected/00000000.eml")), r2);
    EXPECT_NE(r.err.find("! refused@pond.test refused for <mixed3@pond.example>: 550 5.1.1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("! mail refused <bad2@pond.example>: 550 5.1.1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("moved to ./soup/rejected/00000000.eml\n"), std::string::npos) << r.err;
    // libcurl gives up its connection after a transfer that failed as a
    // whole: the message after the one refused outright opens a new one.
    EXPECT_NE(r.err.find("Delivered 2 mail message(s) over SMTP (2 connection(s)), 1 refused\n"),
              std::string::npos) << r.err;
}

// The message itself refused after its data: for good it goes to
// rejected/, for now it waits; the one between them is delivered.
TEST_F(postfixtest, amessagerefusedafteritsdatagoesorwaits) {
    REQUIRE_SERVER(started, why);
    gateway g("SendMail " + mta->url() + "\n");
    std::string never = reply("never", "joe@pond.test"),
                later = reply("later", "joe@pond.test", "Sender: later@pond.example\n");
    queuereplies(g, {never, reply("between", "joe@pond.test"), later});
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(mta->drained());
    std::map<std::string, int> got = byid(mta->delivered("joe"));
    EXPECT_EQ(got["between"], 1);
    EXPECT_EQ(got["never"] + got["later"], 0);
    EXPECT_NE(r.err.find("! mail refused <never@pond.example>: 550 5.7.1 refused by rule; moved to"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("! 1 mail message(s) kept for the next run: 450 4.7.1 <later@pond.example>: Sender address rejected: try later\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(readfile(g.path("soup/rejected/00000000.eml")), never);
    // What waits is the deferred reply alone, still registered.
    EXPECT_EQ(souprecords(g.path("soup/MAIL0000.MSG")), std::vector<std::string>{later});
    EXPECT_EQ(readfile(g.path("soup/REPLIES")), "MAIL0000\tmail\tbn\n");
}

TEST_F(postfixtest, sendmailcommandreadsitsrecipientsfromtheheader) {
    REQUIRE_SERVER(started, why);
    gateway g("SendMail /usr/sbin/sendmail -C " + mta->etc + " -oi -t\n");
    std::size_t joe = mta->delivered("joe").size();
    queuereplies(g, {reply("cmd1", "joe@pond.test", "Bcc: jane@pond.test\n"), reply("cmd2", "joe@pond.test")});
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 2 mail message(s) through /usr/sbin/sendmail\n"), std::string::npos) << r.err;
    std::map<std::string, int> got = byid(mta->delivered("joe", joe + 2));
    EXPECT_EQ(got["cmd1"], 1);
    EXPECT_EQ(got["cmd2"], 1);
    EXPECT_EQ(byid(mta->delivered("jane"))["cmd1"], 1);
    EXPECT_EQ(soupfiles(g), std::vector<std::string>{});
}

TEST(postfixstopped, everyreplywaitsandthengoesexactlyonce) {
    scratchdir home;
    testpostfix mta(home.path);
    mta.adduser("jane");
    std::string why;
    REQUIRE_SERVER(mta.start(why), why);
    gateway g("SendMail " + mta.url() + "\n");
    std::vector<std::string> replies = {reply("w1", "jane@pond.test"), reply("w2", "jane@pond.test"),
                                        reply("w3", "jane@pond.test")};
    queuereplies(g, replies);
    std::string before = readfile(g.path("soup/MAIL0000.MSG"));
    mta.stop();

    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readfile(g.path("soup/MAIL0000.MSG")), before);
    EXPECT_EQ(readfile(g.path("soup/REPLIES")), "MAIL0000\tmail\tbn\n");
    EXPECT_EQ(countof(r.err, "kept for the next run"), 1) << r.err;
    EXPECT_NE(r.err.find("! 3 mail message(s) kept for the next run: "), std::string::npos) << r.err;

    ASSERT_TRUE(mta.start(why)) << why;
    r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(soupfiles(g), std::vector<std::string>{});
    r = g.run("export", {"/pkt=soup"});  // nothing left: nothing twice
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(mta.drained());
    std::map<std::string, int> got = byid(mta.delivered("jane", 3));
    EXPECT_EQ(got, (std::map<std::string, int>{{"w1", 1}, {"w2", 1}, {"w3", 1}}));
}

// TLS both ways a provider offers it, checked against a certificate of
// its own; a server that cannot turn to TLS, or one whose certificate is
// not trusted, gets nothing.
TEST(postfixtls, starttlsandsmtpsordelivernothing) {
    scratchdir home;
    std::string cert = home / "cert.pem", key = home / "key.pem";
    runresult mk = runprogram("/usr/bin/openssl",
                              {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                               "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost"},
                              home.path);
    ASSERT_EQ(mk.status, 0) << mk.err;
    chmod(key.c_str(), 0644);
    testpostfix mta(home.path);
    mta.adduser("jane");
    mta.tls(cert, key);
    mta.sasluser("fidogate", "Gate-Pass:42");
    std::string why;
    REQUIRE_SERVER(mta.start(why), why);
    writefile(home / "good.secret", "Gate-Pass:42\n");
    writefile(home / "bad.secret", "wrong\n");
    writefile(home / "open.secret", "Gate-Pass:42\n");
    chmod((home / "good.secret").c_str(), 0600);
    chmod((home / "bad.secret").c_str(), 0600);
    chmod((home / "open.secret").c_str(), 0644);
    const std::string tlsurl = "smtps://fidogate@localhost:" + std::to_string(mta.tlsport);
    const struct {
        std::string sendmail;
        bool delivered;
        const char* logged;
    } cases[] = {
        {"smtp://localhost:" + std::to_string(mta.port) + " starttls cafile=" + cert, true, "Delivered 1 mail"},
        // On the smtps port only a client that logged in may send.
        {tlsurl + " cafile=" + cert + " secret=" + home / "good.secret", true, "Delivered 1 mail"},
        {tlsurl + " cafile=" + cert + " secret=" + home / "bad.secret", false, "kept for the next run: 535"},
        {tlsurl + " cafile=" + cert + " secret=" + home / "open.secret", false,
         "kept for the next run: SendMail secret file readable by others"},
        // Without logging in the server refuses the recipient for good.
        {"smtps://localhost:" + std::to_string(mta.tlsport) + " cafile=" + cert, false,
         "refused <tls4@pond.example>: 554 5.7.1"},
        // The system's certificates do not vouch for this one.
        {tlsurl + " secret=" + home / "good.secret", false, "kept for the next run"},
        {"smtp://localhost:" + std::to_string(mta.port) + " starttls", false, "kept for the next run"},
    };
    int n = 0, delivered = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sendmail);
        gateway g("SendMail " + c.sendmail + "\n");
        std::string id = "tls" + std::to_string(n++);
        queuereplies(g, {reply(id, "jane@pond.test")});
        runresult r = g.run("export", {"/pkt=soup"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.logged), std::string::npos) << r.err;
        ASSERT_TRUE(mta.drained());
        std::vector<std::string> got = mta.delivered("jane", c.delivered ? static_cast<std::size_t>(delivered + 1) : 0);
        if (c.delivered) ++delivered;
        bool arrived = false;
        for (const std::string& m : got) {
            if (m.find("<" + id + "@") == std::string::npos) continue;
            arrived = true;
            EXPECT_NE(m.find("with ESMTPS"), std::string::npos) << m;  // it came over TLS
            if (c.sendmail.find("secret=") != std::string::npos) {
                EXPECT_NE(m.find("(Authenticated sender: fidogate@pond.test)"), std::string::npos) << m;
            }
        }
        EXPECT_EQ(arrived, c.delivered);
        EXPECT_EQ(soupfiles(g).empty(), c.delivered) << r.err;
    }
}

// A server that offers no STARTTLS gets nothing from a line that asks for it.
TEST_F(postfixtest, starttlswithoutitsendsnothing) {
    REQUIRE_SERVER(started, why);
    gateway g("SendMail " + mta->url() + " starttls\n");
    queuereplies(g, {reply("notls", "jane@pond.test")});
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("! 1 mail message(s) kept for the next run: "), std::string::npos) << r.err;
    EXPECT_EQ(byid(mta->delivered("jane"))["notls"], 0);
    EXPECT_EQ(soupfiles(g), (std::vector<std::string>{"MAIL0000.MSG", "REPLIES"}));
}

// A run killed at each of these calls after delivery began, and then run
// again: nothing is lost, and only the message whose acceptance came just
// before the kill (the unavoidable moment between the server's 250 and the
// log line) may arrive twice.
TEST_F(postfixtest, akilleddeliverylosesnothing) {
    REQUIRE_SERVER(started, why);
    if (!havestrace()) {
        if (underci()) FAIL() << "strace is not installed";
        GTEST_SKIP() << "strace is not installed: the kill points cannot be reached";
    }
    const std::string calls = "sendto,write,rename,unlink,ftruncate,fdatasync,fsync";
    auto world = [&](const std::string& tag) {
        auto g = std::make_unique<gateway>("SendMail " + mta->url() + "\n");
        queuereplies(*g, {reply(tag + "a", "joe@pond.test"), reply(tag + "b", "joe@pond.test", "Cc: refused@pond.test\n"),
                          reply(tag + "c", "refused@pond.test"), reply(tag + "d", "joe@pond.test")});
        return g;
    };
    auto probe = world("probe");
    std::vector<std::string> trace =
        syscalls(probe->dir, PONDLARK_FIXED_BIN, {"export", "/config=./gate.cfg", "/pkt=soup"}, calls);
    std::map<std::string, int> count, from;
    for (const std::string& l : trace) {
        std::string name = l.substr(0, l.find('('));
        ++count[name];
        // Delivery begins where export leaves off: the log of answers.
        if (from.empty() && l.find("pondlark.dlv") != std::string::npos) from = count;
    }
    ASSERT_TRUE(mta->drained());
    int killed = 0, twice = 0;
    for (const auto& [call, last] : count) {
        for (int n = from.count(call) ? from[call] : 1; n <= last; ++n) {
            std::string tag = "k" + std::to_string(killed) + call + std::to_string(n);
            SCOPED_TRACE(call + " #" + std::to_string(n));
            auto g = world(tag);
            if (!killrunat(g->dir, PONDLARK_FIXED_BIN, {"export", "/config=./gate.cfg", "/pkt=soup"}, call, n))
                continue;
            ++killed;
            runresult r = g->run("export", {"/pkt=soup"});
            ASSERT_EQ(r.status, 0) << r.err;
            ASSERT_TRUE(mta->drained());
            std::map<std::string, int> got = byid(mta->delivered("joe"));
            int dup = 0;
            for (const char* s : {"a", "b", "d"}) {
                EXPECT_GE(got[tag + s], 1) << s << " lost\n" << r.err;
                dup += got[tag + s] - 1;
            }
            EXPECT_LE(dup, 1) << r.err;
            twice += dup;
            // The refused one is set aside; killed between its copy and its
            // log line, it is set aside twice, never lost.
            std::vector<std::string> left = soupfiles(*g);
            EXPECT_GE(left.size(), 1u) << r.err;
            EXPECT_LE(left.size(), 2u) << r.err;
            for (const std::string& f : left) {
                EXPECT_EQ(f.rfind("rejected/", 0), 0u) << f;
                EXPECT_NE(readfile(g->path("soup/" + f)).find(tag + "c@"), std::string::npos) << f;
            }
            // Each refusal came back to its sender once, in a whole packet.
            std::map<std::string, int> bounced;
            for (const checkedmessage& m : g->messages()) ++bounced[m.subject];
            EXPECT_EQ(bounced, (std::map<std::string, int>{{"Mail refused: Reply " + tag + "c", 1},
                                                            {"Mail refused for some recipients: Reply " + tag + "b", 1}}))
                << r.err;
            for (const std::string& f : listtree(g->path("in"))) EXPECT_TRUE(ispacketname(f)) << f;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(killed, 10);
    RecordProperty("doubled", twice);
}

}  // namespace
