// The gateway's own record of the mail it sent ("pondlark.snt" in
// SoupDir): for every reply a server took, its Message-ID, its FidoNet
// sender (name and address), its subject and its recipients, kept for
// HistoryDays. A delivery status notification that comes back later is
// matched to its FidoNet sender through it: by the Message-ID of the
// returned message, else by the address the mail went to.
//
// Who in FidoNet wrote a reply is read from its own header, the way
// export wrote it: the From address of an AddrMap entry stands for that
// entry's system, an FTN-form address for the address it encodes; an
// FTN-form Message-ID names the system the message came from even when
// From is only the gateway's fallback address; the name is the one in the
// From field (the FidoNet from-name export writes there).
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "base/fidoaddr.h"

constexpr char SENTMAILNAME[] = "pondlark.snt";

struct sentmail {
    std::time_t time = 0;
    std::string messageid;  // as in the header, in angle brackets
    std::string fromname;   // the FidoNet sender's name, UTF-8
    fidoaddr from;
    std::string subject;    // UTF-8
    std::vector<std::string> recipients;
};

// The FidoNet sender of a message that export wrote, from the values of
// its From and Message-ID fields. Reads the AddrMap and FidoDomain tables.
// false when neither tells a FidoNet system.
bool fidosenderof(std::string_view from, std::string_view messageid, std::string& name, fidoaddr& addr);

// A reply's header read into a sentmail (recipients from To, Cc and Bcc).
// false when it names no FidoNet sender.
bool sentmailof(std::string_view header, sentmail& out);

// Appends s (at the time of the clock) to the record. Returns 0, or -1
// (reported).
int notesentmail(const sentmail& s);

// The record's entry for a Message-ID (angle brackets optional), or the
// latest one sent to an address. false when there is none.
bool findsentmail(std::string_view messageid, sentmail& out);
bool findsentto(std::string_view address, sentmail& out);

// Drops entries older than HistoryDays from the record when its first
// line is that old (the file is only appended to otherwise). Outside a
// unit of work only. Returns 0, or -1 (reported).
int prunesentmail();

// Forgets what was loaded (for the tests).
void resetsentmail();
