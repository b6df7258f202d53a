// The bundled example outbound and netmail folders: the demo copies them
// (they are consumed by export) and exports them with the example
// configurations; their binary files are what their descriptions say.
#include <gtest/gtest.h>

#include "support/testutil.h"

namespace {

const std::string EXAMPLES = std::string(PONDLARK_SOURCE_DIR) + "/examples/";
const std::string SCRIPTS = std::string(PONDLARK_SOURCE_DIR) + "/tests/export/";

class exampletree : public ::testing::Test {
   protected:
    scratchdir work;
    void SetUp() override {
        for (const char* d :
             {"inbound", "outbound", "netmail", "soup", "temp", "decode", "files"}) {
            makedirs(work / (std::string("demo/") + d));
        }
        for (const char* f : {"pondlark.cfg", "arcmail.cfg"}) {
            writefile(work / (std::string("examples/") + f), readfile(EXAMPLES + f));
        }
        copy("files", {"pondnotes.txt", "birdsong.txt", "route-report.txt"});
    }
    void copy(const std::string& dir, const std::vector<std::string>& names) {
        for (const std::string& n : names) {
            writefile(work / ("demo/" + dir + "/" + n), readfile(EXAMPLES + dir + "/" + n));
        }
    }
};

TEST_F(exampletree, theoutboundisexportedandemptied) {
    copy("outbound", {"011815B3.OUT", "011815B3.FLO", "011815b4.cut", "011815b4.clo"});
    runresult run = runpondlark({"export", "/config=examples/pondlark.cfg"}, work.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("-> 5 messages exported\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("! "), std::string::npos) << run.err;
    EXPECT_EQ(listtree(work / "demo/outbound").size(), 0u);
    EXPECT_EQ(readfile(work / "demo/files/pondnotes.txt"), "");
    EXPECT_FALSE(fileexists(work / "demo/files/birdsong.txt"));
    EXPECT_FALSE(fileexists(work / "demo/files/route-report.txt"));
}

TEST_F(exampletree, thenetmailisexportedandmarked) {
    copy("netmail", {"1.MSG", "2.MSG", "3.MSG"});
    runresult run = runpondlark({"export", "/config=examples/arcmail.cfg"}, work.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("-> 2 messages exported\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("! "), std::string::npos) << run.err;
    EXPECT_EQ(readfile(work / "demo/netmail/1.MSG")[186], 0x09);
    EXPECT_FALSE(fileexists(work / "demo/netmail/2.MSG"));
    EXPECT_EQ(readfile(work / "demo/netmail/3.MSG"), readfile(EXAMPLES + "netmail/3.MSG"));
    EXPECT_TRUE(fileexists(work / "demo/netmail/pondlark.dat"));
}

TEST(exampletreefiles, matchtheirdescriptions) {
    for (const char* f : {"outbound/011815B3.OUT", "outbound/011815b4.cut", "netmail/1.MSG",
                          "netmail/2.MSG", "netmail/3.MSG"}) {
        scratchdir made;
        runresult r = runprogram("/usr/bin/env",
                                 {"python3", SCRIPTS + "mkpkt.py",
                                  EXAMPLES + "descriptions/" + f + ".txt", made / "out"},
                                 "");
        if (r.status == 127) GTEST_SKIP() << "python3 is not available";
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readfile(made / "out"), readfile(EXAMPLES + f)) << f;
    }
}

}  // namespace
