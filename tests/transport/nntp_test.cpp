// News from and to an NNTP server, with no news server of the gateway's
// own: a real INN on loopback whose nnrpd serves readers (anyone on one
// port, with STARTTLS; only a logged-in user on a second port that speaks
// TLS from the first byte, with a certificate of its own). Each group of
// these tests is a group of its own on that server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

const char* const GROUPS[] = {"pond.fetch.a", "pond.fetch.b", "pond.backlog", "pond.tls", "pond.post",
                              "pond.ihave", "pond.again", "pond.kill", "pond.postkill", "pond.reset", "comp.lang.c", "comp.os.linux.announce"};

class nntptest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        home = new scratchdir;
        cert = *home / "cert.pem";
        key = *home / "key.pem";
        runresult mk = runprogram("/usr/bin/openssl",
                                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                   "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=localhost",
                                   "-addext", "subjectAltName=DNS:localhost"},
                                  home->path);
        if (mk.status != 0) {
            why = "openssl req: " + mk.err;
            return;
        }
        (void)runprogram("/bin/chown", {"news:news", key}, home->path);
        chmod(key.c_str(), 0600);
        inn = new testinn(home->path);
        inn->tls(cert, key);
        inn->adduser("fido", "Pond-Pass:27");
        inn->adduser("fidogate", "Readme-Pass:1");
        for (const char* g : GROUPS) inn->addgroup(g);
        started = inn->start(why);
    }
    static void TearDownTestSuite() {
        delete inn;
        delete home;
        inn = nullptr;
        home = nullptr;
    }
    // A gateway whose groups come from the INN: name its AreaMap lines.
    static std::unique_ptr<gateway> gate(const std::string& server, const std::string& extra) {
        auto g = std::make_unique<gateway>("NewsServer " + server + "\n" + extra);
        return g;
    }
    static std::string plainurl() { return "news nntp://127.0.0.1:" + std::to_string(inn->readerport); }
    static std::string secret(const std::string& name, const std::string& password, mode_t mode = 0600) {
        std::string p = *home / name;
        writefile(p, password + "\n");
        chmod(p.c_str(), mode);
        return p;
    }
    static void feed(const std::vector<std::string>& articles) {
        std::string w;
        ASSERT_TRUE(inn->feed(articles, w)) << w;
    }
    static scratchdir* home;
    static testinn* inn;
    static bool started;
    static std::string why, cert, key;
};
scratchdir* nntptest::home = nullptr;
testinn* nntptest::inn = nullptr;
bool nntptest::started = false;
std::string nntptest::why, nntptest::cert, nntptest::key;

std::string article(const std::string& token, const std::string& group) {
    return tokenarticle(token, token + "@news.example", group);
}

// The marks file: server, group, high-water mark, time of the last fetch.
std::vector<std::string> marklines(const gateway& g) {
    std::vector<std::string> out;
    std::string data = fileexists(g.path("soup/pondlark.hwm")) ? readfile(g.path("soup/pondlark.hwm")) : "";
    for (std::size_t pos = 0; pos < data.size();) {
        std::size_t nl = data.find('\n', pos);
        out.push_back(data.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

std::string fixedtime() {
    return std::to_string(FIXEDNOW);
}

TEST_F(nntptest, fetchestwogroupsthennothingnewthenwhatcame) {
    REQUIRE_SERVER(started, why);
    feed({article("fa1", "pond.fetch.a"), article("fa2", "pond.fetch.a"), article("fab", "pond.fetch.a,pond.fetch.b"),
          article("fb1", "pond.fetch.b")});
    gateway g("NewsServer " + plainurl() + "\nAreaMap FETCH.A pond.fetch.a server=news\n"
              "AreaMap FETCH.B pond.fetch.b server=NEWS import\n");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Taking in 5 article(s) of 2 group(s) from news server news\n"), std::string::npos) << r.err;
    // The crosspost reaches both areas once each, as from an rnews feed.
    std::map<std::string, int> want = {{"fa1", 1}, {"fa2", 1}, {"fab", 2}, {"fb1", 1}};
    EXPECT_EQ(g.tokens(), want);
    int ina = 0, inb = 0;
    for (const checkedmessage& m : g.messages()) {
        ina += m.text.rfind("AREA:FETCH.A\r", 0) == 0;
        inb += m.text.rfind("AREA:FETCH.B\r", 0) == 0;
    }
    EXPECT_EQ(ina, 3);
    EXPECT_EQ(inb, 2);
    EXPECT_EQ(marklines(g), (std::vector<std::string>{"news\tpond.fetch.a\t3\t" + fixedtime(),
                                                      "news\tpond.fetch.b\t2\t" + fixedtime()}));
    std::vector<std::string> left = listtree(g.path("soup"));
    EXPECT_EQ(left, (std::vector<std::string>{"pondlark.his", "pondlark.hwm", "pondlark.run"}));

    // Nothing new: nothing fetched, nothing doubled.
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Taking in 0 article(s) of 2 group(s) from news server news\n"), std::string::npos) << r.err;
    EXPECT_EQ(g.tokens(), want);

    // What came since, and only that.
    feed({article("fa3", "pond.fetch.a")});
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Taking in 1 article(s) of 2 group(s) from news server news\n"), std::string::npos) << r.err;
    want["fa3"] = 1;
    EXPECT_EQ(g.tokens(), want);
    EXPECT_EQ(marklines(g)[0], "news\tpond.fetch.a\t4\t" + fixedtime());
}

TEST_F(nntptest, firstfetchtakesthebacklogandmissinggroupsarelogged) {
    REQUIRE_SERVER(started, why);
    std::vector<std::string> arts;
    for (int i = 1; i <= 5; ++i) arts.push_back(article("bl" + std::to_string(i), "pond.backlog"));
    feed(arts);
    gateway g("NewsServer " + plainurl() + "\nNewsBacklog 2\nAreaMap BACKLOG pond.backlog server=news\n"
              "AreaMap NONE pond.nosuch server=news\nAreaMap OUTONLY pond.fetch.a server=news export\n");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(g.tokens(), (std::map<std::string, int>{{"bl4", 1}, {"bl5", 1}}));
    EXPECT_NE(r.err.find("! news has no group pond.nosuch\n"), std::string::npos) << r.err;
    // A group for export only is not fetched.
    EXPECT_NE(r.err.find("Taking in 2 article(s) of 1 group(s) from news server news\n"), std::string::npos) << r.err;
    EXPECT_EQ(marklines(g), (std::vector<std::string>{"news\tpond.backlog\t5\t" + fixedtime()}));
}

// TLS from the first byte with a login, STARTTLS, and everything that must
// stop a fetch before anything is said in clear or to the wrong server.
TEST_F(nntptest, tlsandloginorgetnothing) {
    REQUIRE_SERVER(started, why);
    feed({article("tls1", "pond.tls")});
    std::string tls = "nntps://fido@localhost:" + std::to_string(inn->tlsport);
    std::string plain = "nntp://localhost:" + std::to_string(inn->readerport);
    std::string good = secret("good.secret", "Pond-Pass:27"), bad = secret("bad.secret", "wrong");
    std::string open = secret("open.secret", "Pond-Pass:27", 0644);
    const struct {
        std::string server;
        bool fetched;
        std::string said;
    } cases[] = {
        {tls + " cafile=" + cert + " secret=" + good, true, "Taking in 1 article(s) of 1 group(s)"},
        {plain + " starttls cafile=" + cert, true, "Taking in 1 article(s) of 1 group(s)"},
        {"nntp://fido@localhost:" + std::to_string(inn->readerport) + " starttls cafile=" + cert + " secret=" + good,
         true, "Taking in 1 article(s) of 1 group(s)"},
        {tls + " cafile=" + cert + " secret=" + bad, false, "login as fido refused: 481"},
        {tls + " cafile=" + cert, false, "the server wants a password for fido"},
        {tls + " cafile=" + cert + " secret=" + open, false, "NewsServer secret file readable by others"},
        // The certificate names localhost, not this address.
        {"nntps://fido@127.0.0.1:" + std::to_string(inn->tlsport) + " cafile=" + cert + " secret=" + good, false,
         "certificate not trusted"},
        // The system's certificates do not vouch for it.
        {tls + " secret=" + good, false, "certificate not trusted"},
        // No login in clear.
        {"nntp://fido@localhost:" + std::to_string(inn->readerport) + " secret=" + good, false,
         "would cross the wire in clear"},
        {"nntp://fido@localhost:" + std::to_string(inn->readerport) + " secret=" + good + " insecure", true,
         "Taking in 1 article(s) of 1 group(s)"},
        // A server that speaks TLS from the first byte, taken for plain.
        {"nntp://localhost:" + std::to_string(inn->tlsport) + " timeout=1", false, "news server news:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        gateway g("NewsServer news " + c.server + "\nAreaMap TLS pond.tls server=news\n");
        runresult r = g.run("import");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(g.tokens().count("tls1"), c.fetched ? 1u : 0u) << r.err;
        if (!c.fetched) {
            EXPECT_FALSE(fileexists(g.path("soup/pondlark.hwm")));
        }
    }
}

// The README's example as written, but for the server's name and port,
// its certificate and where the secret lies: both groups come in, a reply
// to one goes out, over TLS with a login, and does not come back in.
TEST_F(nntptest, readmeexamplegatesbothways) {
    REQUIRE_SERVER(started, why);
    std::string readme = readfile(std::string(PONDLARK_SOURCE_DIR) + "/README.md");
    std::size_t at = readme.find("### News from an NNTP server");
    ASSERT_NE(at, std::string::npos);
    at = readme.find("\n    NewsServer", at);
    std::string config;
    for (std::size_t pos = at + 1; readme.compare(pos, 4, "    ") == 0;) {
        std::size_t nl = readme.find('\n', pos);
        config += readme.substr(pos + 4, nl - pos - 4) + "\n";
        pos = nl + 1;
    }
    ASSERT_NE(config.find("AreaMap  C_ECHO"), std::string::npos) << config;
    std::string pw = secret("readme.secret", "Readme-Pass:1");
    config = std::regex_replace(config, std::regex("news\\.provider\\.example"),
                                "localhost:" + std::to_string(inn->tlsport));
    config = std::regex_replace(config, std::regex("secret=/etc/pondlark/news\\.secret"),
                                "secret=" + pw + " cafile=" + cert);
    feed({article("readme1", "comp.lang.c"), article("readme2", "comp.os.linux.announce")});
    // A gateway open to every node on purpose: no warning of its own.
    gateway g(config + "ExportAllow *\n");
    // Only the README's areas.
    std::string whole = readfile(g.path("gate.cfg"));
    whole.erase(whole.find("AreaMap PONDLARK.TEST alt.test\n"), 31);
    writefile(g.path("gate.cfg"), whole);
    runresult r = g.run("check");
    EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(g.tokens(), (std::map<std::string, int>{{"readme1", 1}, {"readme2", 1}})) << r.err;
    testmsg m;
    m.to = "All";
    m.subject = "Re: readme1";
    m.text = "AREA:C_ECHO\r\x01MSGID: 2:280/100 0badcafe\rToken readme3\rA reply.\r";
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {m}));
    r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 1 news message(s) to news server provider (1 connection(s))\n"),
              std::string::npos)
        << r.err;
    std::vector<std::string> arts;
    for (int i = 0; i < 100 && arts.size() < 2; ++i) {
        arts = inn->articles("comp.lang.c");
        usleep(50000);
    }
    ASSERT_EQ(arts.size(), 2u);
    EXPECT_NE(arts[1].find("Token readme3\n"), std::string::npos) << arts[1];
    // Its own reply does not come back into FidoNet with the next fetch.
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Taking in 1 article(s) of 2 group(s)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("dupes: 1"), std::string::npos) << r.err;
    EXPECT_EQ(g.tokens(), (std::map<std::string, int>{{"readme1", 1}, {"readme2", 1}})) << r.err;
}

// A peer that answers nothing, or is not there: the run goes on and says
// why; nothing is marked.
TEST(nntpservers, silentorabsentserverfailsintime) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(s, 4), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
    int silent = ntohs(a.sin_port);
    gateway g("NewsServer mute nntp://127.0.0.1:" + std::to_string(silent) + " timeout=1\n"
              "NewsServer gone nntp://127.0.0.1:" + std::to_string(freeport()) + "\n"
              "AreaMap MUTE pond.mute server=mute\nAreaMap GONE pond.gone server=gone\n");
    auto start = std::chrono::steady_clock::now();
    runresult r = g.run("import");
    close(s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("! news server mute: the server did not answer within 1 s; nothing fetched from it\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("! news server gone: can't connect to 127.0.0.1:"), std::string::npos) << r.err;
    EXPECT_FALSE(fileexists(g.path("soup/pondlark.hwm")));
}

// Echomail replies go to the server of their group over one connection
// and land in its spool; one to a group the server does not carry is
// refused for good (441) and set aside; a server that cannot be reached
// keeps them all.
TEST_F(nntptest, postsrepliesrefusesforgoodorkeeps) {
    REQUIRE_SERVER(started, why);
    auto echo = [](const std::string& area, const std::string& token) {
        testmsg m;
        m.to = "All";
        m.subject = "About " + token;
        m.text = "AREA:" + area + "\r\x01MSGID: 2:280/100 " + std::to_string(std::hash<std::string>()(token) % 100000000) +
                 "\rToken " + token + "\r.Leading dot line\rSome echomail.\r";
        return m;
    };
    std::string cfg = "AreaMap POST.A pond.post server=news\nAreaMap NOSUCH pond.nosuch server=news\n";
    {
        // Nobody there: everything waits.
        gateway g("NewsServer news nntp://127.0.0.1:" + std::to_string(freeport()) + "\n" + cfg);
        makedirs(g.path("pkt"));
        writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {echo("POST.A", "p0")}));
        runresult r = g.run("export", {"/pkt=pkt"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("! 1 news message(s) kept for the next run: can't connect to 127.0.0.1:"),
                  std::string::npos)
            << r.err;
        EXPECT_TRUE(fileexists(g.path("soup/REPLIES")));
    }
    gateway g("NewsServer " + plainurl() + "\n" + cfg);
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"),
              testpacket(GATE, {echo("POST.A", "p1"), echo("NOSUCH", "nosuch1"), echo("POST.A", "p2")}));
    runresult r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 2 news message(s) to news server news (1 connection(s)), 1 refused\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("! news refused <"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": 441 "), std::string::npos) << r.err;
    std::vector<std::string> rejected = listtree(g.path("soup/rejected"));
    ASSERT_EQ(rejected.size(), 1u);
    EXPECT_NE(readfile(g.path("soup/rejected/" + rejected[0])).find("Token nosuch1\n"), std::string::npos);
    std::vector<std::string> arts;
    for (int i = 0; i < 100 && arts.size() < 2; ++i) {
        arts = inn->articles("pond.post");
        usleep(50000);
    }
    ASSERT_EQ(arts.size(), 2u);
    for (const std::string& a : arts) {
        EXPECT_NE(a.find("\nNewsgroups: pond.post\n"), std::string::npos) << a;
        EXPECT_NE(a.find("\n.Leading dot line\n"), std::string::npos) << a;
    }
    EXPECT_NE(arts[0].find("Token p1\n") == std::string::npos ? arts[1].find("Token p1\n") : 0, std::string::npos);
    // The refused article came back to its sender.
    std::vector<checkedmessage> bounced = g.messages();
    ASSERT_EQ(bounced.size(), 1u) << r.err;
    EXPECT_EQ(bounced[0].subject.rfind("Article refused: ", 0), 0u) << bounced[0].subject;
    EXPECT_NE(bounced[0].text.find("441 "), std::string::npos) << bounced[0].text;
    // Posted once: the reply files are empty now.
    EXPECT_EQ(listtree(g.path("soup")),
              (std::vector<std::string>{"pondlark.bnc", "pondlark.dlv", "pondlark.his", "pondlark.run",
                                        "rejected/" + rejected[0]}));
    r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(inn->articles("pond.post").size(), 2u);
}

// The same message posted twice (another gateway, or a run killed after
// the server took it and before that was noted): by IHAVE to a peer it is
// not wanted the second time, by POST a duplicate; either way it counts
// as delivered, once in the spool, and nothing is refused.
TEST_F(nntptest, postedtwiceisdeliveredonce) {
    REQUIRE_SERVER(started, why);
    const struct {
        std::string server, group, token;
    } cases[] = {
        {"peer nntp://127.0.0.1:" + std::to_string(inn->port) + " ihave", "pond.ihave", "ih1"},
        {"peer nntp://127.0.0.1:" + std::to_string(inn->readerport), "pond.again", "po1"},
    };
    for (const auto& c : cases) {
        testmsg m;
        m.to = "All";
        m.subject = "Offered";
        m.text = "AREA:TWICE\r\x01MSGID: 2:280/100 " + std::to_string(std::hash<std::string>()(c.token) % 100000000) +
                 "\rToken " + c.token + "\rSome echomail.\r";
        for (int round = 0; round < 2; ++round) {
            gateway g("NewsServer " + c.server + "\nAreaMap TWICE " + c.group + " server=peer\n");
            makedirs(g.path("pkt"));
            writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {m}));
            runresult r = g.run("export", {"/pkt=pkt"});
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.err.find("Delivered 1 news message(s) to news server peer (1 connection(s))\n"),
                      std::string::npos)
                << r.err;
            EXPECT_FALSE(fileexists(g.path("soup/REPLIES")));
            EXPECT_FALSE(fileexists(g.path("soup/rejected")));
        }
        std::vector<std::string> arts;
        for (int i = 0; i < 100 && arts.empty(); ++i) {
            arts = inn->articles(c.group);
            usleep(50000);
        }
        ASSERT_EQ(arts.size(), 1u) << c.group;
        EXPECT_NE(arts[0].find("!pondlark!not-for-mail\n"), std::string::npos) << arts[0];
    }
}

// The provider renumbered the group (here: the gateway is pointed at
// another server that has some of the same articles under lower numbers):
// logged, taken again from the start, and the Message-ID history lets
// each article through once.
TEST_F(nntptest, renumberedgroupgivesnodoubles) {
    REQUIRE_SERVER(started, why);
    feed({article("rs1", "pond.reset"), article("rs2", "pond.reset"), article("rs3", "pond.reset"),
          article("rs4", "pond.reset")});
    gateway g("NewsServer " + plainurl() + "\nAreaMap RESET pond.reset server=news\n");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(marklines(g), (std::vector<std::string>{"news\tpond.reset\t4\t" + fixedtime()}));

    scratchdir other;
    testinn second(other.path);
    second.addgroup("pond.reset");
    std::string w;
    REQUIRE_SERVER(second.start(w), w);
    ASSERT_TRUE(second.feed({article("rs3", "pond.reset"), article("rs4", "pond.reset"), article("rs5", "pond.reset")},
                            w))
        << w;
    std::string config = readfile(g.path("gate.cfg"));
    config = std::regex_replace(config, std::regex("127\\.0\\.0\\.1:[0-9]+"),
                                "127.0.0.1:" + std::to_string(second.readerport));
    writefile(g.path("gate.cfg"), config);
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("! group pond.reset on news was renumbered (newest article 3, 4 taken before)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(g.tokens(), (std::map<std::string, int>{{"rs1", 1}, {"rs2", 1}, {"rs3", 1}, {"rs4", 1}, {"rs5", 1}}));
    EXPECT_EQ(marklines(g), (std::vector<std::string>{"news\tpond.reset\t3\t" + fixedtime()}));
}

// Export killed while it posts, at writes spread over the delivery (the
// commands to the server, the log of answers, the rewrite of the reply
// files), and run again: every reply reaches the server, none is left in
// the reply files, and one the server took before the kill is not
// mistaken for a refusal when it comes again.
TEST_F(nntptest, killedwhilepostingloseandrefusenothing) {
    REQUIRE_SERVER(started, why);
    REQUIRE_STRACE();
    auto world = [&](const std::string& tag) {
        auto g = std::make_unique<gateway>("NewsServer news nntp://127.0.0.1:" + std::to_string(freeport()) +
                                           "\nAreaMap POSTKILL pond.postkill server=news\n");
        std::vector<testmsg> msgs;
        for (const char* s : {"a", "b", "c"}) {
            testmsg m;
            m.to = "All";
            m.subject = "Kill " + tag + s;
            m.text = "AREA:POSTKILL\r\x01MSGID: 2:280/100 " +
                     std::to_string(std::hash<std::string>()(tag + s) % 100000000) + "\rToken " + tag + s + "\rText.\r";
            msgs.push_back(m);
        }
        makedirs(g->path("pkt"));
        writefile(g->path("pkt/0001.PKT"), testpacket(GATE, msgs));
        // Converted, but kept: nobody at that port.
        runresult r = g->run("export", {"/pkt=pkt"});
        EXPECT_NE(r.err.find("3 news message(s) kept"), std::string::npos) << r.err;
        writefile(g->path("gate.cfg"), std::regex_replace(readfile(g->path("gate.cfg")), std::regex("127\\.0\\.0\\.1:[0-9]+"),
                                                          "127.0.0.1:" + std::to_string(inn->readerport)));
        return g;
    };
    const std::vector<std::string> args = {"export", "/config=./gate.cfg", "/pkt=pkt"};
    auto probe = world("probe");
    int writes = 0;
    // Spread over the run, and right after each article went out: the
    // server has it, the log of answers does not yet.
    std::set<int> points;
    for (const std::string& l : syscalls(probe->dir, PONDLARK_FIXED_BIN, args, "write")) {
        if (l.rfind("write(", 0) != 0) continue;
        ++writes;
        // POST, the article in one write, then the answer noted.
        if (l.find("\"POST\\r\\n\"") != std::string::npos) points.insert(writes + 2);
    }
    ASSERT_GT(writes, 6);
    EXPECT_EQ(points.size(), 3u);
    for (int k = 0; k < 8; ++k) points.insert(1 + k * writes / 8);
    int killed = 0;
    for (int n : points) {
        std::string tag = "pk" + std::to_string(n) + "x";
        SCOPED_TRACE("killed at write #" + std::to_string(n));
        auto g = world(tag);
        if (!killrunat(g->dir, PONDLARK_FIXED_BIN, args, "write", n)) continue;
        ++killed;
        runresult r = g->run("export", {"/pkt=pkt"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(fileexists(g->path("soup/REPLIES"))) << r.err;
        EXPECT_FALSE(fileexists(g->path("soup/rejected"))) << r.err;
        std::map<std::string, int> seen;
        for (const std::string& a : inn->articles("pond.postkill")) {
            for (const char* s : {"a", "b", "c"}) seen[s] += a.find("Token " + tag + s + "\n") != std::string::npos;
        }
        for (const char* s : {"a", "b", "c"}) EXPECT_EQ(seen[s], 1) << s << "\n" << r.err;
        if (HasFailure()) return;
    }
    EXPECT_GE(killed, 9);
}

// Killed anywhere while it fetches, stages and imports, and run again:
// every article reaches FidoNet exactly once, nothing is left behind.
struct fetchkillworld : killworld {
    explicit fetchkillworld(int port) {
        writegate(dir.path, "NewsServer news nntp://127.0.0.1:" + std::to_string(port) +
                                "\nAreaMap KILL pond.kill server=news\nMaxPKTSize 4\n");
        args = {"import", "/config=./gate.cfg"};
        outdirs = {"in/"};
    }
};

TEST_F(nntptest, killedwhilefetchingeacharticleonce) {
    REQUIRE_SERVER(started, why);
    REQUIRE_STRACE();
    std::vector<std::string> arts;
    for (int i = 0; i < 40; ++i) {
        std::string a = article("k" + std::to_string(i), "pond.kill");
        arts.push_back(a + filler(200 + 97 * (i % 5), i));
    }
    feed(arts);
    int port = inn->readerport;
    // Killed right after the step put the articles into AREAS, before the
    // group's mark moved on: the next run finishes the step and fetches
    // nothing twice.
    {
        fetchkillworld w(port);
        std::vector<std::string> calls =
            syscalls(w.dir.path, PONDLARK_FIXED_BIN, w.args, "rename,renameat,renameat2");
        int areas = 0, at = 0;
        for (const std::string& c : calls) {
            ++at;
            if (c.find("AREAS\"") != std::string::npos && areas == 0) areas = at;
        }
        ASSERT_GT(areas, 0) << "no rename of AREAS";
        ASSERT_LT(areas, static_cast<int>(calls.size()));
        ASSERT_NE(calls[areas].find("pondlark.hwm"), std::string::npos) << calls[areas];
        fetchkillworld k(port);
        ASSERT_TRUE(killrunat(k.dir.path, PONDLARK_FIXED_BIN, k.args, "rename,renameat,renameat2", areas + 1));
        EXPECT_FALSE(fileexists(k.dir / "soup/pondlark.hwm"));
        EXPECT_TRUE(fileexists(k.dir / "soup/pondlark.stg"));
        runresult r = k.run();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("Finishing the taking in that an earlier run left\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Taking in 0 article(s) of 1 group(s) from news server news\n"), std::string::npos)
            << r.err;
        EXPECT_EQ(compareviews(w.view(), k.view()), "");
    }
    killtally t = killsweep("import fetching from a news server", [port] { return std::make_unique<fetchkillworld>(port); },
                            18, 2707);
    EXPECT_EQ(t.lost, 0);
    EXPECT_EQ(t.doubled, 0);
    EXPECT_EQ(t.damaged, 0);
}

}  // namespace
