// Who may send through the gateway, as whom, and how much: the From lines
// the gateway vouches for, and the day's counts of ExportLimit, kept
// across runs in SoupDir/pondlark.lim.
#include <gtest/gtest.h>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/runstate.h"
#include "export/exportcounts.h"
#include "export/fromline.h"
#include "export/refusal.h"
#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

class gatepolicytest : public statetest {
protected:
    void SetUp() override {
        statetest::SetUp();
        cfg.gateaddr = {2, 280, 5555, 0};
        tables.addrmap.push_back({{2, 280, 5555, 0}, "sysop@pond.example", "", "Sysop"});
        tables.addrmap.push_back({{2, 280, 5555, 1}, "jane@pond.example", "replies@pond.example", "Jane"});
    }
};

TEST_F(gatepolicytest, fromlinesthegatewayvouchesfor) {
    const fidoaddr sysop{2, 280, 5555, 0}, jane{2, 280, 5555, 1}, stranger{2, 280, 5556, 0};
    // By default: the gateway's own system says what it likes.
    EXPECT_TRUE(vouchedfrom(sysop, "Sysop", "director@bank.example"));
    // Others only the addresses AddrMap gives them, under their own name.
    EXPECT_TRUE(vouchedfrom(jane, "Jane", "jane@pond.example"));
    EXPECT_TRUE(vouchedfrom(jane, "JANE", "Replies@Pond.Example"));
    EXPECT_FALSE(vouchedfrom(jane, "Jane", "sysop@pond.example"));
    EXPECT_FALSE(vouchedfrom(stranger, "Jane", "jane@pond.example"));
    EXPECT_FALSE(vouchedfrom(stranger, "Evil", "director@bank.example"));
    // Two users told apart by name at one node.
    tables.addrmap.push_back({{2, 280, 5555, 1}, "joe@pond.example", "", "Joe"});
    EXPECT_TRUE(vouchedfrom(jane, "Joe", "joe@pond.example"));
    EXPECT_FALSE(vouchedfrom(jane, "Jane", "joe@pond.example"));
    EXPECT_FALSE(vouchedfrom(jane, "Joe", "jane@pond.example"));
    // TrustFrom replaces the default.
    ftnpattern p;
    ASSERT_TRUE(parseftnpattern("2:280/5556", p));
    tables.trustfrom.push_back(p);
    EXPECT_TRUE(vouchedfrom(stranger, "Evil", "director@bank.example"));
    EXPECT_FALSE(vouchedfrom(sysop, "Sysop", "director@bank.example"));
    EXPECT_FALSE(vouchedfrom(sysop, "Other", "sysop@pond.example"));
    EXPECT_TRUE(vouchedfrom(sysop, "Sysop", "sysop@pond.example"));
}

// A refusal names who sent what and why; of many recipients the first few.
TEST_F(gatepolicytest, refusalssaywhosentwhatandwhy) {
    curmsg.fromaddr = {2, 280, 5556, 0};
    curmsg.msgfromname = "Net Node";
    curmsg.msgsubj = "Hi";
    exportrefusal r;
    r.why = "not a single Internet address";
    EXPECT_EQ(refusaltext(r), "refused msg from 2:280/5556 (Net Node), subject \"Hi\": not a single Internet address");
    for (int i = 1; i <= 7; ++i) r.recipients.push_back("a" + std::to_string(i) + "@x");
    EXPECT_EQ(refusaltext(r), "refused recipients a1@x, a2@x, a3@x, a4@x, a5@x and 2 more of msg from 2:280/5556 "
                              "(Net Node), subject \"Hi\": not a single Internet address");
}

TEST(exportcounts, readsthedaysownlines) {
    bool stale = false;
    nodecounts c = parseexportcounts("1999-09-14\t2:280/5556\t1\n"
                                     "1999-09-13\t2:280/5556\t40\n"
                                     "1999-09-14\t2:280/5556\t2\n"
                                     "1999-09-14\t2:280/5555.1\t1\n"
                                     "junk line\n"
                                     "1999-09-14\t2:280/*\t5\n"
                                     "1999-09-14\t2:280/5557\t-3\n"
                                     "1999-09-14\t2:280/5557\t1",
                                     "1999-09-14", stale);
    EXPECT_TRUE(stale);
    EXPECT_EQ(c.size(), 2u);
    EXPECT_EQ(c[nodekey({2, 280, 5556, 0})], 3);
    EXPECT_EQ(c[nodekey({2, 280, 5555, 1})], 1);
    EXPECT_EQ(exportcountstext(c, "1999-09-14"), "1999-09-14\t2:280/5555.1\t1\n1999-09-14\t2:280/5556\t3\n");
    nodecounts again = parseexportcounts(exportcountstext(c, "1999-09-14"), "1999-09-14", stale);
    EXPECT_FALSE(stale);
    EXPECT_EQ(again, c);
}

// Counted in one run, known to the next; a unit taken back takes its
// counts back; the next day starts from nothing.
class exportcountstest : public statetest {
protected:
    scratchdir dir;
    void SetUp() override {
        statetest::SetUp();
        cfg.soupdir = dir.path;
    }
    void TearDown() override { setfixedclock(FIXEDNOW); }
};

TEST_F(exportcountstest, countssurvivetheruns) {
    const fidoaddr a{2, 280, 5556, 0}, b{2, 280, 5555, 1};
    ASSERT_EQ(loadexportcounts(), 0);
    EXPECT_EQ(exportcount(a), 0);
    EXPECT_EQ(countexport(a), 0);
    EXPECT_EQ(countexport(a), 0);
    EXPECT_EQ(countexport(b), 0);
    exportcountmark m = markexportcounts();
    EXPECT_EQ(countexport(a), 0);
    EXPECT_EQ(exportcount(a), 3);
    rewindexportcounts(m);
    EXPECT_EQ(exportcount(a), 2);
    const std::string path = dir / "pondlark.lim";
    EXPECT_EQ(readfile(path), "1999-09-14\t2:280/5556\t1\n1999-09-14\t2:280/5556\t1\n"
                              "1999-09-14\t2:280/5555.1\t1\n");

    // The next run reads them, and writes them back as one line a node.
    exportcounts = exportcountstate{};
    ASSERT_EQ(loadexportcounts(), 0);
    EXPECT_EQ(exportcount(a), 2);
    EXPECT_EQ(exportcount(b), 1);
    EXPECT_EQ(readfile(path), "1999-09-14\t2:280/5555.1\t1\n1999-09-14\t2:280/5556\t2\n");

    // Under /test nothing is written.
    run.testmode = 1;
    EXPECT_EQ(countexport(a), 0);
    EXPECT_EQ(exportcount(a), 3);
    EXPECT_EQ(readfile(path), "1999-09-14\t2:280/5555.1\t1\n1999-09-14\t2:280/5556\t2\n");
    run.testmode = 0;

    // A day later the counts start again, and the old ones go.
    setfixedclock(FIXEDNOW + 86400);
    exportcounts = exportcountstate{};
    ASSERT_EQ(loadexportcounts(), 0);
    EXPECT_EQ(exportcount(a), 0);
    EXPECT_EQ(readfile(path), "");
}

// A file cut by a crash in the middle of a line loses that line only, and
// the next line does not join it.
TEST_F(exportcountstest, acutfileisread) {
    const std::string path = dir / "pondlark.lim";
    writefile(path, "1999-09-14\t2:280/5556\t4\n1999-09-14\t2:280/55");
    run.testmode = 1;  // the file as it is
    ASSERT_EQ(loadexportcounts(), 0);
    EXPECT_EQ(exportcount({2, 280, 5556, 0}), 4);
    run.testmode = 0;
    exportcounts.path = path;
    EXPECT_EQ(countexport({2, 280, 5556, 0}), 0);
    EXPECT_EQ(readfile(path), "1999-09-14\t2:280/5556\t4\n1999-09-14\t2:280/55\n1999-09-14\t2:280/5556\t1\n");
    exportcounts = exportcountstate{};
    ASSERT_EQ(loadexportcounts(), 0);
    EXPECT_EQ(exportcount({2, 280, 5556, 0}), 5);
}

}  // namespace
