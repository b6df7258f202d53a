// The high-water marks of the news servers' groups: what a damaged file
// keeps, and that an update replaces its group's mark alone.
#include "transport/newsmarks.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "support/testutil.h"

namespace {

class newsmarkstest : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        cfg.soupdir = dir.path;
    }
    scratchdir dir;
};

TEST_F(newsmarkstest, damagedlinesareleftoutandupdatesreplace) {
    writefile(dir / NEWSMARKSNAME,
              "news\talt.test\t41\t937340170\n"
              "news\talt.other\t-3\t937340170\n"      // no negative numbers
              "news\talt.other\t7\n"                   // a field short
              "news\talt test\t7\t1\n"                 // no spaces in names
              "news\talt.other\t99999999999999999999\t1\n"
              "other\tALT.TEST\t5\t0\n"
              "cut\talt.");                           // cut by a crash
    std::vector<newsmark> marks;
    ASSERT_EQ(readnewsmarks(marks), 0);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(findnewsmark(marks, "NEWS", "Alt.Test")->high, 41);
    EXPECT_EQ(findnewsmark(marks, "other", "alt.test")->high, 5);
    EXPECT_EQ(findnewsmark(marks, "news", "alt.other"), nullptr);

    ASSERT_EQ(writenewsmarks({{"news", "alt.test", 57, 937340999}, {"news", "alt.other", 3, 1}}), 0);
    EXPECT_EQ(readfile(dir / NEWSMARKSNAME),
              "news\talt.test\t57\t937340999\nother\tALT.TEST\t5\t0\nnews\talt.other\t3\t1\n");
    newsmark m;
    EXPECT_TRUE(parsenewsmark(newsmarkline({"a", "b", 0, 0}), m));
    EXPECT_FALSE(parsenewsmark("a\tb\t1\t2\t3", m));
}

}  // namespace
