// The list server (through import) and pack killed at many moments. The
// rerun must answer every command once (one Welcome, one Goodbye, no "not
// a member" for one who has just left), distribute every posting once and
// echo it once into the list's area, and leave the list file as an
// unkilled run leaves it, whole; pack must leave every list file packed and
// whole, and no temporary file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults/faultkit.h"
#include "kill/killkit.h"

namespace {

std::string member(int i) {
    return "m" + std::to_string(i) + "@birds.example";
}

struct listkillworld : killworld {
    explicit listkillworld(const std::string& extra = "") {
        writegate(dir.path, "ListConfig ./birds.lst\n" + extra);
        writefile(dir / "birds.lst", birdlist(dir.path) + "ListArea BIRDS\nListUsers\n" +
                                         "+\nkeeper@birds.example\nKeeper\n1\n\n");
        std::vector<std::string> first, second, third;
        for (int i = 0; i < 18; ++i) first.push_back(birdmail(member(i), "subscribe"));
        for (int i = 0; i < 12; ++i)
            first.push_back(birdmail(member(i), "Sighting " + std::to_string(i)));
        for (int i = 0; i < 8; ++i) second.push_back(birdmail(member(2 * i), "unsubscribe"));
        for (int i = 0; i < 16; ++i)
            second.push_back(birdmail(member(i), "Report " + std::to_string(i)));
        second.push_back(birdmail("stranger@else.example", "Hello"));
        for (int i = 18; i < 24; ++i) third.push_back(birdmail(member(i), "subscribe"));
        for (int i = 0; i < 14; ++i)
            third.push_back(birdmail(member(i + 10), "Count " + std::to_string(i)));
        writefile(dir / "soup/0000001.MSG", soupfile('m', first));
        writefile(dir / "soup/0000002.MSG", soupfile('m', second));
        writefile(dir / "soup/0000003.MSG", soupfile('m', third));
        writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n0000002\tEmail\tmn\n0000003\tEmail\tmn\n");
        args = {"import", "/config=./gate.cfg"};
        outdirs = {"in/"};
        listfiles = {"birds.lst"};
        inputs = {"soup/AREAS", "soup/0000001.MSG", "soup/0000002.MSG", "soup/0000003.MSG"};
    }
};

TEST(listkill, commandsandpostingsonce) {
    REQUIRE_STRACE();
    killtally t = killsweep(
        "list server", [] { return std::make_unique<listkillworld>(); }, 48, 1606);
    EXPECT_GE(t.points, 40);
}

// With SeparateMSG every reply has a file and a REPLIES line of its own.
TEST(listkill, separatemsg) {
    REQUIRE_STRACE();
    killsweep(
        "list server with SeparateMSG",
        [] { return std::make_unique<listkillworld>("SeparateMSG Yes\n"); }, 12, 1614);
}

// Two lists full of deleted records and stray lines, packed.
struct packkillworld : killworld {
    packkillworld() {
        std::string cfg;
        for (int l = 0; l < 2; ++l) {
            std::string name = "list" + std::to_string(l) + ".lst";
            std::string text = "ListName L" + std::to_string(l) + "\nListAddress l" +
                               std::to_string(l) + "@lists.example\nListUsers\n";
            for (int i = 0; i < 120; ++i) {
                text += (i % 3 == 0 ? "*\n" : "+\n") + member(i) + "\nName " + std::to_string(i) +
                        "\n1\npw" + std::to_string(i) + "\n";
                if (i % 17 == 0) text += "stray line " + std::to_string(i) + "\n";
            }
            writefile(dir / name, text);
            cfg += "ListConfig ./" + name + "\n";
            listfiles.push_back(name);
        }
        writegate(dir.path, cfg);
        args = {"pack", "/config=./gate.cfg"};
        outdirs = {};
    }
};

TEST(listkill, packeverylistwhole) {
    REQUIRE_STRACE();
    killsweep("pack", [] { return std::make_unique<packkillworld>(); }, 24, 1607);
}

}  // namespace
