#include "config/reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "base/fileio.h"
#include "config/keywords.h"
#include "driver/runstate.h"
#include "lists/listfiles.h"

namespace {

// Files that include each other are a configuration error; a bounded depth
// turns it into a warning instead of endless recursion.
constexpr int MAXINCLUDEDEPTH = 16;
int includedepth = 0;

// The files being read right now (device and inode): including one of them
// again would read it over and over.
std::vector<std::pair<dev_t, ino_t>> openconfigs;

bool isbeingread(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    for (const auto& id : openconfigs) {
        if (id.first == st.st_dev && id.second == st.st_ino) return true;
    }
    return false;
}

// Splits a line into keyword and parameter text: the keyword ends at the
// first space, and the run of spaces after it belongs to neither.
void splitkeyword(std::string_view text, std::string_view& keyword, std::string_view& par) {
    std::size_t sp = text.find(' ');
    if (sp == std::string_view::npos) {
        keyword = text;
        par = std::string_view();
        return;
    }
    keyword = text.substr(0, sp);
    std::size_t start = text.find_first_not_of(' ', sp);
    par = start == std::string_view::npos ? std::string_view() : text.substr(start);
}

void handleline(std::string_view text, long line, const std::string& path,
                const std::string& progpath) {
    if (text.empty() || text[0] == ';') return;
    std::string_view keyword, par;
    splitkeyword(text, keyword, par);
    keywordhandler h = findkeyword(keyword);
    if (!h) {
        configwarn("unknown keyword", line, path);
        return;
    }
    h(configline{par, line, path, progpath});
}

}  // namespace

void configwarn(const char* msg, long line, const std::string& path) {
    ++run.configwarnings;
    std::fprintf(stderr, "Warning: %s in line %ld of %s\n\n", msg, line, path.c_str());
}

bool expandfname(std::string_view name, std::string_view base, std::string& out) {
    out.clear();
    std::string result;
    std::size_t slash = base.rfind('/');
    if (name.find('/') != std::string_view::npos || slash == std::string_view::npos) {
        result = name;
    } else {
        result.assign(base.substr(0, slash + 1)).append(name);
    }
    if (result.size() > pathtext::capacity - 1) return false;
    out = std::move(result);
    return true;
}

int readconfigfile(const std::string& name, const std::string& progpath) {
    std::string path;
    if (name.empty()) {
        std::fprintf(stderr, "Error: /config= names no file\n");
        return 1;
    }
    if (!expandfname(name, progpath, path)) {
        std::fprintf(stderr, "Error: can't read %s\n", name.c_str());
        return 1;
    }
    fileptr f = openfile(path, "r");
    if (!f) {
        std::fprintf(stderr, "Error: can't read %s\n", path.c_str());
        return 1;
    }
    // A folder opens like a file and then reads as an empty one.
    struct stat st {};
    if (fstat(fileno(f.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "Error: can't read %s: it is a folder\n", path.c_str());
        return 1;
    }
    openconfigs.emplace_back(st.st_dev, st.st_ino);
    // One read takes at most 254 characters; the rest of a longer line is
    // read, and counted, as the next line.
    char buf[255];
    long line = 0;
    while (std::fgets(buf, sizeof buf, f.get())) {
        ++line;
        std::size_t n = std::strlen(buf);
        while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) --n;
        handleline(std::string_view(buf, n), line, path, progpath);
    }
    openconfigs.pop_back();
    // What needs every line: the servers AreaMap lines name.
    if (openconfigs.empty()) checknewsgroupservers();
    return 0;
}

void kw_include(const configline& l) {
    if (l.par.empty()) {
        configwarn("Include names no file", l.line, l.path);
        return;
    }
    if (includedepth >= MAXINCLUDEDEPTH) {
        configwarn("Include nesting too deep", l.line, l.path);
        return;
    }
    std::string resolved;
    if (!expandfname(l.par, l.progpath, resolved)) {
        configwarn("file name too long", l.line, l.path);
        return;
    }
    struct stat st {};
    if (stat(resolved.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        configwarn("Include names a folder", l.line, l.path);
        return;
    }
    if (isbeingread(resolved)) {
        configwarn("Include of a file that is already being read", l.line, l.path);
        return;
    }
    ++includedepth;
    // An include file that cannot be read is reported by the call itself;
    // the including file goes on with its next line.
    (void)readconfigfile(resolved, l.progpath);
    --includedepth;
}

void kw_listconfig(const configline& l) {
    if (lists.listconfig.size() >= MAXLISTS) {
        configwarn("too many ListConfig keywords", l.line, l.path);
        return;
    }
    readlist(std::string(l.par), l.line, l.path, l.progpath);
}
