// The FidoNet character sets that imported text is written in: one for all
// areas ("FidoCharSet") and one per area or area prefix ("AreaCharSet").
#pragma once

#include <string>
#include <string_view>

#include "base/fixedtext.h"

constexpr std::size_t MAXAREACHARSET = 2048;

struct fidocharsetdef {
    text128 area;            // upper case, a trailing "*" matches a prefix; empty for FidoCharSet
    text32 identifier;       // the CHRS identifier ("CP437", "CP866", "UTF-8")
    int level = 0;           // the CHRS level written after it; 0: not set
    std::string icuname;     // the character set ICU converts it by

    bool set() const { return level != 0; }
    // The CHRS kludge value: identifier, a blank, the level.
    std::string chrs() const { return identifier.str() + " " + std::to_string(level); }
};

// The FidoNet character set for a FidoNet area (NETMAIL for netmail): the
// AreaCharSet entry naming the area exactly, else the one with the longest
// prefix that matches, else FidoCharSet, else null (text is only labelled,
// through CharSetMap). Reads `tables.areacharset` and `cfg.fidocharset`.
const fidocharsetdef* fidocharsetfor(std::string_view fidoarea);

// Whether any FidoCharSet or AreaCharSet is configured: import then reads
// MIME as a tree and converts text (see import/mimetree.h).
bool fidocharsetsconfigured();
