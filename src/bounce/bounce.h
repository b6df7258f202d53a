// Bounces: a netmail from the gateway to the FidoNet user whose mail or
// article did not get where it was going, so that the failure reaches the
// person who can do something about it. It says what went wrong (a
// headline, the recipients concerned, the server's answer word for word)
// and what it was about (the original subject and its first lines), and
// is addressed to the original sender by name and FidoNet address.
//
// Any part of the gateway that gives up on a message calls sendbounce:
// delivery (a refusal for good, a recipient refused among accepted ones,
// a reply put off for longer than GiveUpDays, rnews refusing an article),
// export (a message it will not send), a news server refusing a posting.
//
// Each bounce is a packet of its own in the inbound directory, for the
// tosser, written under a temporary name and published when its unit of
// work commits (durable/journal.h): inside the caller's open unit it goes
// with that unit; otherwise it is a unit of its own, committed (and, with
// SyncWrites, on the disk) before sendbounce returns. With it, the record
// of bounces sent ("pondlark.bnc" in SoupDir: time, key, address,
// headline) gains a line in the same unit, so that a sender gets at most
// one bounce per original message, also across runs and kills, for
// HistoryDays (at least GiveUpDays and a day).
//
// No bounce is ever bounced: none is written to the name bounces are
// written from, which is what a bounce that found its way back into export
// looks like.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/fidoaddr.h"

// The name bounces come from.
constexpr char BOUNCEFROMNAME[] = "PondLark Gateway";
constexpr char BOUNCELOGNAME[] = "pondlark.bnc";

struct bouncenotice {
    // What went wrong, in a few words: the subject begins with it
    // ("Mail refused", "Not delivered after 5 days", "Article refused").
    std::string headline;
    // The recipients (addresses, newsgroups) the failure concerns.
    std::vector<std::string> recipients;
    // The server's answer (or the program's exit status and output), word
    // for word; may have several lines.
    std::string answer;
    // One more paragraph for the sender, optional ("The mail stays with
    // the gateway's sysop.").
    std::string detail;
    // The original message: subject and the start of its text (UTF-8;
    // lines end in LF, CR LF or CR; only the first lines are shown).
    std::string subject;
    std::string firstlines;
    // The FidoNet sender of the original: the bounce goes to them.
    std::string toname;  // UTF-8
    fidoaddr toaddr;
    // Identifies the original message (its Message-ID): one bounce per key.
    // Must not be empty.
    std::string key;
};

enum bounceresults {
    BOUNCE_WRITTEN = 0,   // the bounce is written (published with its unit)
    BOUNCE_ALREADY = 1,   // the sender had a bounce for this key already
    BOUNCE_REFUSED = 2,   // not to be written: it would bounce a bounce (logged)
    BOUNCE_FAILED = -1    // it could not be written (reported); nothing is left of it
};

// Writes the bounce for n. Reads cfg (gateway address, InboundDir,
// SoupDir, FidoCharSet/AreaCharSet of NETMAIL, HistoryDays, GiveUpDays),
// the first AddrMap entry (the system packets go to) and the clock; writes
// a packet into cfg.indir and a line into the record of bounces; logs one
// line per bounce. Returns a bounceresults value.
int sendbounce(const bouncenotice& n);

// The same for an Internet message the gateway made from a FidoNet one (a
// reply of the SOUP reply files, an article for a news server): n's
// headline, recipients, answer and detail are the caller's; the sender
// (read from the message's From and Message-ID, see bounce/sentmail.h),
// the subject, the first lines (its readable text) and the key (its
// Message-ID, else key as given) are taken from message, which may be cut
// after its first few kilobytes. A message that names no FidoNet sender
// gets no bounce (logged) and gives BOUNCE_REFUSED.
int bouncemessage(std::string_view message, const bouncenotice& n);

// Whether a bounce for key was written (in this run or one before).
bool bouncedbefore(std::string_view key);

// For a caller whose open unit is taken back in the run: removes the
// temporary packets of the bounces written in it and forgets their keys
// (the record's lines go with the unit's noted files). keepbounces: the
// unit committed; forgets the list.
void discardbounces();
void keepbounces();
// Forgets everything loaded (for the tests).
void resetbounces();

// The netmail text of a bounce as it is written into the packet (lines
// ending in CR, no kludges), in UTF-8: for the tests and the viewer.
std::string bouncetext(const bouncenotice& n);
