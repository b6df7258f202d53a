// check warns about the folders PondLark writes that others could turn
// against it: one every user may write, and, for a run as root, one of
// another user or one a group may write. A warning only: the exit status
// stays 0.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "faults/faultkit.h"
#include "support/testutil.h"

namespace {

TEST(foldercheck, foldersotherscanwritearenamed) {
    scratchdir dir;
    // A gateway open to every node on purpose: no warning of its own.
    writegate(dir.path, "ImportMaildir ./md\nExportAllow *\n");
    for (const char* d : {"md/new", "md/cur", "md/tmp"}) makedirs(dir / d);
    chmod((dir / "soup").c_str(), 0755);
    runresult r = runpondlark({"check", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("Warning: "), std::string::npos) << r.err;

    chmod((dir / "soup").c_str(), 0777);
    chmod((dir / "md/new").c_str(), 01777);
    r = runpondlark({"check", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Warning: SoupDir ./soup/ is writable by every user: anyone can plant files "
                         "and links where PondLark writes in line 4 of ./gate.cfg: SoupDir ./soup\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Warning: ImportMaildir ./md/new/ is writable by every user (sticky)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("2 warnings in the configuration"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Configuration checked. Nothing more to do."), std::string::npos);

    if (geteuid() != 0) GTEST_SKIP() << "the warnings for a run as root need root";
    chmod((dir / "soup").c_str(), 0755);
    chmod((dir / "md/new").c_str(), 0755);
    ASSERT_EQ(chown((dir / "in").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown((dir / "tmp").c_str(), 0, 65534), 0);
    chmod((dir / "tmp").c_str(), 0775);
    r = runpondlark({"check", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Warning: InboundDir ./in/ belongs to user "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(", and PondLark runs as root: run it as that user in line 3 of ./gate.cfg: "
                         "InboundDir ./in\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Warning: TempDir ./tmp/ is writable by group "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2 warnings in the configuration"), std::string::npos) << r.err;
}

}  // namespace
