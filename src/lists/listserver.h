// The mailing-list server: commands and postings that import hands over.
#pragma once

#include <cstddef>
#include <cstdio>

enum listcommands { LISTCMD_NONE = 0, LISTCMD_SUBSCRIBE = 1, LISTCMD_UNSUBSCRIBE = 2,
                    LISTCMD_CHANGEPASS = 3 };

// Carries out a command of the current message's sender on list number
// list (an index into lists.listconfig) and answers it from the list's
// templates through the mail reply file. Returns 0, or -1 when a change or
// reply could not be written (the caller keeps its input).
[[nodiscard]] int processlistcommand(std::size_t list, int command);

// Handles a posting whose body lies in msgfile between bodystart and msgend.
// Returns 1 when it was handled as a member's posting (distributed; the
// caller also gates it into the list's area, if any), 0 when a template
// was sent instead, -1 when the distribution or reply could not be written.
[[nodiscard]] int sendlistmessage(std::size_t list, std::FILE* msgfile, long bodystart,
                                  long msgend);
