#include "lists/memberfile.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/fileio.h"
#include "base/text.h"
#include "lists/listjournal.h"
#include "lists/listlines.h"

namespace {

// The list file opened for update, after the reading handle has been
// dropped so that no stale buffer outlives the change.
fileptr openforupdate(const listrecord& list) {
    closeuserdata();
    return openfile(list.listfile, "r+b");
}

// True when a live record of address starts at pos.
bool checkrecord(std::FILE* f, long pos, std::string_view address) {
    std::string marker, stored;
    if (std::fseek(f, pos, SEEK_SET) != 0) return false;
    if (readlistline(f, marker) != 1 || !islivemarker(marker)) return false;
    if (readlistline(f, stored) != 1) return false;
    stripeol(stored);
    const text128 a = address;
    const text128 s = std::string_view(stored);
    return strieq(a.sv(), s.sv());
}

std::string recordtext(const memberdata& data) {
    std::string text = "+\n";
    text.append(data.address.sv()).append("\n");
    text.append(data.name.sv()).append("\n");
    text.append(std::to_string(data.status)).append("\n");
    text.append(data.password.sv()).append("\n");
    return text;
}

// Appends the record at the end of f. On a failed write the file is cut
// back to its former length, so no partial record stays behind.
int appendrecord(std::FILE* f, listrecord& list, const memberdata& data, long& pos) {
    if (std::fseek(f, 0, SEEK_END) != 0) return USERFILE_WRITE;
    const long oldsize = std::ftell(f);
    if (oldsize < 0) return USERFILE_WRITE;
    std::string text;
    if (oldsize > 0) {
        if (std::fseek(f, -1, SEEK_END) != 0) return USERFILE_WRITE;
        if (std::getc(f) != '\n') text.push_back('\n');
        if (std::fseek(f, 0, SEEK_END) != 0) return USERFILE_WRITE;
    }
    if (!list.hasuserlist) text.append("ListUsers\n");
    // A cut last record is completed first, as pack completes it: appended
    // right after it, the new record's lines would be read as its missing
    // fields, and the new member lost.
    for (int i = 4 - list.recordlack; i < 4; ++i)
        text.append(i == 2 ? std::to_string(list.newstatus) + "\n" : std::string("\n"));
    pos = oldsize + static_cast<long>(text.size());
    text += recordtext(data);
    if (writeall(f, text.data(), text.size()) != 0 || std::fflush(f) != 0) {
        std::clearerr(f);
        if (ftruncate(fileno(f), oldsize) != 0) { /* the error is reported all the same */
        }
        return USERFILE_WRITE;
    }
    list.hasuserlist = 1;
    list.recordlack = 0;
    return USERFILE_OK;
}

// Writes the "*" straight to the file, past the stream's buffer, so that
// its success is known here and not only when the file is closed. Nothing
// may be pending in the stream then: callers have only read it or have
// flushed their append.
int markdeleted(std::FILE* f, long pos) {
    if (pwrite(fileno(f), "*", 1, static_cast<off_t>(pos)) != 1) return USERFILE_WRITE;
    return USERFILE_OK;
}

// Closes f; a failed close turns a good result into a write error.
int finish(fileptr& f, int result) {
    if (closefile(f) != 0 && result == USERFILE_OK) return USERFILE_WRITE;
    return result;
}

}  // namespace

int appenduserrecord(listrecord& list, const memberdata& data, long& pos) {
    fileptr f = openforupdate(list);
    if (!f) return USERFILE_NOOPEN;
    if (journalchange(list) != 0) return finish(f, USERFILE_WRITE);
    return finish(f, appendrecord(f.get(), list, data, pos));
}

int deleteuserrecord(const listrecord& list, long pos, std::string_view address) {
    fileptr f = openforupdate(list);
    if (!f) return USERFILE_NOOPEN;
    if (!checkrecord(f.get(), pos, address)) return finish(f, USERFILE_MISMATCH);
    if (journalchange(list) != 0 || journalbeforemark(list, pos) != 0)
        return finish(f, USERFILE_WRITE);
    int result = markdeleted(f.get(), pos);
    if (result == USERFILE_OK) journalmark(list, pos);
    return finish(f, result);
}

int replaceuserrecord(listrecord& list, long pos, const memberdata& data, long& newpos) {
    fileptr f = openforupdate(list);
    if (!f) return USERFILE_NOOPEN;
    if (!checkrecord(f.get(), pos, data.address.sv())) return finish(f, USERFILE_MISMATCH);
    const long oldsize = filelength(f.get());
    if (oldsize < 0 || journalchange(list) != 0) return finish(f, USERFILE_WRITE);
    if (journalbeforemark(list, pos) != 0) return finish(f, USERFILE_WRITE);
    int result = appendrecord(f.get(), list, data, newpos);
    if (result == USERFILE_OK && markdeleted(f.get(), pos) != USERFILE_OK) {
        // Two live records of one address would both be members at the
        // next start: the new one goes again, the old one stays.
        result = USERFILE_WRITE;
        if (ftruncate(fileno(f.get()), oldsize) != 0) { /* the error is reported all the same */
        }
    }
    if (result == USERFILE_OK) journalmark(list, pos);
    return finish(f, result);
}
