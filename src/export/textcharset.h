// The character sets of an exported message: the one its FidoNet text is
// written in, and the one its Internet text goes out in.
//
// With "FidoCharSet" or "AreaCharSet" for the message's area the text is
// converted: read in the message's own charset (its CHRS, CHARSET or
// CODEPAGE kludge, else the area's), sent in "InternetCharSet". Without
// them it is only labelled, through "DefCharSet" and "CharSetMap".
#pragma once

#include <string>
#include <string_view>

#include "export/exportmsg.h"

// Fills curmsg.rfccharset and, for a converted message, m.convert and
// m.sourcecharset. Reads curmsg (fidocharset, fidoareaname), m (the
// CHARSET and CODEPAGE kludges), cfg and tables.
void choosecharset(exportmsg& m);

// The charset a FidoNet kludge names (a CHRS, CHARSET or CODEPAGE value:
// "IBMPC 2", "IBMPC#2", "LATIN-1", "866"), as ICU names it; empty when it
// names none.
std::string kludgecharset(std::string_view value);

// The charset 8-bit FidoNet text of the message is in, for a header value
// or a name: the source of a converted message; else the label when it can
// hold 8-bit text; else what the text itself looks like (UTF-8 or
// windows-1252).
std::string fidotextcharset(const exportmsg& m, std::string_view text);

// A value of FidoNet text (a name, a subject) in UTF-8.
std::string fidotextutf8(std::string_view text, const exportmsg& m);

// Appends a header value of FidoNet text to h: ASCII as it stands; else
// encoded words, in UTF-8 for a converted message and in the labelled
// charset otherwise. spot: SPOT_TEXT or SPOT_PHRASE (mime/headerencode.h).
void appendfidotext(std::string& h, std::string_view value, const exportmsg& m, int spot);
