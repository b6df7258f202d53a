// The scope of a run (durable/pathscope.h): what recovery of an interrupted
// run may touch, made from the configuration before the journal is opened.
#pragma once

// Fills scope from cfg (InboundDir, OutboundDir and the zone folders beside
// it, NetmailDir, SoupDir, DecodeDir, TempDir, the ImportMaildir and
// ImportNewsBatches folders), run.packetdir, the list files of lists
// (with their /test copies and the temporaries of pack), and sets the
// voucher of export (export/vouch.h).
void setupscope();
