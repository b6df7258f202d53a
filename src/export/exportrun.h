// The export command: FidoNet mail for the gateway into SOUP replies.
#pragma once

// Runs export from the source the run names (the "/pkt=" directory, the
// stored netmail, or the outbound for the gateway and every route),
// registers the reply files and prints the statistics. Returns the exit
// status: 0 once the command ran, whatever it found.
int runexport();

// The packet directory source: every *.PKT file of run.packetdir, in name
// order. A packet whose messages were all written is removed (not under
// /test); one with a message that could not be written stays for the next
// run; one that ends in the middle of a message is renamed to *.BAD.
void pktexport();
