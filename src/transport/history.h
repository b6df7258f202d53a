// The Message-IDs import has taken in, so that a message fetched twice (a
// SOUP packet or a Maildir message seen again after a crash, a mail
// fetcher that fetched again) reaches FidoNet once.
//
// The file "pondlark.his" in the SOUP directory holds one line per
// message: the time it was imported (seconds since 1970), a TAB, its
// Message-ID and, for news, a TAB and the area (an article crossposted to
// two gated groups is one message for each). Lines older than HistoryDays
// go when a run begins; otherwise the file is only appended to, once per
// message file, when that file's unit of work is committed.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

constexpr char HISTORYNAME[] = "pondlark.his";

struct importhistory {
    bool active = false;                  // loaded, and HistoryDays is not 0
    std::unordered_set<std::string> known;  // keys of the file and those committed since
    std::unordered_set<std::string> notedset;  // keys of the message file being imported
    std::vector<const std::string*> noted;     // the same in the order noted (into notedset)
};

extern importhistory history;

// The history key of a message: its Message-ID (the part in angle
// brackets, white space around it dropped) and, for news (msgtype 1), a
// TAB and the area name in lower case; for mail with a recipient, a TAB,
// "to:" and the recipient's address in lower case, so that the copies of
// one mail for two FidoNet users are two messages. Empty when the message
// has no usable Message-ID (none, or control characters in it): such a
// message is never taken for a dupe.
std::string historykey(std::string_view messageid, int msgtype, std::string_view area,
                       std::string_view recipient = {});

// The key mail had before keys named the recipient (its Message-ID
// alone), which history files written then hold: a mail whose key is
// there was imported before too.
std::string legacymailkey(const std::string& key);

// Reads cfg.soupdir + HISTORYNAME into history (nothing when
// cfg.historydays is 0). Entries older than cfg.historydays days (by
// nowtime) and damaged lines are dropped, and the file is rewritten
// without them (not under /test). Returns 0, or -1 (reported) when the
// file exists but cannot be read: dupes are then not found this run.
int loadhistory();

// Whether key was imported before (or earlier in this run). An empty key
// never was.
bool seenbefore(const std::string& key);

// Notes the key of a message taken from the message file being imported;
// it counts as seen at once (a message twice in one file is a dupe too).
void notehistory(const std::string& key);

// Appends the noted keys to the file (with the time of nowtime), synced
// with SyncWrites; under /test they are only forgotten. Returns 0, or -1
// (reported).
int commithistory();

// Forgets the noted keys: their message file is kept for the next run.
void forgetnoted();

// Appends keys to the file at once, outside any unit of work, with the
// time of nowtime (not under /test, nor with HistoryDays 0): export notes
// there the articles it is about to post to a news server whose groups
// import also fetches, so that they do not come back into FidoNet.
// Returns 0, or -1 (reported).
int notehistorynow(const std::vector<std::string>& keys);
