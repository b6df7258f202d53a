// The export golden cases seen from outside: every reply the gateway writes
// for them must parse cleanly with Python's email package (headers, dates,
// Message-IDs, MIME structure, attachments decoding to the original bytes),
// and every packet in their input must be what its description says.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

const std::string EXPORTCASES = std::string(PONDLARK_GOLDEN_DIR) + "/export";
const std::string SCRIPTS = std::string(PONDLARK_SOURCE_DIR) + "/tests/export";

std::vector<std::string> exportcases() {
    std::vector<std::string> cases;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(EXPORTCASES, ec)) {
        if (fs::exists(e.path() / "args")) cases.push_back(e.path().filename().string());
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(readfile(path));
    for (std::string l; std::getline(in, l);) {
        if (!l.empty()) out.push_back(l);
    }
    return out;
}

runresult python(const std::vector<std::string>& args) {
    std::vector<std::string> all{"python3"};
    all.insert(all.end(), args.begin(), args.end());
    return runprogram("/usr/bin/env", all, "");
}

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
    if (fs::exists(dir() + "env")) env = lines(dir() + "env");
    runresult run = runpondlark(lines(dir() + "args"), work.path, env);
    ASSERT_EQ(run.status, 0) << run.err;
    runresult check = python({SCRIPTS + "/checkreplies.py", work.path + "soup", dir() + "input"});
    if (check.status == 127) GTEST_SKIP() << "python3 is not available";
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST_P(exportcase, packetsmatchtheirdescriptions) {
    if (!fs::exists(dir() + "packets")) GTEST_SKIP() << "no packet descriptions";
    runresult check = python({SCRIPTS + "/mkpkt.py", "--case", dir(), "--check"});
    if (check.status == 127) GTEST_SKIP() << "python3 is not available";
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

// The bundled example: the demo copies the packets (and the file one of
// them attaches) into demo/pkt and exports them with the example
// configuration.
TEST(examplepackets, exportwiththeexampleconfiguration) {
    const std::string examples = std::string(PONDLARK_SOURCE_DIR) + "/examples/";
    scratchdir work;
    for (const char* d : {"inbound", "outbound", "soup", "temp", "decode", "pkt"}) {
        makedirs(work / (std::string("demo/") + d));
    }
    for (const char* f : {"00000001.PKT", "00000002.PKT", "pondmap.txt"}) {
        writefile(work / (std::string("demo/pkt/") + f), readfile(examples + "pkt/" + f));
    }
    writefile(work / "pondlark.cfg", readfile(examples + "pondlark.cfg"));
    runresult run = runpondlark({"export", "/config=./pondlark.cfg", "/pkt=demo/pkt"}, work.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("-> 6 messages exported\nmail: 4         news: 2    \n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("! "), std::string::npos) << run.err;
    EXPECT_FALSE(fileexists(work / "demo/pkt/00000001.PKT"));
    EXPECT_FALSE(fileexists(work / "demo/pkt/00000002.PKT"));
    runresult check = python({SCRIPTS + "/checkreplies.py", work / "demo/soup", examples + "pkt"});
    if (check.status == 127) GTEST_SKIP() << "python3 is not available";
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    for (const char* f : {"00000001", "00000002"}) {
        scratchdir made;
        std::string src = examples + "pkt/" + f + ".PKT.txt";
        EXPECT_EQ(python({SCRIPTS + "/mkpkt.py", src, made / "p"}).status, 0);
        EXPECT_EQ(readfile(made / "p"), readfile(examples + "pkt/" + f + ".PKT")) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(golden, exportcase, ::testing::ValuesIn(exportcases()),
                         [](const auto& p) { return p.param; });

}  // namespace
