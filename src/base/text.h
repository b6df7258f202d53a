// Small text helpers shared by every part of the gateway. Comparisons that
// ignore case use the plain single-byte lower-case mapping (POSIX locale).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Single-byte case mapping independent of the locale.
inline int lowerc(int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
inline int upperc(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Compares exactly n bytes after lower-casing each; the difference of the
// first pair that differs, 0 when all n are equal. Stops at the first
// difference, so a shorter text differs at its terminator.
inline int memicmp(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        int ca = lowerc(static_cast<unsigned char>(a[i]));
        int cb = lowerc(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
    }
    return 0;
}

// 1 when needle occurs anywhere in haystack (ignoring case); an empty needle,
// or one longer than the haystack, gives 0.
int substrcmp(std::string_view needle, std::string_view haystack);

// Position of the first whole-word occurrence of word in text (ignoring
// case), or npos. A whole word has no letter, digit or "." right before or
// after it.
std::size_t wordfind(std::string_view word, std::string_view text);

// 1 for a letter, a digit or ".".
int isalnumdot(int c);

// 1 when address matches pattern; local part and domain of the pattern may
// each begin or end with "*".
int emailcmp(std::string_view pattern, std::string_view address);

// Compares the file-name parts (after the last "/") of two paths ignoring
// case: 0 when equal, else the sign of the difference.
int fncmp(std::string_view a, std::string_view b);

// 1 when name is a FidoNet mail file name: a packet (".PK?") or an ARCmail
// bundle such as 0000FFFF.MO1 (a "*" in the name stands for the digits).
int ismail(std::string_view name);

// Index chain of a member address: 1..26 for a leading letter, else 0.
int classifyuser(std::string_view text);

// Equality ignoring case over the whole of both texts.
inline bool strieq(std::string_view a, std::string_view b) {
    return a.size() == b.size() && memicmp(a.data(), b.data(), a.size()) == 0;
}

// True when text begins with prefix, ignoring case.
inline bool istartswith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && memicmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// True when text ends with suffix, ignoring case.
bool iendswith(std::string_view text, std::string_view suffix);

// Removes leading and trailing white space (space, tab, newline, carriage
// return, vertical tab, form feed).
void trim(std::string& s);
void trim(char* s);

// Upper- and lower-cases every letter in place.
void strupr(char* s);
void strupr(std::string& s);
void strlwr(char* s);
void strlwr(std::string& s);

// Replaces occurrences of macro by value ("[unknown]" when value is null) as
// long as the text stays below capacity characters plus its terminator; the
// first replacement that would reach it ends the substitution.
void replacemacro(std::string& text, std::size_t capacity, std::string_view macro,
                  const char* value);

// White space as the header and configuration parsers see it.
inline bool iswhite(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline bool isalphac(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isdigitc(int c) { return c >= '0' && c <= '9'; }
inline bool isalnumc(int c) { return isalphac(c) || isdigitc(c); }
inline bool isxdigitc(int c) {
    return isdigitc(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
