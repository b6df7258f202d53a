// The one way every part of the gateway reports progress and problems.
#pragma once

#include <string>

// Formats like printf and writes the text to standard error and, while the
// log is open (run.logf), to the log file. No prefix or time stamp is added;
// callers supply their own "\n". Any length is accepted.
void logprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes text to standard error only (progress and screen-only markers).
void screenprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Opens run.logf for appending (when a log file is configured), writing the
// empty separator line and the run header line. A log that cannot be opened
// is no error: the run goes on without it.
void openlog(const std::string& path);

// Closes run.logf if it is open.
void closelog();
