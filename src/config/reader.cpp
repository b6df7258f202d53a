#include "config/reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "base/fileio.h"
#include "base/shown.h"
#include "base/text.h"
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

// The line being read, for the messages about it. Lines of an included
// file have their own; the including line's comes back after it.
struct linecontext {
    const std::string* path = nullptr;
    long line = 0;
    std::string shown;      // the line as messages show it
    bool valuemissing = false;  // a value is needed and none was given
    int reported = 0;       // messages given about the line so far
};
linecontext* current = nullptr;

linecontext* contextof(long line, const std::string& path) {
    return current && current->line == line && *current->path == path ? current : nullptr;
}

// The n-th space-separated word of text starts at the returned position,
// or npos when text has fewer words.
std::size_t wordstart(std::string_view text, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) {
        pos = text.find(' ', pos);
        if (pos == std::string_view::npos) return pos;
        pos = text.find_first_not_of(' ', pos);
        if (pos == std::string_view::npos) return pos;
    }
    return pos;
}

// The line as messages show it: a password it holds is hidden (a packet
// password, a route's password, the password of a SendMail or NewsServer
// URL).
std::string shownline(std::string_view keyword, std::string_view par) {
    std::string value(par);
    if (strieq(keyword, "PacketPwd") && !value.empty()) {
        value = "***";
    } else if (strieq(keyword, "Route")) {
        std::size_t p = wordstart(value, 2);
        if (p != std::string::npos && !istartswith(std::string_view(value).substr(p), "SUBJ=")) {
            std::size_t e = value.find(' ', p);
            value.replace(p, e == std::string::npos ? std::string::npos : e - p, "***");
        }
    } else if (strieq(keyword, "SendMail") || strieq(keyword, "NewsServer")) {
        std::size_t scheme = value.find("://");
        std::size_t at = value.find('@');
        std::size_t end = value.find_first_of(" /", scheme == std::string::npos ? 0 : scheme + 3);
        if (scheme != std::string::npos && at != std::string::npos && (end == std::string::npos || at < end)) {
            std::size_t colon = value.find(':', scheme + 3);
            if (colon != std::string::npos && colon < at) value.replace(colon + 1, at - colon - 1, "***");
        }
    }
    std::string line(keyword);
    if (!par.empty()) line.append(" ").append(value);
    return showntext(line, 160);
}

void unknownkeyword(std::string_view keyword, std::string_view text, long line,
                    const std::string& path) {
    std::string msg = "unknown keyword ";
    if (keyword.empty()) {
        msg += "(the line begins with a space)";
    } else {
        msg += showntext(keyword, 60);
    }
    std::string hint;
    std::size_t tab = keyword.find('\t');
    if (tab != std::string_view::npos && tab > 0 && findkeyworddef(keyword.substr(0, tab))) {
        hint = "did you mean " + std::string(findkeyworddef(keyword.substr(0, tab))->name) +
               " followed by a space? (a tab does not separate a keyword from its value)";
    } else if (!keyword.empty()) {
        std::string near = nearestkeyword(keyword);
        if (!near.empty()) hint = "did you mean " + near + "?";
    }
    ++run.configwarnings;
    std::fprintf(stderr, "Warning: %s in line %ld of %s: %s\n\n", msg.c_str(), line, path.c_str(),
                 hint.empty() ? showntext(text, 160).c_str() : hint.c_str());
}

void noteplace(const char* keyword, const linecontext& ctx) {
    for (configplace& p : reading.places) {
        if (p.keyword == keyword) {
            p.path = *ctx.path;
            p.line = ctx.line;
            p.text = ctx.shown;
            return;
        }
    }
    reading.places.push_back(configplace{keyword, *ctx.path, ctx.line, ctx.shown});
}

void handleline(std::string_view text, long line, const std::string& path,
                const std::string& progpath) {
    if (text.empty() || text[0] == ';') return;
    std::string_view keyword, par;
    splitkeyword(text, keyword, par);
    const keyworddef* k = findkeyworddef(keyword);
    if (!k) {
        unknownkeyword(keyword, text, line, path);
        return;
    }
    linecontext ctx;
    ctx.path = &path;
    ctx.line = line;
    ctx.shown = shownline(keyword, par);
    noteplace(k->name, ctx);
    linecontext* outer = current;
    current = &ctx;
    // A keyword that needs a value and has none would set something no
    // one meant ("SoupDir" alone is the root folder): an error.
    if (par.empty() && k->value != VALUE_OPTIONAL) {
        ctx.valuemissing = true;
        if (k->value == VALUE_REPORTED) k->handler(configline{par, line, path, progpath});
        if (ctx.reported == 0)
            configerror((std::string(k->name) + " has no value").c_str(), line, path);
    } else {
        k->handler(configline{par, line, path, progpath});
    }
    current = outer;
}

void report(const char* kind, const char* msg, long line, const std::string& path) {
    linecontext* ctx = contextof(line, path);
    if (ctx) ++ctx->reported;
    std::fprintf(stderr, "%s: %s in line %ld of %s%s%s\n\n", kind, msg, line, path.c_str(),
                 ctx ? ": " : "", ctx ? ctx->shown.c_str() : "");
}

}  // namespace

configreading reading;

void configwarn(const char* msg, long line, const std::string& path) {
    linecontext* ctx = contextof(line, path);
    if (ctx && ctx->valuemissing) {
        configerror(msg, line, path);
        return;
    }
    ++run.configwarnings;
    report("Warning", msg, line, path);
}

void configerror(const char* msg, long line, const std::string& path) {
    ++run.configerrors;
    report("Error", msg, line, path);
}

const configplace* configplaceof(std::string_view keyword) {
    for (const configplace& p : reading.places) {
        if (strieq(p.keyword, keyword)) return &p;
    }
    return nullptr;
}

std::string describeplace(const configplace& p) {
    return p.text + " in line " + std::to_string(p.line) + " of " + p.path;
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

#ifndef PONDLARK_CONFDIR
#define PONDLARK_CONFDIR "/etc/pondlark"
#endif
const char* const configfolder = PONDLARK_CONFDIR;

bool findconfigfile(std::string_view name, std::string_view progpath, std::string& out) {
    return findconfigfile(name, progpath, configfolder, out);
}

bool findconfigfile(std::string_view name, std::string_view progpath, std::string_view folder,
                    std::string& out) {
    if (!expandfname(name, progpath, out)) return false;
    if (name.find('/') != std::string_view::npos || folder.empty()) return true;
    struct stat st {};
    if (stat(out.c_str(), &st) == 0) return true;
    std::string there(folder);
    if (there.back() != '/') there.push_back('/');
    there.append(name);
    if (there.size() <= pathtext::capacity - 1 && stat(there.c_str(), &st) == 0) out = std::move(there);
    return true;
}

int readconfigfile(const std::string& name, const std::string& progpath) {
    std::string path;
    if (name.empty()) {
        std::fprintf(stderr, "Error: /config= names no file\n");
        return 1;
    }
    if (!findconfigfile(name, progpath, path)) {
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
    if (!findconfigfile(l.par, l.progpath, resolved)) {
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
