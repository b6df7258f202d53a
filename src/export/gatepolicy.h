// Who may send through the gateway, and how much: ExportAllow names the
// FidoNet nodes that may send netmail ("mail") and echomail ("news": areas
// gated to newsgroups and mailing lists); without ExportAllow lines every
// node may send everything. ExportLimit caps the messages a node sends a
// day (the first line whose pattern matches the node counts; each node has
// a count of its own, export/exportcounts.h). Mail to a Route address goes
// only to the route's own configured address and is not held to either.
#pragma once

#include "export/exportmsg.h"
#include "export/refusal.h"

// Whether the classified message may leave; for one that may not, r says
// why (for refuseexport). Reads curmsg (routing, fromaddr, msgtype),
// tables, the day's counts.
bool mayexport(const exportmsg& m, exportrefusal& r);

// Counts a message that left against its node's limit, when one applies.
void countexported(const exportmsg& m);
