#include "export/flowfiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "base/fileio.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "export/expstate.h"
#include "export/replacefile.h"

namespace {

// The first character of a line whose file has been sent.
constexpr char SENTMARK = '~';

bool readall(std::FILE* f, std::string& data) {
    char buf[8192];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    return !std::ferror(f);
}

// Cuts data into lines at line feeds; carriage returns and line feeds at
// the end of a line belong to its line end.
void splitlines(const std::string& data, std::vector<flowline>& lines) {
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t nl = data.find('\n', at);
        std::size_t next = nl == std::string::npos ? data.size() : nl + 1;
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        while (end > at && data[end - 1] == '\r') --end;
        flowline l;
        l.text = data.substr(at, end - at);
        l.end = data.substr(end, next - end);
        l.at = static_cast<long>(at);
        lines.push_back(std::move(l));
        at = next;
    }
}

int rewrite(const flowfile& ff) {
    replacement r;
    if (beginreplace(ff.path, r) != 0) return -1;
    for (const flowline& l : ff.lines) {
        if (!flowlinepending(l)) continue;
        std::string line = l.text + (l.end.empty() ? "\n" : l.end);
        if (writeall(r.f.get(), line.data(), line.size()) != 0) {
            abortreplace(r);
            return -1;
        }
    }
    return commitreplace(r);
}

// Marks the settled lines sent where they stand, as mailers do: the file
// keeps its length, so this needs no room on the disk. In a unit of work
// (durable/journal.h) the marks are written when it commits.
int marksettled(const flowfile& ff) {
    if (unitopen()) {
        if (access(ff.path.c_str(), W_OK) != 0) return -1;
        for (const flowline& l : ff.lines) {
            if (l.text.empty() || l.text[0] == SENTMARK || flowlinepending(l)) continue;
            unitwrite(ff.path, l.at, std::string(1, SENTMARK));
        }
        return 0;
    }
    int fd = opensharedfd(ff.path, O_WRONLY);
    if (fd < 0) return -1;
    int bad = 0;
    for (const flowline& l : ff.lines) {
        if (l.text.empty() || l.text[0] == SENTMARK || flowlinepending(l)) continue;
        if (pwrite(fd, &SENTMARK, 1, static_cast<off_t>(l.at)) != 1) bad = -1;
    }
    if (close(fd) != 0) bad = -1;
    return bad;
}

}  // namespace

int readflowfile(const std::string& path, flowfile& ff) {
    ff.path = path;
    ff.lines.clear();
    fileptr f = openshared(path, "rb");
    std::string data;
    if (!f || !readall(f.get(), data)) return -1;
    splitlines(data, ff.lines);
    for (flowline& l : ff.lines) {
        if (l.text.empty() || l.text[0] == SENTMARK) continue;
        if (l.text.size() > FLOWLINEMAX) {
            // No file has a name this long; cut short, it could name another
            // file, which "^" would then delete. The line stays as it is.
            logprintf("! %s: line of %zu characters too long for a file name: left in place\n",
                      path.c_str(), l.text.size());
            continue;
        }
        if (addflowfile(l.text) != 0) continue;
        l.entry = static_cast<long>(flowfiles()) - 1;
    }
    return 0;
}

bool flowlinepending(const flowline& l) {
    if (l.text.empty() || l.text[0] == SENTMARK) return false;
    if (l.entry < 0 || static_cast<std::size_t>(l.entry) >= flowfiles()) return true;
    return expstate.flowfilelist[static_cast<std::size_t>(l.entry)].kind != FLOW_DONE;
}

int settleflowfile(const flowfile& ff) {
    std::size_t pending = 0, lines = 0;
    for (const flowline& l : ff.lines) {
        if (l.text.empty()) continue;
        ++lines;
        if (flowlinepending(l)) ++pending;
    }
    if (run.testmode) return pending == 0 ? 1 : 0;
    if (pending == 0) {
        // In a unit of work it goes when the unit commits.
        if (unitopen()) {
            unitremove(ff.path);
            return 1;
        }
        if (std::remove(ff.path.c_str()) == 0) return 1;
        logprintf("! can't remove %s\n", ff.path.c_str());
        return -1;
    }
    if (pending == lines) return 0;
    if (rewrite(ff) == 0) return 0;
    if (marksettled(ff) == 0) {
        logprintf("! can't rewrite %s: the files sent are marked \"~\" in it\n", ff.path.c_str());
        return 0;
    }
    logprintf("! can't rewrite %s: the files sent are still listed in it\n", ff.path.c_str());
    return -1;
}
