// The list server's mail seen from outside: what the list golden cases
// send parses cleanly with Python's email package, and carries the From,
// Sender, Reply-To and List-* lines that the large providers' rules for
// list mail ask for (and none of the author's broken signatures).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

TEST(listreplies, redistributionspassthereaders) {
    const std::string dir = std::string(PONDLARK_GOLDEN_DIR) + "/lists/posting_dmarc/";
    scratchdir work;
    copytree(dir + "input", work.path);
    for (const auto& f : listtree(work.path)) {
        if (fs::path(f).filename() == ".keep") fs::remove(work.path + f);
    }
    runresult run = runpondlark(readlines(dir + "args"), work.path);
    ASSERT_EQ(run.status, 0) << run.err;
    runresult check = runprogram("/usr/bin/env",
                                 {"python3", std::string(PONDLARK_SOURCE_DIR) + "/tests/export/checkreplies.py",
                                  "--decoded", dir + "decoded.txt", work.path + "soup", dir + "input"},
                                 "");
    if (check.status == 127) GTEST_SKIP() << "python3 is missing";
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("2 messages checked"), std::string::npos) << check.out;
}

}  // namespace
