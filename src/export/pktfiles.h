// What becomes of a packet file once exportpkt has read it, for every
// source: removed when all its messages are in the reply files, kept for
// the next run when one could not be written, set aside when it ends in
// the middle of a message. A packet is never removed with mail left in it.
#pragma once

#include <string>

// Settles the packet at path after exportpkt gave result (a pktresults
// value; the file is closed). PKT_EXPORTED: removed. PKT_FAILED: kept and
// reported, cut down to the messages not yet exported (from
// expstate.pktresume) so that the next run does not send the others
// twice. PKT_CUT: renamed to *.BAD and reported. PKT_NOTFORUS: left alone,
// silently. Under /test nothing is changed, only reported. Returns 1 when
// the packet needs nothing more, 0 when it waits for the next run.
int finishpacketfile(const std::string& path, int result);

// What exportpacketfile made of a packet file.
enum packetfileresults {
    PKTFILE_DONE = 0,       // exported and removed, or set aside: nothing left to do
    PKTFILE_KEPT = 1,       // kept for the next run (reported)
    PKTFILE_MISSING = 2,    // no such file
    PKTFILE_NOTPACKET = 3,  // not a packet that can be read; left alone, not reported
};

// Opens the packet at path, reads it with exportpkt and flowlistvalid (the
// caller has set the routing state) and settles it with finishpacketfile.
// A file that exists but cannot be opened is kept (reported).
int exportpacketfile(const std::string& path, int flowlistvalid);

// Cuts the messages before the file offset resume out of the packet at
// path, keeping its header, through a temporary file and a rename. Returns
// 0 (also when nothing was to cut), or -1 when the packet stays whole.
[[nodiscard]] int trimpacket(const std::string& path, long resume);
