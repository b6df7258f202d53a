// Import killed at many moments: packets and decoded files may be visible
// only when whole, and the rerun must leave exactly what an unkilled run
// leaves, each message once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults/faultkit.h"
#include "kill/killkit.h"

namespace {

std::string mailmessage(int i, bool attach) {
    std::string h = "From: Sender " + std::to_string(i) + " <s" + std::to_string(i) +
                    "@net.example>\nTo: sysop@pond.example\nSubject: Mail " + std::to_string(i) +
                    "\nMessage-ID: <mail" + std::to_string(i) +
                    "@net.example>\nDate: Tue, 14 Sep 1999 10:00:00 +0000\n";
    if (!attach) return h + "\n" + filler(200 + 37 * (i % 9), i);
    return h + "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
               "Content-Type: text/plain\n\nSee the file.\n--b\nContent-Type: application/octet-stream; name=\"part" +
           std::to_string(i) + ".bin\"\nContent-Transfer-Encoding: base64\n\n" +
           base64(filebytes(900 + 31 * i, i)) + "--b--\n";
}

std::string newsarticle(int i) {
    return "From: Carol <carol@news.example>\nNewsgroups: alt.test\nSubject: Article " +
           std::to_string(i) + "\nMessage-ID: <art" + std::to_string(i) +
           "@news.example>\nDate: Tue, 14 Sep 1999 11:00:00 +0000\n\n" +
           filler(300 + 53 * (i % 7), 1000 + i);
}

struct importkillworld : killworld {
    explicit importkillworld(const std::string& extra = "") {
        writegate(dir.path, "MaxPKTSize 4\nDecodeDir ./dec\n" + extra);
        makedirs(dir / "dec");
        std::vector<std::string> mbox, batch, binary;
        for (int i = 0; i < 30; ++i) mbox.push_back(mailmessage(i, i % 4 == 1));
        for (int i = 0; i < 30; ++i) batch.push_back(newsarticle(i));
        for (int i = 30; i < 45; ++i) binary.push_back(mailmessage(i, i % 5 == 0));
        writefile(dir / "soup/0000001.MSG", soupfile('m', mbox));
        writefile(dir / "soup/0000002.MSG", soupfile('u', batch));
        writefile(dir / "soup/0000003.MSG", soupfile('b', binary));
        writefile(dir / "soup/AREAS",
                  "0000001\tEmail\tmn\n0000002\talt.test\tun\n0000003\tEmail\tbn\n");
        args = {"import", "/config=./gate.cfg"};
        outdirs = {"in/", "dec/"};
        inputs = {"soup/AREAS", "soup/0000001.MSG", "soup/0000002.MSG", "soup/0000003.MSG"};
    }
};

TEST(importkill, eachmessageonceeveryfilewhole) {
    REQUIRE_STRACE();
    killtally t = killsweep(
        "import", [] { return std::make_unique<importkillworld>(); }, 48, 1601);
    EXPECT_GE(t.points, 40);
}

// With SyncWrites commits wait for checkpoints; a kill between the two
// takes the work back instead of finishing it.
TEST(importkill, withsyncwrites) {
    REQUIRE_STRACE();
    killsweep(
        "import with SyncWrites",
        [] { return std::make_unique<importkillworld>("SyncWrites Yes\n"); }, 16, 1611);
}

// SyncWrites changes when things reach the disk, never what is written.
TEST(importkill, syncwritesmakesthesameoutput) {
    importkillworld plain, synced("SyncWrites Yes\n");
    ASSERT_EQ(plain.run().status, 0);
    runresult r = synced.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(compareviews(plain.view(), synced.view()), "");
    EXPECT_EQ(listtree(plain.dir / "in"), listtree(synced.dir / "in"));
    EXPECT_FALSE(fileexists(synced.dir / "soup/pondlark.jnl"));
}

}  // namespace
