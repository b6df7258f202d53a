// Export killed at many moments, from each source: the packets of /pkt=,
// the Binkley-style outbound with flow files (files deleted or emptied
// once sent, packets listed, files no message claims) and the stored
// netmail of an ArcMail-style mailer (file attaches, packets named in the
// subject, kill-when-sent, QuickScan). The rerun must leave what an
// unkilled run leaves: every message and attached file once in whole
// reply files that REPLIES lists, the inputs gone or marked, no busy flag
// or temporary file behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults/faultkit.h"
#include "kill/killkit.h"

namespace {

struct exportkillworld : killworld {
    exportkillworld() { madefiles = false; }
    void put(const std::string& name, const std::vector<ftnmsg>& msgs, const fidoaddr& dest = GATE) {
        writefile(dir / name, ftnpacket(dest, msgs));
    }
    void attachment(const std::string& name, std::size_t size, int seed) {
        writefile(dir / ("files/" + name), filebytes(size, seed));
    }
};

struct pktkillworld : exportkillworld {
    explicit pktkillworld(bool separate, const std::string& extra = "") {
        writegate(dir.path, (separate ? "SeparateMSG Yes\n" : "") + extra);
        makedirs(dir / "pkt");
        for (int p = 0; p < 8; ++p) {
            std::vector<ftnmsg> msgs;
            for (int i = 0; i < 15; ++i) {
                std::string token = "P" + std::to_string(p) + "m" + std::to_string(i);
                msgs.push_back({token, static_cast<std::size_t>(300 + 97 * ((p * 15 + i) % 11)), i % 3 == 0});
            }
            char name[32];
            std::snprintf(name, sizeof name, "pkt/%04d.PKT", p + 1);
            put(name, msgs);
            inputs.push_back(name);
        }
        args = {"export", "/config=./gate.cfg", "/pkt=./pkt"};
    }
};

struct outboundkillworld : exportkillworld {
    explicit outboundkillworld(const std::string& extra = "") {
        writegate(dir.path, extra);
        makedirs(dir / "files");
        attachment("ob1.dat", 3000, 1);
        attachment("ob2.dat", 2500, 2);
        attachment("ob3.dat", 1800, 3);
        attachment("ob4.dat", 1200, 4);
        attachment("rt1.dat", 4000, 5);
        std::vector<ftnmsg> out;
        for (int i = 0; i < 12; ++i) out.push_back({"O" + std::to_string(i), 250u + 40 * i, i % 4 == 2});
        out.push_back({"Oatt", 300, false, "files/ob1.dat"});
        put("out/011815B3.OUT", out);
        put("files/0010.PKT", {{"L1", 3000}, {"L2", 2800}, {"L3", 900, true}});
        writefile(dir / "out/011815B3.FLO",
                  "files/ob1.dat\n^files/ob2.dat\n^files/0010.PKT\n#files/ob3.dat\n");
        put("out/011815B3.CUT", {{"C1", 2000}, {"C2", 600, true}, {"C3", 1500}});
        writefile(dir / "out/011815B3.CLO", "^files/ob4.dat\n");
        put("out/011815B4.OUT", {{"R1", 2200}, {"R2", 900}}, ROUTE);
        writefile(dir / "out/011815B4.FLO", "^files/rt1.dat\n");
        args = {"export", "/config=./gate.cfg"};
        outdirs = {"out/", "files/"};
        inputs = {"out/011815B3.OUT", "out/011815B3.FLO", "out/011815B3.CUT", "out/011815B3.CLO",
                  "out/011815B4.OUT", "out/011815B4.FLO", "files/0010.PKT"};
    }
};

struct netmailkillworld : exportkillworld {
    netmailkillworld() {
        writegate(dir.path, "MailerType ArcMail\nQuickScan Yes\n");
        makedirs(dir / "files");
        auto stored = [this](const std::string& name, const ftnmsg& m, std::uint16_t attr) {
            writefile(dir / ("net/" + name), ftnstored(m, attr));
        };
        for (int i = 1; i <= 10; ++i) stored(std::to_string(i) + ".MSG", {"N" + std::to_string(i), 400u + 150 * i}, i % 3 ? 0x0001 : 0x0081);
        attachment("nm1.dat", 3000, 7);
        stored("11.MSG", {"N11", 300, false, "files/nm1.dat"}, 0x0011);
        put("files/0003.PKT", {{"N12a", 2500}, {"N12b", 900, true}});
        attachment("nm3.dat", 2500, 8);
        stored("12.MSG", {"N12", 700, false, "files/nm3.dat files/0003.PKT"}, 0x0091);
        args = {"export", "/config=./gate.cfg"};
        outdirs = {"net/", "files/"};
        inputs = {"files/0003.PKT"};
    }
};

TEST(exportkill, packetfolder) {
    REQUIRE_STRACE();
    killtally t = killsweep("export /pkt=", [] { return std::make_unique<pktkillworld>(false); }, 48, 1602);
    EXPECT_GE(t.points, 40);
}

TEST(exportkill, packetfolderseparatemsg) {
    REQUIRE_STRACE();
    killsweep("export /pkt= SeparateMSG", [] { return std::make_unique<pktkillworld>(true); }, 16, 1603);
}

TEST(exportkill, outbound) {
    REQUIRE_STRACE();
    killsweep("export outbound", [] { return std::make_unique<outboundkillworld>(); }, 30, 1604);
}

TEST(exportkill, withsyncwrites) {
    REQUIRE_STRACE();
    killsweep("export /pkt= with SyncWrites",
              [] { return std::make_unique<pktkillworld>(false, "SyncWrites Yes\n"); }, 12, 1608);
    killsweep("export outbound with SyncWrites",
              [] { return std::make_unique<outboundkillworld>("SyncWrites Yes\n"); }, 12, 1609);
}

// The day's counts of ExportLimit go with the units they count: a killed
// run neither counts a message twice (fewer would leave on the rerun) nor
// loses a count (more would): the rerun sends the same first 50 of 120,
// and the other 70 are each bounced to their sender once (the bounces are
// packets in the inbound, compared too).
TEST(exportkill, dailylimit) {
    REQUIRE_STRACE();
    killsweep("export /pkt= with ExportLimit",
              [] {
                  auto w = std::make_unique<pktkillworld>(false, "ExportLimit * 50\n");
                  w->outdirs = {"in/"};
                  return w;
              },
              16, 1610);
}

TEST(exportkill, storednetmail) {
    REQUIRE_STRACE();
    killsweep("export netmail", [] { return std::make_unique<netmailkillworld>(); }, 30, 1605);
}

}  // namespace
