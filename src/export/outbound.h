// The mailer's mail as export sources: stored netmail (ArcMail style) and
// the Binkley-style outbound.
#pragma once

#include <string>

#include "driver/fidoaddr.h"

// Exports the stored netmail messages for the gateway and every route.
void msgexport();

// Exports the outbound mail and files queued for addr; synthetic
// file-attach messages are addressed to toname (empty for the gateway).
void binkexport(const fidoaddr& addr, const std::string& toname);
