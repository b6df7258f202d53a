// A FidoNet message, or some of its recipients, that the gateway will not
// send: a node that may not use it, a node over its limit for the day, an
// address that is no single Internet mailbox. Every refusal of the
// converter goes through refuseexport, which logs who sent what and why,
// and tells the sender of netmail with a bounce (bounce/bounce.h).
#pragma once

#include <string>
#include <vector>

#include "export/exportmsg.h"
#include "export/pktinput.h"

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
    bool whole = true;                    // the message is not sent at all
};

// Logs each refusal of one message with its sender (curmsg.fromaddr and
// msgfromname), its subject and the reason:
//   "! refused msg from 2:280/5556 (Evil Node), subject "Hi": <why>"
//   "! refused recipient a@b, c@d of msg from ...: <why>"
// and tells the sender of a refused netmail, once per message, in one
// bounce netmail that names every reason, the recipients concerned and
// the first lines of the text (read from in, which is at the start of the
// body and is left there). Echomail is logged only: its author wrote to
// an area, not to the gateway. Reads curmsg and m (the message's charset).
void refuseexport(const std::vector<exportrefusal>& refusals, const exportmsg& m, pktinput& in);

// The text of the log line of one refusal (without "! " and the line end).
std::string refusaltext(const exportrefusal& r);
