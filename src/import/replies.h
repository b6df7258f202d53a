// The outbound SOUP packet: reply message files and their REPLIES index.
//
// Export and the mailing-list server leave Internet messages for the client
// in reply message files (MAIL0000.MSG, NEWS0000.MSG, ...), one slot per
// reply kind. A file receives messages until it is registered by a line in
// REPLIES; from then on it belongs to the client and is never written again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"
#include "base/fixedtext.h"

constexpr char REPLIESNAME[] = "REPLIES";  // outbound index, in the SOUP directory

enum replykinds { REPLY_MAIL = 0, REPLY_NEWS = 1 };
inline constexpr const char* TYPENAME[2] = {"mail", "news"};
inline constexpr char FORMATTYPE[2] = {'b', 'B'};  // SOUP format letter of reply files

// One reply kind's current file. The file stays open from the first
// message appended to it until the slot moves on: a run appends thousands
// of messages, and opening, seeking and closing for each would cost more
// than writing them. Every message is flushed to the file before it counts.
//
// The file is registered in REPLIES as soon as its first message is
// complete, before the input that message came from can be consumed: a
// registration left for the end of the run could fail on a full disk after
// the inputs were gone, and their mail would sit in a file the client never
// sends. Later messages of the run join the registered file.
// A line this run wrote into REPLIES.
struct registration {
    std::string path;  // the reply file it registers
    std::string line;  // the line as written
    long at = -1;      // where it begins in REPLIES; -1: not registered
};

struct replyslot {
    pathtext replyfile;             // the file being filled; empty before genreplyfile
    std::uint16_t replyfileno = 0;  // its 4-hex-digit number
    int newmsg = 0;                 // messages appended since the slot last moved on
    fileptr file;                   // replyfile, open while messages are appended
    long end = 0;                   // its length after the last complete message
    bool created = false;           // this run created replyfile
    std::string held;               // the text of a held record (see openreplyheld)
    registration reg;               // its REPLIES line, once it has one
};

struct replyslots {
    replyslot slot[2];  // indexed by reply kind
    // While a mark is open (markreplies): the files registered since whose
    // slots have moved on (with SeparateMSG every message has its own).
    bool marking = false;
    std::vector<registration> movedon;
    replyslot& operator[](int kind) { return slot[kind]; }
};

extern replyslots replies;

// Closes the kind's file, and moves the slot on to the next free name (SOUP
// directory + "MAIL"/"NEWS" + 4 hex digits + ".MSG"; not created yet) when
// the file received messages (they are registered in REPLIES already) or
// the slot had no name. Reads cfg.soupdir; writes replies[kind]. Returns
// the kind.
int genreplyfile(int kind);

// One reply message being appended: open it, write its text (into f, or
// through replyappend for a held record), then close it (or abort it). At
// most one may be open at a time.
struct replymsg {
    std::FILE* f = nullptr;  // the reply file, positioned for the message text
    int kind = REPLY_MAIL;
    long start = 0;  // where the message's record begins
    std::string path;
    bool held = false;  // the text is held in replies[kind].held, not yet in f

    replymsg() = default;
    replymsg(const replymsg&) = delete;
    replymsg& operator=(const replymsg&) = delete;
    // A message neither closed nor aborted is dropped (as abortreply).
    ~replymsg();
};

// Opens (or creates) the reply file of the kind, appends the record's
// length placeholder and leaves h.f ready for the message text. Reads
// replies[kind]; returns 0, or -1 (reported) when the file cannot be used.
[[nodiscard]] int openreply(int kind, replymsg& h);

// The same for a record whose text goes through replyappend: while it is
// shorter than a limit (1 MiB) it is held in memory and written with its
// length in one piece by closereply - one write instead of a flush, a seek
// and a write back of the length. A longer one goes on into f as openreply's.
[[nodiscard]] int openreplyheld(int kind, replymsg& h);

// Appends text to the record (into f for one opened by openreply). Write
// errors show in f's error flag, which closereply checks.
void replyappend(replymsg& h, std::string_view text);

// Completes the record: flushes it to the file, fills in its length,
// registers the file in REPLIES if this is its first message, counts the
// message in replies[kind].newmsg and, with SeparateMSG, moves the slot on
// at once. Returns 0; or -1 (reported) when any write or flush failed or
// REPLIES could not be written ("Error: can't append to %s\n"): then the
// file is cut back to where it was (removed when it holds nothing else
// this run made), nothing is counted, and the caller must keep its input.
[[nodiscard]] int closereply(replymsg& h);

// Drops the message being written: the file is cut back to where it was.
// Harmless on a closed handle.
void abortreply(replymsg& h);

// The length of the kind's current reply file (what complete messages
// occupy), or -1 when it does not exist yet.
long replyfilesize(int kind);

// Where the reply slots stand, so that what is appended afterwards can be
// taken back: a unit of input (a SOUP message file, a FidoNet packet) that
// is kept for the next run must leave no reply behind.
struct replymark {
    std::string path[2];      // each slot's file
    long size[2] = {-1, -1};  // its length; -1: it did not exist
    int newmsg[2] = {0, 0};
};

// Opens a mark: notes where the slots stand. A mark ends the one before
// it: what was appended before it will not be taken back.
replymark markreplies();

// Takes back every reply message appended since the mark: a slot's file
// that was current then is cut back to its length then (with no message
// left it goes, and its REPLIES line with it); files begun since go with
// their lines. REPLIES only shrinks, in place. Closes the mark. Returns 0,
// or -1 (reported) when something stays.
[[nodiscard]] int rewindreplies(const replymark& mark);

// Closes the mark: what was appended since stays.
void keepreplies();
