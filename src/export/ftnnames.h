// Internet names for FidoNet addresses: the domain configured for a zone,
// and the p.f.n.z form under a gateway domain.
#pragma once

#include <string>
#include <string_view>

#include "base/fidoaddr.h"

// "zone:net/node", with ".point" only for a point: addresses in log lines.
std::string ftnaddrtext(const fidoaddr& addr);

// The domain text of the first FidoDomain entry whose zone range holds zone,
// else "#" followed by the default FTN domain. A text beginning with "#" is
// a gateway domain for the p.f.n.z form; one holding "@" is a whole address.
std::string zonedomain(std::uint16_t zone);

// "p<point>." (only when the point is not 0) followed by
// "f<node>.n<net>.z<zone>.<domain>", with domain given without its "#".
std::string ftnformhost(const fidoaddr& addr, std::string_view domain);

// The gateway's own mailbox in its domain, the SMTP envelope sender when
// no BounceAddress is configured: "pondlark@" and the gateway's address
// (FidoAddr) in the p.f.n.z form under its zone's gateway domain; under a
// plain FidoDomain that domain, and a FidoDomain that is a whole address
// is that address.
std::string gatewaymailbox();
