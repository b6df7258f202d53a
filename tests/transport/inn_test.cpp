// News both ways through a real INN: echomail leaves as one rnews batch
// and lands in the group's spool, articles INN queues for the gateway's
// feed come back as batches (by the script the README installs) and reach
// FidoNet, and what the gateway posted is never fed back to it.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

class inntest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        home = new scratchdir;
        inn = new testinn(home->path);
        started = inn->start(why);
    }
    static void TearDownTestSuite() {
        delete inn;
        delete home;
        inn = nullptr;
        home = nullptr;
    }
    static scratchdir* home;
    static testinn* inn;
    static bool started;
    static std::string why;
};
scratchdir* inntest::home = nullptr;
testinn* inntest::inn = nullptr;
bool inntest::started = false;
std::string inntest::why;

// Echomail in PONDLARK.TEST (alt.test), known by its token.
testmsg echomail(const std::string& token) {
    testmsg m;
    m.to = "All";
    m.subject = "About " + token;
    m.text = "AREA:PONDLARK.TEST\r\x01MSGID: 2:280/100 " + std::to_string(std::hash<std::string>()(token) % 100000000) +
             "\rToken " + token + "\rSome echomail.\r";
    return m;
}

int tokencount(const std::vector<std::string>& articles, const std::string& token) {
    int n = 0;
    for (const std::string& a : articles) n += countof(a, "Token " + token + "\n");
    return n;
}

TEST_F(inntest, echomailleavesasonebatchandlandsinitsgroup) {
    REQUIRE_SERVER(started, why);
    gateway g("PostNews /usr/bin/rnews -N\n");
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {echomail("e1"), echomail("e2")}));
    runresult r = runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, g.dir, {inn->env()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 2 news message(s) through /usr/bin/rnews\n"), std::string::npos) << r.err;
    EXPECT_EQ(listtree(g.path("soup")), std::vector<std::string>{"pondlark.dlv"});
    std::vector<std::string> arts;
    for (int i = 0; i < 100 && arts.size() < 2; ++i) {
        arts = inn->articles("alt.test");
        usleep(50000);
    }
    EXPECT_EQ(tokencount(arts, "e1"), 1);
    EXPECT_EQ(tokencount(arts, "e2"), 1);
    for (const std::string& a : arts) {
        // INN put its name in front of the gateway's.
        EXPECT_EQ(a.find("Path: news.pond.test!pondlark!not-for-mail\n"), 0u) << a;
        EXPECT_NE(a.find("\nNewsgroups: alt.test\n"), std::string::npos) << a;
    }
    // Posted once: a later run has nothing to post.
    r = runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, g.dir, {inn->env()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Delivered"), std::string::npos) << r.err;
}

// pondlark.service runs the gateway as its own user with NoNewPrivileges:
// rnews's set-user-id bit then counts for nothing, and it still hands the
// batch to innd through its local socket (being in the group uucp only
// lets it run).
TEST_F(inntest, postingworksforausernotnewswithoutnewprivileges) {
    REQUIRE_SERVER(started, why);
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    gateway g("PostNews /usr/bin/rnews -N\n");
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {echomail("nnp1")}));
    (void)runprogram("/bin/chown", {"-R", "65534:65534", g.dir}, g.dir);
    (void)chmod(g.dir.c_str(), 0755);
    runresult r = runprogram("/usr/bin/setpriv",
                             {"--no-new-privs", "--reuid", "65534", "--regid", "65534", "--groups", "10",
                              "/usr/bin/env", inn->env(), PONDLARK_FIXED_BIN, "export", "/config=./gate.cfg",
                              "/pkt=pkt"},
                             g.dir);
    if (r.err.find("Permission denied") != std::string::npos && r.status != 0)
        GTEST_SKIP() << "the test build cannot be run by another user here: " << r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 1 news message(s) through /usr/bin/rnews\n"), std::string::npos) << r.err;
    std::vector<std::string> arts;
    for (int i = 0; i < 100 && tokencount(arts, "nnp1") < 1; ++i) {
        arts = inn->articles("alt.test");
        usleep(50000);
    }
    EXPECT_EQ(tokencount(arts, "nnp1"), 1);
}

TEST_F(inntest, afailingpostnewskeepseveryarticle) {
    REQUIRE_SERVER(started, why);
    gateway g("PostNews /bin/false\n");
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {echomail("f1"), echomail("f2")}));
    runresult r = runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, g.dir, {inn->env()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("! 2 news message(s) kept for the next run: /bin/false exit status 1\n"),
              std::string::npos) << r.err;
    std::vector<std::string> kept = souprecords(g.path("soup/NEWS0000.MSG"));
    EXPECT_EQ(kept.size(), 2u);
    // The sysop mends the line; the next run posts what waited.
    std::string cfg = readfile(g.path("gate.cfg"));
    writefile(g.path("gate.cfg"), cfg.replace(cfg.find("/bin/false"), 10, "/usr/bin/rnews -N"));
    r = runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, g.dir, {inn->env()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listtree(g.path("soup")), std::vector<std::string>{"pondlark.dlv"}) << r.err;
    std::vector<std::string> arts;
    for (int i = 0; i < 100 && (tokencount(arts, "f1") + tokencount(arts, "f2")) < 2; ++i) {
        arts = inn->articles("alt.test");
        usleep(50000);
    }
    EXPECT_EQ(tokencount(arts, "f1"), 1);
    EXPECT_EQ(tokencount(arts, "f2"), 1);
}

TEST_F(inntest, thefeedsarticlesreachfidonetandthegatewaysownstayaway) {
    REQUIRE_SERVER(started, why);
    gateway g("ImportNewsBatches ./nb\nPostNews /usr/bin/rnews -N\nAreaMap OTHER alt.other\n");
    makedirs(g.path("nb"));
    (void)runprogram("/bin/chown", {"news", g.path("nb")}, g.dir);
    (void)chmod(g.dir.c_str(), 0755);
    // What the gateway posts itself must not come back through the feed.
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {echomail("own")}));
    ASSERT_EQ(runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, g.dir, {inn->env()}).status, 0);
    // Articles from elsewhere, as another peer would send them.
    std::string batch = newsbatch({tokenarticle("i1", "i1@news.example", "alt.test"),
                                   tokenarticle("i2", "i2@news.example", "alt.test,alt.other")});
    writefile(g.path("peer.batch"), batch);
    runresult r = runprogram("/bin/sh", {"-c", "/usr/bin/rnews -N < peer.batch"}, g.dir, {inn->env()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> arts;
    for (int i = 0; i < 100 && tokencount(arts, "i2") < 1; ++i) {
        arts = inn->articles("alt.other");
        usleep(50000);
    }

    std::string out;
    int st = inn->runnews(inn->batchscript() + " " + g.path("nb"), out);
    ASSERT_EQ(st, 0) << out;
    ASSERT_FALSE(fs::is_empty(g.path("nb")));
    r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> seen = g.tokens();
    EXPECT_EQ(seen["i1"], 1) << r.err;
    EXPECT_EQ(seen["i2"], 2) << r.err;  // into both gated areas
    EXPECT_EQ(seen.count("own"), 0u) << r.err;
    EXPECT_TRUE(fs::is_empty(g.path("nb")));
    int areas = 0;
    for (const checkedmessage& m : g.messages()) {
        areas += m.text.rfind("AREA:PONDLARK.TEST\r", 0) == 0 || m.text.rfind("AREA:OTHER\r", 0) == 0;
    }
    EXPECT_EQ(areas, 3);
    // Nothing waits in the feed's queue any more.
    st = inn->runnews(inn->batchscript() + " " + g.path("nb"), out);
    ASSERT_EQ(st, 0) << out;
    EXPECT_TRUE(fs::is_empty(g.path("nb")));
}

}  // namespace
