// The end of every FidoNet message that import writes (tear line, origin,
// Via or SEEN-BY/PATH, the terminating zero byte) and the note that
// reports a file found encoded inside the Internet message.
#pragma once

#include <cstdio>
#include <string_view>

// Attachment encodings and what happened to the file (the AttachMail /
// AttachNews actions).
enum fileencodings { FILEENC_MIME = 0, FILEENC_UU = 1 };
enum fileactions { FILEACT_IGNORED = 0, FILEACT_DECODED = 1, FILEACT_KILLED = 2 };

// Closes the message (or message part) in the packet f. kind is the message
// category (0 netmail gets a Via line, 1 and 2 echomail SEEN-BY and PATH).
// Reads `cfg`, `curmsg` and the clock. Returns 0, or -1 when the write failed.
[[nodiscard]] int writemsgbottom(int kind, std::FILE* f);

// Reports one file found encoded in the current message: a log line and,
// unless the file stayed in the text or noinline is set, a bracketed line in
// the message text in f. An empty decoded file is deleted instead, and
// nothing is reported. path is the file on disk, name the name shown;
// autoname marks a file stored under another name than announced. Does
// nothing when the attachment setting of `curmsg.msgtype` is "ignore".
// Counts `stats.filecount`. Returns 0, or -1 when the write to f failed.
[[nodiscard]] int writefileinfo(std::string_view path, std::string_view name, int autoname,
                                int encoding, int action, long size, int noinline, std::FILE* f);
