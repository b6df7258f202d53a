// The texts that import takes from Internet header fields (names, subject,
// organisation, header lines kept as kludges): decoded from encoded words
// while the header is parsed, into UTF-8 and whole; converted into the
// FidoNet message's character set once classification knows its area.
//
// Without a FidoNet character set for the area (FidoCharSet, AreaCharSet)
// text is only labelled, as it always was: a field keeps its bytes as
// written, except that what was decoded from encoded words is written in
// the character set the message names (its first charset parameter, the one
// CharSetMap labels it by), or in UTF-8 when it names none.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/fixedtext.h"
#include "import/curmsg.h"

// The text of a header value for a field: encoded words decoded (UTF-8,
// state TEXT_UTF8), else the bytes as they are (TEXT_RAW8 when 8-bit,
// TEXT_PLAIN for ASCII). The whole text goes to ft.full.
std::string decodeheadertext(std::string_view value, int& state);

// Cut to at most max bytes, never inside a UTF-8 character.
std::string_view cututf8(std::string_view text, std::size_t max);

// Decodes value into field (cut to its capacity at a character boundary)
// and, when given, ft.
template <std::size_t N>
void storeheadertext(std::string_view value, fixedtext<N>& field, fieldtext* ft) {
    int state = TEXT_PLAIN;
    std::string text = decodeheadertext(value, state);
    field = cututf8(text, N - 1);
    if (ft) {
        ft->state = state;
        ft->full = std::move(text);
        ft->raw = value;
    }
}

// Chooses the character set of the FidoNet text from the area the message
// goes to (curmsg.fidoareaname; NETMAIL for netmail): with a FidoNet
// character set for it, `curmsg.fidocharset` (the CHRS kludge) names that
// set and text is converted; else the label stays as CharSetMap gave it.
// Sets curmsg.outcharset and curmsg.convertcharset. Reads `cfg`, `tables`.
void choosefidocharset();

// Puts the header-derived fields of curmsg that were decoded from encoded
// words back as they were written (raw), or decoded again: the list
// server's replies and redistributed postings are Internet mail, where
// encoded words belong. Fields that classification changed stay.
void rawheaderfields(bool raw);

// Converts the header-derived fields of curmsg (names, subject,
// organisation, further recipients' names) into curmsg.outcharset and cuts
// them to their capacity at a character boundary of that set.
void convertheaderfields();

// The text of a header line kept as a kludge, as it is to be written:
// encoded words decoded and everything converted into curmsg.outcharset
// (in the parse pass, when that is not known yet, into UTF-8). Returns line
// itself when nothing changes, else a view of buf.
std::string_view headerlinetext(std::string_view line, std::string& buf);
