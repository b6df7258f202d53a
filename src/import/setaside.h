// A message that cannot be finished within its bounds is set aside: what
// it wrote into the packet and the files decoded from it are taken back,
// and its bytes are kept in the junk folder (import/junkfolder.h) for the
// sysop. The message file itself then goes as usual: it never fails the
// same way at every run.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "import/rangereader.h"

// Where the open packet (`outpkt`) and the decoded files of the message
// file (`fileoutput.decoded`) stood before a message.
struct messagemark {
    long pktpos = -1;
    std::size_t decoded = 0;
};

// Notes where they stand now. Called after preparepacket.
messagemark markmessage();

// Sets the message r of the message file f (at path) aside: the packet is
// cut back to m and the files decoded since m are removed; the copy in the
// junk folder is an output of the open unit (keepinjunk). Logs one line and counts `stats.setasidecount`.
// Returns 0, or -1 (reported) when the packet could not be cut back or the
// copy not written: the message file must then be kept.
[[nodiscard]] int setmessageaside(std::FILE* f, const msgrange& r, const std::string& path,
                                  const messagemark& m);
