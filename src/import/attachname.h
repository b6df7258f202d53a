// Where a file decoded from an imported message is stored.
//
// The name comes from the network (a MIME name= parameter or a uuencode
// "begin" line) and is never trusted: only its last path component is used,
// an existing file is never overwritten, and nothing is ever written outside
// the inbound or decode directory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

// Longest file name stored as given; a longer one gets a generated name.
// The file is written under its name with ".tmp" appended first, and a
// file name has at most 255 bytes.
constexpr std::size_t MAXATTACHNAME = 251;

struct attachfile {
    std::string path;  // directory + name
    std::string name;  // the name within its directory, as reports show it
    int renamed = 0;   // stored under another name than the one it came with
    int untrusted = 0;  // named like FidoNet mail, from a sender who may not send any
};

// Whether a tosser or mailer would act on a file of this name in its
// inbound: a packet or bundle (".PKT", "0000FFFF.MO1", any ".SU0" ...
// ".SA9" and ".MOA" ...), an outbound packet (".OUT", ".CUT", ...), a flow
// file (".FLO", ".CLO", ...), a file request, busy flag, hold or try file
// (".REQ", ".BSY", ".CSY", ".HLD", ".TRY"), a file-echo ticket (".TIC"), a
// work file (".TMP", ".$$$", ".BAD", ".DUP", ".LCK") or a hidden file.
bool ismailerfile(std::string_view name);

// The part of a given name after its last "/" or "\", with control
// characters made "_". Empty when nothing usable is left: no name, ".",
// "..", or a name longer than MAXATTACHNAME.
std::string safeattachname(std::string_view given);

// Longest name asciifilename makes.
constexpr std::size_t MAXASCIINAME = 64;

// A file name as it came with a MIME part (UTF-8, or 8-bit bytes) made safe
// for FidoNet mail processors and file tools: its last path component only,
// in ASCII (letters transliterated: "Übersicht März 2026.pdf" gives
// "Ubersicht_Marz_2026.pdf"), every character other than letters, digits,
// ".", "-", "+", "_" and "*" (the wildcard of mail bundles) made "_", runs of
// "_" made one, no dot or "_" or "-" in front, at most MAXASCIINAME
// characters with its extension kept. Empty when nothing is left.
std::string asciifilename(std::string_view given);

// Chooses the file for an attachment of the current message (given may be
// empty). News goes to the decode directory; mail to the inbound directory,
// or with "DecodeDir ... ALL" to the decode directory unless it is FidoNet
// mail (`ismail`). A name that a tosser or mailer acts on (ismailerfile)
// is kept so only for mail from a Route node (fromroutenode): from anyone
// else the file gets ".ATT" appended (a leading dot made "_") and goes to
// the decode directory (untrusted). A "*" in the name, a name that exists
// or an unusable name gives another free name; without a name, the first
// free "%08lX.ATT". The file counts as renamed when its name is not the
// last component of given. Paths in chosen count as taken too: files of the same message whose
// names were chosen but that do not exist (yet). Reads `cfg`,
// `curmsg.msgtype` and the directory; creates nothing.
// How a given name is made safe: safeattachname, or asciifilename (MIME
// names).
enum namerules { NAME_SAFE = 0, NAME_ASCII = 1 };
attachfile chooseattachfile(std::string_view given,
                            const std::unordered_set<std::string>& chosen = {},
                            int namerule = NAME_SAFE);

// Adds name to the file-attach subject `curmsg.fname` (names separated by
// single spaces) while it fits in 71 characters; sets `curmsg.isfattach`.
void listattachment(std::string_view name);
