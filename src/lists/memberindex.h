// The member index of a mailing list and reading members back.
//
// Each live member has an entry (a CRC-32 of its address and the position
// of its record) in one of 27 chains chosen by the address's first letter.
// A lookup walks one chain and reads back only the records whose CRC-32
// matches, one seek each; the user section is never read through.
//
// Hidden state: record reading keeps one list file open between calls
// (lists.userfile); finduserdata and walkmembers close it when they end,
// other callers end a series of getuserdata calls with closeuserdata().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "base/fixedtext.h"
#include "lists/listfiles.h"

// A member as read from its record (each text at most 127 characters).
struct memberdata {
    text128 address;
    text128 name;      // may be empty
    int status = 0;    // 0 or 1 member, 2 read-only, 3 black-listed
    text128 password;  // may be empty
};

// Where an entry stands in the index: its chain and its place in it. For a
// member that was not found, slot is the chain's size (where a new entry
// would be appended).
struct memberlink {
    int chain = 0;
    std::size_t slot = 0;
};

// The CRC-32 an index entry carries: over the address as member data holds
// it (127 characters at most), lower-cased, so that a lookup finds a member
// whatever the letter case of the address it is given.
std::uint32_t membercrc(std::string_view address);

// Appends an entry for a live record at pos to the end of the address's
// chain and counts the member (list.usercount).
void addmember(listrecord& list, std::string_view address, long pos);

// Unlinks and releases the entry at link and uncounts the member. Entries
// after it in the same chain move up one slot.
void removemember(listrecord& list, const memberlink& link);

// Points the entry at link to a record at another position (a record that
// was written anew at the end of the file).
void movemember(listrecord& list, const memberlink& link, long pos);

// Reads the record that entry points at into data. Returns 1, or 0 after
// logging "! error obtaining user data ..." (file cannot be opened) or
// "! internal consistency error ..." (no live record there). Called with no
// entry, closes the list file kept open between calls and returns 1.
int getuserdata(const listrecord& list, const memberentry* entry, memberdata* data);

// Closes the list file kept open by getuserdata.
void closeuserdata();

// Looks the member with address up, ignoring letter case. Returns 1 and
// fills data (when given) when found, else 0 and leaves data alone. link
// (when given) receives the entry's place, or the end of the chain where a
// new entry would go; entry (when given) receives the found entry or
// nullptr. Both stay valid until the index of the list changes. Always
// closes the list file before it returns.
int finduserdata(const listrecord& list, std::string_view address, memberdata* data,
                 memberlink* link = nullptr, const memberentry** entry = nullptr);

// Reads every member in index order (chains 0 to 26, each in file order)
// and hands it to visit; records that cannot be read are logged and left
// out, black-listed members are not (visit decides). Closes the list file
// at the end. Returns the number of members handed to visit.
long walkmembers(const listrecord& list, const std::function<void(const memberdata&)>& visit);

// Member data for the sender of the current message (curmsg.msgfromemail,
// curmsg.msgfromname) as a newcomer to list: the list's newstatus and the
// password calcpassword gives (empty on a list without ListPassword).
void createuserdata(const listrecord& list, memberdata& data);

// The member password for address: the CRC-32 of the address's bytes, each
// combined with the complemented ListPassword byte at the same place
// (repeated), in lower-case hexadecimal. Letter case counts. On a list
// without (or with an empty) ListPassword, result is left as it is.
void calcpassword(const listrecord& list, std::string_view address, text128& result);
