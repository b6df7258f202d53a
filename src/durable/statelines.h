// Small state files of the gateway kept as lines of TAB-separated fields,
// the first field the time the line was written (seconds since 1970): the
// record of bounces sent, the record of mail sent. A line is appended with
// one write(), inside the open unit of work when there is one (noted
// first, so that a unit taken back, in the run or by recovery, takes its
// lines back too). Old lines go when a command prunes the file, which it
// replaces durably.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// A field as it may stand in a line: TAB, line feed and carriage return
// (and every other control byte) become spaces.
std::string statefield(std::string_view text);

// Appends one line made of fields (each made safe by statefield) after the
// time now. Notes the file in the open unit first; syncs with SyncWrites.
// Returns 0, or -1 (reported): the line is not there.
[[nodiscard]] int appendstateline(const std::string& path, std::time_t now,
                                  const std::vector<std::string>& fields);

// One line read back: its time and its fields after the time.
struct stateline {
    std::time_t time = 0;
    std::vector<std::string> fields;
};

// The lines of the file (a torn last line and damaged lines left out).
// Returns 0 (also when the file does not exist), or -1 when it cannot be
// read.
[[nodiscard]] int readstatelines(const std::string& path, std::vector<stateline>& out);

// Rewrites the file without lines older than cutoff (and damaged ones),
// durably, when it has any. Not while a unit is open, nor under /test.
// Returns 0, or -1 (reported): the file is as it was.
int prunestatelines(const std::string& path, std::time_t cutoff);
