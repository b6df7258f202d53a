// The start of every FidoNet message that import writes: the packed
// message header, date, names and subject, and the kludge lines that carry
// what the fixed header cannot (area, 4D addresses, reply routing back to
// the Internet, identifiers, program, split parts, character set, junk).
#pragma once

#include <cstdio>
#include <string_view>

// Junk categories: which test marked a message as junk.
enum junkkinds {
    JUNK_NONE = 0,
    JUNK_FROM = 1,
    JUNK_SUBJECT = 2,
    JUNK_BODY = 3,
    JUNK_GROUP = 4,
    JUNK_FROMTO = 5,
    JUNK_IMPEXP = 6
};

// Writes the header of one message (or of one part of a split message)
// into the packet f. kind is the message category (0 netmail, 1 echomail
// from news, 2 echomail from mail); attachsubject is the subject of a
// file-attach message; junkcategory 0..6; ownorg marks an echo of the own
// organisation. Reads `curmsg`, `cfg` and the clock; stores the computed
// serials into `curmsg.fidomsgid` / `curmsg.fidoreplyid` when none was
// decoded. Returns 0, or -1 when the write failed.
[[nodiscard]] int writepktmsgheader(int kind, std::FILE* f, std::string_view attachsubject,
                                    int junkcategory, int ownorg);
