// Character sets: the names the Internet and FidoNet give them, conversion
// between them through Unicode, and cutting text at a character boundary.
//
// Names are looked up and converted by ICU. The converters it opens are kept
// for the run (a handful at most), so that a conversion costs no set-up after
// the first. Pure ASCII text never reaches ICU: callers test it with
// isplainascii first, and the conversions below return such text unchanged
// for every charset that agrees with ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Whether ICU knows name as a character set (any of its aliases, quotes
// around it and case ignored). Empty names are unknown.
bool charsetknown(std::string_view name);

// Whether ICU knows name as a character set whose bytes that look like
// ASCII are not always ASCII: a stateful set (UTF-7, ISO-2022-*, HZ, SCSU,
// BOCU-1), UTF-16 and UTF-32, EBCDIC. Text in it can hide line ends and
// lines of one "." from whatever reads its bytes as ASCII; it is never sent
// as it is.
bool hidesascii(std::string_view name);

// ICU's own name of a character set (for example "ibm-437_P100-1995" for
// "cp437" or "IBM437"), so that two names can be compared; empty when unknown.
std::string canonicalcharset(std::string_view name);

// The name to write into a MIME header for a character set known to ICU:
// its preferred MIME name ("ISO-8859-1", "IBM866", "UTF-8"), else its IANA
// name, else ICU's; empty when unknown.
std::string mimecharsetname(std::string_view name);

// Whether a known set keeps ASCII as it is, whatever came before: every
// byte below 0x80 is the same ASCII character in any state and no
// character needs more than its bytes. Only such a set may be the one
// FidoNet text is written in: in UTF-16, UTF-32, UTF-7, ISO-2022, EBCDIC
// and the like, chosen characters are any bytes, control bytes included.
// False for an unknown name.
bool asciisafecharset(std::string_view name);

// Whether a known set is US-ASCII (under any of its names).
bool isasciicharset(std::string_view name);

// Whether a known set is UTF-8.
bool isutf8charset(std::string_view name);

// The bytes 0x80..0x9F that a single-byte set reads as C1 controls (bit 0
// for 0x80): all of them in the ISO 8859 sets, none in the DOS code pages.
// 0 for other and unknown sets.
std::uint32_t charsetc1bytes(std::string_view name);

// ---------------------------------------------------------------- FidoNet

// The character set that a FidoNet CHRS identifier stands for (the level,
// if given after a blank, is ignored; case is ignored): the table of
// identifiers ("IBMPC", "CP437", "CP850", "CP866", "+7_FIDO", "LATIN-1",
// "LATIN-2", "KOI8-R", "CP1251", "MAC", "UTF-8", ...) gives ICU's name; an
// identifier that is no table entry but a name ICU knows ("ISO-8859-5")
// stands for itself. Empty when neither.
std::string fidocharsetname(std::string_view identifier);

// The same character set under the name a MIME header uses ("IBM437" for
// "IBMPC", "IBM866" for "+7_FIDO", "ISO-8859-1" for "LATIN-1"); empty when
// the identifier is unknown.
std::string fidotointernet(std::string_view identifier);

// The identifier as FidoNet writes it: the table's spelling ("cp437" gives
// "CP437"), or an identifier ICU knows in upper case; empty when unknown.
std::string fidoidentifier(std::string_view identifier);

// The usual level of an identifier: 1 for ASCII, 4 for UTF-8, 2 for the
// other table entries and for identifiers ICU knows; 0 when unknown.
int fidocharsetlevel(std::string_view identifier);

// The CHRS value ("identifier level") FidoNet uses for a character set
// given by any name ICU knows: "LATIN-1 2" for "iso-8859-1", "CP866 2" for
// "ibm866", "CP437 2" for "cp437", "UTF-8 4" for "utf8". Empty when the set
// has no FidoNet identifier or is unknown.
std::string chrsforcharset(std::string_view name);

// ------------------------------------------------------------- conversion

// True when text holds no byte above 127.
bool isplainascii(std::string_view text);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF).
bool isvalidutf8(std::string_view text);

// The character set of 8-bit text that names none: "UTF-8" when it is
// valid UTF-8, else "windows-1252" (what unlabelled 8-bit mail nearly
// always is).
std::string_view guesscharset(std::string_view text);

// Converts text from the character set from into the character set to and
// appends the result to out. Byte sequences that are invalid in from become
// U+FFFD. A character that to cannot hold is transliterated by ICU
// (Cyrillic, Greek and other scripts to Latin letters, accents dropped,
// typographic quotes and dashes to ASCII, "TM" for the trade mark sign),
// never more than four characters for one; what even that cannot express
// (the euro sign in CP437) becomes "?", and so does a character that the
// target writes as a control byte without being a control (the pictures
// that the DOS code pages give the bytes 0x01..0x1F: never 0x01 for a
// smiley). Control characters stay what they are. Text is
// brought to Unicode's composed form first, so that a letter and its accent
// sent apart still meet the target's precomposed letter. Returns 0, or -1
// when either character set is unknown (out is then left unchanged).
[[nodiscard]] int convertcharset(std::string_view text, std::string_view from,
                                 std::string_view to, std::string& out);

// Text that ICU would only read and write character by character (from a
// single-byte set or well-formed UTF-8 into UTF-8 or a single-byte set,
// already in composed form) is converted through tables read from ICU's
// converter once per set, and only the characters the target lacks are
// transliterated. Tests switch the tables off (process-wide; on by
// default) to compare the two ways.
void allowcharsettables(bool on);

// For tests: the byte the tables of a single-byte set write a character
// as; -1 when the set does not hold it (it is transliterated), -2 when the
// set has no tables (unknown, or not single-byte).
int charsettablebyte(std::string_view charset, char32_t c);

// The two halves of the same: into UTF-8, and out of it.
[[nodiscard]] int toutf8(std::string_view text, std::string_view from, std::string& out);
[[nodiscard]] int fromutf8(std::string_view utf8, std::string_view to, std::string& out);

// How many bytes of text, at most max, end at a character boundary of
// charset: a UTF-8 sequence (and a character of any other multi-byte set)
// is never cut; single-byte sets are cut at max. An unknown or empty
// charset is treated as UTF-8 where the text is valid UTF-8, else as
// single-byte.
std::size_t charsetcut(std::string_view text, std::size_t max, std::string_view charset);

// Whether text may be cut at offset pos (0 < pos < size) without splitting
// a character of charset (same reading of charset as charsetcut).
bool ischarboundary(std::string_view text, std::size_t pos, std::string_view charset);
