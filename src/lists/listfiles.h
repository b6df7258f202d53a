// Mailing-list files: the list records read at start-up and their member
// index.
//
// A list file holds a keyword block (ListName, ListAddress, ...), a line
// "ListUsers" and then five-line member records: a marker line ("+" live,
// "*" deleted), the address, the name, the status and the password. Only an
// index of the live records is kept in memory; the records themselves stay
// in the file and are read back with one seek (lists/memberindex.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/fileio.h"

constexpr std::size_t MAXLISTS = 64;
// Chain 0 holds addresses that do not begin with a letter, chains 1..26
// those beginning with a..z in either case.
constexpr int USERCHAINS = 27;

// Member statuses as the record's fourth line gives them.
enum memberstatus { STATUS_MEMBER = 1, STATUS_READONLY = 2, STATUS_BLACKLISTED = 3 };

// One live member: where its record starts and a CRC-32 to find it by.
struct memberentry {
    std::uint32_t crc = 0;  // membercrc() of the member's address
    long pos = 0;           // byte offset of the record's marker line
};
// The entries of one chain, in the order of their records in the file.
using memberchain = std::vector<memberentry>;

// A list keyword that was not given is empty (std::nullopt), which the
// templates show as "[unknown]"; a keyword given without a value is "".
using listtext = std::optional<std::string>;

struct listrecord {
    std::string listfile;  // resolved path (the duplicate under /test)
    listtext listname;
    listtext listaddress;
    listtext listarea;
    listtext listpassword;
    int newstatus = STATUS_MEMBER;
    listtext keepername, keeperaddress;
    // Template paths, resolved beside the program like the list file.
    listtext subscribeinfo, welcome, goodbye, passwordinfo, newpassword, readonly, blacklist;
    listtext unsubscribeurl;  // ListUnsubscribeURL: an https:// page that unsubscribes in one click
    // ListFromRewrite: postings of Internet authors go out "From: Author via
    // ListName <list address>" (1) or from the author (0). A file that does
    // not say is decided when it is read: a list without members is new
    // (1, and fromrewritenew: import writes the keyword into its file before
    // a member joins), a list with members keeps what it did before (0).
    int fromrewrite = -1;
    bool fromrewritenew = false;
    long usercount = 0;   // live members indexed
    int hasuserlist = 0;  // the file has its "ListUsers" line
    int recordlack = 0;   // lines its cut last record lacks (0: the records are whole)
    std::array<memberchain, USERCHAINS> userindex;
};

struct mailinglists {
    std::vector<listrecord> listconfig;  // at most MAXLISTS, in configuration order
    std::uint32_t msgidcounter = 0;      // makes list reply Message-IDs unique
    // The one list file that record reading keeps open between calls.
    fileptr userfile;
    std::string userfilepath;
};

extern mailinglists lists;

// The value of an optional list text for C-style users: nullptr when the
// keyword was not given (replacemacro then writes "[unknown]").
inline const char* textornull(const listtext& t) {
    return t ? t->c_str() : nullptr;
}

// Reads one list file named by a ListConfig line (the line number and path
// of that line are cfgline and cfgpath). The name is resolved beside the
// program (progpath) when it has no "/". Warns in the configuration warning
// form with the list file's own line numbers; under /test (run.testmode)
// the record names a *.~LC duplicate. Returns 1 when the list was added to
// lists.listconfig, 0 otherwise.
int readlist(const std::string& name, long cfgline, const std::string& cfgpath,
             const std::string& progpath);

// Builds the member index of rec afresh from its file (after the file was
// put back by the recovery of an interrupted run). Returns 0, or -1 when
// the file cannot be read.
[[nodiscard]] int reindexlist(listrecord& rec);

// Writes "ListFromRewrite Yes" into the file of every list taken as new
// (fromrewritenew), before its "ListUsers" line, so that the list keeps
// that choice once members join. The file is replaced durably; the log
// says what was written. A file that cannot be written keeps the choice for
// this run only (reported). Called by import, through which members join,
// before any of its work.
void settlenewlists();

// The path of the /test duplicate of a list file: the file name's extension
// replaced by ".~LC", or ".~LC" appended when the name has none.
std::string listduplicatename(const std::string& path);
