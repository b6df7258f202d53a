// Reading list files line by line. The list file is plain text with line
// feeds; carriage returns before them are tolerated wherever a line's
// content matters.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Line pieces of the keyword section: at most this many characters are
// taken at a time, the rest of a longer line is read as the next line.
constexpr std::size_t LISTPIECE = 254;

// Reads the next line of f into line, including its line feed when it has
// one, but at most max characters. Returns 1 when something was read, 0 at
// the end of the file, -1 when reading failed.
int readlistline(std::FILE* f, std::string& line, std::size_t max = std::string::npos);

// Removes every trailing line feed and carriage return.
void stripeol(std::string& line);

// True for a live record's marker line as it must be read back: "+" and a
// line feed, with an optional carriage return before it.
bool islivemarker(std::string_view line);

// The value of a decimal number at the start of text, as the usual decimal
// conversion reads it (leading white space, a sign, digits; 0 when there is
// no number); values beyond the range of int are clamped.
int decimalvalue(std::string_view text);
