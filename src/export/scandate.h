// The QuickScan date file "pondlark.dat" in NetmailDir: 8 bytes, a 32-bit
// little-endian word 0 and the time the last scan started (seconds since
// 1970-01-01 00:00 UTC). Messages not changed since then need not be read.
#pragma once

#include <ctime>
#include <string>

constexpr char SCANDATEFILE[] = "pondlark.dat";

// The scan date to use in netdir, and the start of this scan recorded for
// the next run (also under /test). 0 (scan every message) without
// QuickScan, without a readable file, or when its first word is not 0.
// The file is replaced only when the new one was written completely
// (a failure is reported; the next run scans from the old date).
std::time_t quickscandate(const std::string& netdir);
