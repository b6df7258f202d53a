// Converting one FidoNet message into one Internet message in the SOUP
// reply files.
#pragma once

#include "export/pktinput.h"

enum exportresults {
    EXPORT_WRITTEN = 0,  // appended to a reply file
    EXPORT_DROPPED = 1,  // deliberately not exported (import-only area, empty, ...)
    EXPORT_FAILED = -1,  // could not be written (reported); keep the input
    EXPORT_CUT = -2,     // the text was cut off by the end of a packet (reported)
};

// Converts the message whose text starts at the input's position. The
// source has filled curmsg.fromaddr, msgdate, msgtoname, msgfromname,
// msgsubj, isfattach and the routing state (curmsg.routing with the route
// values); flowlistvalid is 1 when expstate's attachment list belongs to
// this message. Classifies it as mail, news, mailing-list gating or list
// distribution, appends it to the reply file of its kind and counts it in
// stats. On return the input is just after the zero byte that ends the
// text, whatever became of the message. Attached files named by "^", "#"
// or the KFS/TFS flags are deleted or truncated only after the reply was
// written completely (and never under /test).
[[nodiscard]] int exportmessage(pktinput& in, int flowlistvalid);
