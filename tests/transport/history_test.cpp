// The Message-ID history: which ids count, what expires, and that a file
// damaged by a crash loses nothing but its damaged line.
#include "transport/history.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "driver/runstate.h"
#include "support/testutil.h"

namespace {

TEST(historykey, whatcountsasanid) {
    const struct {
        const char* value;
        int type;
        const char* area;
        const char* key;
    } cases[] = {
        {" <a@b.test>", 0, "", "<a@b.test>"},
        {"<a@b.test> (a comment)", 0, "", "<a@b.test>"},
        {"  a@b.test  ", 0, "", "a@b.test"},
        {"<a@b.test>", 1, "Alt.Test", "<a@b.test>\talt.test"},
        {"", 0, "", ""},
        {"<>", 0, "", ""},
        {"<a@b", 0, "", ""},
        {"<a\t@b.test>", 0, "", ""},
        {"<a@b.test>", 1, "bad\tarea", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(historykey(c.value, c.type, c.area), c.key) << c.value;
    // Mail is keyed by its recipient too; the key files had before names
    // the Message-ID alone.
    EXPECT_EQ(historykey("<a@b.test>", 0, "", "Jane@Pond.Example"), "<a@b.test>\tto:jane@pond.example");
    EXPECT_EQ(historykey("<a@b.test>", 1, "alt.test", "jane@pond.example"), "<a@b.test>\talt.test");
    EXPECT_EQ(legacymailkey("<a@b.test>\tto:jane@pond.example"), "<a@b.test>");
    EXPECT_EQ(legacymailkey("<a@b.test>\talt.test"), "");
    EXPECT_EQ(historykey("<" + std::string(1000, 'x') + ">", 0, ""), "");
}

class historytest : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        cfg.soupdir = dir.path;
        setfixedclock(FIXEDNOW);
    }
    void TearDown() override {
        setfixedclock(FIXEDNOW);
        statetest::TearDown();
    }
    std::string file() { return dir / HISTORYNAME; }
    scratchdir dir;
};

TEST_F(historytest, knowswhatwasimportedandforgetsitafterhistorydays) {
    long day = 86400, now = FIXEDNOW;
    writefile(file(), std::to_string(now - 31 * day) + "\t<old@x>\n" + std::to_string(now - 29 * day) +
                          "\t<young@x>\n" + "garbage line\n" + std::to_string(now) + "\t<cut@x");
    ASSERT_EQ(loadhistory(), 0);
    EXPECT_FALSE(seenbefore("<old@x>"));
    EXPECT_TRUE(seenbefore("<young@x>"));
    EXPECT_FALSE(seenbefore("<cut@x"));
    EXPECT_FALSE(seenbefore(""));
    // Rewritten once, without what expired or was damaged.
    EXPECT_EQ(readfile(file()), std::to_string(now - 29 * day) + "\t<young@x>\n");

    notehistory("<new@x>");
    EXPECT_TRUE(seenbefore("<new@x>"));  // twice in one message file is a dupe too
    ASSERT_EQ(commithistory(), 0);
    notehistory("<kept@x>");
    forgetnoted();  // its message file stays for the next run
    EXPECT_FALSE(seenbefore("<kept@x>"));
    EXPECT_EQ(readfile(file()), std::to_string(now - 29 * day) + "\t<young@x>\n" + std::to_string(now) +
                                    "\t<new@x>\n");

    // A line a crash cut short is finished before the next is appended.
    writefile(file(), readfile(file()) + "93734");
    ASSERT_EQ(loadhistory(), 0);
    writefile(file(), readfile(file()) + "93734");
    notehistory("<after@x>");
    ASSERT_EQ(commithistory(), 0);
    ASSERT_EQ(loadhistory(), 0);
    EXPECT_TRUE(seenbefore("<after@x>"));
    EXPECT_TRUE(seenbefore("<new@x>"));
}

TEST_F(historytest, testmodeandzerodayskeepnohistory) {
    run.testmode = 1;
    ASSERT_EQ(loadhistory(), 0);
    notehistory("<a@x>");
    ASSERT_EQ(commithistory(), 0);
    EXPECT_FALSE(fileexists(file()));
    run.testmode = 0;
    cfg.historydays = 0;
    ASSERT_EQ(loadhistory(), 0);
    notehistory("<a@x>");
    EXPECT_FALSE(seenbefore("<a@x>"));
    ASSERT_EQ(commithistory(), 0);
    EXPECT_FALSE(fileexists(file()));
}

}  // namespace
