// The mailing-list server: commands and postings that import hands over.
#pragma once

#include <cstddef>
#include <cstdio>

enum listcommands {
    LISTCMD_NONE = 0,
    LISTCMD_SUBSCRIBE = 1,
    LISTCMD_UNSUBSCRIBE = 2,
    LISTCMD_CHANGEPASS = 3
};

// Carries out a command of the current message's sender (curmsg.msgfromemail,
// .msgfromname, .msgsubj with the password words) on list number list (an
// index into lists.listconfig) and answers it from the list's templates
// through the mail reply file (lists/listtemplate.h). A membership change
// is written at once to the list file and its index, so later messages of
// the run see it. Returns 0, or -1 when a change or reply could not be
// written (reported; nothing was changed, the caller keeps its input and
// a later run handles the message again without doubling anything).
[[nodiscard]] int processlistcommand(std::size_t list, int command);

// Handles a posting whose body lies in msgfile between bodystart and msgend:
// a member's posting goes to every member that is not black-listed as one
// message in the mail reply file; others get a template. Reads curmsg and
// cfg.organization. Returns 1 when it was handled as a member's posting
// (distributed; the caller also gates it into the list's area, if any), 0
// when a template was sent instead, -1 when the distribution or reply could
// not be written (reported; nothing was sent, the caller keeps its input).
[[nodiscard]] int sendlistmessage(std::size_t list, std::FILE* msgfile, long bodystart,
                                  long msgend);
