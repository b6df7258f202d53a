// How far the gateway has taken each group of each news server: the file
// "pondlark.hwm" in the SOUP directory, one line per server and group:
// the server's name, a TAB, the group, a TAB, the number of the last
// article taken (the high-water mark), a TAB, and the time of the last
// fetch that got through (seconds since 1970). A mark moves on only in
// the staging step that puts its articles into the SOUP packet (see
// stagingplan.h), so that a run killed at any instant neither loses nor
// repeats an article; alone it is written only for articles that never
// reach the packet (gaps, articles too large).
#pragma once

#include <ctime>
#include <string>
#include <vector>

constexpr char NEWSMARKSNAME[] = "pondlark.hwm";

struct newsmark {
    std::string server;
    std::string group;
    long long high = 0;      // the last article taken
    std::time_t fetched = 0;  // the last fetch that got through
};

// The marks of cfg.soupdir's file (none when there is no file). Returns 0,
// or -1 (reported) when it cannot be read; damaged lines are reported and
// left out (their groups start again as if new, and the Message-ID
// history keeps articles from coming in twice).
int readnewsmarks(std::vector<newsmark>& marks);

// The mark of a server and group (names ignore case), or null.
const newsmark* findnewsmark(const std::vector<newsmark>& marks, const std::string& server,
                             const std::string& group);

// Puts each update in place of the mark of its server and group (or adds
// it) and replaces the file durably. 0, or -1 (reported): the file is then
// as it was.
int writenewsmarks(const std::vector<newsmark>& updates);

// One mark as a line of the file and back (the staging plan carries marks
// in the same form). parsenewsmark is false for a damaged line.
std::string newsmarkline(const newsmark& m);
bool parsenewsmark(std::string_view line, newsmark& m);
