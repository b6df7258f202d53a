#include "durable/workfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "support/testutil.h"

TEST(workfiles, generatednamestakethelowestfreenumber) {
    scratchdir d;
    std::string name;
    EXPECT_EQ(genfname(d.path, ".PKT", name), 0u);
    EXPECT_EQ(name, d.path + "00000000.PKT");
    writefile(d / "00000000.PKT", "");
    writefile(d / "00000002.PKT", "");
    EXPECT_EQ(genfname(d.path, ".PKT", name), 1u);
    EXPECT_EQ(name, d.path + "00000001.PKT");
    // From a given number on: names below it are not looked at.
    EXPECT_EQ(genfnamefrom(d.path, ".PKT", name, 2), 3u);
    EXPECT_EQ(name, d.path + "00000003.PKT");
    EXPECT_EQ(genfnamefrom(d.path, ".PKT", name, 0xFFFFFFFFul), 0xFFFFFFFFul);
    EXPECT_EQ(name, d.path + "FFFFFFFF.PKT");
    // Reply file names have four hex digits after their base.
    for (int i = 0; i < 10; ++i) writefile(d / ("MAIL000" + std::to_string(i) + ".MSG"), "");
    EXPECT_EQ(genfnamebase(d.path, "MAIL", ".MSG", name), 10);
    EXPECT_EQ(name, d.path + "MAIL000A.MSG");
}

TEST(workfiles, starnamereplaceswildcardnames) {
    scratchdir d;
    writefile(d / "00000000.ZIP", "");
    struct {
        const char *given, *want;
        int changed;
    } cases[] = {
        {"REPORT.TXT", "REPORT.TXT", 0},        {"*.*", "00000000.ATT", 1},
        {"*.ZIP", "00000001.ZIP", 1},           {"*.TOOLONGEXT", "00000000.TOOLONG", 1},
        {"DATA.*", "00000000.ATT", 1},          {"noext*", "00000000.ATT", 1},
    };
    for (const auto& c : cases) {
        std::string p = d.path + c.given;
        EXPECT_EQ(starname(p, d.path.size()), c.changed) << c.given;
        EXPECT_EQ(p, d.path + c.want) << c.given;
    }
}

TEST(workfiles, renfnameworkslikeanodometerandgivesup) {
    scratchdir d;
    std::string p = d.path + "REPORT.TXT";
    EXPECT_EQ(renfname(p), 0);
    EXPECT_EQ(p, d.path + "REPORT.TXT");

    writefile(d / "REPORT.TXT", "");
    writefile(d / "REPORT.TX0", "");
    EXPECT_EQ(renfname(p), 0);
    EXPECT_EQ(p, d.path + "REPORT.TX1");

    for (char c = '0'; c <= '9'; ++c) writefile(d.path + "REPORT.TX" + c, "");
    p = d.path + "REPORT.TXT";
    EXPECT_EQ(renfname(p), 0);
    EXPECT_EQ(p, d.path + "REPORT.T09");

    // A one-character name: "A", then "0".."9" - all taken.
    writefile(d / "A", "");
    for (char c = '0'; c <= '9'; ++c) writefile(d.path + c, "");
    p = d.path + "A";
    EXPECT_NE(renfname(p), 0);
}

TEST(workfiles, fcopycopiesexactly) {
    scratchdir d;
    writefile(d / "empty", "");
    EXPECT_EQ(fcopy(d / "empty", d / "copy", 16), 0);
    EXPECT_TRUE(fileexists(d / "copy"));
    EXPECT_EQ(readfile(d / "copy"), "");

    std::string data(32, 'x');
    data[5] = '\0';
    data[31] = '\xff';
    writefile(d / "twice", data);
    EXPECT_EQ(fcopy(d / "twice", d / "copy2", 16), 32);
    EXPECT_EQ(readfile(d / "copy2"), data);

    EXPECT_EQ(fcopy(d / "missing", d / "copy3", 16), -1);
    EXPECT_EQ(fcopy(d / "twice", d / "nodir/copy", 16), -1);
    EXPECT_EQ(exist(d / "nodir"), 0);
}

// Thousands of names of one base cost a test or two each, not a search
// from the start: a message of 20,000 parts named alike took minutes.
TEST(workfiles, manynamesofonebasecostconstanttime) {
    forgetnames();
    std::set<std::string> given;
    long tests = 0;
    nametaken taken = [&](const std::string& p) {
        ++tests;
        return given.count(p) != 0;
    };
    std::string name;
    for (int i = 0; i < 3000; ++i) {
        genfname("/nowhere/", ".ATT", name, taken);
        ASSERT_TRUE(given.insert(name).second) << name;
    }
    EXPECT_LE(tests, 2 * 3000);
    // Changed names: the odometer goes on where it stopped.
    tests = 0;
    given.insert("/nowhere/report.pdf");
    int changed = 0;
    for (std::string p = "/nowhere/report.pdf";; p = "/nowhere/report.pdf") {
        if (renfname(p, taken) != 0) break;
        ASSERT_TRUE(given.insert(p).second) << p;
        ++changed;
    }
    EXPECT_GT(changed, 30);
    EXPECT_LE(tests, 2 * changed + 2);
    // Wildcard names share the numbers of their extension.
    std::string star = "/nowhere/*.zip";
    EXPECT_EQ(starname(star, 9, taken), 1);
    EXPECT_EQ(star, "/nowhere/00000000.zip");
    forgetnames();
}

// The parse pass names files it does not make; after its draft the write
// pass is given the same names, and a name given but not used is given
// again.
TEST(workfiles, adraftgivesitsnamesagain) {
    forgetnames();
    scratchdir d;
    std::string first, second, again;
    beginnamedraft();
    genfname(d.path, ".ATT", first);
    writefile(first, "");  // what the draft's own test sees
    genfname(d.path, ".ATT", second);
    endnamedraft();
    std::remove(first.c_str());
    genfname(d.path, ".ATT", again);
    EXPECT_EQ(again, first);
    EXPECT_EQ(second, d.path + "00000001.ATT");
    // Not made: the same name once more.
    genfname(d.path, ".ATT", again);
    EXPECT_EQ(again, first);
    forgetnames();
}
