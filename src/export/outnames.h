// Names in the mailer's Binkley-style outbound. The files for an address
// lie in OutboundDir (or, for another zone than BaseZone, in a zone folder
// beside it named like it with ".%03X" added), named "%04X%04X" after net
// and node; a point's files lie in the folder "%04X%04X.PNT" under the name
// "%08X". The extension tells the flavour and the kind.
//
// Mailers on Linux often write all of these names in lower case, so every
// look-up ignores the letter case; the names are used as found.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/fidoaddr.h"

// One flavour of queued mail: the mail packet's and the flow file's
// extensions.
struct flavour {
    const char* pktext;
    const char* flowext;
};

// normal, crash, direct, hold: in the order they are exported.
inline constexpr flavour FLAVOURS[] = {
    {".OUT", ".FLO"}, {".CUT", ".CLO"}, {".DUT", ".DLO"}, {".HUT", ".HLO"}};
// The hold flavour, exported only with ExportAllMail.
inline constexpr std::size_t HOLDFLAVOUR = 3;

// The busy flag: while it exists the files of its base name are in use.
inline constexpr char BUSYEXT[] = ".BSY";

// A place where an address's files may lie: the folder (ending in "/")
// and the base name within it, in the case the mailer wrote them.
struct outbase {
    std::string dir;
    std::string stem;
};

// The base name of addr built from OutboundDir and BaseZone, in upper
// case (for example out.002/01180015 or out/01180015.PNT/00000001).
std::string outbasename(const fidoaddr& addr);

// Every existing folder that holds addr's files, whatever the letter case
// of the zone and point folders, each with addr's base name (upper case;
// look-ups in the folder ignore case). Reads cfg.outdir and cfg.basezone.
std::vector<outbase> findoutbases(const fidoaddr& addr);

// The names among names that equal want, ignoring case, in listing order.
std::vector<std::string> matchnames(const std::vector<std::string>& names, std::string_view want);
