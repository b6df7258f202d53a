// Server replies in the pieces they arrive in: single and multi-line,
// enhanced status codes, damage that must never pass for an answer.
#include "transport/smtpreply.h"

#include <gtest/gtest.h>

namespace {

std::vector<smtpreply> readall(const std::string& bytes, std::size_t piece) {
    smtpreplyreader r;
    std::vector<smtpreply> out;
    for (std::size_t at = 0; at < bytes.size(); at += piece) r.feed(bytes.substr(at, piece), out);
    return out;
}

struct replycase {
    const char* bytes;
    std::vector<std::tuple<int, std::string, std::string>> want;  // code, enhanced, text
};

const replycase replycases[] = {
    {"250 2.0.0 Ok: queued as 1234\r\n", {{250, "2.0.0", "Ok: queued as 1234"}}},
    {"250-mx.test\r\n250-PIPELINING\r\n250 SIZE 1000\r\n", {{250, "", "mx.test"}}},
    {"550-5.1.1 no such user\r\n550-5.1.1 see the docs\r\n550 5.1.1 bye\r\n",
     {{550, "5.1.1", "no such user"}}},
    {"354 End data with <CR><LF>.<CR><LF>\r\n", {{354, "", "End data with <CR><LF>.<CR><LF>"}}},
    {"250\r\n221 Bye\n", {{250, "", ""}, {221, "", "Bye"}}},
    // An enhanced code whose class differs from the reply's is text.
    {"451 5.0.0 odd\r\n", {{451, "", "5.0.0 odd"}}},
    {"hello world\r\n", {{0, "", "hello world"}}},
    {"25x nope\r\n", {{0, "", "25x nope"}}},
    {"199 too low\r\n600 too high\r\n", {{0, "", "199 too low"}, {0, "", "600 too high"}}},
    // A continuation that changes its code is damage, and ends the reply.
    {"250-a\r\n550 b\r\n", {{250, "", "a"}, {0, "", "550 b"}}},
    {"250 unfinished", {}},
};

TEST(smtpreply, inanypieces) {
    for (const replycase& c : replycases) {
        for (std::size_t piece : {1u, 3u, 1000u}) {
            std::vector<smtpreply> got = readall(c.bytes, piece);
            ASSERT_EQ(got.size(), c.want.size()) << c.bytes << " in pieces of " << piece;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].code, std::get<0>(c.want[i])) << c.bytes;
                EXPECT_EQ(got[i].enhanced, std::get<1>(c.want[i])) << c.bytes;
                EXPECT_EQ(got[i].text, std::get<2>(c.want[i])) << c.bytes;
            }
        }
    }
}

TEST(smtpreply, longandhostilelinesstaybounded) {
    std::string bytes = "550 " + std::string(100000, 'x') + "\x01\x7f\r\n";
    std::vector<smtpreply> got = readall(bytes, 4096);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 550);
    EXPECT_LE(got[0].text.size(), 400u);
    EXPECT_LE(replytext(got[0]).size(), 120u);
    for (char c : got[0].text) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
}

}  // namespace
