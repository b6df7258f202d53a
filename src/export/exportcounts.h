// How many messages each FidoNet node has sent through the gateway today,
// for ExportLimit. The counts survive restarts and kills: they are kept in
// SoupDir/"pondlark.lim", a line per exported message
//
//   1999-09-14<TAB>2:280/5556<TAB>1
//
// (day, node, count; lines of one node may repeat and add up). A line is
// appended inside the unit of work of the message it counts, with the file
// noted in the run's journal first, so that a unit taken back - in the
// run or by the recovery after a kill - takes its lines back with its
// replies: a message is counted once, when it leaves. Under /test nothing
// is written (the inputs stay and are sent, and counted, by a later run).
// At the start of export the file is rewritten, durably, with today's
// totals alone.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "base/fidoaddr.h"

inline constexpr char EXPORTCOUNTSFILE[] = "pondlark.lim";

using nodecounts = std::map<std::uint64_t, long>;

struct exportcountstate {
    bool loaded = false;
    std::string day;     // "YYYY-MM-DD" of the run's start, local time
    nodecounts counts;   // today's, by nodekey()
    std::string path;    // SoupDir + EXPORTCOUNTSFILE
    int fd = -1;         // the file, open for appending once a line was written
    long syncunit = -1;  // the unit whose outputs sync it already
};

extern exportcountstate exportcounts;

// One number for an address, the key of the counts.
std::uint64_t nodekey(const fidoaddr& a);

// Today's counts in the text of a counts file: the lines of day added up;
// lines of other days, and lines that are damaged (a file cut by a crash),
// are passed over and make stale true.
nodecounts parseexportcounts(std::string_view data, std::string_view day, bool& stale);

// The text of a counts file that holds counts for day.
std::string exportcountstext(const nodecounts& counts, std::string_view day);

// Closes the counts file (at the end of export, and before it is read).
void closeexportcounts();

// Reads the counts file at the start of export (outside any unit) and
// rewrites it when it holds more than today's totals. Reads cfg.soupdir
// and the clock. Returns 0, or -1 when it cannot be read (reported; the
// counts then start from nothing, and the file is not written this run).
int loadexportcounts();

// How many messages the node has sent today.
long exportcount(const fidoaddr& a);

// Counts one message the node sent. Returns 0, or -1 when the line could
// not be written (reported; the message counts for this run all the same).
int countexport(const fidoaddr& a);

// Where the counts stood, and taking a unit's counting back in the run.
struct exportcountmark {
    long long size = -1;  // of the file; -1: nothing to cut
    nodecounts counts;
};
exportcountmark markexportcounts();
void rewindexportcounts(const exportcountmark& m);
