// Message-IDs of messages that leave the gateway.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/fidoaddr.h"

// The Message-ID for an Internet-style id (put in angle brackets unless it
// already has them) or, when id is empty, for a FidoNet serial and origin
// address: "<serial@p.f.n.z.domain>" under the zone's gateway domain, or
// "<serial@domain>" under a plain one. A zone whose FidoDomain text is a
// whole address gets the p.f.n.z form under the default FTN domain.
std::string msgidtext(std::string_view id, std::uint32_t serial, const fidoaddr& addr);

// Writes msgidtext() and a line feed to f; 0, or -1 when the write failed.
[[nodiscard]] int msgidprint(std::FILE* f, std::string_view id, std::uint32_t serial,
                             const fidoaddr& addr);
