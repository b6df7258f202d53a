// A FidoNet message, or some of its recipients, that the gateway will not
// send: a node that may not use it, a node over its limit for the day, an
// address that is no single Internet mailbox. Every refusal of the
// converter goes through refuseexport, which logs who sent what and why,
// and tells the sender of netmail.
#pragma once

#include <string>
#include <vector>

enum refusalkinds {
    REFUSED_NOTALLOWED = 1,  // the node may not send this kind through the gateway
    REFUSED_OVERLIMIT = 2,   // the node has sent its messages for the day
    REFUSED_RECIPIENT = 3,   // recipients that are no single mailbox, or beyond ExportMaxTo
};

struct exportrefusal {
    int kind = 0;
    std::string why;                      // in words: the reason, for the log and the sender
    std::vector<std::string> recipients;  // the addresses concerned; empty: the whole message
    bool netmail = true;                  // netmail (its sender is told), else echomail
};

// Logs the refusal with the message's sender (curmsg.fromaddr and
// msgfromname), its subject and the reason:
//   "! refused msg from 2:280/5556 (Evil Node), subject "Hi": <why>"
//   "! refused recipient a@b, c@d of msg from ...: <why>"
// A refused netmail is also told to its sender; echomail is logged only
// (its author wrote to an area, not to the gateway).
void refuseexport(const exportrefusal& r);

// The text of the log line (without "! " and the line end), for the
// notice to the sender and for tests.
std::string refusaltext(const exportrefusal& r);
