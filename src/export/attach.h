// Files attached to an exported message, sent as Base64 MIME parts or
// uuencoded blocks after the text.
//
// A FidoNet file attach names its files in the subject, and the message may
// come from anywhere in FidoNet, so a name is trusted only when the local
// system put it in the attachment list (a flow file, or a stored message
// written here, with the Local attribute). Any other name may only be a
// file that travelled with the message: a regular file inside the inbound
// or the packet directory (by the name as given, else by its base name
// there), and never a mail packet or bundle, a flow file, a busy flag or a
// work file of the mailer or tosser.
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

// One word of a file attach's subject, as planned before the text is
// written: the file to attach, or why there is none.
struct attachitem {
    std::string word;    // the name as the subject gives it
    std::string path;    // the file to open
    std::string base;    // its name in the part header
    std::string namecharset;  // the charset of a name that is not ASCII
    int action = AFTER_NONE;
    long entry = -1;     // attachment-list entry, or -1
    std::string reason;  // not empty: not attached, for this reason
};

// Works out what every word of the subject (curmsg.msgsubj) attaches,
// logging each file that is refused or missing ("! ..."). Words the source
// sends itself (a packet for the gateway) are left out. Reads cfg (indir),
// run.packetdir, curmsg.routing, expstate (the attachment list, with
// flowlistvalid; the held files).
std::vector<attachitem> planattachments(const exportmsg& m, int flowlistvalid);

// The line of text that tells the reader a file is missing:
// "[file NAME was not attached: reason]".
std::string notattachedline(const attachitem& item);

// Writes one part for every planned file that has no reason against it, and
// the closing boundary. For every file attached, done receives what to do
// once the message is complete. Returns 0, or -1 after a read error
// (reported): the message must not be sent.
[[nodiscard]] int writeattachments(replymsg& out, const std::vector<attachitem>& plan,
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
// elsewhere, also by a symbolic link); 3 when it is a mail packet or
// bundle, 4 a flow file, busy flag or file request, 5 a work file of the
// mailer or tosser (or hidden). A name that is no such file as given is
// looked for by its base name in the inbound, then the packet directory.
int checkattachpath(const std::string& name, std::string& resolved);

// Whether a file's name (its base name, any letter case) marks it as
// FidoNet mail, a mailer's control file or a work file: 3, 4 or 5 as
// checkattachpath() gives them; 0 for any other name.
int mailsystemfile(std::string_view base);

// Bytes of a file per encoded line: 57 for Base64 (76 characters), 45 for
// uuencode.
std::size_t attachlinebytes(int format);

// Appends the encoded lines of n bytes of a file to out, each ended by a
// line feed; format is ENCODE_MIME or ENCODE_UU. Only the last line of a
// file may be short: Base64 pads it with "=", a uuencoded line carries its
// length in its first character.
void encodeblock(const unsigned char* data, std::size_t n, int format, std::string& out);
