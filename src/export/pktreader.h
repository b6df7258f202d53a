// Reading FidoNet packets for export: the packet header, the packed
// messages and the zero-terminated strings and carriage-return lines of
// which they are made.
#pragma once

#include <cstddef>
#include <cstdio>

#include "export/pktinput.h"

// What exportpkt made of a packet. Only PKT_EXPORTED allows the caller to
// remove the packet: every message in it was written completely (or
// deliberately dropped).
enum pktresults {
    PKT_NOTFORUS = 0,  // not a usable packet, or for neither the gateway nor a route
    PKT_EXPORTED = 1,  // every message was read and written (or dropped)
    PKT_FAILED = -1,   // a message could not be written, or the file could not be read
    PKT_CUT = -2,      // the packet ends in the middle of a message
};

// Reads one packet from f, opened for binary reading at the packet's start,
// and hands each message to exportmessage() with flowlistvalid (1 when the
// attachment list belongs to this packet). With curmsg.routing -1 the
// destination in the packet header chooses the gateway (routing 0) or the
// first matching Route (routing 1, its values loaded); 0 or 1 on entry is
// kept. Reads cfg.gateaddr, tables; logs the "Exporting Type 2..." line.
// Stops at the first message that cannot be written and notes where it
// begins in expstate.pktresume.
[[nodiscard]] int exportpkt(std::FILE* f, int flowlistvalid);

// The next byte as a signed character; the end of the file reads as 0, so
// every string and every text ends at the end of the file at the latest.
int zgetc(pktinput& in);

// Reads a zero-terminated string of at most max characters into buf (which
// holds max + 1 bytes) and returns the number of characters before the
// zero. After max non-zero characters it stops: buf is then terminated
// after them, and the rest of the string stays in the input.
std::size_t readasciiz(pktinput& in, char* buf, std::size_t max);

// Reads one line of message text into buf (max + 1 bytes), always
// terminated. Returns 1 when the line ended with a carriage return (not
// stored); 0 when the text's terminating zero (or the end of the file) was
// reached, the line read so far in buf; 2 when max characters were stored
// and the line goes on (the next call continues it). A line of exactly max
// characters that a carriage return or the zero ends gives 1 or 0, not 2.
// A line feed as the first byte read is skipped (the soft line feed after a
// carriage return); anywhere else it is stored. When textstart is given it
// receives the input position of buf[0].
int readasciicr(pktinput& in, char* buf, std::size_t max, long* textstart = nullptr);

// readasciicr() that also gives the length of the text stored in buf.
int readasciicr(pktinput& in, char* buf, std::size_t max, std::size_t& len,
                long* textstart = nullptr);
