// A message that cannot be finished within its bounds is taken out of the
// packet and its files, and its bytes kept in the junk folder, so that its
// message file goes like any other instead of failing at every run.
#include "import/setaside.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/fileio.h"
#include "config/settings.h"
#include "driver/counters.h"
#include "durable/journal.h"
#include "import/fileoutput.h"
#include "pkt/pktfile.h"
#include "support/testutil.h"

namespace {

class setaside : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        makedirs(dir / "in");
        makedirs(dir / "soup");
        cfg.indir = dir / "in/";
        cfg.soupdir = dir / "soup/";
    }
    scratchdir dir;
};

TEST_F(setaside, themessageleavesthepacketanditsbytesarekept) {
    std::string path = dir / "soup/0000001.MSG";
    writefile(path, "first message|second message");
    unitbegin("import", path);
    beginfileoutput();
    ASSERT_EQ(preparepacket(), 0);
    ASSERT_EQ(countpktmsg(), 0);  // a message before it stays
    messagemark mark = markmessage();
    long before = std::ftell(outpkt.file.get());
    // What the message made before it could not go on.
    ASSERT_EQ(writeall(outpkt.file.get(), "half a message", 14), 0);
    std::string file = dir / "in/report.pdf";
    ASSERT_EQ(unitoutput(file, PUBLISH_FILE), 0);
    writefile(tempname(file), "decoded");
    notedecodedfile(file);

    fileptr f = openfile(path, "rb");
    ASSERT_EQ(setmessageaside(f.get(), msgrange{14, 28}, path, mark), 0);
    EXPECT_EQ(std::ftell(outpkt.file.get()), before);
    EXPECT_FALSE(fileexists(tempname(file)));
    EXPECT_EQ(stats.setasidecount, 1);

    ASSERT_EQ(finishpacket(), 0);
    ASSERT_EQ(unitcommit(), 0);
    keepfileoutput();
    // The packet holds its header and terminator only; the message waits for the sysop.
    EXPECT_EQ(readfile(dir / "in/00000000.PKT").size(), static_cast<std::size_t>(before) + 2);
    EXPECT_FALSE(fileexists(file));
    EXPECT_EQ(readfile(dir / "soup/junk/00000000.eml"), "second message");
}

}  // namespace
