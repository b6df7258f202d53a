// Unique names for the files the gateway creates in directories that other
// programs read and empty. No counter survives a run: the first name of a
// kind is found by trying numbered names from zero until one is free.
// Within a run every generator remembers, per base name (folder, prefix
// and suffix, or the name a changed one is made from), the name it gave
// last, and the next search for that base starts there: a name costs a
// test or two however many were given before, so a message with thousands
// of files of one name, or a run with thousands of areas, takes time in
// proportion to them. A name given and then not used (or removed again) is
// given again, since the search tests it first; only names below the last
// one given are passed over.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// 1 when the path exists (any kind of entry), else 0.
int exist(const std::string& path);

// Whether a name is taken. The generators below test names with exist
// unless given another test: one that also counts names already chosen
// for files not created yet.
using nametaken = std::function<bool(const std::string&)>;

// The first free name prefix + 8 upper-case hex digits + suffix into out
// (for example 0000001F.PKT); returns its number.
unsigned long genfname(std::string_view prefix, std::string_view suffix, std::string& out);
unsigned long genfname(std::string_view prefix, std::string_view suffix, std::string& out,
                       const nametaken& taken);

// genfname trying numbers from first on: for a caller that found every
// name below first taken earlier in the run and removed none of them.
unsigned long genfnamefrom(std::string_view prefix, std::string_view suffix, std::string& out,
                           unsigned long first);
unsigned long genfnamefrom(std::string_view prefix, std::string_view suffix, std::string& out,
                           unsigned long first, const nametaken& taken);

// The first free name prefix + base + 4 upper-case hex digits + suffix into
// out (for example MAIL0003.MSG); returns its number, or -1 when all 65536
// names are taken (out then holds the last name tried).
long genfnamebase(std::string_view prefix, std::string_view base, std::string_view suffix,
                  std::string& out);

// Changes the last characters of path, odometer-like, until it names no
// existing entry. 0 when a free name was reached, non-zero when it gave up.
int renfname(std::string& path);
int renfname(std::string& path, const nametaken& taken);

// When the file-name part of path (starting at namepos) holds a "*",
// replaces it with the first free "%08lX.<ext>" name and returns 1;
// otherwise returns 0 and leaves path alone.
int starname(std::string& path, std::size_t namepos);
int starname(std::string& path, std::size_t namepos, const nametaken& taken);

// The names given while a draft is open are given again after it: the
// parse pass of import names the files of a message without making them,
// and the write pass must give them the same names. Drafts do not nest.
void beginnamedraft();
void endnamedraft();

// Forgets every name given (a new run, or a test).
void forgetnames();

// Copies src to dst (created or truncated) through a buffer of bufsize
// bytes. Returns the number of bytes copied, or -1 when src cannot be
// opened, dst cannot be created, or a read, write or close fails.
long fcopy(const std::string& src, const std::string& dst, std::size_t bufsize);
