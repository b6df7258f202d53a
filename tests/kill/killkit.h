// Tools of the kill tests: running the real program so that it dies by
// SIGKILL at a chosen moment (at the Nth call of a file-changing system
// call, through strace's fault injection, or after a delay), and reading
// everything a run leaves behind into a view that can be compared with
// the view of a run that was not killed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/testutil.h"

// Where a run is killed: at the nth call of a system call, or after a
// delay (call empty).
struct killpoint {
    std::string call;
    long nth = 0;
    long delayus = 0;
    std::string text() const;
};

// Whether strace can run here.
bool havestrace();

// Stops a test that needs strace: under CI=true a missing strace is a
// failure, elsewhere the test is skipped.
#define REQUIRE_STRACE()                                                                   \
    if (!havestrace()) {                                                                   \
        if (const char* ci_ = std::getenv("CI"); ci_ && std::string(ci_) == "true") {      \
            FAIL() << "strace is needed for the kill tests (scripts/install-deps.sh --tests)"; \
        }                                                                                  \
        GTEST_SKIP() << "strace is not installed: the kill tests do not run";              \
    }

// How often the test build of pondlark, run with args in cwd, makes each
// of the system calls a kill may hit; the key "us" holds its run time in
// microseconds.
std::map<std::string, long> countcalls(const std::vector<std::string>& args, const std::string& cwd);

// n kill points spread over a run with those counts: most at writes, the
// rest at renames, removals, truncations and syncs, and a share after
// random delays; the same points for the same seed. The environment
// variable PONDLARK_KILLPOINTS, when set, replaces n; PONDLARK_KILLSEED
// is added to the seed (to look at other points).
std::vector<killpoint> killpoints(const std::map<std::string, long>& counts, int n, unsigned seed);

// Runs the test build of pondlark with args in cwd and kills it at k.
runresult runkilled(const std::vector<std::string>& args, const std::string& cwd, const killpoint& k);

// Everything a run left, read independently of the gateway's code.
struct outputview {
    std::multiset<std::string> messages;        // packed messages of the packets, whole
    std::map<std::string, std::string> files;   // other files of the inbound and decode folders
    std::multiset<std::string> replies;         // SOUP reply messages (without Message-ID lines)
    std::map<std::string, std::string> lists;   // list files
    std::vector<std::string> problems;          // damaged files
    std::vector<std::string> temporary;         // temporary files and the journal
};

// Reads the packets (*.PKT, checked by pktcheck) and the other files of the
// folders in outdirs (relative to dir), the SOUP reply files of soupdir
// (record by record, consistent with REPLIES) and the list files named.
outputview readoutputs(const std::string& dir, const std::vector<std::string>& outdirs,
                       const std::string& soupdir, const std::vector<std::string>& listfiles);

// What differs between two views, as text; empty when they hold the same.
std::string compareviews(const outputview& expected, const outputview& actual);

// Tallies of a kill sweep, for its final report.
struct killtally {
    int points = 0, killed = 0, lost = 0, doubled = 0, damaged = 0, stuck = 0;
    std::string report(const std::string& what) const;
};

// Counts how the messages of actual stand against expected: lost (fewer
// times) and doubled (more times).
void tallymessages(const outputview& expected, const outputview& actual, killtally& t);

// A scratch gateway for one kill: made afresh for every run of a sweep.
struct killworld {
    scratchdir dir;
    std::vector<std::string> args;          // the command line
    std::vector<std::string> outdirs;       // folders of packets and files made
    std::string soupdir = "soup/";          // the SOUP folder (reply files)
    std::vector<std::string> listfiles;     // list files to compare
    std::vector<std::string> inputs;        // input files (relative to dir) the command consumes
    bool madefiles = true;                  // the non-packet files of outdirs are outputs, not inputs
    virtual ~killworld() = default;
    runresult run() { return runpondlark(args, dir.path); }
    outputview view() { return readoutputs(dir.path, outdirs, soupdir, listfiles); }
    // The inputs still there.
    std::vector<std::string> inputsleft() const;
    // Checks what a killed run shows to the programs that read its
    // outputs: packets and files complete, as far as they are visible.
    void checkvisible(const outputview& expected, killtally& t) const;
};

// Kills the command of worlds made by make at n points (seed picks them),
// reruns each to completion and compares what it leaves with an unkilled
// run: the same messages and files, each exactly once, all whole, nothing
// temporary left, the inputs consumed as by the unkilled run. Prints and
// returns the tally.
killtally killsweep(const char* what, const std::function<std::unique_ptr<killworld>()>& make,
                    int n, unsigned seed);
