// Whom an exported netmail goes to: every recipient is one Internet
// mailbox (base/mailbox.h), whatever the FidoNet user wrote into the
// to-name or the address lines, and there are no more of them than
// ExportMaxTo allows.
#pragma once

#include <vector>

#include "export/exportmsg.h"
#include "export/refusal.h"

// For netmail to the gateway (routing 0): keeps the addressee
// (curmsg.msgtoemail) and the recipient list (curmsg.emaillist) to
// single mailboxes, as written or in angle brackets. Those that are not,
// and those beyond ExportMaxTo (m.overlimit), are refused: refusals
// receives why (for refuseexport). An addressee that is refused sets
// m.addresseerefused: the To line then holds the address lines'
// recipients alone. Returns false when nobody is left to send the message
// to (it is not sent).
bool checkrecipients(exportmsg& m, std::vector<exportrefusal>& refusals);
