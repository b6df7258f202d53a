// Who an exported message is from when its text names a sender itself: a
// "From:" address line at the top of the text is taken only where the
// gateway can vouch for it, so that no FidoNet node can send in someone
// else's name. Vouched for are an address that AddrMap gives the sending
// node itself (an entry with a name: to the user of that name at the
// node), and any address in a message from a node that TrustFrom
// names (without TrustFrom lines: the gateway's own address and the system
// it serves, the first AddrMap entry). Any other is kept as the Reply-To
// of a message that goes out from the address the gateway builds for the
// sender; the log says so.
#pragma once

#include <string_view>

#include "base/fidoaddr.h"
#include "export/exportmsg.h"

// Whether the gateway vouches for mailbox as the sender of a message
// from the user name at the node from.
bool vouchedfrom(const fidoaddr& from, std::string_view name, std::string_view mailbox);

// Before the sender is chosen: a vouched "From:" line (m.claimedfrom)
// becomes curmsg.msgfromemail; another is noted in m.unvouchedfrom; one
// that is no single mailbox is left out (logged).
void takefromline(exportmsg& m);

// After the sender is chosen: an address the gateway could not vouch for
// becomes the Reply-To (curmsg.msgreplyemail), logged.
void replytounvouched(const exportmsg& m);
