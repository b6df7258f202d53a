// What one SOUP message file has produced during this run: its packets,
// the files decoded from it, the reply messages it caused and its changes
// to the list files (lists/listjournal.h). A message file is deleted only
// when all of that is complete; when any of it fails, everything it
// produced is taken back and the file is kept, so that the next run
// imports it again without duplicates. The message file is one unit of
// the run journal (durable/journal.h): its packets and decoded files keep
// their temporary names until it commits, so that a run killed on the way
// is taken back the same way by the next one.
#pragma once

#include <string>
#include <vector>

#include "import/replies.h"

struct fileoutputs {
    std::vector<std::string> decoded;  // files decoded from the current message file (final names)
    replymark replies;                 // the reply slots when it was begun
};

extern fileoutputs fileoutput;

// Called before the first message of a message file: forgets the previous
// file's output and notes where the reply files stand. Reads `replies`.
void beginfileoutput();

// A decoded file was created for the current message file.
void notedecodedfile(const std::string& path);

// The message file's packets are finished and its output complete: keeps
// everything (keeppackets).
void keepfileoutput();

// Takes back the current message file's output: its packets
// (discardpackets), its decoded files, and its reply messages: the reply
// files are cut back (`replies` counts restored), and files registered for
// it alone go again with their REPLIES lines; the list files and their
// member index are put back as they stood.
// Returns 0, or -1 when something could not be removed (reported).
[[nodiscard]] int discardfileoutput();
