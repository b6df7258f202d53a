#include "transport/stagingplan.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string_view>

#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/workfiles.h"
#include "import/soup.h"
#include "transport/maildir.h"

namespace {

constexpr char PLANHEAD[] = "PondLark staging plan 1";

constexpr const char* ACTIONWORDS[] = {"seen", "delete", "remove", "setaside"};

std::string soup(const std::string& name) {
    return cfg.soupdir.str() + name;
}

std::string planpath() {
    return soup(STAGINGNAME);
}

// --------------------------------------------------------------- AREAS

// Adds the plan's lines to AREAS in one durable replacement: the commit.
int commitareas(const plan& p) {
    areasnow a;
    if (readareas(a) != 0) return -1;
    std::string text = a.text;
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    for (const stagedarea& s : p.areas) text += s.prefix + "\t" + s.areaname + "\t" + s.encoding + "\n";
    return writedurable(soup(AREASNAME), text);
}

// ---------------------------------------------------------------- plans

std::string plantext(const plan& p) {
    std::string t = std::string(PLANHEAD) + "\n";
    for (const stagedarea& s : p.areas) t += "area\t" + s.prefix + "\t" + s.areaname + "\t" + s.encoding + "\n";
    for (const stageaction& a : p.actions)
        t += std::string(ACTIONWORDS[a.kind]) + "\t" + a.dir + "\t" + a.sub + "\t" + a.name + "\n";
    for (const newsmark& m : p.marks) t += "mark\t" + newsmarkline(m) + "\n";
    return t + "end\n";
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> f;
    for (;;) {
        std::size_t tab = line.find('\t');
        f.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return f;
        line.remove_prefix(tab + 1);
    }
}

// Reads a plan; false when it is damaged (it cannot be, being written by a
// rename, unless someone else wrote it).
bool parseplan(const std::string& text, plan& p) {
    p = plan{};
    std::size_t pos = 0;
    bool head = false, end = false;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) return false;
        std::string_view line(text.data() + pos, nl - pos);
        pos = nl + 1;
        if (!head) {
            if (line != PLANHEAD) return false;
            head = true;
            continue;
        }
        if (line == "end") {
            end = true;
            break;
        }
        std::vector<std::string_view> f = fields(line);
        if (f[0] == "mark") {
            newsmark m;
            if (!parsenewsmark(line.substr(5), m)) return false;
            p.marks.push_back(std::move(m));
            continue;
        }
        if (f[0] == "area" && f.size() == 4) {
            p.areas.push_back({std::string(f[1]), std::string(f[2]), std::string(f[3])});
            continue;
        }
        int kind = -1;
        for (int k = 0; k < 4; ++k) {
            if (f[0] == ACTIONWORDS[k]) kind = k;
        }
        if (kind < 0 || f.size() != 4) return false;
        p.actions.push_back({kind, std::string(f[1]), std::string(f[2]), std::string(f[3])});
    }
    return head && end;
}

// A plan is read back from the SOUP folder, which other programs may
// write: it may only name the SOUP message files staging makes and plain
// names in the folders the configuration takes mail and news from.
bool prefixallowed(std::string_view prefix) {
    if (prefix.empty() || prefix.size() > 8) return false;
    for (char c : prefix)
        if (!isalnumc(static_cast<unsigned char>(c))) return false;
    return true;
}

bool actionallowed(const stageaction& a) {
    bool plainname = usablename(a.name) && a.name.find('/') == std::string::npos && a.name != "." &&
                     a.name != "..";
    if (!plainname) return false;
    if (a.kind == ACT_SEEN || a.kind == ACT_DELETE) {
        if (a.sub != "new/" && a.sub != "cur/") return false;
        for (const maildirsource& m : cfg.importmaildir)
            if (m.dir == a.dir) return true;
        return false;
    }
    if (!a.sub.empty()) return false;
    for (const std::string& d : cfg.importnewsbatches)
        if (d == a.dir) return true;
    return false;
}

// Drops what a plan may not name, each named in the log.
void confineplan(plan& p) {
    std::vector<stagedarea> areas;
    for (stagedarea& s : p.areas) {
        if (prefixallowed(s.prefix) && usablename(s.areaname) && usablename(s.encoding)) {
            areas.push_back(std::move(s));
        } else {
            logprintf("! %s names a SOUP file \"%s\" staging never makes: left alone\n",
                      planpath().c_str(), s.prefix.c_str());
        }
    }
    p.areas = std::move(areas);
    std::vector<stageaction> actions;
    for (stageaction& a : p.actions) {
        if (actionallowed(a)) {
            actions.push_back(std::move(a));
        } else {
            logprintf("! %s names %s%s%s outside the folders of the configuration: left alone\n",
                      planpath().c_str(), a.dir.c_str(), a.sub.c_str(), a.name.c_str());
        }
    }
    p.actions = std::move(actions);
}

// The folder of a batch, open; never a link below the configured name.
int openfolder(const std::string& dir) {
    return open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A damaged batch is renamed like a damaged SOUP message file: *.BAD, an
// earlier one of that name never overwritten.
int setasidebatch(const std::string& dir, const std::string& name) {
    std::string path = dir + name;
    std::size_t dot = name.rfind('.');
    std::string bad = dir + (dot != std::string::npos ? name.substr(0, dot) : name) + ".BAD";
    int fd = openfolder(dir);
    if (fd < 0) return -1;
    int r = -1;
    for (int tries = 0; tries < 16; ++tries) {
        if (exist(bad) && renfname(bad) != 0) break;
        if (renamenoreplace(fd, name, fd, bad.substr(dir.size())) == 0) {
            logprintf("! Error in news batch %s, renamed to %s\n", path.c_str(), bad.c_str());
            r = 0;
            break;
        }
        if (errno == ENOENT) r = 0;
        if (errno != EEXIST) break;
    }
    close(fd);
    return r;
}

int removebatch(const std::string& dir, const std::string& name) {
    int fd = openfolder(dir);
    if (fd < 0) return -1;
    int r = unlinkat(fd, name.c_str(), 0) == 0 || errno == ENOENT ? 0 : -1;
    close(fd);
    return r;
}

// Step 5: what becomes of each input once its messages are in AREAS.
int settleinputs(const plan& p) {
    int bad = 0;
    std::set<std::string> folders;
    maildirfolders md;
    curindex index;
    for (const stageaction& a : p.actions) {
        bool maildir = a.kind == ACT_SEEN || a.kind == ACT_DELETE;
        if (maildir && a.dir != md.dir()) {
            index = curindex{};
            (void)md.open(a.dir);
        }
        maildirmsg m{a.sub, a.name};
        int r = 0;
        std::string path = a.dir + a.sub + a.name;
        switch (a.kind) {
            case ACT_SEEN:
                r = markseen(md, m, index);
                folders.insert(a.dir + "new/");
                folders.insert(a.dir + "cur/");
                break;
            case ACT_DELETE:
                r = removemessage(md, m, index);
                folders.insert(a.dir + a.sub);
                break;
            case ACT_REMOVE:
                r = removebatch(a.dir, a.name);
                folders.insert(a.dir);
                break;
            case ACT_SETASIDE:
                r = setasidebatch(a.dir, a.name);
                folders.insert(a.dir);
                break;
        }
        if (r != 0) {
            // The message is in the SOUP packet already; the history keeps
            // it from being imported twice when it is taken in again.
            logprintf("! can't mark %s as taken in\n", path.c_str());
            bad = -1;
        }
    }
    for (const std::string& f : folders) {
        if (syncfolder(f) != 0) bad = -1;
    }
    // The articles are in the packet: their groups' marks move on.
    if (!p.marks.empty() && writenewsmarks(p.marks) != 0) bad = -1;
    return bad;
}

int removeplan() {
    if (std::remove(planpath().c_str()) != 0 && errno != ENOENT) {
        logprintf("Error removing %s\n", planpath().c_str());
        return -1;
    }
    return syncfolder(planpath());
}

bool committed(const plan& p) {
    if (p.areas.empty()) return false;
    areasnow a;
    if (readareas(a) != 0) return false;
    const std::string& first = p.areas.front().prefix;
    return a.prefixes.count(first) != 0 && exist(messagefilepath(cfg.soupdir.sv(), first));
}

}  // namespace

bool usablename(std::string_view s) {
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return !s.empty();
}

int readareas(areasnow& a) {
    a = areasnow{};
    int r = readshared(soup(AREASNAME), a.text);
    if (r < 0) return -1;
    std::size_t pos = 0;
    while (pos < a.text.size()) {
        std::size_t nl = a.text.find('\n', pos);
        std::size_t end = nl == std::string::npos ? a.text.size() : nl;
        std::string_view line(a.text.data() + pos, end - pos);
        a.prefixes.emplace(line.substr(0, line.find('\t')));
        pos = end + 1;
    }
    return 0;
}

// A prefix no file, temporary file, AREAS line or earlier choice uses. The
// search goes on from the prefix of the same base given last in the run:
// every one before it was taken then.
std::string freeprefix(const char* base, const areasnow& a, const plan& p) {
    static std::map<std::string, unsigned> lastgiven;
    char name[16];
    unsigned& from = lastgiven[base];
    for (unsigned n = from; n <= 0xFFFF; ++n) {
        std::snprintf(name, sizeof name, "%s%04X", base, n);
        std::string path = messagefilepath(cfg.soupdir.sv(), name);
        if (a.prefixes.count(name) || exist(path) || exist(durabletemp(path))) continue;
        bool chosen = false;
        for (const stagedarea& s : p.areas) chosen = chosen || s.prefix == name;
        if (chosen) continue;
        from = n;
        return name;
    }
    return "";
}

// A plan left by a killed run.
int finishplan() {
    std::string text;
    int r = readshared(planpath(), text);
    if (r == 1) return 0;
    plan p;
    if (r < 0 || !parseplan(text, p)) {
        logprintf("! %s is damaged: nothing is taken in until it is removed\n", planpath().c_str());
        return -1;
    }
    confineplan(p);
    if (committed(p)) {
        logprintf("Finishing the taking in that an earlier run left\n");
        (void)settleinputs(p);
    } else {
        for (const stagedarea& s : p.areas) {
            std::string path = messagefilepath(cfg.soupdir.sv(), s.prefix);
            (void)std::remove(path.c_str());
            (void)std::remove(durabletemp(path).c_str());
        }
    }
    return removeplan();
}

// Steps 2 to 6 for files written (each open in files[i] for p.areas[i]).
int carryout(plan& p, std::vector<durablefile>& files) {
    if (writedurable(planpath(), plantext(p)) != 0) {
        logprintf("Error writing %s\n", planpath().c_str());
        (void)std::remove(planpath().c_str());
        return -1;
    }
    bool bad = false;
    for (durablefile& f : files) {
        if (!bad && f.commit(false) != 0) bad = true;
    }
    if (bad || syncfolder(planpath()) != 0 || commitareas(p) != 0) {
        logprintf("Error writing %s\n", soup(AREASNAME).c_str());
        for (std::size_t i = 0; i < files.size(); ++i) {
            files[i].abort();
            (void)std::remove(messagefilepath(cfg.soupdir.sv(), p.areas[i].prefix).c_str());
        }
        (void)removeplan();
        return -1;
    }
    int r = settleinputs(p);
    if (removeplan() != 0) r = -1;
    return r;
}
