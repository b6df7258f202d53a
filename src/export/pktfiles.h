// What becomes of a packet file once exportpkt has read it, for every
// source: removed when all its messages are in the reply files, kept for
// the next run when one could not be written, set aside when it ends in
// the middle of a message. A packet is never removed with mail left in it.
#pragma once

#include <string>

#include "base/fileio.h"

// What exportpacketfile made of a packet file.
enum packetfileresults {
    PKTFILE_DONE = 0,       // exported and removed, or set aside: nothing left to do
    PKTFILE_KEPT = 1,       // kept for the next run (reported)
    PKTFILE_MISSING = 2,    // no such file
    PKTFILE_NOTPACKET = 3,  // not a packet that can be read; left alone, not reported
};

// Reads the packet in f (open for binary reading at its start; closed
// here) with exportpkt and flowlistvalid (the caller has set the routing
// state), then settles the file at path. All its messages written: removed.
// One could not be written: kept and reported, cut down to the messages not
// yet exported (from expstate.pktresume); when it cannot be cut down, it
// stays whole and everything its messages produced is taken back (reply
// messages, attachment-list marks, counts), so that the next run sends each
// of them once. Ending in the middle of a message: renamed to *.BAD and
// reported (taken back like that when the rename fails). Not a packet for
// us: left alone, silently. Under /test nothing is changed, only reported.
// Files attached with "delete" or "truncate after sending" keep their
// content until the packet is settled.
int exportopenpacket(fileptr& f, const std::string& path, int flowlistvalid);

// Opens the packet at path and exports it with exportopenpacket. A file
// that exists but cannot be opened is kept (reported).
int exportpacketfile(const std::string& path, int flowlistvalid);

// Cuts the messages before the file offset resume out of the packet at
// path, keeping its header, through a temporary file and a rename. Returns
// 0 (also when nothing was to cut), or -1 when the packet stays whole.
[[nodiscard]] int trimpacket(const std::string& path, long resume);
