// Message text for a packet is assembled in memory and written in one
// block, so that a failed write is seen once, at one place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/fidoaddr.h"

// Appends the printf-formatted text to out, however long it is.
void pktappendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The pieces every message has, appended without a format string (they are
// written for every message of a run): v in decimal with at least width
// digits ("%0*lu"); v as eight upper-case hexadecimal digits ("%08lX");
// an address as zone:net/node, with ".point" when withpoint is set.
void appenddec(std::string& out, unsigned long v, int width = 0);
void appendhex8(std::string& out, std::uint32_t v);
void appendaddr(std::string& out, const fidoaddr& a, bool withpoint);
