// The mailer's mail as export sources: stored netmail (ArcMail style) and
// the Binkley-style outbound.
#pragma once

#include <string>

#include "base/fidoaddr.h"

// Exports the stored netmail messages of NetmailDir addressed to the
// gateway or a Route: converts each, then the packets its subject names,
// and marks it sent (removes it when it asks to be killed) once all of it
// is in the reply files; a message with anything left stays unsent for the
// next run. Reads and rewrites the QuickScan date file. Under /test only
// the scan date file changes.
void msgexport();

// Exports the outbound mail and files queued for addr, the routing state
// already set by the caller (0 for the gateway, 1 with the route loaded):
// for each flavour the mail packets and the packets and files the flow
// files list; files no message claims go in a synthetic file-attach
// message to toname (empty for the gateway: then to the first AddrMap
// entry's e-mail address). An address whose busy flag exists is skipped;
// while it is exported PondLark holds the flag. Packets and flow files go
// only once everything they led to is in the reply files; a flow file with
// files left keeps only those. Under /test the outbound is not changed.
void binkexport(const fidoaddr& addr, const std::string& toname);
