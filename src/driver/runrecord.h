// The record of the last run of each command ("pondlark.run" in SoupDir):
// when it began and ended and whether it went well, for status. A run went
// well when its command returned 0 and it reported no line beginning with
// "Error" or "FATAL"; a run killed before its end leaves no line, but
// leaves its journal, which status reports.
#pragma once

#include <ctime>
#include <map>
#include <string>

constexpr char RUNRECORDNAME[] = "pondlark.run";

struct runentry {
    std::time_t start = 0, end = 0;
    bool ok = true;
    long errors = 0;
    std::string firsterror;
};

// Replaces the command's line of the record in cfg.soupdir, durably, with
// the run that began at start and returned status (run.errorlines and
// run.firsterror say what it reported). Not under /test. Called while the
// run still holds the SOUP folder.
void noterun(const char* command, std::time_t start, int status);

// The record at path, by command. 0 (also when there is none), or -1 when
// it cannot be read.
int readrunrecord(const std::string& path, std::map<std::string, runentry>& out);
