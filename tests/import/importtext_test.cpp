#include "import/importtext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(importtext, chunksendafterthelastnonalphanumeric) {
    std::string words = std::string(40, 'a') + " " + std::string(300, 'b');
    std::string at33 = std::string(32, 'a') + "," + std::string(300, 'b');
    std::string at32 = std::string(31, 'a') + "," + std::string(300, 'b');
    std::string tail = std::string(250, 'a') + "-" + std::string(10, 'b');
    struct {
        const char* name;
        std::string rest;
        std::size_t width, chunk;
    } cases[] = {
        {"fits", "short line", BODYWIDTH, 10},
        {"exactlyfits", std::string(255, 'x'), BODYWIDTH, 255},
        {"nobreak", std::string(600, 'x'), BODYWIDTH, 255},
        {"afterblank", words, BODYWIDTH, 41},
        {"breakatthe33rd", at33, BODYWIDTH, 33},
        {"notbeforethe33rd", at32, BODYWIDTH, 255},
        {"lastbreakwins", tail, BODYWIDTH, 251},
        {"kludge", std::string(70, 'k') + " " + std::string(20, 'k'), KLUDGEWIDTH, 71},
        {"eightbitbreaks", std::string(50, 'a') + "\xe9" + std::string(300, 'a'), BODYWIDTH, 51},
    };
    for (const auto& c : cases) EXPECT_EQ(chunklength(c.rest, c.width), c.chunk) << c.name;
}

}  // namespace
