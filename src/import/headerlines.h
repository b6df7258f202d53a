// The header of an Internet message, one logical line at a time, and the
// table that files each known header field into the current message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "import/rangereader.h"

// Size of the buffer that holds one logical line, its terminator included:
// a longer line is handed on in pieces of at most MAXLOGICALLINE bytes.
constexpr std::size_t LINEBUFSIZE = 32767;
constexpr std::size_t MAXLOGICALLINE = LINEBUFSIZE - 1;

// Reads the next logical header line into line: its continuation lines
// (those beginning with a blank, tab, vertical tab or form feed) folded in,
// every run of white space made one space, none at either end. Returns 1
// when a line was read - an empty one ends the header block - and 0 when
// the message has no more bytes.
int readheaderline(rangereader& in, std::string& line);

// Files one logical header line into curmsg when its field is one the
// gateway keeps (From, Reply-To, To, Cc, Bcc, X-Comment-To, X-From, Sender,
// Subject, Date, Message-ID, Organization, In-Reply-To, References,
// Newsgroups, X-MailPassword, and the marks of the gateway's own output:
// X-MailConverter, X-MailServer, X-Cron-Env, Path; names ignore case).
// Reads curmsg.areaname for Newsgroups. Returns 1 when the line was used,
// 0 when not.
int parseheaderline(std::string_view line);
