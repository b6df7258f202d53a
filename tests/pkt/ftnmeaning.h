// What a message of a packet written by import means to a FidoNet tosser,
// held against what the gateway itself writes. Written from the FidoNet
// standards (FTS-0001 message text, FTS-0004 echomail control lines,
// FTS-4000 kludges), not from the gateway: it shares no code with it.
//
// A tosser acts on lines that begin with 0x01 (INTL, FMPT, TOPT route a
// netmail, MSGID and REPLY identify it, PATH and the rest), on "AREA:" as
// the first line, on "SEEN-BY:" lines and on the tear and origin lines at
// the end. Lines end with a carriage return; some programs also break at
// a line feed, so both count here.
#pragma once

#include <string>

#include "pkt/pktcheck.h"

// What the gateway was set up to write.
struct expectedmeaning {
    std::string area;     // the echo area ("PONDLARK.TEST"); empty: netmail
    std::string intl;     // destination and origin: "2:280/5555 2:280/5556" ("|" between choices)
    std::string netnode;  // the gateway in SEEN-BY and PATH: "280/5556"
    std::string origin;   // the address ending the origin line: "2:280/5556"
    bool junk = false;    // the gateway may mark the message as junk (JUNKMAIL)
};

// "" when the message carries exactly the control information the gateway
// writes (every kludge line its own or a kept header field whose name no
// FidoNet program reads, AREA, SEEN-BY, PATH, tear and origin lines only
// where the gateway puts them) and its to, from and subject fields hold
// no control byte; else the first problem found. Text in UTF-8 (by the
// message's CHRS kludge) may hold no C1 control or bidirectional override
// in those fields and kludges either; text in an ISO 8859 set no C1 byte.
std::string checkmeaning(const checkedmessage& m, const expectedmeaning& e);
