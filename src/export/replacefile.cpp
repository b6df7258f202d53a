#include "export/replacefile.h"

#include <cstdio>

#include "durable/journal.h"
#include "durable/workfiles.h"

int beginreplace(const std::string& path, replacement& r) {
    r.path = path;
    r.tmp = path + ".tmp";
    if (exist(r.tmp) && renfname(r.tmp) != 0) return -1;
    // Noted first: a killed run leaves no temporary file behind.
    if (unitoutputas(r.tmp, path, PUBLISH_REPLACE) != 0) return -1;
    // Exclusive: never write into a file that appeared meanwhile.
    r.f = openfile(r.tmp, "wbx");
    if (!r.f) unitdropoutput(path);
    return r.f ? 0 : -1;
}

int commitreplace(replacement& r) {
    bool ok = syncfd(fileno(r.f.get())) == 0;
    if (closefile(r.f) != 0) ok = false;
    // In a unit of work the file is replaced when the unit commits.
    if (ok && outputcomplete(r.path) != 0) ok = false;
    if (!ok) {
        unitdropoutput(r.path);
        std::remove(r.tmp.c_str());
    }
    return ok ? 0 : -1;
}

void abortreplace(replacement& r) {
    r.f.reset();
    unitdropoutput(r.path);
    std::remove(r.tmp.c_str());
}
