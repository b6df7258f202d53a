// Files attached to an exported message, sent as Base64 MIME parts or
// uuencoded blocks after the text.
//
// A FidoNet file attach names its files in the subject, and the message may
// come from anywhere in FidoNet, so a name is trusted only when the local
// system put it in the attachment list (flow file or stored message);
// any other file must lie inside the inbound or the packet directory.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "export/exportmsg.h"
#include "import/replies.h"

// What to do with an attached file once its message has been written.
enum afteractions { AFTER_NONE = 0, AFTER_DELETE = 1, AFTER_TRUNCATE = 2 };

struct attachdone {
    std::string path;  // the file as opened
    int action = AFTER_NONE;
    long entry = -1;  // attachment-list entry to mark done, or -1
};

// Writes one part per file named by the subject words (curmsg.msgsubj) and
// the closing boundary. Files that cannot be opened are passed over; names
// outside the allowed places are refused with a "! ..." line. For every
// file attached, done receives what to do once the message is complete.
// Reads cfg (encodeformat, indir), run.packetdir, curmsg.routing and, with
// flowlistvalid, expstate's attachment list (not changed here). Returns 0,
// or -1 after a read error (reported): the message must not be sent.
[[nodiscard]] int writeattachments(replymsg& out, const exportmsg& m, int flowlistvalid,
                                   std::vector<attachdone>& done);

// After the message was written: marks the list entries done and, unless
// under /test, deletes or truncates the files that asked for it; while
// expstate.holdafter is set (a packet file is being read) that waits in
// expstate.heldafter.
void finishattachments(const std::vector<attachdone>& done);

// Deletes or truncates the files held in expstate.heldafter (act), or
// forgets them when the messages that attached them were taken back.
void releaseattachments(bool act);

// Where a name from a subject may be read: 0 and its real path in resolved
// when it is a regular file inside the inbound or packet directory; 1 when
// no such file exists; 2 when it must be refused (a ".." part, or a file
// elsewhere, also by a symbolic link).
int checkattachpath(const std::string& name, std::string& resolved);

// Bytes of a file per encoded line: 57 for Base64 (76 characters), 45 for
// uuencode.
std::size_t attachlinebytes(int format);

// Appends the encoded lines of n bytes of a file to out, each ended by a
// line feed; format is ENCODE_MIME or ENCODE_UU. Only the last line of a
// file may be short: Base64 pads it with "=", a uuencoded line carries its
// length in its first character.
void encodeblock(const unsigned char* data, std::size_t n, int format, std::string& out);
