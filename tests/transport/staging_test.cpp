// Mail and news taken in from a Maildir and a folder of news batches: each
// message reaches FidoNet once, the inputs are marked or removed only once
// their messages are in the SOUP packet, and a run killed at any system
// call of the taking in loses and doubles nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

const char SOURCES[] = "ImportMaildir ./md\nImportNewsBatches ./nb\nAreaMap OTHER alt.other\n";

void maildir(const gateway& g) {
    for (const char* sub : {"md/new", "md/cur", "md/tmp", "nb"}) makedirs(g.path(sub));
}

// A Maildir and a batch folder as servers leave them.
void fill(const gateway& g) {
    maildir(g);
    writefile(g.path("md/new/1000.A.host"), tokenmail("m1", "m1@net.example"));
    writefile(g.path("md/new/1001.B.host"), tokenmail("m2", ""));  // no Message-ID
    writefile(g.path("md/cur/1002.C.host:2,F"), tokenmail("m3", "m3@net.example"));
    writefile(g.path("md/cur/1003.D.host:2,S"), tokenmail("seen", "seen@net.example"));
    writefile(g.path("md/tmp/1004.E.host"), tokenmail("unfinished", "u@net.example"));
    writefile(g.path("nb/pondlark.101"),
              newsbatch({tokenarticle("n1", "n1@news.example", "alt.test"),
                         tokenarticle("x1", "x1@news.example", "alt.test,alt.other,alt.unmapped")}));
    writefile(g.path("nb/pondlark.102.tmp"), newsbatch({tokenarticle("half", "h@news.example", "alt.test")}));
    writefile(g.path("nb/notes.txt"), "not a batch\n");
}

const std::vector<std::string> TAKEN = {"m1", "m2", "m3", "n1", "x1"};

std::vector<std::string> names(const std::string& dir) {
    std::vector<std::string> out = listtree(dir);
    return out;
}

TEST(staging, maildirandbatchesreachfidonetonce) {
    gateway g(SOURCES);
    fill(g);
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> seen = g.tokens();
    // The crossposted article goes into both gated areas; the seen and
    // the unfinished message stay out.
    EXPECT_EQ(seen["x1"], 2);
    seen["x1"] = 1;
    EXPECT_EQ(notexactlyonce(TAKEN, seen), "");
    EXPECT_EQ(seen.count("seen") + seen.count("unfinished") + seen.count("half"), 0u);

    EXPECT_EQ(names(g.path("md")),
              (std::vector<std::string>{"cur/1000.A.host:2,S", "cur/1001.B.host:2,S", "cur/1002.C.host:2,FS",
                                        "cur/1003.D.host:2,S", "tmp/1004.E.host"}));
    EXPECT_EQ(names(g.path("nb")), (std::vector<std::string>{"notes.txt", "pondlark.102.tmp"}));
    EXPECT_EQ(names(g.path("soup")), (std::vector<std::string>{"pondlark.his", "pondlark.run"}));
    EXPECT_NE(g.log().find("Taking in 3 message(s) from Maildir ./md/\n"), std::string::npos) << g.log();
    EXPECT_NE(g.log().find("Taking in 2 article(s) from 1 news batch(es) in ./nb/\n"), std::string::npos);
    EXPECT_NE(g.log().find("! ./nb/notes.txt is not a news batch: left alone\n"), std::string::npos);
}

TEST(staging, amessagefetchedagainisadupeunlessithasnoid) {
    gateway g(SOURCES);
    fill(g);
    ASSERT_EQ(g.run("import").status, 0);
    fs::remove_all(g.path("in"));
    makedirs(g.path("in"));
    // A fetcher that fetched again, or a Maildir restored from a backup.
    writefile(g.path("md/new/2000.A.host"), tokenmail("m1", "m1@net.example"));
    writefile(g.path("md/new/2001.B.host"), tokenmail("m2", ""));
    writefile(g.path("nb/again"), newsbatch({tokenarticle("n1", "n1@news.example", "alt.test")}));
    runresult r = g.run("import", {"/verbose"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> seen = g.tokens();
    EXPECT_EQ(seen, (std::map<std::string, int>{{"m2", 1}})) << r.err;
    EXPECT_NE(r.err.find("- dupe <m1@net.example> from bob@net.example\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("    dupes: 1    \n"), std::string::npos) << r.err;
}

TEST(staging, deleteunreadableanddamaged) {
    gateway g("ImportMaildir ./md Delete\nImportNewsBatches ./nb\n");
    maildir(g);
    writefile(g.path("md/new/1.A"), tokenmail("m1", "m1@x"));
    writefile(g.path("md/cur/2.B:2,"), tokenmail("m2", "m2@x"));
    makedirs(g.path("md/new/3.C"));  // not a file: it cannot be read, so it stays
    std::string good = tokenarticle("n1", "n1@x", "alt.test");
    writefile(g.path("nb/b1"), newsbatch({good}) + "#! rnews 9999\nshort");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(g.tokens(), (std::map<std::string, int>{{"m1", 1}, {"m2", 1}, {"n1", 1}}));
    EXPECT_TRUE(fs::is_directory(g.path("md/new/3.C")));
    EXPECT_EQ(names(g.path("md")), std::vector<std::string>{});
    EXPECT_EQ(names(g.path("nb")), std::vector<std::string>{"b1.BAD"});
    EXPECT_NE(r.err.find("! can't read ./md/new/3.C: left where it is\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("! Error in news batch ./nb/b1, renamed to ./nb/b1.BAD\n"), std::string::npos) << r.err;
}

TEST(staging, testmodetakesnothingin) {
    gateway g(SOURCES);
    fill(g);
    std::vector<std::string> before = names(g.path("md")), nb = names(g.path("nb"));
    runresult r = g.run("import", {"/test"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names(g.path("md")), before);
    EXPECT_EQ(names(g.path("nb")), nb);
    EXPECT_TRUE(g.tokens().empty());
}

// What a run leaves when it is killed at any of these calls, once the next
// run is over: everything once, nothing left over.
TEST(staging, akilledrunlosesanddoublesnothing) {
    if (!havestrace()) {
        if (std::getenv("CI")) FAIL() << "strace is not installed";
        GTEST_SKIP() << "strace is not installed: the kill points cannot be reached";
    }
    // The calls of the taking in end where the plan is removed; later ones
    // are import's own.
    gateway probe(SOURCES);
    fill(probe);
    const std::string calls = "rename,fsync,fdatasync,unlink,write";
    std::vector<std::string> trace = syscalls(probe.dir, PONDLARK_FIXED_BIN, {"import", "/config=./gate.cfg"}, calls);
    std::map<std::string, int> count, until;
    for (const std::string& l : trace) {
        std::string name = l.substr(0, l.find('('));
        ++count[name];
        if (name == "unlink" && l.find("pondlark.stg") != std::string::npos) until = count;
    }
    ASSERT_FALSE(until.empty()) << "no plan was removed";
    int killed = 0;
    for (const auto& [call, last] : until) {
        for (int n = 1; n <= last; ++n) {
            SCOPED_TRACE(call + " #" + std::to_string(n));
            gateway g(SOURCES);
            fill(g);
            if (!killrunat(g.dir, PONDLARK_FIXED_BIN, {"import", "/config=./gate.cfg"}, call, n)) continue;
            ++killed;
            runresult r = g.run("import");
            ASSERT_EQ(r.status, 0) << r.err;
            std::map<std::string, int> seen = g.tokens();
            EXPECT_EQ(seen["x1"], 2);
            seen["x1"] = 1;
            EXPECT_EQ(notexactlyonce(TAKEN, seen), "") << g.log();
            EXPECT_EQ(names(g.path("md/new")), std::vector<std::string>{});
            EXPECT_EQ(names(g.path("nb")), (std::vector<std::string>{"notes.txt", "pondlark.102.tmp"}));
            EXPECT_EQ(names(g.path("soup")), (std::vector<std::string>{"pondlark.his", "pondlark.run"}));
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(killed, 20);
}

}  // namespace
