// pondlark status [/json] [/config=<file>]: what waits and for how long,
// for the sysop and for cron. It reads the configuration and the
// gateway's own files and changes nothing, so that it can run at any time,
// also while another run works on the SOUP folder.
//
// It tells: the replies waiting to be sent, by kind, and the oldest; the
// replies refused for good (SoupDir/rejected/); the replies a server put
// off, each with its recipients, since when and its last answer; what is
// staged but not imported (message files AREAS names) and what waits in
// the Maildirs and news-batch folders; the bounces written today; the last
// run of each command with its time and result; an interrupted run whose
// journal waits for recovery; the sizes of the history and the journal.
//
// Exit status: 0 when all is well; 1 when something waits longer than
// WarnHours or the last run of a command failed (or was interrupted); 2
// when the configuration fails its check or a folder is missing or not
// writable.
#pragma once

// Runs the command with the arguments after its word (run.progpath set).
// Returns the exit status. Writes the report to standard output, problems
// with the configuration to standard error.
int runstatus(int argc, char** argv);
