#include "transport/nntpfetch.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "import/soup.h"
#include "transport/newsmarks.h"
#include "transport/newsserver.h"
#include "transport/nntpconn.h"
#include "transport/stagingplan.h"

namespace {

constexpr std::size_t MAXARTICLE = 32u << 20;
// ARTICLE commands on their way at most; topped up when half are answered.
constexpr long long WINDOW = 100;
// One staging step takes at most this many articles or bytes: a run
// killed in the middle fetches again no more than that.
constexpr long long STEPARTICLES = 5000;
constexpr long STEPBYTES = 64L << 20;
// Article numbers one step asks for, and one group in one run: a server
// cannot keep a run asking for numbers it has no articles for.
constexpr long long STEPNUMBERS = 20000;
constexpr long long RUNNUMBERS = 1000000;

// The groups AreaMap ties to s for taking in, once each, in their order.
std::vector<std::string> groupsof(const newsserverdef& s) {
    std::vector<std::string> out;
    for (const areamapentry& e : tables.areamap) {
        if (e.direction == DIR_EXPORT || e.server.empty() || findnewsserver(e.server.sv()) != &s) continue;
        if (!plainname(e.newsgroup.sv())) continue;
        if (std::none_of(out.begin(), out.end(), [&](const std::string& g) { return strieq(g, e.newsgroup.sv()); }))
            out.push_back(e.newsgroup.str());
    }
    return out;
}

struct groupfetch {
    nntpconnection& conn;
    const newsserverdef& server;
    std::string group;
    newsmark mark;         // as it stands; moves on with each step
    long long high = 0;    // the server's newest article
    long long articles = 0;
    bool broken = false;   // the connection can no longer be used
    std::string why;       // what stopped the fetch
};

// Where the fetch of a group starts, after what the marks and the server
// say has been looked at and logged.
long long firstnumber(const groupfetch& f, const groupreply& g, const newsmark* m) {
    long long backlog = std::max(g.low, g.high - static_cast<long long>(cfg.newsbacklog) + 1);
    const char* s = f.server.name.c_str();
    const char* grp = f.group.c_str();
    if (!m) return backlog;
    if (g.high < m->high) {
        // The Message-ID history drops what came in before.
        logprintf("! group %s on %s was renumbered (newest article %lld, %lld taken before): taken again from %lld\n",
                  grp, s, g.high, m->high, backlog);
        return backlog;
    }
    if (g.low > m->high + 1)
        logprintf("! articles %lld to %lld of %s on %s expired before they were fetched\n", m->high + 1, g.low - 1,
                  grp, s);
    return std::max(m->high + 1, g.low);
}

// Writes one article of the step as an rnews batch entry.
void stagearticle(groupfetch& f, long long n, const blockreader& b, durablefile& out, long& bytes) {
    if (b.toolarge()) {
        logprintf("! article %lld of %s on %s is larger than %zu MiB: passed over\n", n, f.group.c_str(),
                  f.server.name.c_str(), MAXARTICLE >> 20);
        return;
    }
    if (b.text.empty()) {
        logprintf("! article %lld of %s on %s is empty: passed over\n", n, f.group.c_str(), f.server.name.c_str());
        return;
    }
    std::string head = std::string(RNEWSHEADER) + std::to_string(b.text.size()) + "\n";
    out.write(head);
    out.write(b.text);
    bytes += static_cast<long>(head.size() + b.text.size());
    ++f.articles;
}

// Fetches from article from on, at most to, into one staging step; last is
// the newest article handled (taken, or missing on the server), every one
// before it handled too.
void fetchstep(groupfetch& f, long long from, long long to, durablefile& out, long long& last, long& taken) {
    long long next = from, expect = from;
    long bytes = 0;
    bool stopsend = false;
    last = from - 1;
    taken = 0;
    std::string cmd;
    blockreader b(MAXARTICLE);
    while (expect < next || (next <= to && !stopsend)) {
        if (!stopsend && next <= to && next - expect <= WINDOW / 2) {
            cmd.clear();
            for (; next <= to && next - expect < WINDOW; ++next) cmd += "ARTICLE " + std::to_string(next) + "\r\n";
            if (f.conn.queue(cmd, f.why) != 0) {
                f.broken = true;
                return;
            }
        }
        nntpstatus st;
        if (f.conn.readstatus(st, f.why) != 0) {
            f.broken = true;
            return;
        }
        if (st.code == 220) {
            b.reset();
            if (f.conn.readblock(b, f.why) != 0) {
                f.broken = true;
                return;
            }
            long before = bytes;
            stagearticle(f, expect, b, out, bytes);
            if (bytes != before) ++taken;
        } else if (st.code != 423 && st.code != 430) {
            // The answers still on their way can no longer be told apart.
            f.why = "ARTICLE " + std::to_string(expect) + ": " + std::to_string(st.code) + " " + st.text;
            f.broken = true;
            return;
        }
        last = expect++;
        if (taken >= STEPARTICLES || bytes >= STEPBYTES) stopsend = true;
    }
}

// The step of one group's articles: staged, and the mark moved on with
// them. 0, or -1 when they could not be staged (the mark stays).
int commitstep(groupfetch& f, const std::string& prefix, plan& p, std::vector<durablefile>& files, long long last,
               long taken, bool complete) {
    newsmark m = f.mark;
    m.high = last;
    if (complete) m.fetched = nowtime();
    if (taken == 0) {
        // Nothing reaches the packet: the mark alone moves (past gaps).
        files[0].abort();
        if (m.high == f.mark.high && m.fetched == f.mark.fetched) return 0;
        if (writenewsmarks({m}) != 0) return -1;
        f.mark = m;
        return 0;
    }
    p.areas = {{prefix, f.group, "un"}};
    p.marks = {m};
    if (files[0].seal() != 0) {
        logprintf("Error writing %s\n", files[0].path().c_str());
        files[0].abort();
        return -1;
    }
    // carryout reports its own failures.
    if (carryout(p, files) != 0) return -1;
    f.mark = m;
    return 0;
}

// Fetches one group from the open connection. 0, or -1 (f.why, f.broken).
int fetchgroup(groupfetch& f, const std::vector<newsmark>& marks) {
    nntpstatus st;
    if (f.conn.command("GROUP " + f.group, st, f.why) != 0) {
        f.broken = true;
        return -1;
    }
    if (st.code == 411) {
        logprintf("! %s has no group %s\n", f.server.name.c_str(), f.group.c_str());
        return -1;
    }
    groupreply g;
    if (st.code != 211 || !parsegroupreply(st.text, g)) {
        f.why = "GROUP " + f.group + ": " + std::to_string(st.code) + " " + st.text;
        return -1;
    }
    const newsmark* m = findnewsmark(marks, f.server.name, f.group);
    f.mark = m ? *m : newsmark{f.server.name, f.group, 0, 0};
    long long from;
    if (g.count == 0 || g.high < g.low) {
        // An empty group says nothing of its numbers to come.
        from = g.high + 1;
        if (!m) f.mark.high = g.high > 0 ? g.high : 0;
        if (m && g.high > m->high)
            logprintf("! articles %lld to %lld of %s on %s expired before they were fetched\n", m->high + 1, g.high,
                      f.group.c_str(), f.server.name.c_str());
    } else {
        from = firstnumber(f, g, m);
        if (from - 1 < f.mark.high || !m) f.mark.high = from - 1;
    }
    f.high = g.high;
    long long end = std::min(g.high, from + RUNNUMBERS - 1);
    for (;;) {
        areasnow a;
        if (readareas(a) != 0) {
            logprintf("Error reading %s%s\n", cfg.soupdir.c_str(), AREASNAME);
            return -1;
        }
        plan p;
        std::string prefix = freeprefix("NNTP", a, p);
        std::vector<durablefile> files(1);
        if (prefix.empty() || files[0].open(messagefilepath(cfg.soupdir.sv(), prefix)) != 0) {
            logprintf("Error writing a SOUP message file in %s\n", cfg.soupdir.c_str());
            return -1;
        }
        long long last = from - 1;
        long taken = 0;
        if (from <= end) fetchstep(f, from, std::min(end, from + STEPNUMBERS - 1), files[0], last, taken);
        bool complete = !f.broken && last >= g.high;
        if (commitstep(f, prefix, p, files, std::max(last, f.mark.high), taken, complete) != 0) return -1;
        if (f.broken) return -1;
        if (complete) return 0;
        if (last >= end) {
            logprintf("! group %s on %s: articles %lld to %lld wait for the next run\n", f.group.c_str(),
                      f.server.name.c_str(), end + 1, g.high);
            return 0;
        }
        from = last + 1;
    }
}

// Every group of one server over one connection.
int fetchserver(const newsserverdef& s, const std::vector<newsmark>& marks) {
    std::vector<std::string> groups = groupsof(s);
    if (groups.empty()) return 0;
    nntpconnection conn;
    std::string why;
    if (conn.open(s, true, why) != 0) {
        logprintf("! news server %s: %s; nothing fetched from it\n", s.name.c_str(), why.c_str());
        return -1;
    }
    int bad = 0;
    long long articles = 0;
    std::size_t done = 0;
    bool broken = false;
    for (const std::string& group : groups) {
        groupfetch f{conn, s, group, {}, 0, 0, false, ""};
        if (fetchgroup(f, marks) != 0) {
            bad = -1;
            if (!f.why.empty()) logprintf("! news server %s, group %s: %s\n", s.name.c_str(), group.c_str(), f.why.c_str());
        } else {
            ++done;
        }
        articles += f.articles;
        if (f.broken) {
            broken = true;
            if (&group != &groups.back())
                logprintf("! news server %s: the other groups wait for the next run\n", s.name.c_str());
            break;
        }
    }
    if (broken) {
        conn.drop();
    } else {
        conn.quit();
    }
    logprintf("Taking in %lld article(s) of %zu group(s) from news server %s\n", articles, done, s.name.c_str());
    return bad;
}

}  // namespace

int fetchnews() {
    if (cfg.newsservers.empty()) return 0;
    std::vector<newsmark> marks;
    if (readnewsmarks(marks) != 0) return -1;
    int bad = 0;
    for (const newsserverdef& s : cfg.newsservers) {
        if (fetchserver(s, marks) != 0) bad = -1;
    }
    return bad;
}
