// What an imported message is and where it goes: decided between the two
// passes of the conversion, from the current message as the parse pass left
// it and the gateway tables.
#pragma once

#include <string>

#include "config/settings.h"
#include "lists/listserver.h"
#include "pkt/msgheader.h"

// What the driver does with the message.
enum importoutcomes {
    OUTCOME_CONVERT = 0,      // the write pass turns it into a FidoNet message
    OUTCOME_KILLED = 1,       // own organisation or junk with the action "kill"
    OUTCOME_LISTCOMMAND = 2,  // a mailing-list command for processlistcommand
    OUTCOME_LISTPOSTING = 3   // a mailing-list posting for sendlistmessage
};

// The verdict on one message. The driver resets it before the parse pass,
// which may already mark body junk; classifymessage fills the rest.
struct msgverdict {
    int category = CAT_EMAIL;        // 0 e-mail, 1 news, 2 list: packet kind, StripKludges entry
    int junkcategory = JUNK_NONE;    // why the message is junk (JUNK_*)
    int listindex = -1;              // the ListConfig list it is addressed to, or -1
    int listcommand = LISTCMD_NONE;  // subscribe, unsubscribe, changepass, or none (a posting)
    int maillistrule = 0;            // a MailingList rule moved the mail into an area
    std::string truncate;            // the body is cut at the first line holding it; empty: never
    int ignored = 0;                 // an IgnoreMessageText entry matched: nothing is written
    int ownorg = 0;                  // the message carries the gateway's own organisation
    int outcome = OUTCOME_CONVERT;
};

// Whether the current message comes from a configured Route node: its
// sender's address is that of the first Route entry naming it, and its
// "X-MailPassword:" is the route's password where one is set. Only such a
// sender may hand the tosser FidoNet mail (packets, bundles) as
// attachments. Reads `curmsg` (as the header left it) and `tables.route`.
bool fromroutenode();

// Completes `curmsg` (character set, default names, FTN destination and
// origin, area, echo recipient, decoded MSGID/REPLY, gateway-domain names,
// junk marks) and fills v. Reads `cfg`, `tables`, `lists`; counts
// `stats.personalcount` and `stats.junkcount`; reports a wrong route
// password. Returns v.outcome.
int classifymessage(msgverdict& v);
