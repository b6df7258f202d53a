// Which header lines of an imported message stay out of the FidoNet
// message (StripKludges), and which a sysop keeps all the same (KeepHeader).
#pragma once

#include <string_view>

enum stripkinds { STRIP_NO = 0, STRIP_YES = 1, STRIP_SOME = 2 };

// True when the header line (a field, "Name: value") is dropped at the
// StripKludges level given: Yes drops every line; Some the routing,
// transport and signature fields that no FidoNet reader needs (Received,
// Path, References, DKIM and ARC signatures, spam and authentication
// results, the bookkeeping of large mail services ...), unless a KeepHeader
// entry names the field; No none. Reads `tables.keepheader`.
bool strippedheader(std::string_view line, int level);

// The prefix that a header field named like a FidoNet kludge gets.
constexpr std::string_view FIELDPREFIX = "RFC-";

// True when the header line's field is named like one of FidoNet's own
// control lines (MSGID, REPLY, INTL, FMPT, TOPT, FLAGS, CHRS, CHARSET,
// CODEPAGE, PID, TID, TZUTC, SPLIT, Via, PATH, SEEN-BY, AREA, EID, DOMAIN,
// RESCANNED, and the gateway's REPLYADDR, REPLYTO, JUNKMAIL), in any
// letter case (a news "Path:" too): written as it stands, a mail could give its FidoNet
// message a forged identity or route. Such lines are kept with FIELDPREFIX
// in front ("RFC-MSGID: ..."), which no FidoNet program reads as a kludge.
bool iskludgefield(std::string_view line);
