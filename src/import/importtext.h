// The conversion of one Internet message into the text of one or more
// FidoNet messages, in two passes over the same bytes of its message file:
// the parse pass fills the current message and counts the parts the
// message will need; after classification the write pass writes the packed
// header, the header lines kept as kludges, an information block, the body
// and the trailer, splitting at ImportLimit. Both stream the message line
// by line; nothing of it is held in memory as a whole.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "import/classify.h"
#include "import/rangereader.h"

// The count pass runs between the two when the parse pass could not know
// what the write pass will write (see needcountpass): it makes the write
// pass's decisions, writes nothing and only counts `parts` again.
enum importmodes { IMPORT_PARSE = 0, IMPORT_WRITE = 1, IMPORT_COUNT = 2 };

// A header line is written as kludges of at most this many characters (the
// first) and continuation kludges of CONTKLUDGEWIDTH; a body line in lines
// of at most BODYWIDTH.
constexpr std::size_t KLUDGEWIDTH = 78;
constexpr std::size_t CONTKLUDGEWIDTH = 76;
constexpr std::size_t BODYWIDTH = 255;

// One pass over one message.
struct importpass {
    int mode = IMPORT_PARSE;
    msgverdict& verdict;           // read; the parse pass may set junkcategory to JUNK_BODY
    std::FILE* msgfile = nullptr;  // the SOUP message file
    std::FILE* packet = nullptr;   // the open packet (write mode)
    msgrange range;                // the message's bytes
    long bodyoffset = 0;           // set by the parse pass: where the body begins
    int readfailed = 0;            // set when the message could not be read whole
    filewindow* window = nullptr;  // the message file's shared read-ahead block, if any
    int sawfiles = 0;    // set by the parse pass: an encoded file began
    int sensitive = 0;   // set by the parse pass: some text it counted may change in writing
    int assumedcategory = CAT_EMAIL;  // the StripKludges entry the parse pass counted with
    // Set by the write pass when it failed for the message itself rather
    // than for a write (which may work at the next run): its text grew
    // beyond MAXGROWTH times its size. The message cannot be finished; the
    // driver sets it aside.
    int unfinished = 0;
};

// The text of a message written into the packet may grow to this many
// times its size, and GROWTHROOM bytes more: far beyond what any
// conversion makes (transliteration, quoting, the information block, the
// split into parts), so that only a fault would reach it.
constexpr long MAXGROWTH = 16;
constexpr long GROWTHROOM = 64 * 1024;

// Whether the parts that the parse pass p counted may differ from what the
// write pass will write with the verdict v (its category, truncation text,
// junk or character set), so that a count pass must count them again.
// Reads `cfg.importlimit`.
bool needcountpass(const importpass& p, const msgverdict& v);

// Runs one pass. Parse mode resets and fills `curmsg` (header fields,
// quoted author, `parts`, the file-attach list, `alreadyfromto`); count mode
// sets `parts` only (the file-attach list stays as the parse pass left it);
// write mode
// writes the message into p.packet unless it is ignored, and decodes its
// files. Reads `cfg` (cfg.importlimit as lowered for the run) and `tables`.
// Returns 0, or -1 when the message could not be read (p.readfailed) or a
// write to the packet or a decoded file failed.
[[nodiscard]] int processimport(importpass& p);

// How many characters of rest go into a line of at most width: all when
// they fit, else up to and including the last character that is not a
// letter or digit among the characters 33 to width, else width. In UTF-8
// text (utf8) the bytes of other characters count as letters, and a cut at
// the full width backs off to the start of a character.
std::size_t chunklength(std::string_view rest, std::size_t width, bool utf8 = false);
