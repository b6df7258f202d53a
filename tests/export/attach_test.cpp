#include "export/attach.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "config/settings.h"
#include "driver/runstate.h"
#include "support/testutil.h"

namespace {

class attachpathtest : public statetest {
   protected:
    scratchdir dir;
    void SetUp() override {
        statetest::SetUp();
        makedirs(dir / "in/sub");
        makedirs(dir / "pkt");
        makedirs(dir / "elsewhere");
        writefile(dir / "in/sub/file.txt", "x");
        writefile(dir / "pkt/notes.txt", "x");
        writefile(dir / "elsewhere/secret.txt", "x");
        ASSERT_EQ(symlink((dir / "elsewhere/secret.txt").c_str(), (dir / "in/out.lnk").c_str()), 0);
        ASSERT_EQ(symlink((dir / "in/sub/file.txt").c_str(), (dir / "in/in.lnk").c_str()), 0);
        cfg.indir = dir / "in/";
        run.packetdir = dir / "pkt/";
    }
    int check(const std::string& name) {
        std::string resolved;
        return checkattachpath(name, resolved);
    }
};

TEST_F(attachpathtest, onlyfilesinsidetheinboundorpacketdirectory) {
    std::string resolved;
    EXPECT_EQ(checkattachpath(dir / "in/sub/file.txt", resolved), 0);
    EXPECT_EQ(resolved, dir / "in/sub/file.txt");
    EXPECT_EQ(check(dir / "pkt/notes.txt"), 0);
    EXPECT_EQ(check(dir / "in/in.lnk"), 0);
    EXPECT_EQ(check(dir / "in/missing.txt"), 1);
    EXPECT_EQ(check(dir / "elsewhere/missing.txt"), 1);
    EXPECT_EQ(check(dir / "elsewhere/secret.txt"), 2);
    EXPECT_EQ(check(dir / "in/out.lnk"), 2);
    EXPECT_EQ(check(dir / "in/../elsewhere/secret.txt"), 2);
    EXPECT_EQ(check(dir / "in/sub/../sub/file.txt"), 2);
    EXPECT_EQ(check(dir / "in/sub"), 2);
    EXPECT_EQ(check("/etc/passwd"), 2);
}

// What a remote message may name: only what travelled with it.
TEST_F(attachpathtest, remotenamesonlyreachwhatcamewiththem) {
    for (const char* f : {"in/0000FFFF.MO1", "in/00010002.TU0", "in/a1b2c3d4.pkt", "in/00020003.FLO",
                          "in/00020003.CLO", "in/00020003.BSY", "in/00020003.OUT", "in/x.req",
                          "in/toss.tmp", "in/old.bad", "in/12.MSG", "in/.hidden", "in/file.dt",
                          "pkt/0001.PKT", "in/photo.bin", "pkt/readme.txt"}) {
        writefile(dir / f, "x");
    }
    makedirs(dir / "in/.partial");
    writefile(dir / "in/.partial/part.zip", "x");
    struct {
        std::string name;
        int result;
    } cases[] = {
        {dir / "in/0000FFFF.MO1", 3},   {dir / "in/00010002.TU0", 3},
        {dir / "in/a1b2c3d4.pkt", 3},   {dir / "pkt/0001.PKT", 3},
        {dir / "in/00020003.OUT", 3},   {dir / "in/00020003.FLO", 4},
        {dir / "in/00020003.CLO", 4},   {dir / "in/00020003.BSY", 4},
        {dir / "in/x.req", 4},          {dir / "in/toss.tmp", 5},
        {dir / "in/old.bad", 5},        {dir / "in/12.MSG", 5},
        {dir / "in/.hidden", 5},        {dir / "in/file.dt", 5},
        {dir / "in/.partial/part.zip", 5},
        // The sender's own folders mean nothing here: the base name is
        // looked for in the inbound, then the packet directory.
        {"C:\\FILES\\photo.bin", 0}, {"/home/them/readme.txt", 0},
        {"photo.bin", 0},               {"C:\\BUNDLES\\0000FFFF.MO1", 3},
        {"nothing.zip", 1},
    };
    for (const auto& c : cases) {
        std::string resolved;
        EXPECT_EQ(checkattachpath(c.name, resolved), c.result) << c.name;
    }
    std::string resolved;
    ASSERT_EQ(checkattachpath("/home/them/readme.txt", resolved), 0);
    EXPECT_EQ(resolved, dir / "pkt/readme.txt");
    // A harmless name linking to a packet is the packet.
    ASSERT_EQ(symlink((dir / "in/0000FFFF.MO1").c_str(), (dir / "in/nice.txt").c_str()), 0);
    EXPECT_EQ(check(dir / "in/nice.txt"), 3);
}

struct encodecase {
    const char* name;
    std::string data;
    int format;
    std::string lines;
};

// The golden attachment cases decode every encoded file back to its bytes;
// these are the padding and the full line of each encoding.
class encodetest : public ::testing::TestWithParam<encodecase> {};

TEST_P(encodetest, linesasreadersexpect) {
    const encodecase& c = GetParam();
    std::string out;
    encodeblock(reinterpret_cast<const unsigned char*>(c.data.data()), c.data.size(), c.format,
                out);
    EXPECT_EQ(out, c.lines);
}

std::string range(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(i);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    files, encodetest,
    ::testing::Values(
        encodecase{"base64two", "Ma", ENCODE_MIME, "TWE=\n"},
        // 58 bytes: a full line of 76 characters and one of 4 with padding.
        encodecase{"base64line", range(58), ENCODE_MIME,
                   "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\n"
                   "OQ==\n"},
        encodecase{"uuzero", std::string(3, '\0'), ENCODE_UU, "#````\n"},
        encodecase{"uuline", std::string(46, 'a'), ENCODE_UU,
                   "M86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A86%A\n!80\n"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
