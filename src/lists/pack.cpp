#include "lists/pack.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "base/fileio.h"
#include "base/text.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "lists/listlines.h"

namespace {

struct packcounts {
    unsigned long deleted = 0;
    unsigned long erroneous = 0;
};

// The list file being read and the temporary file being written. The first
// failed write stops all further writing; the result tells.
struct packio {
    std::FILE* in;
    std::FILE* out;
    long lineno = 0;
    bool writefailed = false;
    bool readfailed = false;

    // The next line, counted; false at the end of the file or on an error.
    bool next(std::string& line) {
        int r = readlistline(in, line);
        if (r < 0) readfailed = true;
        if (r != 1) return false;
        ++lineno;
        return true;
    }
    void put(std::string_view text) {
        if (!writefailed && writeall(out, text.data(), text.size()) != 0) writefailed = true;
    }
    // A record line always ends with its own line feed, also when it is the
    // unterminated last line of the file: a record appended later must not
    // run into it.
    void putline(std::string_view line) {
        put(line);
        if (line.empty() || line.back() != '\n') put("\n");
    }
    bool failed() const { return writefailed || readfailed; }
};

// A line shown in the log, without its own line feed: the log line ends
// in one of its own, and the text of a line is escaped there.
std::string shown(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return std::string(line);
}

// Copies the keyword section through the line "ListUsers" (any letter
// case; trailing blanks and a carriage return allowed, as the list reader
// takes them). False when the file ended first.
bool copykeywords(packio& io) {
    std::string line;
    while (io.next(line)) {
        io.put(line);
        std::string_view l = line;
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r' || l.back() == ' ' || l.back() == '\t'))
            l.remove_suffix(1);
        if (strieq(l, "ListUsers")) return true;
    }
    return false;
}

// Drops a deleted record: its marker line has been read. False when the
// file ended within it.
bool dropdeleted(packio& io, packcounts& counts) {
    std::string line;
    for (int i = 0; i < 4; ++i) {
        if (!io.next(line)) return false;
        if (i == 0) {
            ++counts.deleted;
            if (run.verbose)
                logprintf("* removed deleted user record %s\n", shown(line).c_str());
        }
    }
    return true;
}

// Copies a live record with a plain "+" marker: its marker line has been
// read. Lines missing at the end of the file are supplied. False when the
// file ended within it.
bool copylive(packio& io, int newstatus) {
    std::string line;
    if (!io.next(line)) return false;
    io.put("+\n");
    io.putline(line);
    for (int i = 1; i < 4; ++i) {
        if (io.next(line)) {
            io.putline(line);
            continue;
        }
        if (io.readfailed) return false;
        for (; i < 4; ++i) io.put(i == 2 ? std::to_string(newstatus) + "\n" : std::string("\n"));
        logprintf("* extended partial user record at end of file\n");
        return false;
    }
    return true;
}

void packrecords(packio& io, const listrecord& list, packcounts& counts) {
    std::string line;
    while (!io.failed() && io.next(line)) {
        if (line[0] == '*') {
            if (!dropdeleted(io, counts)) return;
        } else if (line[0] == '+') {
            if (!copylive(io, list.newstatus)) return;
        } else {
            ++counts.erroneous;
            if (run.verbose) {
                logprintf("* removed erroneous line %ld: %s\n", io.lineno, shown(line).c_str());
            }
        }
    }
}

// The directory part of a path including its "/"; empty for the current
// directory.
std::string directoryof(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Makes the temporary file durable and gives it the list file's access
// rights (a member list holds passwords). False on any failure.
bool settle(std::FILE* out, std::FILE* in) {
    struct stat st {};
    if (std::fflush(out) != 0 || fsync(fileno(out)) != 0) return false;
    if (fstat(fileno(in), &st) != 0) return false;
    return fchmod(fileno(out), st.st_mode & 07777) == 0;
}

// Writes the packed list into the open temporary file. False (after
// logging why) when the temporary file is not a complete packed copy.
bool writepacked(std::FILE* in, fileptr& out, const listrecord& list, const std::string& tmp,
                 packcounts& counts) {
    packio io{in, out.get()};
    if (copykeywords(io)) packrecords(io, list, counts);
    bool good = !io.failed() && settle(out.get(), in);
    if (closefile(out) != 0) good = false;
    if (io.readfailed) {
        logprintf("! error reading %s; list file left unchanged\n", list.listfile.c_str());
    } else if (!good) {
        logprintf("! error writing %s; list file left unchanged\n", tmp.c_str());
    }
    return good;
}

}  // namespace

int replacelistfile(const std::string& tmppath, const std::string& listpath) {
    if (std::rename(tmppath.c_str(), listpath.c_str()) == 0) return 0;
    std::remove(tmppath.c_str());
    logprintf("! error renaming %s to %s; list file left unchanged\n", tmppath.c_str(),
              listpath.c_str());
    return -1;
}

int packlist(const listrecord& list, int number) {
    logprintf("Packing list #%d: %s\n", number, list.listname.value_or("").c_str());
    std::string tmp;
    long free = genfnamebase(directoryof(list.listfile), "list", ".tmp", tmp);
    fileptr in = openfile(list.listfile, "rb");
    if (!in) {
        logprintf("! error opening %s for reading\n", list.listfile.c_str());
        return -1;
    }
    // A unit of work of its own (durable/journal.h): a run killed before
    // the rename leaves no temporary file, one killed after it the packed
    // list. Exclusive creation: the temporary file never replaces anything.
    unitbegin("pack", list.listfile);
    fileptr out;
    if (free >= 0 && unitoutputas(tmp, list.listfile, PUBLISH_REPLACE) == 0) out = openfile(tmp, "wbx");
    if (!out) {
        unitabandon();
        logprintf("! error opening %s for writing\n", tmp.c_str());
        return -1;
    }
    packcounts counts;
    if (!writepacked(in.get(), out, list, tmp, counts)) {
        std::remove(tmp.c_str());
        unitabandon();
        return -1;
    }
    in.reset();
    int replaced = replacelistfile(tmp, list.listfile);
    unitdropoutput(list.listfile);
    if (unitcommit() != 0) unitabandon();
    if (replaced != 0) return -1;
    if (counts.deleted || counts.erroneous) {
        logprintf("--> removed %lu deleted user records\n    + %lu erroneous lines\n",
                  counts.deleted, counts.erroneous);
    } else {
        logprintf("--> nothing to do\n");
    }
    return 0;
}

int packlists() {
    if (lists.listconfig.empty()) {
        logprintf("No lists are configured; cannot PACK\n");
        return 0;
    }
    int number = 0;
    for (const listrecord& list : lists.listconfig) {
        if (journalbroken()) break;
        (void)packlist(list, ++number);
    }
    return 0;
}
