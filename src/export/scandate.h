// The QuickScan date file "pondlark.dat" in NetmailDir: 8 bytes, a 32-bit
// little-endian word 0 and the time the last scan started (seconds since
// 1970-01-01 00:00 UTC). Messages not changed since then need not be read.
#pragma once

#include <ctime>
#include <string>

constexpr char SCANDATEFILE[] = "pondlark.dat";

// The scan date to use in netdir: 0 (scan every message) without
// QuickScan, without a readable file, or when its first word is not 0.
// started receives the time the scan starts, for recordscandate.
std::time_t quickscandate(const std::string& netdir, std::time_t& started);

// Records the start of a scan that got through for the next run (also
// under /test). A run that is killed or stops on the way leaves the old
// date, so that the next one sees the messages it did not get to. The
// file is replaced only when the new one was written completely (a
// failure is reported; the next run scans from the old date).
void recordscandate(const std::string& netdir, std::time_t started);
