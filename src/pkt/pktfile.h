// The packet files that import leaves in the inbound directory for the
// FidoNet tosser, and their life during a run: a packet is opened when a
// message is about to be handled, rolled over at MaxPKTSize, finished at
// the end of each SOUP message file, and removed when no message was
// taken while it was open.
//
// A packet is written under a temporary name (its name + ".tmp", which no
// tosser takes) and gets its ".PKT" name only when the unit of work it
// belongs to, the SOUP message file, commits (durable/journal.h): a tosser
// never sees a packet that is not complete, and a killed run leaves only
// temporary packets, which the next run removes. A name whose temporary
// packet exists counts as taken in the name search.
//
// Every write and close on a packet is checked. When anything fails, the
// import driver drops all packets made for the current SOUP message file
// (discardpackets) and keeps that message file, so the next run imports it
// again without duplicates.
#pragma once

#include <ctime>

#include "base/fidoaddr.h"
#include "pkt/pktlayout.h"

#include <cstdio>
#include <string>
#include <vector>

#include "base/fileio.h"

// The open packet of an import run.
struct openpacket {
    fileptr file;                   // the packet being written; empty when none is open
    std::string path;               // its full path (written at tempname(path) until published)
    long pktmsgcount = 0;           // messages handled since it was opened
    int reported = 0;               // its write failure has been reported
    std::vector<std::string> made;  // packets created for the current SOUP message file
    // Where the search for the next packet name starts: the number of the
    // last one chosen in this run. Packets are made one after the other, so
    // searching from 0 each time would test every earlier name again; it
    // goes back to 0 whenever this run removes a packet of its own.
    unsigned long namefrom = 0;
};

extern openpacket outpkt;

// The 58-byte header of a packet from orig to dest created at local time t
// (type 2 with the type 2+ block; password from cfg.packetpwd).
pktheader makepktheader(const fidoaddr& orig, const fidoaddr& dest, const std::tm& t);

// Writes the 58-byte packet header at the current position of f (the start
// of a new packet): gateway to the first AddrMap system, the local time of
// one clock reading, PacketPwd. Reads `cfg`, `tables`; sets
// `outpkt.pktmsgcount` to 0. Returns 0, or -1 when the write failed.
[[nodiscard]] int writepktheader(std::FILE* f);

// Writes the two-byte terminator and closes f, which becomes empty.
// Returns 0, or -1 when a write to f (also an earlier one), the flush or
// the close failed.
[[nodiscard]] int closepkt(fileptr& f);

// Called before each message: rolls the open packet over when it has
// reached MaxPKTSize, and opens a new packet when none is open
// (cfg.indir + first free 8-digit number + ".PKT", a name whose temporary
// packet exists counting as taken; noted as an output of the open unit). Returns 0 when a packet
// is open to write into, or -1 after reporting "Error writing packet %s\n":
// the packet could not be created or written, or finishing the previous
// one failed; no packet is open then.
[[nodiscard]] int preparepacket();

// Called after each message handled, whether or not it wrote into the
// packet: counts it in `outpkt.pktmsgcount`. Returns 0, or -1 (reported
// once per packet) when a write to the open packet has failed.
[[nodiscard]] int countpktmsg();

// Finishes the open packet, if any: terminator, close (synced first when
// the journal syncs), and removal when no message was counted in it;
// outside a unit it is published at once, in one at the unit's commit. Returns 0, or -1 after reporting "Error
// writing packet %s\n"; the damaged packet then stays in the list of packets
// made, for discardpackets.
[[nodiscard]] int finishpacket();

// Drops the output of the current SOUP message file: closes the open
// packet and removes every packet made since the last keeppackets. Returns
// 0, or -1 when a packet could not be removed (reported).
[[nodiscard]] int discardpackets();

// The packets made so far are complete and stay: forgets their list.
// Called after finishpacket succeeded at the end of a SOUP message file.
void keeppackets();
