#include "driver/status.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/text.h"
#include "bounce/bounce.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/runrecord.h"
#include "driver/runstate.h"
#include "driver/startup.h"
#include "durable/durablefile.h"
#include "durable/journal.h"
#include "durable/statelines.h"
#include "durable/workfiles.h"
#include "mime/charsets.h"
#include "transport/deferrals.h"
#include "transport/delivery.h"
#include "transport/maildir.h"
#include "transport/newsmarks.h"
#include "transport/replyqueue.h"

namespace {

enum statuslevels { STATUS_OK = 0, STATUS_WARN = 1, STATUS_BROKEN = 2 };

struct waiting {
    long count = 0;
    std::time_t oldest = 0;  // 0: nothing waits
    void add(std::time_t t, long n = 1) {
        count += n;
        if (t > 0 && (oldest == 0 || t < oldest)) oldest = t;
    }
};

struct folderwait {
    std::string dir;
    long count = 0;
    std::time_t oldest = 0;
};

// A group the gateway fetches from a news server, and how far it got.
struct groupmark {
    std::string server, group, area;
    long long high = -1;      // -1: never fetched
    std::time_t fetched = 0;  // the last fetch that got through
};

struct statusreport {
    std::time_t now = 0;
    int level = STATUS_OK;
    std::vector<std::string> problems;
    bool busy = false;
    std::string interrupted;  // what a killed run left in the journal
    waiting replies[2];
    waiting rejected;
    std::map<std::string, deferral> deferred;
    waiting staged;
    std::vector<folderwait> maildirs, newsbatches;
    long bouncestoday = 0;
    std::map<std::string, runentry> runs;
    long long historysize = -1, journalsize = -1;
    std::vector<groupmark> groups;  // the groups fetched from news servers
};

void problem(statusreport& s, int level, const std::string& text) {
    s.level = std::max(s.level, level);
    s.problems.push_back(text);
}

std::time_t mtimeof(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

long long sizeof_(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string agetext(std::time_t seconds) {
    if (seconds < 0) seconds = 0;
    long s = static_cast<long>(seconds);
    if (s < 120) return std::to_string(s) + " seconds";
    if (s < 7200) return std::to_string(s / 60) + " minutes";
    if (s < 172800) return std::to_string(s / 3600) + " hours";
    return std::to_string(s / 86400) + " days";
}

std::string timetext(std::time_t t) {
    std::tm tm = localclock(t);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string isotime(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// ------------------------------------------------------------ gathering

void checkfolder(statusreport& s, const std::string& dir, const char* what) {
    if (dir.empty()) return;
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        problem(s, STATUS_BROKEN, std::string(what) + " " + dir + " does not exist");
    } else if (access(dir.c_str(), W_OK | X_OK) != 0) {
        problem(s, STATUS_BROKEN, std::string(what) + " " + dir + " is not writable");
    }
}

void checkfolders(statusreport& s) {
    checkfolder(s, cfg.soupdir.str(), "SoupDir");
    checkfolder(s, cfg.indir.str(), "InboundDir");
    checkfolder(s, cfg.tempdir.str(), "TempDir");
    checkfolder(s, cfg.decodedir.str(), "DecodeDir");
    if (cfg.mailertype == MAILER_BINKLEY) checkfolder(s, cfg.outdir.str(), "OutboundDir");
    if (cfg.mailertype == MAILER_ARCMAIL) checkfolder(s, cfg.netdir.str(), "NetmailDir");
    std::string rej = cfg.soupdir.str() + REJECTEDDIR;
    if (exist(rej)) checkfolder(s, rej, "the folder of refused replies");
    for (const maildirsource& m : cfg.importmaildir) {
        checkfolder(s, m.dir + "new/", "ImportMaildir");
        checkfolder(s, m.dir + "cur/", "ImportMaildir");
    }
    for (const std::string& d : cfg.importnewsbatches) checkfolder(s, d, "ImportNewsBatches");
}

// Whether a run holds the SOUP folder now: it is locked while one works.
bool soupbusy() {
    int fd = open(cfg.soupdir.empty() ? "." : cfg.soupdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool busy = flock(fd, LOCK_SH | LOCK_NB) != 0;
    close(fd);
    return busy;
}

void gatherreplies(statusreport& s) {
    std::vector<queuedfile> files;
    if (readreplyqueue(files) != 0) {
        problem(s, STATUS_WARN, "the reply files cannot be read");
        return;
    }
    std::map<std::string, deferral> book;
    (void)readdeferrals(cfg.soupdir.str() + DEFERRALSNAME, book);
    for (const queuedfile& f : files) {
        if (f.records.empty()) continue;
        // A reply waits since it was written, or since a server first put
        // it off when that is known to be earlier.
        std::time_t t = mtimeof(f.path);
        for (const auto& [key, d] : book)
            if (d.kind == f.kind && d.first < t) t = d.first;
        s.replies[f.kind == 1 ? 1 : 0].add(t, static_cast<long>(f.records.size()));
    }
    s.deferred = std::move(book);
}

void gatherrejected(statusreport& s) {
    std::string dir = cfg.soupdir.str() + REJECTEDDIR;
    std::vector<std::string> names;
    if (!listdir(dir, names)) return;
    for (const std::string& n : names) {
        if (n.empty() || n[0] == '.') continue;
        s.rejected.add(mtimeof(dir + n));
    }
}

void gatherstaged(statusreport& s) {
    std::string data;
    if (readwhole(cfg.soupdir.str() + "AREAS", data) != 0) return;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        std::string line = data.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? data.size() : nl + 1;
        std::string prefix = line.substr(0, line.find('\t'));
        if (prefix.empty() || prefix.find('/') != std::string::npos) continue;
        std::string path = cfg.soupdir.str() + prefix + ".MSG";
        if (exist(path)) s.staged.add(mtimeof(path));
    }
}

void gatherinbound(statusreport& s) {
    for (const maildirsource& m : cfg.importmaildir) {
        folderwait w;
        w.dir = m.dir;
        std::vector<maildirmsg> msgs;
        if (unseenmessages(m.dir, msgs)) {
            for (const maildirmsg& x : msgs) {
                std::time_t t = mtimeof(m.dir + x.sub + x.name);
                ++w.count;
                if (t > 0 && (w.oldest == 0 || t < w.oldest)) w.oldest = t;
            }
        }
        s.maildirs.push_back(w);
    }
    for (const std::string& d : cfg.importnewsbatches) {
        folderwait w;
        w.dir = d;
        std::vector<std::string> names;
        if (listdir(d, names)) {
            for (const std::string& n : names) {
                if (n.empty() || n[0] == '.' || iendswith(n, ".tmp") || iendswith(n, ".BAD")) continue;
                std::time_t t = mtimeof(d + n);
                ++w.count;
                if (t > 0 && (w.oldest == 0 || t < w.oldest)) w.oldest = t;
            }
        }
        s.newsbatches.push_back(w);
    }
}

void gatherbounces(statusreport& s) {
    std::vector<stateline> lines;
    if (readstatelines(cfg.soupdir.str() + BOUNCELOGNAME, lines) != 0) return;
    std::tm t = localclock(s.now);
    std::time_t midnight = s.now - (t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec);
    for (const stateline& l : lines) s.bouncestoday += l.time >= midnight;
}

void gatherservers(statusreport& s) {
    if (cfg.newsservers.empty()) return;
    std::vector<newsmark> marks;
    (void)readnewsmarks(marks);
    for (const areamapentry& e : tables.areamap) {
        if (e.direction == DIR_EXPORT || e.server.empty()) continue;
        groupmark g;
        g.server = e.server.str();
        g.group = e.newsgroup.str();
        g.area = e.fidoarea.str();
        if (const newsmark* m = findnewsmark(marks, g.server, g.group)) {
            g.high = m->high;
            g.fetched = m->fetched;
        }
        s.groups.push_back(g);
    }
}

void judge(statusreport& s) {
    const std::time_t limit = static_cast<std::time_t>(cfg.warnhours) * 3600;
    auto old = [&](std::time_t t) { return t > 0 && s.now - t > limit; };
    for (int k = 0; k < 2; ++k) {
        if (old(s.replies[k].oldest))
            problem(s, STATUS_WARN, std::string(k ? "news" : "mail") + " replies wait since " +
                                        timetext(s.replies[k].oldest));
    }
    if (old(s.rejected.oldest))
        problem(s, STATUS_WARN, std::to_string(s.rejected.count) + " refused replies wait for the sysop in " +
                                    cfg.soupdir.str() + REJECTEDDIR);
    if (old(s.staged.oldest)) problem(s, STATUS_WARN, "staged message files wait since " + timetext(s.staged.oldest));
    for (const auto* list : {&s.maildirs, &s.newsbatches}) {
        for (const folderwait& w : *list)
            if (old(w.oldest)) problem(s, STATUS_WARN, "mail and news wait in " + w.dir + " since " + timetext(w.oldest));
    }
    for (const auto& [name, r] : s.runs) {
        if (!r.ok) problem(s, STATUS_WARN, "the last " + name + " failed: " + r.firsterror);
    }
    for (const groupmark& g : s.groups) {
        if (old(g.fetched))
            problem(s, STATUS_WARN, "news server " + g.server + ": " + g.group + " not fetched since " + timetext(g.fetched));
    }
    if (!s.interrupted.empty() && !s.busy) problem(s, STATUS_WARN, "an interrupted run left its journal: " + s.interrupted);
}

void gather(statusreport& s) {
    s.now = nowtime();
    checkfolders(s);
    s.busy = soupbusy();
    gatherreplies(s);
    gatherrejected(s);
    gatherstaged(s);
    gatherinbound(s);
    gatherbounces(s);
    gatherservers(s);
    (void)readrunrecord(cfg.soupdir.str() + RUNRECORDNAME, s.runs);
    std::string jnlpath = cfg.soupdir.str() + "pondlark.jnl";
    s.journalsize = sizeof_(jnlpath);
    if (!s.busy) s.interrupted = journalpending(jnlpath);
    s.historysize = sizeof_(cfg.soupdir.str() + "pondlark.his");
    judge(s);
}

// ------------------------------------------------------------- writing

// Text from files other programs write, made safe for a terminal.
std::string safe(const std::string& t) {
    std::string out;
    for (char c : t) {
        unsigned char u = static_cast<unsigned char>(c);
        out.push_back(u < 0x20 || u == 0x7F ? ' ' : c);
    }
    return out;
}

std::string waittext(const waiting& w, std::time_t now) {
    if (w.count == 0) return "none";
    return std::to_string(w.count) + " (oldest " + agetext(now - w.oldest) + ")";
}

void writetext(const statusreport& s) {
    std::string o = "PondLark status at " + timetext(s.now) + " (a warning after " + std::to_string(cfg.warnhours) +
                    " hours)\n";
    if (s.busy) o += "A run is working on " + cfg.soupdir.str() + " now.\n";
    o += "Mail replies waiting:  " + waittext(s.replies[0], s.now) + "\n";
    o += "News replies waiting:  " + waittext(s.replies[1], s.now) + "\n";
    o += "Refused replies:       " + waittext(s.rejected, s.now) + (s.rejected.count ? " in " + cfg.soupdir.str() + REJECTEDDIR : "") + "\n";
    for (const auto& [key, d] : s.deferred) {
        std::string rcpts;
        for (const std::string& r : d.pending) rcpts += (rcpts.empty() ? "" : ", ") + r;
        o += "Put off: " + safe(key) + " (" + (d.kind ? "news" : "mail") + ") for " + safe(rcpts) + " since " +
             timetext(d.first) + ", last answer: " + safe(d.answer) + "\n";
    }
    o += "Staged, not imported:  " + waittext(s.staged, s.now) + "\n";
    for (const folderwait& w : s.maildirs)
        o += "Maildir " + w.dir + ": " + waittext(waiting{w.count, w.oldest}, s.now) + " unseen\n";
    for (const folderwait& w : s.newsbatches)
        o += "News batches in " + w.dir + ": " + waittext(waiting{w.count, w.oldest}, s.now) + "\n";
    o += "Bounces sent today:    " + std::to_string(s.bouncestoday) + "\n";
    for (const char* c : {"import", "export", "pack"}) {
        auto it = s.runs.find(c);
        o += std::string("Last ") + c + ":" + std::string(8 - std::string(c).size(), ' ');
        if (it == s.runs.end()) {
            o += "none recorded\n";
            continue;
        }
        o += timetext(it->second.start) + ", " + (it->second.ok ? "ok" : "failed");
        if (!it->second.ok && !it->second.firsterror.empty()) o += " (" + safe(it->second.firsterror) + ")";
        o += "\n";
    }
    for (const groupmark& g : s.groups) {
        o += "News server " + g.server + ", " + safe(g.group) + " (" + g.area + "): ";
        o += g.high < 0 ? std::string("not fetched yet\n")
                        : "article " + std::to_string(g.high) + ", fetched " + timetext(g.fetched) + "\n";
    }
    o += "History:               " + (s.historysize < 0 ? std::string("none") : std::to_string(s.historysize) + " bytes") + "\n";
    o += "Journal:               " + (s.journalsize < 0 ? std::string("none") : std::to_string(s.journalsize) + " bytes") + "\n";
    for (const std::string& p : s.problems) o += "! " + safe(p) + "\n";
    o += s.level == STATUS_OK ? "All is well.\n" : s.level == STATUS_WARN ? "Something needs the sysop.\n"
                                                                          : "The gateway cannot work.\n";
    std::fputs(o.c_str(), stdout);
}

// A JSON string: UTF-8 (other bytes as U+FFFD), control characters escaped.
std::string js(const std::string& t) {
    std::string u;
    if (isvalidutf8(t) || toutf8(t, "windows-1252", u) != 0) u = t;
    std::string o = "\"";
    for (char c : u) {
        unsigned char b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            o.push_back('\\');
            o.push_back(c);
        } else if (b < 0x20 || b == 0x7F) {
            static const char hex[] = "0123456789abcdef";
            o += "\\u00";
            o.push_back(hex[b >> 4]);
            o.push_back(hex[b & 15]);
        } else {
            o.push_back(c);
        }
    }
    return o + "\"";
}

std::string jsonwait(const waiting& w, std::time_t now) {
    std::string o = "{\"count\": " + std::to_string(w.count);
    if (w.count > 0 && w.oldest > 0)
        o += ", \"oldest\": " + js(isotime(w.oldest)) + ", \"age\": " + std::to_string(static_cast<long long>(now - w.oldest));
    return o + "}";
}

void writejson(const statusreport& s) {
    std::string o = "{\n";
    o += "  \"status\": " + std::to_string(s.level) + ",\n";
    o += "  \"time\": " + js(isotime(s.now)) + ",\n";
    o += "  \"warnhours\": " + std::to_string(cfg.warnhours) + ",\n";
    o += "  \"busy\": " + std::string(s.busy ? "true" : "false") + ",\n";
    o += "  \"problems\": [";
    for (std::size_t i = 0; i < s.problems.size(); ++i) o += (i ? ", " : "") + js(s.problems[i]);
    o += "],\n";
    o += "  \"replies\": {\"mail\": " + jsonwait(s.replies[0], s.now) + ", \"news\": " + jsonwait(s.replies[1], s.now) + "},\n";
    o += "  \"rejected\": " + jsonwait(s.rejected, s.now) + ",\n";
    o += "  \"deferred\": [";
    bool first = true;
    for (const auto& [key, d] : s.deferred) {
        o += std::string(first ? "\n" : ",\n") + "    {\"id\": " + js(key) + ", \"kind\": " + js(d.kind ? "news" : "mail") +
             ", \"recipients\": [";
        for (std::size_t i = 0; i < d.pending.size(); ++i) o += (i ? ", " : "") + js(d.pending[i]);
        o += "], \"since\": " + js(isotime(d.first)) + ", \"age\": " + std::to_string(static_cast<long long>(s.now - d.first)) +
             ", \"last\": " + js(isotime(d.last)) + ", \"answer\": " + js(d.answer) + "}";
        first = false;
    }
    o += first ? "],\n" : "\n  ],\n";
    o += "  \"staged\": " + jsonwait(s.staged, s.now) + ",\n";
    o += "  \"inbound\": {\"maildirs\": [";
    for (std::size_t i = 0; i < s.maildirs.size(); ++i)
        o += (i ? ", " : "") + std::string("{\"dir\": ") + js(s.maildirs[i].dir) + ", \"unseen\": " +
             jsonwait(waiting{s.maildirs[i].count, s.maildirs[i].oldest}, s.now) + "}";
    o += "], \"newsbatches\": [";
    for (std::size_t i = 0; i < s.newsbatches.size(); ++i)
        o += (i ? ", " : "") + std::string("{\"dir\": ") + js(s.newsbatches[i].dir) + ", \"batches\": " +
             jsonwait(waiting{s.newsbatches[i].count, s.newsbatches[i].oldest}, s.now) + "}";
    o += "]},\n";
    o += "  \"bounces\": {\"today\": " + std::to_string(s.bouncestoday) + "},\n";
    o += "  \"runs\": {";
    first = true;
    for (const auto& [name, r] : s.runs) {
        o += std::string(first ? "\n" : ",\n") + "    " + js(name) + ": {\"start\": " + js(isotime(r.start)) +
             ", \"end\": " + js(isotime(r.end)) + ", \"result\": " + js(r.ok ? "ok" : "failed") +
             ", \"errors\": " + std::to_string(r.errors) + ", \"firsterror\": " + js(r.firsterror) + "}";
        first = false;
    }
    o += first ? "},\n" : "\n  },\n";
    o += "  \"interrupted\": " + (s.interrupted.empty() ? std::string("null") : js(s.interrupted)) + ",\n";
    o += "  \"files\": {\"history\": " + (s.historysize < 0 ? std::string("null") : std::to_string(s.historysize)) +
         ", \"journal\": " + (s.journalsize < 0 ? std::string("null") : std::to_string(s.journalsize)) + "},\n";
    // The news servers' groups and how far they were read, by server.
    o += "  \"servers\": {";
    first = true;
    for (const newsserverdef& d : cfg.newsservers) {
        o += std::string(first ? "\n" : ",\n") + "    " + js(d.name) + ": {\"host\": " + js(d.host) +
             ", \"port\": " + std::to_string(d.port) + ", \"groups\": [";
        bool firstgroup = true;
        for (const groupmark& g : s.groups) {
            if (!strieq(g.server, d.name)) continue;
            o += std::string(firstgroup ? "" : ", ") + "{\"group\": " + js(g.group) + ", \"area\": " + js(g.area) +
                 ", \"high\": " + (g.high < 0 ? std::string("null") : std::to_string(g.high)) +
                 ", \"fetched\": " + (g.fetched > 0 ? js(isotime(g.fetched)) : std::string("null")) + "}";
            firstgroup = false;
        }
        o += "]}";
        first = false;
    }
    o += first ? "}\n" : "\n  }\n";
    o += "}\n";
    std::fputs(o.c_str(), stdout);
}

}  // namespace

int runstatus(int argc, char** argv) {
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (strieq(a, "/json") || strieq(a, "/j")) {
            json = true;
        } else if (istartswith(a, "/config=")) {
            run.configfile = a.substr(8);
        } else if (istartswith(a, "/c=")) {
            run.configfile = a.substr(3);
        } else {
            std::fprintf(stderr, "Usage: pondlark status [/json] [/config=<file>]\n");
            return STATUS_BROKEN;
        }
    }
    takeenvironment();
    if (readconfigfile(run.configfile.str(), run.progpath.str()) != 0 || !validateconfig() || cfg.tempdir.empty()) {
        std::fprintf(stderr, "The configuration fails its check: run pondlark check\n");
        if (json) std::fputs("{\n  \"status\": 2,\n  \"problems\": [\"the configuration fails its check\"]\n}\n", stdout);
        return STATUS_BROKEN;
    }
    if (cfg.decodedir.empty()) cfg.decodedir = cfg.indir;
    statusreport s;
    gather(s);
    if (json) {
        writejson(s);
    } else {
        writetext(s);
    }
    std::fflush(stdout);
    return s.level;
}
