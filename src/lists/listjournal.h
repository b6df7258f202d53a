// Changes to the list files made for the SOUP message file being imported,
// so that they can be taken back with the rest of its output when the
// message file is kept for the next run: that run must find the lists as
// the first one did, or it would answer the same commands differently
// (an unsubscribe with SubscribeInfo, a changepass with PasswordInfo).
//
// While the journal is open, every list file change (lists/memberfile.h)
// first notes how its list stood: the file's length and the member index.
// The file's length and the bytes overwritten also go into the run's
// journal on disk (durable/journal.h), for a run that is killed.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "lists/listfiles.h"

// How one list stood before its first change since the journal opened.
struct liststate {
    std::string listfile;
    long size = 0;             // the file's length
    std::vector<long> marked;  // records marked deleted since, by position
    long usercount = 0;
    int hasuserlist = 0;
    int recordlack = 0;
    std::array<memberchain, USERCHAINS> userindex;
};

struct listjournal {
    bool open = false;
    std::vector<liststate> changed;  // each list changed since the journal opened, once
};

extern listjournal journal;

// Opens the journal afresh: called before each SOUP message file.
void openjournal();

// Called by the list file changes before they change list; notes how it
// stands unless that is noted already. Returns 0, or -1 when the file's
// length cannot be read (then the change must not be made).
[[nodiscard]] int journalchange(const listrecord& list);

// The record at pos of list is about to be marked deleted: noted in the
// run journal (durable/journal.h), so that a killed run has it put back.
// Returns 0, or -1 when it cannot be noted (then it must not be marked).
[[nodiscard]] int journalbeforemark(const listrecord& list, long pos);

// The record at pos of list was marked deleted.
void journalmark(const listrecord& list, long pos);

// The changes are kept: closes the journal.
void closejournal();

// Puts every list changed since the journal opened back as it stood: the
// "+" of each record marked deleted since, the file cut to its former
// length, the member index as it was. Closes the journal. Returns 0, or
// -1 (reported) when a list file could not be restored.
[[nodiscard]] int undojournal();
