// Mailing-list changes with the list file on a full disk: a subscribe, an
// unsubscribe and a changepass arriving through import, and a pack. The
// room left in the list file's last block is varied around the size of a
// member record. Whatever happens, the list file stays whole and readable,
// holding either the old membership or the new one; a command that could
// not be carried out keeps its message for the next run, which completes
// it once, with one reply.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "faults/faultkit.h"
#include "support/testutil.h"

namespace {

std::string record(const std::string& address, const std::string& password, char marker = '+') {
    return std::string(1, marker) + "\n" + address + "\n\n1\n" + password + "\n";
}

const std::string MEMBERS = record("amy@net.example", "amypw") +
                            record("old@net.example", "", '*') + "a stray line\n" +
                            record("bob@net.example", "bobpw");

// A list file of exactly size bytes: comment lines in the keyword section
// take up the difference.
std::string listfile(const std::string& head, std::size_t size) {
    std::string pad;
    std::size_t rest = size - head.size() - 10 - MEMBERS.size();
    while (rest > 0) {
        std::size_t n = std::min<std::size_t>(rest, 60);
        pad += n == 1 ? std::string("\n") : ";" + std::string(n - 2, '-') + "\n";
        rest -= n;
    }
    return head + pad + "ListUsers\n" + MEMBERS;
}

struct listcase {
    const char* name;
    const char* from;                          // sender of the command, or "" for a pack
    const char* subject;                       // the command
    std::map<std::string, std::string> after;  // live members once it is done
    const char* reply;                         // text of the template it is answered with
};

const std::map<std::string, std::string> BEFORE = {{"amy@net.example", "amypw"},
                                                   {"bob@net.example", "bobpw"}};

// clang-format off
const std::vector<listcase> CASES = {
    {"subscribe", "carl@net.example", "subscribe",
     {{"amy@net.example", "amypw"}, {"bob@net.example", "bobpw"}, {"carl@net.example", ""}}, BIRDREPLIES[0][1]},
    {"unsubscribe", "amy@net.example", "unsubscribe", {{"bob@net.example", "bobpw"}}, BIRDREPLIES[1][1]},
    {"changepass", "bob@net.example", "changepass newpw",
     {{"amy@net.example", "amypw"}, {"bob@net.example", "newpw"}}, BIRDREPLIES[2][1]},
    {"pack", "", "", BEFORE, ""},
};
// clang-format on

struct listworld {
    scratchdir dir;
    smalldisk disk{dir / "disk", 64};
    const listcase& c;
    std::string original;

    listworld(const listcase& lc, std::size_t size) : c(lc) {
        writegate(dir.path, "ListConfig ./disk/lists/birds.lst\n");
        original = listfile(birdlist(dir.path), size);
        writefile(dir / "disk/lists/birds.lst", original);
        if (*c.from) {
            writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
            writefile(dir / "soup/0000001.MSG", birdmail(c.from, c.subject));
        }
    }

    runresult run() {
        return runpondlark({*c.from ? "import" : "pack", "/config=./gate.cfg"}, dir.path);
    }

    // The list file is whole and holds the old members or the new ones;
    // returns true when the change is done. The replies agree.
    bool check(const std::string& when) {
        SCOPED_TRACE(when);
        listview v = readlistfile(readfile(dir / "disk/lists/birds.lst"));
        EXPECT_EQ(v.problem, "") << readfile(dir / "disk/lists/birds.lst");
        EXPECT_EQ(listtree(dir / "disk/lists"), std::vector<std::string>{"birds.lst"})
            << "temporary files left beside the list file";
        bool done = v.live == c.after;
        if (!*c.from) {
            done = v.waste == 0;
            EXPECT_TRUE(done || readfile(dir / "disk/lists/birds.lst") == original)
                << "half packed";
            EXPECT_EQ(v.live, c.after);
            return done;
        }
        EXPECT_TRUE(done || v.live == BEFORE) << "neither the old members nor the new ones";
        int replied = 0;
        for (const std::string& m : soundreplies(dir / "soup/")) replied += countof(m, c.reply);
        EXPECT_EQ(replied, done ? 1 : 0) << "replies to the command";
        EXPECT_EQ(fileexists(dir / "soup/0000001.MSG"), !done) << "the command's message file";
        return done;
    }
};

class listfull : public ::testing::TestWithParam<std::size_t> {};

// The list file ends 0 to 100 bytes before the end of a 4 KiB block (the
// new records take 23 and 27 bytes), on a disk with no block free; then
// the disk is freed and the command runs again.
TEST_P(listfull, thelistfilestayswholeandthechangeismadeonce) {
    const listcase& c = CASES[GetParam()];
    SCOPED_TRACE(c.name);
    SKIP_WITHOUT_DISK();
    for (std::size_t slack : {0, 1, 22, 23, 26, 27, 100}) {
        SCOPED_TRACE("bytes left in the last block: " + std::to_string(slack));
        listworld w(c, 8192 - slack);
        w.disk.leavefree(0);
        runresult r = w.run();
        ASSERT_EQ(r.status, 0) << r.err;
        if (!w.check("on the full disk")) {
            EXPECT_NE(readfile(w.dir / "pondlark.log").find("! "), std::string::npos)
                << "the log does not say why the list did not change";
        }
        w.disk.release();
        r = w.run();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(w.check("after the second run")) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(faults, listfull, ::testing::Range<std::size_t>(0, CASES.size()),
                         [](const auto& i) { return std::string(CASES[i.param].name); });

}  // namespace
