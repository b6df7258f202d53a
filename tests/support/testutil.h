// Shared helpers of the test suite: scratch directories, files, running the
// real program, and a fixture that resets every process-wide record.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <ctime>
#include <string>
#include <utility>
#include <vector>

// Moves the fixed clock of the test build (see base/clock_fixed.cpp).
void setfixedclock(std::time_t t);
// The moment the fixed clock stands at unless moved: Tue 14 Sep 1999 20:16:10 UTC.
constexpr std::time_t FIXEDNOW = 937340170;

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes.
struct scratchdir {
    std::string path;  // ends in "/"
    scratchdir();
    ~scratchdir();
    scratchdir(const scratchdir&) = delete;
    scratchdir& operator=(const scratchdir&) = delete;
    std::string operator/(const std::string& name) const { return path + name; }
};

std::string readfile(const std::string& path);
void writefile(const std::string& path, const std::string& content);
void makedirs(const std::string& path);
bool fileexists(const std::string& path);
// The lines of a file that are not empty (argument and list files).
std::vector<std::string> readlines(const std::string& path);
// Relative paths of all regular files below dir, sorted.
std::vector<std::string> listtree(const std::string& dir);
void copytree(const std::string& from, const std::string& to);

struct runresult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments in cwd, with TZ=UTC and the extra
// environment entries given as NAME=value; collects both output streams.
runresult runprogram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const std::vector<std::string>& env = {});

// Runs the test build of pondlark (fixed clock).
runresult runpondlark(const std::vector<std::string>& args, const std::string& cwd,
                      const std::vector<std::string>& env = {});

// Runs the test build of pondlark with standard error on a pseudo-terminal
// (byte for byte: no line-end translation) and standard output discarded;
// err holds what the terminal received.
runresult runpondlarkonterminal(const std::vector<std::string>& args, const std::string& cwd);

// Describes where two byte strings first differ, with a hex window.
std::string describediff(const std::string& expected, const std::string& actual);

// Lets no file of this process grow beyond bytes while it lives: writes past
// the limit fail like writes to a full disk (also for root, whom permission
// bits do not stop).
class filesizelimit {
public:
    explicit filesizelimit(rlim_t bytes);
    ~filesizelimit();
    filesizelimit(const filesizelimit&) = delete;
    filesizelimit& operator=(const filesizelimit&) = delete;

private:
    rlimit old_{};
    void (*oldhandler_)(int) = nullptr;
};

// Resets every process-wide record before each test.
class statetest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
