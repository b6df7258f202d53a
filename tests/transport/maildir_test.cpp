// Maildirs and news batches as servers leave them.
#include "transport/maildir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "support/testutil.h"
#include "transport/newsbatch.h"

namespace {

TEST(maildir, seenname) {
    EXPECT_EQ(seenname("123.M1P2.host"), "123.M1P2.host:2,S");
    EXPECT_EQ(seenname("123.M1P2.host:2,"), "123.M1P2.host:2,S");
    EXPECT_EQ(seenname("123.M1P2.host:2,FT"), "123.M1P2.host:2,FST");
    EXPECT_EQ(seenname("123.M1P2.host:2,RS"), "123.M1P2.host:2,RS");
    EXPECT_EQ(seenname("123.M1P2.host,S=4711:2,a"), "123.M1P2.host,S=4711:2,Sa");
}

TEST(maildir, unseenmessagesandmarking) {
    scratchdir d;
    for (const char* f : {"new/1.a", "new/.hidden", "cur/2.b:2,S", "cur/3.c:2,F", "cur/4.d", "tmp/5.e"})
        writefile(d / f, "x");
    EXPECT_EQ(maildirproblem(d.path), "");
    EXPECT_EQ(maildirproblem(d / "nothere/"), "ImportMaildir folder not found");
    makedirs(d / "half/new");
    EXPECT_EQ(maildirproblem(d / "half/"), "ImportMaildir without new/ and cur/");

    std::vector<maildirmsg> msgs;
    ASSERT_TRUE(unseenmessages(d.path, msgs));
    std::vector<std::string> names;
    for (const auto& m : msgs) names.push_back(m.sub + m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"new/1.a", "cur/3.c:2,F", "cur/4.d"}));

    maildirfolders md;
    ASSERT_TRUE(md.open(d.path));
    curindex index;
    for (const auto& m : msgs) ASSERT_EQ(markseen(md, m, index), 0);
    ASSERT_TRUE(unseenmessages(d.path, msgs));
    EXPECT_TRUE(msgs.empty());
    EXPECT_TRUE(fileexists(d / "cur/1.a:2,S"));
    EXPECT_TRUE(fileexists(d / "cur/3.c:2,FS"));
    EXPECT_TRUE(fileexists(d / "cur/4.d:2,S"));
    // Marking again (a killed run's plan finished twice) changes nothing,
    // and neither does marking a message a reader has flagged since.
    curindex again;
    EXPECT_EQ(markseen(md, {"new/", "1.a"}, again), 0);
    EXPECT_TRUE(fileexists(d / "cur/1.a:2,S"));
    std::rename((d / "cur/4.d:2,S").c_str(), (d / "cur/4.d:2,R").c_str());
    curindex third;
    EXPECT_EQ(markseen(md, {"cur/", "4.d"}, third), 0);
    EXPECT_TRUE(fileexists(d / "cur/4.d:2,RS"));
    EXPECT_EQ(removemessage(md, {"new/", "1.a"}, third), 0);
    EXPECT_FALSE(fileexists(d / "cur/1.a:2,S"));
    EXPECT_EQ(removemessage(md, {"new/", "gone"}, third), 0);
}

TEST(newsbatch, readsbatchesandtheirdamage) {
    scratchdir d;
    const struct {
        const char* bytes;
        bool whole;
        std::vector<std::pair<long, long>> articles;
    } cases[] = {
        {"#! rnews 3\nabc#! rnews 2\nde", true, {{11, 3}, {25, 2}}},
        {"#! rnews 3\r\nabc", true, {{12, 3}}},
        {"#! rnews 3\nabc#! rnews 9\nde", false, {{11, 3}}},
        {"#! rnews 3\nabcgarbage\n", false, {{11, 3}}},
        {"#! rnews x\nabc", false, {}},
        {"#! rnews -1\nabc", false, {}},
        {"", true, {}},
    };
    for (const auto& c : cases) {
        writefile(d / "b", c.bytes);
        int fd = open((d / "b").c_str(), O_RDONLY);
        std::vector<batcharticle> arts;
        EXPECT_EQ(readbatch(fd, static_cast<long>(std::string(c.bytes).size()), arts), c.whole) << c.bytes;
        close(fd);
        std::vector<std::pair<long, long>> got;
        for (const auto& a : arts) got.emplace_back(a.start, a.length);
        EXPECT_EQ(got, c.articles) << c.bytes;
    }
    writefile(d / "c", "#! cunbatch\n");
    EXPECT_FALSE(isnewsbatch(d / "c"));
    writefile(d / "c", "#! rnews 1\nx");
    EXPECT_TRUE(isnewsbatch(d / "c"));
}

TEST(newsbatch, articlegroups) {
    EXPECT_EQ(articlegroups("From: a\nNewsgroups: alt.test, alt.other,,\nSubject: x\n\n"),
              (std::vector<std::string>{"alt.test", "alt.other"}));
    EXPECT_EQ(articlegroups("newsgroups: alt.test,\n alt.other\n\nNewsgroups: body.not\n"),
              (std::vector<std::string>{"alt.test", "alt.other"}));
    EXPECT_EQ(articlegroups("From: a\n\nNewsgroups: body.not\n"), std::vector<std::string>{});
}

}  // namespace
