// The envelope recipient of a mail a server delivered into the gateway's
// Maildir. A mail server hands over one copy per recipient of the
// gateway's (Postfix with the settings in the README), each with the
// address it was for in "X-Original-To:" and the address it was delivered
// to in "Delivered-To:". That copy is for that recipient, whichever
// address comes first in its To line: two FidoNet users on one mail each
// get theirs, and the history tells the copies apart by it.
#pragma once

// Reads curmsg.origto and curmsg.deliveredto: the first that names a
// FidoNet user of the gateway (an AddrMap address, an FTN-form address
// under a gateway domain, or a mailing list's address) becomes the mail's
// recipient (curmsg.msgtoemail, the name To or Cc gave it in
// curmsg.msgtoname; the first To address moves into curmsg.emaillist) and
// curmsg.hasenvelope is set. Nothing changes for a mail without one, nor
// for news. Reads the AddrMap, FidoDomain and ListConfig tables.
void applyenvelope();
