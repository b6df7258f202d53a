// Mailing-list files: the list records read at start-up and their member
// index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t MAXLISTS = 64;

struct listrecord {
    std::string listfile;  // resolved path (the duplicate under /test)
};

struct mailinglists {
    std::vector<listrecord> listconfig;  // at most MAXLISTS
    std::uint32_t msgidcounter = 0;      // makes list reply Message-IDs unique
};

extern mailinglists lists;

// Reads one list file named by a ListConfig line and adds it as the next
// list. Returns 1 when the list was added, 0 otherwise.
int readlist(const std::string& name, long line, const std::string& cfgpath,
             const std::string& progpath);
