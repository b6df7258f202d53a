// The serial of a FidoNet message that has no MSGID: made from what
// identifies the message, so that the same message exported twice gets
// the same Message-ID and two messages that differ get different ones.
//
// Hashed: the origin address (after INTL and FMPT), the date field as
// written, the from-name, the to-name, the subject, the AREA and address
// lines at the top of the text, and the first bytes of the text after
// them, less kludge and SEEN-BY lines (which the systems a message passes
// through add to and change).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "export/pktinput.h"

// Bytes of the text after the top lines that count.
constexpr std::size_t SERIALTEXTBYTES = 512;

// A running 64-bit FNV-1a hash.
struct serialhash {
    std::uint64_t h = 14695981039346656037ull;
    // Folds one field in, with its length, so that no two different
    // sequences of fields fold alike by moving a byte between them.
    void field(std::string_view s);
};

// Folds the first SERIALTEXTBYTES bytes of the text from the input's
// position (up to its zero) into h, less kludge and SEEN-BY lines, and
// goes back to where it began. Returns 0, or -1 when the input cannot be
// positioned.
[[nodiscard]] int foldtextstart(pktinput& in, serialhash& h);

// The serial: h with the origin address, date field, names and subject of
// curmsg folded in, as 32 bits; never 0 (a serial of 0 means none).
std::uint32_t messageserial(serialhash h);
