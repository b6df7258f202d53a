// Message text for a packet is assembled in memory and written in one
// block, so that a failed write is seen once, at one place.
#pragma once

#include <string>

// Appends the printf-formatted text to out, however long it is.
void pktappendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
