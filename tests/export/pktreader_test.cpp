#include "export/pktreader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testutil.h"

namespace {

// An input over a file with the given bytes.
struct bytesinput {
    scratchdir dir;
    std::FILE* f = nullptr;
    explicit bytesinput(const std::string& bytes, const char* mode = "rb") {
        writefile(dir / "in", bytes);
        f = std::fopen((dir / "in").c_str(), mode);
    }
    ~bytesinput() {
        if (f) std::fclose(f);
    }
};

struct crcase {
    const char* name;
    std::string text;
    std::size_t max;
    std::vector<std::pair<int, std::string>> pieces;  // result and text of each call
};

class readasciicrtest : public ::testing::TestWithParam<crcase> {};

TEST_P(readasciicrtest, splitsthetext) {
    const crcase& c = GetParam();
    bytesinput b(c.text);
    pktinput in(b.f);
    char buf[300];
    for (const auto& [result, text] : c.pieces) {
        EXPECT_EQ(readasciicr(in, buf, c.max), result) << text;
        EXPECT_EQ(std::string(buf), text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    pieces, readasciicrtest,
    ::testing::Values(
        crcase{"lines", std::string("one\rtwo\r\0rest", 13), 10, {{1, "one"}, {1, "two"}, {0, ""}}},
        crcase{"softlinefeed",
               std::string("a\r\nb\n\nc\r\0", 10),
               10,
               {{1, "a"}, {1, "b\n\nc"}, {0, ""}}},
        crcase{"cutatwidth",
               std::string("abcdefgh\r\0", 10),
               3,
               {{2, "abc"}, {2, "def"}, {1, "gh"}, {0, ""}}},
        crcase{"exactwidthisaline", std::string("abc\rdef\0", 8), 3, {{1, "abc"}, {0, "def"}}},
        crcase{"endoffile", "no end", 10, {{0, "no end"}, {0, ""}}},
        crcase{"emptylines", std::string("\r\r\0", 3), 10, {{1, ""}, {1, ""}, {0, ""}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(pktreadertest, readasciizstopsatthelimitandleavestherest) {
    bytesinput b(std::string("abc\0defghij\0", 12));
    pktinput in(b.f);
    char buf[8];
    EXPECT_EQ(readasciiz(in, buf, 5), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(readasciiz(in, buf, 5), 5u);
    EXPECT_STREQ(buf, "defgh");
    EXPECT_EQ(readasciiz(in, buf, 5), 2u);
    EXPECT_STREQ(buf, "ij");
    EXPECT_FALSE(in.hiteof());
}

TEST(pktreadertest, zgetcgivessignedbytesandzeroattheend) {
    bytesinput b("\x41\xe9");
    pktinput in(b.f);
    EXPECT_EQ(zgetc(in), 0x41);
    EXPECT_EQ(zgetc(in), static_cast<signed char>(0xe9));
    EXPECT_FALSE(in.hiteof());
    EXPECT_EQ(zgetc(in), 0);
    EXPECT_TRUE(in.hiteof());
    EXPECT_TRUE(in.cut());
}

TEST(pktreadertest, endoffileendsastoredmessagetext) {
    bytesinput b("text");
    pktinput in(b.f, true);
    in.skipzero();
    EXPECT_TRUE(in.hiteof());
    EXPECT_FALSE(in.cut());
}

// The window moves on in blocks; going back and forth over its edges, far
// back to the start, and handing the file back must all land on the byte.
TEST(pktreadertest, seeksacrossthewindowandhandsthefileback) {
    std::string data;
    for (int i = 0; i < 300000; ++i) data += static_cast<char>('a' + i % 26);
    bytesinput b(data);
    std::fseek(b.f, 10, SEEK_SET);
    {
        pktinput in(b.f);
        EXPECT_EQ(in.tell(), 10);
        for (long pos : {70000L, 65530L, 131080L, 5L, 299999L, 131000L}) {
            ASSERT_EQ(in.seek(pos), 0);
            EXPECT_EQ(in.getbyte(), 'a' + pos % 26) << pos;
            EXPECT_EQ(in.tell(), pos + 1);
        }
        unsigned char buf[100000];
        ASSERT_EQ(in.seek(1000), 0);
        ASSERT_EQ(in.read(buf, sizeof buf), sizeof buf);
        EXPECT_EQ(buf[99999], 'a' + (1000 + 99999) % 26);
        EXPECT_EQ(in.seek(in.tell() - 3000), 0);
        EXPECT_EQ(in.getbyte(), 'a' + (101000 - 3000) % 26);
    }
    EXPECT_EQ(std::ftell(b.f), 101000 - 3000 + 1);
}

TEST(pktreadertest, skipzeropassesthetextacrossblocks) {
    std::string data(200000, 'x');
    data += std::string("\0y", 2);
    bytesinput b(data);
    pktinput in(b.f);
    in.skipzero();
    EXPECT_EQ(in.getbyte(), 'y');
    EXPECT_FALSE(in.hiteof());
}

}  // namespace
