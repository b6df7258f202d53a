// A run that runs out of memory ends at once, but what it logged up to
// then must reach the log: the sysop looks there to see how far it got.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/log.h"
#include "driver/runstate.h"
#include "driver/startup.h"
#include "support/testutil.h"

namespace {

TEST(outofmemory, flushesandclosesthelog) {
    scratchdir dir;
    std::string log = dir / "gate.log";
    EXPECT_EXIT(
        {
            run.logf = std::fopen(log.c_str(), "a");
            // Big enough to sit in the stream's buffer, unwritten, when
            // memory runs out.
            std::setvbuf(run.logf, nullptr, _IOFBF, 1 << 16);
            logprintf("Importing Email from ./soup/0000001.MSG\n");
            outofmemory();
        },
        ::testing::ExitedWithCode(255),
        "^Importing Email from ./soup/0000001.MSG\nError: not enough memory\n$");
    EXPECT_EQ(readfile(log), "Importing Email from ./soup/0000001.MSG\nError: not enough memory\n");
}

}  // namespace
