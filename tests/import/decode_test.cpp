#include "import/decode.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "import/curmsg.h"
#include "pkt/trailer.h"
#include "support/testutil.h"

namespace {

class decodetest : public statetest {
   protected:
    scratchdir dir;
    void SetUp() override {
        statetest::SetUp();
        cfg.indir = dir.path;
        curmsg.msgtype = MSGTYPE_MAIL;
    }
};

// Each line alone, and all data lines written to a file by the decoder
// (which counts and decodes in one pass): the file holds what the lines
// give alone, also for lines with characters outside the alphabet and
// without whole groups.
TEST_F(decodetest, base64lines) {
    struct {
        const char* line;
        long bytes;
        std::string decoded;
    } cases[] = {
        {"SGVsbG8=", 5, "Hello"},
        {"SGVsbG8sIHdvcmxkIQo=", 14, "Hello, world!\n"},
        {"AAEC", 3, std::string("\0\1\2", 3)},
        // A blank shifts the groups, and what depends on it is lost.
        {"QUJD REVG", 6, std::string("ABC\x11\x15", 5)},
        {"SG*sbG8=", 4, "Hl"},  // a byte that needs an invalid character is left out
        {"SG\xc8sbG8=", 4, "Hl"},
        {"SGVsbG8sIHdvcmxkIQo=AAAA", 17, std::string("Hello, world!\n\0\0", 16)},
        {"QUJDREVGR0g", 8, "ABCDEFGH"},  // no whole last group
        {"ab-_", 2, std::string("i\xbf", 2)},  // "-" counts as "/"
        {"QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5eg==", 52,
         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"},
        {"QQ==", 1, "A"},  // after the file has ended
        {"", -1, ""},
        {"=abc", -1, ""},
        {" SGVs", -1, ""},
    };
    std::string want;
    attachdecoder dec(true, 1, nullptr);
    dec.begin(FILEENC_MIME, "out.bin", ATTACH_DECODE, false);
    for (const auto& c : cases) {
        EXPECT_EQ(base64linebytes(c.line), c.bytes) << c.line;
        if (c.bytes < 0) continue;
        std::string out;
        decodebase64line(c.line, out);
        EXPECT_EQ(out, c.decoded) << c.line;
        // A line ending in "==" ends the file, the last one it takes.
        if (dec.state() == DECODE_BASE64) {
            EXPECT_TRUE(dec.takeline(c.line)) << c.line;
            want += out;
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(dec.end(), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(readfile(dir / "out.bin"), want);
}

TEST(decode, uulines) {
    struct {
        const char* line;
        long bytes;
        std::string decoded;
    } cases[] = {
        {"#0V%T", 3, "Cat"}, {"-2&5L;&\\L('=O<FQD(0  ", 13, "Hello, world!"},
        {"`", 0, ""},        {"!80", 1, "a"},
        {"M", -1, ""},      // says 45 bytes, has none
        {"#0V", -1, ""},    // says 3 bytes, has room for 1
        {" 0V%T", -1, ""},  // a blank does not start a data line
        {"a", -1, ""},       {"", -1, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(uulinebytes(c.line), c.bytes) << c.line;
        if (c.bytes < 0) continue;
        std::string out;
        decodeuuline(c.line, out);
        EXPECT_EQ(out, c.decoded) << c.line;
    }
}

}  // namespace
