#include "export/replacefile.h"

#include <cstdio>

#include "driver/workfiles.h"

int beginreplace(const std::string& path, replacement& r) {
    r.path = path;
    r.tmp = path + ".tmp";
    if (exist(r.tmp) && renfname(r.tmp) != 0) return -1;
    // Exclusive: never write into a file that appeared meanwhile.
    r.f = openfile(r.tmp, "wbx");
    return r.f ? 0 : -1;
}

int commitreplace(replacement& r) {
    bool ok = closefile(r.f) == 0 && std::rename(r.tmp.c_str(), r.path.c_str()) == 0;
    if (!ok) std::remove(r.tmp.c_str());
    return ok ? 0 : -1;
}

void abortreplace(replacement& r) {
    r.f.reset();
    std::remove(r.tmp.c_str());
}
