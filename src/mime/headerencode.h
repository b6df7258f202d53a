// Writing header values that are not ASCII: RFC 2047 encoded words
// ("=?UTF-8?Q?J=C3=BCrgen?="). This is the writing side; reading them is
// mime/encodedword.h.
//
// Every encoded word is at most 75 characters long and holds whole
// characters of its charset only (a word never ends inside a UTF-8
// sequence or a character of another multi-byte set), each in B or Q,
// whichever is shorter for the value. Header lines are folded before a
// word that would take them past 78 characters, never into an empty
// continuation line. Values of printable ASCII are not encoded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest encoded word, and the line length folding keeps to.
constexpr std::size_t ENCODEDWORDMAX = 75;
constexpr std::size_t HEADERLINEFOLD = 78;

// Where a value stands: unstructured text (Subject, Organization), or a
// phrase (the display name before an address), where Q may leave fewer
// characters as they are.
enum headerspots { SPOT_TEXT = 0, SPOT_PHRASE = 1 };

// Appends value to the header line that out ends with (its column counts
// from out's last line feed). A value without bytes above 127 is appended
// as it stands. Otherwise, as unstructured text: the words from the first
// to the last one with such bytes become encoded words in charset (the
// words before and after stay as they are, unless one of them could be
// read as an encoded word itself); as a phrase: all of it. Control
// characters other than the tab (and DEL) become blanks first, so a value
// can never start a header line of its own. A charset that cannot name 8-bit text (empty,
// US-ASCII or no valid token) is replaced by encodedcharset().
void appendencoded(std::string& out, std::string_view value, std::string_view charset,
                   int spot = SPOT_TEXT);

// The charset to name for 8-bit header text that came labelled with
// label: the label when it can hold 8-bit text (under its MIME name when
// ICU knows it), else what guesscharset() makes of the text ("UTF-8" or
// "windows-1252").
std::string encodedcharset(std::string_view text, std::string_view label);

// One run of bytes as encoded words, each preceded by a blank (or by a
// fold when it would not fit on the line); col is the column after out's
// end and is kept up to date. b: B encoding, else Q. For tests and the
// value writer.
void appendencodedwords(std::string& out, std::size_t& col, std::string_view bytes,
                        std::string_view charset, bool b, int spot, bool blankfirst);
