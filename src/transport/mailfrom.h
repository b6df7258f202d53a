// Who mail from the gateway is from on the wire. The SMTP envelope sender
// (MAIL FROM, where bounces go and what SPF checks) is never an address a
// FidoNet user typed: it is the reply's "Sender:" (which only the gateway
// writes: a mailing list's own address) or else the BounceAddress. A
// message whose From is another address gets "Sender: <BounceAddress>",
// so that a reader sees who sent it on the author's behalf.
#pragma once

#include <string>
#include <string_view>

// The envelope sender of a reply with this header: its Sender: address,
// else bounce.
std::string envelopesender(std::string_view header, std::string_view bounce);

// The header (as outgoingheader() makes it) with "Sender: <bounce>" added
// after its From line when it has no Sender line and its From address is
// not bounce; else the header unchanged.
std::string withsender(std::string_view header, std::string_view bounce);
