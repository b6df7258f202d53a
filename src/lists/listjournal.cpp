#include "lists/listjournal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "base/fileio.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "lists/memberindex.h"

listjournal journal;

namespace {

liststate* findstate(const std::string& listfile) {
    for (liststate& s : journal.changed) {
        if (s.listfile == listfile) return &s;
    }
    return nullptr;
}

// Restores one list file: the markers first (they lie before the old end),
// then the length. Returns 0, or -1.
int restorefile(const liststate& s) {
    int bad = 0;
    fileptr f = openfile(s.listfile, "r+b");
    if (!f) return -1;
    for (auto it = s.marked.rbegin(); it != s.marked.rend(); ++it) {
        if (*it < s.size && pwrite(fileno(f.get()), "+", 1, static_cast<off_t>(*it)) != 1) bad = -1;
    }
    if (ftruncate(fileno(f.get()), static_cast<off_t>(s.size)) != 0) bad = -1;
    if (closefile(f) != 0) bad = -1;
    return bad;
}

}  // namespace

void openjournal() {
    journal.changed.clear();
    journal.open = true;
}

int journalchange(const listrecord& list) {
    // On disk first: a run killed before its unit commits has the list put back.
    if (unitnote(list.listfile) != 0) return -1;
    if (!journal.open || findstate(list.listfile)) return 0;
    struct stat st {};
    if (stat(list.listfile.c_str(), &st) != 0) return -1;
    liststate s;
    s.listfile = list.listfile;
    s.size = static_cast<long>(st.st_size);
    s.usercount = list.usercount;
    s.hasuserlist = list.hasuserlist;
    s.recordlack = list.recordlack;
    s.userindex = list.userindex;
    journal.changed.push_back(std::move(s));
    return 0;
}

int journalbeforemark(const listrecord& list, long pos) {
    return unitbyte(list.listfile, pos, '+');
}

void journalmark(const listrecord& list, long pos) {
    if (liststate* s = journal.open ? findstate(list.listfile) : nullptr) s->marked.push_back(pos);
}

void closejournal() {
    journal.changed.clear();
    journal.open = false;
}

int undojournal() {
    closeuserdata();
    int result = 0;
    for (const liststate& s : journal.changed) {
        if (restorefile(s) != 0) {
            logprintf("! unable to restore %s\n", s.listfile.c_str());
            result = -1;
            continue;
        }
        auto rec = std::find_if(lists.listconfig.begin(), lists.listconfig.end(),
                                [&](const listrecord& l) { return l.listfile == s.listfile; });
        if (rec == lists.listconfig.end()) continue;
        rec->usercount = s.usercount;
        rec->hasuserlist = s.hasuserlist;
        rec->recordlack = s.recordlack;
        rec->userindex = s.userindex;
    }
    closejournal();
    return result;
}
