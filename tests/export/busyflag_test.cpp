// Busy flags in the outbound, seen from the real program: a mailer's flag
// is honoured, a flag left behind by a mailer that crashed is not, once it
// is older than BusyFlagAge minutes. The flags' times are set here against
// the test build's fixed clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "export/sourcetest.h"
#include "support/testutil.h"

namespace {

const char CONFIG[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop\n"
    "MailerType Binkley\n"
    "InboundDir ./in\n"
    "OutboundDir ./out\n"
    "SoupDir ./soup\n"
    "TempDir ./tmp\n";

void setage(const std::string& path, long minutes) {
    timespec t[2];
    t[0].tv_sec = t[1].tv_sec = FIXEDNOW - minutes * 60;
    t[0].tv_nsec = t[1].tv_nsec = 0;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

TEST(busyflag, staleflagsareremovedandyoungoneshonoured) {
    struct {
        const char* name;
        const char* keyword;  // BusyFlagAge line, or "" for the default
        long age;             // minutes
        const char* args;     // extra argument
        bool exported;
        const char* report;
    } cases[] = {
        {"younghonoured", "", 59, "", false, "! 2:280/5555 busy (./out/011815B3.BSY): skipped\n"},
        {"oldremoved", "", 61, "", true,
         "! busy flag ./out/011815B3.BSY of 2:280/5555 is 61 minutes old: stale, removed\n"},
        {"ownlimit", "BusyFlagAge 5\n", 6, "", true,
         "! busy flag ./out/011815B3.BSY of 2:280/5555 is 6 minutes old: stale, removed\n"},
        {"ownlimityoung", "BusyFlagAge 5\n", 4, "", false,
         "! 2:280/5555 busy (./out/011815B3.BSY): skipped\n"},
        {"never", "BusyFlagAge 0\n", 100000, "", false,
         "! 2:280/5555 busy (./out/011815B3.BSY): skipped\n"},
        {"testmode", "", 120, "/test", true,
         "! busy flag ./out/011815B3.BSY of 2:280/5555 is 120 minutes old: stale, passed over "
         "(test mode)\n"},
    };
    for (const auto& c : cases) {
        scratchdir dir;
        for (const char* d : {"in", "out", "soup", "tmp"}) makedirs(dir / d);
        writefile(dir / "gate.cfg", std::string(CONFIG) + c.keyword);
        std::string pkt = testpacket({2, 280, 5555, 0}, {testmsg{}});
        writefile(dir / "out/011815B3.OUT", pkt);
        writefile(dir / "out/011815B3.BSY", "");
        setage(dir / "out/011815B3.BSY", c.age);
        std::vector<std::string> args = {"export", "/config=./gate.cfg"};
        if (*c.args) args.push_back(c.args);
        runresult r = runpondlark(args, dir.path);
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_NE(r.err.find(c.report), std::string::npos) << c.name << "\n" << r.err;
        EXPECT_EQ(r.err.find("-> 1 messages exported") != std::string::npos, c.exported)
            << c.name << "\n"
            << r.err;
        if (!c.exported || *c.args) {
            // Honoured, or a dry run: the outbound is as it was.
            EXPECT_EQ(readfile(dir / "out/011815B3.OUT"), pkt) << c.name;
            EXPECT_TRUE(fileexists(dir / "out/011815B3.BSY")) << c.name;
        } else {
            // The stale flag went, ours was set while exporting and removed.
            EXPECT_EQ(listtree(dir / "out"), std::vector<std::string>{}) << c.name;
        }
    }
}

}  // namespace
