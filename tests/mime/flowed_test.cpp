#include "mime/flowed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> flow(const std::vector<std::string>& lines, bool delsp = false) {
    flowedtext f(delsp);
    std::vector<std::string> out;
    for (const std::string& l : lines) f.line(l, out);
    f.finish(out);
    return out;
}

using lines = std::vector<std::string>;

TEST(flowed, joinsparagraphs) {
    EXPECT_EQ(flow({"one ", "two ", "three", "four"}), (lines{"one two three", "four"}));
    // DelSp: the blank at a soft break was added and goes.
    EXPECT_EQ(flow({"ein", "lang", "es Wort"}, true), (lines{"ein", "lang", "es Wort"}));
    EXPECT_EQ(flow({"Teich", "wasser "}, true), (lines{"Teich", "wasser"}));
    EXPECT_EQ(flow({"Teich ", "wasser"}, true), (lines{"Teichwasser"}));
    // The stuffed blank goes; an empty line ends a paragraph.
    EXPECT_EQ(flow({" From me ", "on", "", "next"}), (lines{"From me on", "", "next"}));
}

TEST(flowed, quotesandsignatures) {
    EXPECT_EQ(flow({"> quoted ", "> text", ">> deeper ", ">> too", "mine"}),
              (lines{"> quoted text", ">> deeper too", "mine"}));
    // A quote depth change ends the paragraph even after a soft break.
    EXPECT_EQ(flow({"> soft ", "hard"}), (lines{"> soft ", "hard"}));
    // The signature separator keeps its blank and is never joined.
    EXPECT_EQ(flow({"text", "-- ", "Name"}), (lines{"text", "-- ", "Name"}));
    EXPECT_EQ(flow({"soft ", "-- ", "Name"}), (lines{"soft -- ", "Name"}));
}

}  // namespace
