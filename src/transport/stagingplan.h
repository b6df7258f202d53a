// The plan of one staging step (see staging.h), kept in "pondlark.stg" in
// the SOUP directory from before the SOUP files are renamed into place
// until every input is settled: which files the step adds to AREAS, and
// what becomes of each input once they are in.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "durable/durablefile.h"
#include "transport/newsmarks.h"

constexpr char STAGINGNAME[] = "pondlark.stg";

enum actionkinds { ACT_SEEN, ACT_DELETE, ACT_REMOVE, ACT_SETASIDE };

// A SOUP message file the step makes, and its AREAS line.
struct stagedarea {
    std::string prefix;
    std::string areaname;
    std::string encoding;
};

// What becomes of one input.
struct stageaction {
    int kind = ACT_SEEN;  // marked seen, removed (Maildir); removed, set aside (batch)
    std::string dir;      // the Maildir, or the batch folder
    std::string sub;      // "new/" or "cur/" for a Maildir message
    std::string name;
};

struct plan {
    std::vector<stagedarea> areas;
    std::vector<stageaction> actions;
    // The high-water marks of the news servers' groups whose articles the
    // step takes in: they move on with the step, never before it.
    std::vector<newsmark> marks;
};

// The prefixes AREAS in cfg.soupdir names now, and its text.
struct areasnow {
    std::string text;
    std::set<std::string> prefixes;
};
// 0, or -1 when AREAS exists but cannot be read.
[[nodiscard]] int readareas(areasnow& a);

// A prefix base + 4 hex digits that no file, temporary file, AREAS line
// or area of p uses; empty when none is left.
std::string freeprefix(const char* base, const areasnow& a, const plan& p);

// Whether a name can stand in a plan line (no control characters).
bool usablename(std::string_view s);

// Finishes (its AREAS lines are there) or undoes (they are not) a plan a
// killed run left. Returns 0, or -1 (reported) when a plan is there and
// cannot be read: nothing may be taken in then.
int finishplan();

// The step for files written (files[i] open for p.areas[i]): the plan,
// the files renamed into place, AREAS, the inputs settled, the plan
// removed. Returns 0, or -1 (reported): before the commit nothing is
// left of the step; after it, an input that could not be marked.
int carryout(plan& p, std::vector<durablefile>& files);
