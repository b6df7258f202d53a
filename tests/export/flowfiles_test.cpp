// Flow files: every line is taken, also the last without a line end, and
// a flow file goes or shrinks only by what was sent.
#include "export/flowfiles.h"

#include <gtest/gtest.h>

#include "driver/runstate.h"
#include "export/expstate.h"
#include "support/testutil.h"

namespace {

class flowfiletest : public statetest {
   protected:
    scratchdir dir;
    std::string path() const { return dir / "0000FFFF.FLO"; }
};

TEST_F(flowfiletest, everylineisanentry) {
    struct {
        const char* name;
        std::string content;
        std::vector<std::string> entries;
    } cases[] = {
        {"lastlinewithoutend", "a.pkt\n^b.zip", {"a.pkt", "^b.zip"}},
        {"crlf", "a.pkt\r\n#b.zip\r\n", {"a.pkt", "#b.zip"}},
        {"emptylines", "\n\r\na\n\n", {"a"}},
        {"onlyaname", "c.txt", {"c.txt"}},
        {"empty", "", {}},
        {"spacesstay", " d.txt \n", {" d.txt "}},
        {"sentalready", "~a.pkt\nb.zip\n~\n", {"b.zip"}},
        // Cut short, a longer line could name another file and have it deleted.
        {"toolongline", "^" + std::string(5000, 'x') + "\ny", {"y"}},
        {"longestline", std::string(FLOWLINEMAX, 'x') + "\ny", {std::string(FLOWLINEMAX, 'x'), "y"}},
    };
    for (const auto& c : cases) {
        clearflowfiles();
        writefile(path(), c.content);
        flowfile ff;
        ASSERT_EQ(readflowfile(path(), ff), 0) << c.name;
        std::vector<std::string> got;
        for (const flowentry& e : expstate.flowfilelist) got.push_back(e.name);
        EXPECT_EQ(got, c.entries) << c.name;
    }
    EXPECT_EQ(expstate.flowfilelist.size(), 2u);
    EXPECT_EQ(expstate.flowfilelist[0].kind, FLOW_FILE);
    clearflowfiles();
    writefile(path(), "x/0000ffff.Pkt\nx/a.pkt.zip\n");
    flowfile ff;
    ASSERT_EQ(readflowfile(path(), ff), 0);
    EXPECT_EQ(expstate.flowfilelist[0].kind, FLOW_PACKET);
    EXPECT_EQ(expstate.flowfilelist[1].kind, FLOW_FILE);
}

TEST_F(flowfiletest, amissingflowfilecannotberead) {
    flowfile ff;
    EXPECT_EQ(readflowfile(dir / "none.flo", ff), -1);
}

// Lines beyond the attachment list's room are kept for the next run.
TEST_F(flowfiletest, linesbeyondthelistwait) {
    std::string content;
    for (std::size_t i = 0; i < MAXFLOWFILES + 2; ++i) content += "f" + std::to_string(i) + "\n";
    writefile(path(), content);
    flowfile ff;
    ASSERT_EQ(readflowfile(path(), ff), 0);
    EXPECT_EQ(flowfiles(), MAXFLOWFILES);
    for (flowentry& e : expstate.flowfilelist) e.kind = FLOW_DONE;
    EXPECT_EQ(settleflowfile(ff), 0);
    EXPECT_EQ(readfile(path()), "f2048\nf2049\n");
}

TEST_F(flowfiletest, theflowfilekeepsthelinesnotsent) {
    static const std::string toolong = "^" + std::string(FLOWLINEMAX + 1, 'x') + "\n";
    struct {
        const char* name;
        std::string content;
        std::vector<bool> done;
        int result;
        const char* after;  // nullptr: removed
    } cases[] = {
        {"allsent", "a\r\nb", {true, true}, 1, nullptr},
        {"nonesent", "a\r\nb", {false, false}, 0, "a\r\nb"},
        {"firstsent", "a\r\nb\r\n", {true, false}, 0, "b\r\n"},
        {"lastwithoutendleft", "a\nb", {true, false}, 0, "b\n"},
        {"emptylinesdropped", "a\n\nb\n", {false, true}, 0, "a\n"},
        {"linesmarkedsentdropped", "~a\nb\n", {false}, 0, "b\n"},
        {"toolonglinekeptwhole", toolong + "b\n", {true}, 0, toolong.c_str()},
    };
    for (const auto& c : cases) {
        clearflowfiles();
        writefile(path(), c.content);
        flowfile ff;
        ASSERT_EQ(readflowfile(path(), ff), 0) << c.name;
        for (std::size_t i = 0; i < c.done.size(); ++i) {
            if (c.done[i]) expstate.flowfilelist[i].kind = FLOW_DONE;
        }
        EXPECT_EQ(settleflowfile(ff), c.result) << c.name;
        if (c.after) {
            EXPECT_EQ(readfile(path()), c.after) << c.name;
        } else {
            EXPECT_FALSE(fileexists(path())) << c.name;
        }
        EXPECT_EQ(listtree(dir.path).size(), c.after ? 1u : 0u) << c.name;
    }
}

TEST_F(flowfiletest, testmodekeepstheflowfile) {
    run.testmode = 1;
    writefile(path(), "a\nb\n");
    flowfile ff;
    ASSERT_EQ(readflowfile(path(), ff), 0);
    expstate.flowfilelist[0].kind = FLOW_DONE;
    EXPECT_EQ(settleflowfile(ff), 0);
    expstate.flowfilelist[1].kind = FLOW_DONE;
    EXPECT_EQ(settleflowfile(ff), 1);
    EXPECT_EQ(readfile(path()), "a\nb\n");
}

}  // namespace
