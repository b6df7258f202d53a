// The one way every part of the gateway reports progress and problems.
#pragma once

#include <string>

// Formats like printf and writes the text to standard error and, while the
// log is open (run.logf), to the log file. No prefix or time stamp is added;
// callers supply their own "\n". Any length is accepted. The format is the
// program's own; what the arguments of %s and %c bring (names, subjects,
// addresses, server replies, file names) is escaped on the way
// (base/termsafe.h), so that no argument can end a log line, forge
// another or reach a terminal as a control.
void logprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes text to standard error only (screen-only notes), escaped alike.
void screenprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The text logprintf writes for fmt and its arguments.
std::string logformat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The percentage of a long step, shown only when standard error is a
// terminal: "NN%" on a line of its own, overwritten as it grows; the next
// text written to standard error (logprintf, screenprintf) first clears it.
// Nothing at all goes to a pipe or a file (cron mail, a redirected run).
void showprogress(int percent);

// Clears the progress line when one is shown.
void endprogress();

// Opens run.logf for appending (when a log file is configured), writing the
// empty separator line and the run header line. A log that cannot be opened
// is no error: the run goes on without it.
void openlog(const std::string& path);

// Closes run.logf if it is open.
void closelog();

// The last words of a run that ran out of memory: "Error: not enough
// memory" on standard error and in the log, which is then flushed and
// closed, so that everything logged up to then stays. Allocates nothing.
void logoutofmemory();
