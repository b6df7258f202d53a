// Changing member records in a list file in place: a new record is always
// appended at the end, a record is deleted by turning its "+" marker into
// "*". Each call opens the file for update, checks every write and closes
// it; the in-memory index is the caller's to update (lists/memberindex.h).
#pragma once

#include <string_view>

#include "lists/listfiles.h"
#include "lists/memberindex.h"

enum userfileresult {
    USERFILE_OK = 0,
    USERFILE_NOOPEN = -1,    // the list file cannot be opened for update
    USERFILE_WRITE = -2,     // a write, flush or close failed
    USERFILE_MISMATCH = -3,  // no live record of that address at that position
};

// Appends the record of data ("+", address, name, status, password, one
// line each) at the end of the list file; pos receives the position of its
// marker line. Writes the "ListUsers" line first when the file has none yet,
// and ends an unterminated last line first, so the record always starts on
// a line of its own. A failed write is cut off again. Returns a
// userfileresult.
[[nodiscard]] int appenduserrecord(listrecord& list, const memberdata& data, long& pos);

// Marks the live record of address at pos deleted. Returns a userfileresult.
[[nodiscard]] int deleteuserrecord(const listrecord& list, long pos, std::string_view address);

// Writes data as a new record at the end of the file and then marks the
// old record of the same address at pos deleted; newpos receives the new
// record's position. The old record is checked before anything is written
// and stays live when the new one cannot be written. Returns a
// userfileresult.
[[nodiscard]] int replaceuserrecord(listrecord& list, long pos, const memberdata& data,
                                    long& newpos);
