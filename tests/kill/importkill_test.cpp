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

// Mail and news taken in from a Maildir and a folder of news batches first
// (staged into SOUP message files), then imported.
struct stagingkillworld : killworld {
    stagingkillworld() {
        writegate(dir.path, "DecodeDir ./dec\nImportMaildir ./md\nImportNewsBatches ./nb\n");
        for (const char* d : {"dec", "md/new", "md/cur", "md/tmp", "nb"}) makedirs(dir / d);
        for (int i = 0; i < 24; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "md/new/9373401%02d.M%dP42.pond", i, i);
            writefile(dir / name, mailmessage(100 + i, i % 6 == 3));
        }
        for (int b = 0; b < 2; ++b) {
            std::vector<std::string> arts;
            for (int i = 0; i < 10; ++i) arts.push_back(newsarticle(100 + 10 * b + i));
            writefile(dir / ("nb/batch" + std::to_string(b)), soupfile('u', arts));
            inputs.push_back("nb/batch" + std::to_string(b));
        }
        args = {"import", "/config=./gate.cfg"};
        outdirs = {"in/", "dec/", "md/"};
    }
};

TEST(importkill, stagedfrommaildirandnewsbatches) {
    REQUIRE_STRACE();
    killsweep(
        "import staged from a Maildir and news batches",
        [] { return std::make_unique<stagingkillworld>(); }, 30, 1612);
}

TEST(importkill, eachmessageonceeveryfilewhole) {
    REQUIRE_STRACE();
    killtally t = killsweep(
        "import", [] { return std::make_unique<importkillworld>(); }, 48, 1601);
    EXPECT_GE(t.points, 40);
}

// Whatever command runs next recovers: here an export, before import runs again.
TEST(importkill, anothercommandrecovers) {
    REQUIRE_STRACE();
    killsweep(
        "import recovered by export",
        [] {
            auto w = std::make_unique<importkillworld>();
            w->recoverwith = {"export", "/config=./gate.cfg"};
            return w;
        },
        8, 1613);
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
