// End-to-end cases kept as data. Each case is a folder below tests/golden
// holding:
//   args            the command line, one argument per line
//   env             optional NAME=value lines for the environment
//   input/          the tree the program runs in (copied to a scratch folder)
//   expected/       the whole tree expected afterwards, compared byte for byte
//   expected.stderr optional: standard error, byte for byte
//   expected.status optional: the exit status (default 0)
// Files named ".keep" only hold empty folders in git and are ignored.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> findcases() {
    std::vector<std::string> cases;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(PONDLARK_GOLDEN_DIR, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file() && it->path().filename() == "args") {
            cases.push_back(fs::relative(it->path().parent_path(), PONDLARK_GOLDEN_DIR).string());
        }
    }
    std::sort(cases.begin(), cases.end());
    if (cases.empty()) cases.push_back("");
    return cases;
}

void removekeeps(const std::string& dir) {
    for (const auto& f : listtree(dir)) {
        if (fs::path(f).filename() == ".keep") fs::remove(dir + "/" + f);
    }
}

class goldentest : public ::testing::TestWithParam<std::string> {};

TEST_P(goldentest, outputsmatch) {
    if (GetParam().empty()) GTEST_SKIP() << "no golden cases yet";
    std::string dir = std::string(PONDLARK_GOLDEN_DIR) + "/" + GetParam() + "/";
    scratchdir work;
    if (fs::exists(dir + "input")) copytree(dir + "input", work.path);
    removekeeps(work.path);
    std::vector<std::string> env;
    if (fs::exists(dir + "env")) env = readlines(dir + "env");
    runresult r = runpondlark(readlines(dir + "args"), work.path, env);

    int status = 0;
    if (fs::exists(dir + "expected.status")) status = std::stoi(readfile(dir + "expected.status"));
    EXPECT_EQ(r.status, status) << "stderr:\n" << r.err;
    if (fs::exists(dir + "expected.stderr")) {
        std::string want = readfile(dir + "expected.stderr");
        EXPECT_EQ(want, r.err) << describediff(want, r.err);
    }

    std::string expdir = dir + "expected";
    std::vector<std::string> want;
    for (const auto& f : listtree(expdir)) {
        if (fs::path(f).filename() != ".keep") want.push_back(f);
    }
    std::vector<std::string> got = listtree(work.path);
    EXPECT_EQ(want, got) << "the trees hold different files";
    for (const auto& f : want) {
        if (!fileexists(work.path + f)) continue;
        std::string e = readfile(expdir + "/" + f), a = readfile(work.path + f);
        EXPECT_TRUE(e == a) << f << ": " << describediff(e, a);
    }
}

std::string casename(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = info.param.empty() ? "none" : info.param;
    for (char& c : n) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(cases, goldentest, ::testing::ValuesIn(findcases()), casename);

}  // namespace
