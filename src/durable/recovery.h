// Reading a run journal (durable/journal.h) and recovering what the run it
// belongs to left unfinished: units that committed are finished (their
// outputs published, their inputs removed, renamed or marked), the unit
// that did not is taken back (its temporary outputs removed, the files it
// appended to cut back, the bytes it overwrote put back). Every step is
// safe to repeat, so a recovery that is itself killed is simply done again.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "durable/journal.h"

struct journalrecord {
    char type = 0;
    std::vector<std::string> fields;
};

// One record as a line, escaped and with its CRC.
std::string encoderecord(char type, std::initializer_list<std::string_view> fields);

// The records of a journal's content, up to the first line that is torn or
// damaged.
std::vector<journalrecord> decoderecords(std::string_view data);

// Reads a journal: JOURNAL_READ (data filled), JOURNAL_NONE, JOURNAL_UNREADABLE,
// or JOURNAL_FOREIGN (why says what is wrong) when what lies there is no
// journal PondLark wrote: a link, no plain file, a file of another user
// (not root), one that others may write or that has more than one name.
enum journalreads { JOURNAL_READ = 0, JOURNAL_NONE = 1, JOURNAL_UNREADABLE = -1, JOURNAL_FOREIGN = 2 };
[[nodiscard]] int readjournalfile(const std::string& path, std::string& data, std::string& why);

// Recovers from the journal at path (nothing when it is empty or missing),
// logging one line "recovered from an interrupted run: ..." when anything
// was done. Paths outside the scope (durable/pathscope.h) are left alone,
// each named in the log; a foreign journal is not acted on at all.
// Returns 0, or -1 when the journal cannot be read.
[[nodiscard]] int recoverjournal(const std::string& path, recoveryinfo& info);

// What an interrupted run left for recovery, as a short text; "" for
// nothing. Changes nothing.
std::string describejournal(const std::string& data);
