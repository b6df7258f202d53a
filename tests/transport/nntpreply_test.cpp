// What a news server says, read in the pieces it arrives in: status
// lines, the numbers of GROUP and ARTICLE answers, articles as multi-line
// blocks; and the block an article becomes when it is posted.
#include "transport/nntpreply.h"

#include <gtest/gtest.h>

namespace {

TEST(nntpreply, statuslines) {
    const struct {
        const char* line;
        int code;
        const char* text;
    } cases[] = {
        {"200 news.example.net InterNetNews NNRP server ready", 200, "news.example.net InterNetNews NNRP server ready"},
        {"211 12 3 14 alt.test", 211, "12 3 14 alt.test"},
        {"423", 423, ""},
        {"480\tlogin first", 480, "login first"},
        {"099 too low", 0, "099 too low"},
        {"600 too high", 0, "600 too high"},
        {"2000 no", 0, "2000 no"},
        {"22x no", 0, "22x no"},
        {"", 0, ""},
        // Control characters never reach a log line.
        {"441 bad\x1b[31m\x01", 441, "bad?[31m?"},
    };
    for (const auto& c : cases) {
        nntpstatus s = parsestatus(c.line);
        EXPECT_EQ(s.code, c.code) << c.line;
        EXPECT_EQ(s.text, c.text) << c.line;
    }
    EXPECT_EQ(parsestatus("200 " + std::string(1000, 'x')).text.size(), 400u);
}

TEST(nntpreply, groupandarticlenumbers) {
    groupreply g;
    ASSERT_TRUE(parsegroupreply("12 3 14 alt.test", g));
    EXPECT_EQ(g.count, 12);
    EXPECT_EQ(g.low, 3);
    EXPECT_EQ(g.high, 14);
    EXPECT_EQ(g.group, "alt.test");
    // An empty group: low above high.
    ASSERT_TRUE(parsegroupreply("0 15 14 alt.test", g));
    EXPECT_GT(g.low, g.high);
    for (const char* bad : {"12 3 alt.test", "12 3 14", "-1 3 14 alt.test", "1 3 99999999999999999999 alt.test",
                            "x 3 14 alt.test", ""})
        EXPECT_FALSE(parsegroupreply(bad, g)) << bad;

    long long n = 0;
    std::string id;
    ASSERT_TRUE(parsearticlereply("3000234 <45223423@example.com>", n, id));
    EXPECT_EQ(n, 3000234);
    EXPECT_EQ(id, "<45223423@example.com>");
    for (const char* bad : {"3000234", "3000234 45223423@example.com", "x <a@b>", "1 <a b>", "1 <>"})
        EXPECT_FALSE(parsearticlereply(bad, n, id)) << bad;
}

std::string readblockin(const std::string& wire, std::size_t piece, std::size_t limit, std::size_t& used,
                        bool& done, bool& over) {
    blockreader b(limit);
    used = 0;
    for (std::size_t at = 0; at < wire.size() && !b.done(); at += piece) used += b.feed(wire.substr(at, piece));
    done = b.done();
    over = b.toolarge();
    return b.text;
}

TEST(nntpreply, blocksinanypieces) {
    const struct {
        std::string wire;
        std::string text;
        std::size_t used;  // where the block ends on the wire
    } cases[] = {
        {"Subject: x\r\n\r\nbody\r\n.\r\n", "Subject: x\n\nbody\n", 23},
        {"..leading dot\r\n...two\r\n.\r\n220 next\r\n", ".leading dot\n..two\n", 26},
        {".\r\n", "", 3},
        // A CR alone stays; a LF alone ends a line as well.
        {"a\rb\r\nc\nd\r\n.\r\n", "a\rb\nc\nd\n", 13},
        {"x\r\n.\n", "x\n", 5},
        {". not the end\r\n.\r\n", " not the end\n", 18},
        {".\rx\r\n.\r\n", "\rx\n", 8},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {1u, 2u, 3u, 7u, 1000u}) {
            std::size_t used = 0;
            bool done = false, over = false;
            EXPECT_EQ(readblockin(c.wire, piece, 1000, used, done, over), c.text) << c.wire << " " << piece;
            EXPECT_TRUE(done);
            EXPECT_FALSE(over);
            EXPECT_EQ(used, c.used) << c.wire << " " << piece;
        }
    }
    std::size_t used = 0;
    bool done = false, over = false;
    EXPECT_EQ(readblockin("no end\r\n", 3, 1000, used, done, over), "no end\n");
    EXPECT_FALSE(done);
    // Too large: read to its end all the same, nothing kept.
    std::string big = std::string(5000, 'x') + "\r\n.\r\n";
    EXPECT_EQ(readblockin(big, 100, 1000, used, done, over), "");
    EXPECT_TRUE(done);
    EXPECT_TRUE(over);
    EXPECT_EQ(used, big.size());
}

std::string towire(const std::string& text, std::size_t piece) {
    blockwriter w;
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += piece) w.feed(text.substr(at, piece), out);
    w.finish(out);
    return out;
}

TEST(nntpreply, articlesbecomeblocksandcomeback) {
    const struct {
        std::string text;
        std::string wire;
    } cases[] = {
        {"Subject: x\n\nbody\n", "Subject: x\r\n\r\nbody\r\n.\r\n"},
        {".\n..\n.x\n", "..\r\n...\r\n..x\r\n.\r\n"},
        {"no end", "no end\r\n.\r\n"},
        {"", ".\r\n"},
        {"crlf\r\nstays one\r\n", "crlf\r\nstays one\r\n.\r\n"},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {1u, 2u, 5u, 1000u}) {
            std::string wire = towire(c.text, piece);
            EXPECT_EQ(wire, c.wire) << piece;
            std::size_t used = 0;
            bool done = false, over = false;
            std::string back = readblockin(wire, 1000, 1000, used, done, over);
            EXPECT_TRUE(done);
            EXPECT_EQ(used, wire.size());
            std::string want = c.text;
            for (std::size_t p; (p = want.find("\r\n")) != std::string::npos;) want.erase(p, 1);
            if (!want.empty() && want.back() != '\n') want += "\n";
            EXPECT_EQ(back, want) << piece;
        }
    }
}

}  // namespace
