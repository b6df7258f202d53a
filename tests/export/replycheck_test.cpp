// The export golden cases and the bundled examples seen from outside: every
// reply the gateway writes for them must parse cleanly with Python's email
// package (headers, dates, Message-IDs, MIME structure, attachments
// decoding to the original bytes), and every packet or stored message in
// their input must be what its description says.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

const std::string EXPORTCASES = std::string(PONDLARK_GOLDEN_DIR) + "/export";
const std::string EXAMPLES = std::string(PONDLARK_SOURCE_DIR) + "/examples/";
const std::string SCRIPTS = std::string(PONDLARK_SOURCE_DIR) + "/tests/export/";

std::vector<std::string> exportcases() {
    std::vector<std::string> cases;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(EXPORTCASES, ec)) {
        if (fs::exists(e.path() / "args")) cases.push_back(e.path().filename().string());
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

runresult python(const std::vector<std::string>& args) {
    std::vector<std::string> all{"python3"};
    all.insert(all.end(), args.begin(), args.end());
    return runprogram("/usr/bin/env", all, "");
}

// Skips the test when python3 is missing; else expects it to succeed.
#define EXPECT_PYTHON_OK(...)                                           \
    do {                                                                \
        runresult check_ = python(__VA_ARGS__);                         \
        if (check_.status == 127) GTEST_SKIP() << "python3 is missing"; \
        EXPECT_EQ(check_.status, 0) << check_.out << check_.err;        \
    } while (0)

class exportcase : public ::testing::TestWithParam<std::string> {
   protected:
    std::string dir() const { return EXPORTCASES + "/" + GetParam() + "/"; }
};

TEST_P(exportcase, everyreplyparsescleanly) {
    scratchdir work;
    copytree(dir() + "input", work.path);
    for (const auto& f : listtree(work.path)) {
        if (fs::path(f).filename() == ".keep") fs::remove(work.path + f);
    }
    std::vector<std::string> env;
    if (fs::exists(dir() + "env")) env = readlines(dir() + "env");
    runresult run = runpondlark(readlines(dir() + "args"), work.path, env);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> args{SCRIPTS + "checkreplies.py"};
    // What the replies must decode to, where the case says.
    if (fs::exists(dir() + "decoded.txt")) {
        args.push_back("--decoded");
        args.push_back(dir() + "decoded.txt");
    }
    args.push_back(work.path + "soup");
    args.push_back(dir() + "input");
    EXPECT_PYTHON_OK(args);
}

TEST_P(exportcase, packetsmatchtheirdescriptions) {
    if (!fs::exists(dir() + "packets")) GTEST_SKIP() << "no packet descriptions";
    EXPECT_PYTHON_OK({SCRIPTS + "mkpkt.py", "--case", dir(), "--check"});
}

INSTANTIATE_TEST_SUITE_P(golden, exportcase, ::testing::ValuesIn(exportcases()),
                         [](const auto& p) { return p.param; });

TEST(examplefiles, matchtheirdescriptions) {
    for (const char* f :
         {"descriptions/outbound/011815B3.OUT", "descriptions/outbound/011815b4.cut",
          "descriptions/netmail/1.MSG", "descriptions/netmail/2.MSG", "descriptions/netmail/3.MSG",
          "pkt/00000001.PKT", "pkt/00000002.PKT"}) {
        scratchdir made;
        EXPECT_PYTHON_OK({SCRIPTS + "mkpkt.py", EXAMPLES + f + ".txt", made / "out"});
        std::string name = f;  // the binary file lies beside its description or above it
        if (name.rfind("descriptions/", 0) == 0) name.erase(0, 13);
        EXPECT_EQ(readfile(made / "out"), readfile(EXAMPLES + name)) << f;
    }
}

// The demo copies the bundled example folders (they are consumed by
// export) and exports them with the example configurations.
class exampletree : public ::testing::Test {
   protected:
    scratchdir work;
    void SetUp() override {
        for (const char* d :
             {"inbound", "outbound", "netmail", "soup", "temp", "decode", "files", "pkt"}) {
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
    // Runs an export that must succeed without a warning, with `exported`
    // in its summary.
    void exportwith(const std::vector<std::string>& args, const std::string& exported) {
        runresult run = runpondlark(args, work.path);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(exported), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("! "), std::string::npos) << run.err;
    }
};

TEST_F(exampletree, thepacketsareexported) {
    copy("pkt", {"00000001.PKT", "00000002.PKT", "pondmap.txt"});
    exportwith({"export", "/config=examples/pondlark.cfg", "/pkt=demo/pkt"},
               "-> 6 messages exported\nmail: 4         news: 2    \n");
    EXPECT_FALSE(fileexists(work / "demo/pkt/00000001.PKT"));
    EXPECT_FALSE(fileexists(work / "demo/pkt/00000002.PKT"));
    EXPECT_PYTHON_OK({SCRIPTS + "checkreplies.py", work / "demo/soup", EXAMPLES + "pkt"});
}

TEST_F(exampletree, theoutboundisexportedandemptied) {
    copy("outbound", {"011815B3.OUT", "011815B3.FLO", "011815b4.cut", "011815b4.clo"});
    exportwith({"export", "/config=examples/pondlark.cfg"}, "-> 5 messages exported\n");
    EXPECT_EQ(listtree(work / "demo/outbound").size(), 0u);
    EXPECT_EQ(readfile(work / "demo/files/pondnotes.txt"), "");
    EXPECT_FALSE(fileexists(work / "demo/files/birdsong.txt"));
    EXPECT_FALSE(fileexists(work / "demo/files/route-report.txt"));
}

TEST_F(exampletree, thenetmailisexportedandmarked) {
    copy("netmail", {"1.MSG", "2.MSG", "3.MSG"});
    exportwith({"export", "/config=examples/arcmail.cfg"}, "-> 2 messages exported\n");
    EXPECT_EQ(readfile(work / "demo/netmail/1.MSG")[186], 0x09);
    EXPECT_FALSE(fileexists(work / "demo/netmail/2.MSG"));
    EXPECT_EQ(readfile(work / "demo/netmail/3.MSG"), readfile(EXAMPLES + "netmail/3.MSG"));
    EXPECT_TRUE(fileexists(work / "demo/netmail/pondlark.dat"));
}

}  // namespace
