#include "transport/staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/workfiles.h"
#include "import/soup.h"
#include "transport/history.h"
#include "transport/maildir.h"
#include "transport/newsbatch.h"
#include "transport/nntpfetch.h"
#include "transport/stagingplan.h"

namespace {

constexpr std::size_t COPYBLOCK = 1 << 16;
// Header bytes looked at for an article's Newsgroups.
constexpr std::size_t MAXHEADER = 1 << 16;
// Bounds of one news transaction: what its article index may hold.
constexpr long MAXTXNBYTES = 256L << 20;
constexpr std::size_t MAXTXNFILES = 256;
constexpr long MAXRECORD = INT32_MAX;

std::string soup(const std::string& name) {
    return cfg.soupdir.str() + name;
}

std::string planpath() {
    return soup(STAGINGNAME);
}

// ------------------------------------------------------------ Maildirs

void put4(durablefile& out, long n) {
    unsigned char be[4];
    put32be(be, static_cast<std::uint32_t>(n));
    out.write(be, sizeof be);
}

// Copies one message file (name in the folder dirfd) into out as a binary
// SOUP record, its length filled in once the file is read to its end. 0,
// or -1 (reported) when it cannot be read: out is then as it was.
int copymessage(int dirfd, const std::string& name, const std::string& path, durablefile& out,
                std::vector<char>& buf) {
    // O_NONBLOCK: a FIFO someone left in the folder must not stop the run.
    int fd = openat(dirfd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    struct stat st {};
    long start = out.size(), got = 0;
    bool bad = fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
    if (!bad) put4(out, 0);
    while (!bad) {
        ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) bad = true;
        if (n <= 0) break;
        out.write(buf.data(), static_cast<std::size_t>(n));
        got += n;
        if (got > MAXRECORD) {
            close(fd);
            (void)out.cutback(start);
            logprintf("! %s is too large for a SOUP packet: left where it is\n", path.c_str());
            return -1;
        }
    }
    if (fd >= 0) close(fd);
    unsigned char be[4];
    put32be(be, static_cast<std::uint32_t>(got));
    if (bad || out.patch(start, be, sizeof be) != 0) {
        (void)out.cutback(start);
        logprintf("! can't read %s: left where it is\n", path.c_str());
        return -1;
    }
    return 0;
}

int stagemaildirs() {
    std::vector<char> buf(COPYBLOCK);
    plan p;
    areasnow a;
    if (readareas(a) != 0) {
        logprintf("Error reading %s\n", soup(AREASNAME).c_str());
        return -1;
    }
    std::vector<durablefile> files(1);
    int bad = 0;
    for (const maildirsource& src : cfg.importmaildir) {
        std::vector<maildirmsg> msgs;
        maildirfolders md;
        if (!md.open(src.dir) || !unseenmessages(src.dir, msgs)) {
            logprintf("! can't read Maildir %s\n", src.dir.c_str());
            bad = -1;
            continue;
        }
        if (msgs.empty()) continue;
        if (p.areas.empty()) {
            std::string prefix = freeprefix("MDIR", a, p);
            if (prefix.empty() || files[0].open(messagefilepath(cfg.soupdir.sv(), prefix)) != 0) {
                logprintf("Error writing a SOUP message file in %s\n", cfg.soupdir.c_str());
                return -1;
            }
            p.areas.push_back({prefix, EMAILAREANAME, "bn"});
        }
        long taken = 0;
        for (const maildirmsg& m : msgs) {
            std::string path = src.dir + m.sub + m.name;
            if (!usablename(src.dir) || !usablename(m.name)) {
                logprintf("! %s has a name that can't be noted: left where it is\n", path.c_str());
                continue;
            }
            if (copymessage(md.fd(m.sub), m.name, path, files[0], buf) != 0) continue;
            p.actions.push_back({src.remove ? ACT_DELETE : ACT_SEEN, src.dir, m.sub, m.name});
            ++taken;
        }
        logprintf("Taking in %ld message(s) from Maildir %s\n", taken, src.dir.c_str());
    }
    if (p.actions.empty()) return bad;
    if (carryout(p, files) != 0) bad = -1;
    return bad;
}

// -------------------------------------------------------- news batches

struct articleref {
    std::size_t file;  // index into the transaction's batches
    long start, length;
    std::size_t area;  // index into the plan's areas
};

struct openbatch {
    std::string dir, name;
    int fd = -1;
    long size = 0;
};

// The area of articles that no AreaMap line gates in.
constexpr char JUNKGROUP[] = "junk";

// The areas an article goes into: every group of its Newsgroups gated in
// by an AreaMap line, else "junk". Its first group would let a sender
// choose the area (and thousands of them, a SOUP file and a packet each):
// articles of groups nobody gated share the one area junk.
std::vector<std::string> articleareas(const std::vector<std::string>& groups) {
    std::vector<std::string> out;
    for (const std::string& g : groups) {
        for (const areamapentry& e : tables.areamap) {
            if (e.direction != DIR_EXPORT && strieq(e.newsgroup.sv(), g) &&
                std::find(out.begin(), out.end(), g) == out.end()) {
                out.push_back(g);
            }
        }
    }
    if (out.empty()) out.push_back(JUNKGROUP);
    return out;
}

std::size_t areaindex(plan& p, const std::string& group, const areasnow& a) {
    for (std::size_t i = 0; i < p.areas.size(); ++i) {
        if (p.areas[i].areaname == group) return i;
    }
    std::string prefix = freeprefix("NBAT", a, p);
    if (prefix.empty()) return SIZE_MAX;
    p.areas.push_back({prefix, group, "un"});
    return p.areas.size() - 1;
}

bool readarticle(int fd, long at, long n, std::string& out) {
    out.resize(static_cast<std::size_t>(n));
    long got = 0;
    while (got < n) {
        ssize_t r = pread(fd, out.data() + got, static_cast<std::size_t>(n - got), at + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += r;
    }
    return true;
}

// Indexes one batch of the transaction; false when it cannot be read at
// all (it stays, reported).
bool indexbatch(openbatch& b, std::size_t fileno, plan& p, const areasnow& a,
                std::vector<articleref>& refs, std::size_t& articles) {
    std::string path = b.dir + b.name;
    std::vector<batcharticle> arts;
    bool whole = readbatch(b.fd, b.size, arts);
    std::size_t before = refs.size();
    std::string header;
    for (const batcharticle& art : arts) {
        // An empty article ("#! rnews 0") is no article.
        if (art.length == 0) continue;
        long hn = std::min<long>(art.length, static_cast<long>(MAXHEADER));
        if (!readarticle(b.fd, art.start, hn, header)) {
            refs.resize(before);
            logprintf("! can't read %s: left where it is\n", path.c_str());
            return false;
        }
        std::size_t end = header.find("\n\n");
        if (end != std::string::npos) header.resize(end + 1);
        for (const std::string& g : articleareas(articlegroups(header))) {
            std::size_t ai = areaindex(p, g, a);
            if (ai == SIZE_MAX) {
                refs.resize(before);
                logprintf("Error: no free SOUP message file name in %s\n", cfg.soupdir.c_str());
                return false;
            }
            refs.push_back({fileno, art.start, art.length, ai});
        }
    }
    p.actions.push_back({whole ? ACT_REMOVE : ACT_SETASIDE, b.dir, "", b.name});
    articles += arts.size();
    return true;
}

// Writes each area's file from the articles of the transaction's batches.
int writeareas(const plan& p, std::vector<articleref>& refs, const std::vector<openbatch>& batches,
               std::vector<durablefile>& files) {
    std::stable_sort(refs.begin(), refs.end(),
                     [](const articleref& x, const articleref& y) { return x.area < y.area; });
    files = std::vector<durablefile>(p.areas.size());
    std::string art;
    std::size_t i = 0;
    for (std::size_t ai = 0; ai < p.areas.size(); ++ai) {
        durablefile& f = files[ai];
        if (f.open(messagefilepath(cfg.soupdir.sv(), p.areas[ai].prefix)) != 0) return -1;
        for (; i < refs.size() && refs[i].area == ai; ++i) {
            const articleref& r = refs[i];
            f.write(std::string(RNEWSHEADER) + std::to_string(r.length) + "\n");
            for (long at = 0; at < r.length; at += static_cast<long>(COPYBLOCK)) {
                long n = std::min<long>(r.length - at, static_cast<long>(COPYBLOCK));
                if (!readarticle(batches[r.file].fd, r.start + at, n, art)) return -1;
                f.write(art);
            }
        }
        // Files stay open only as long as they are written.
        if (f.seal() != 0) return -1;
    }
    return 0;
}

int stagebatchgroup(std::vector<openbatch>& batches, const std::string& folder) {
    plan p;
    areasnow a;
    if (readareas(a) != 0) {
        logprintf("Error reading %s\n", soup(AREASNAME).c_str());
        return -1;
    }
    std::vector<articleref> refs;
    int bad = 0;
    std::size_t taken = 0, articles = 0;
    for (std::size_t i = 0; i < batches.size(); ++i) {
        if (!indexbatch(batches[i], i, p, a, refs, articles)) {
            bad = -1;
            continue;
        }
        ++taken;
    }
    std::vector<durablefile> files;
    if (p.actions.empty()) return bad;
    if (writeareas(p, refs, batches, files) != 0) {
        logprintf("Error writing a SOUP message file in %s\n", cfg.soupdir.c_str());
        return -1;
    }
    logprintf("Taking in %zu article(s) from %zu news batch(es) in %s\n", articles, taken,
              folder.c_str());
    if (carryout(p, files) != 0) bad = -1;
    return bad;
}

void closebatches(std::vector<openbatch>& batches) {
    for (openbatch& b : batches) {
        if (b.fd >= 0) close(b.fd);
    }
    batches.clear();
}

int stagebatchfolder(const std::string& dir) {
    std::vector<std::string> names;
    if (!listdir(dir, names)) {
        logprintf("! can't read news batch folder %s\n", dir.c_str());
        return -1;
    }
    int bad = 0;
    std::vector<openbatch> group;
    long bytes = 0;
    for (const std::string& n : names) {
        if (n.empty() || n[0] == '.' || iendswith(n, ".BAD") || iendswith(n, ".tmp")) continue;
        std::string path = dir + n;
        // Opened once, never through a link (the folder is written by the
        // news server's user), and judged by what was opened.
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ELOOP) {
                logprintf("! %s is a link: left alone\n", path.c_str());
            } else if (errno != ENOENT) {
                logprintf("! can't read %s: left where it is\n", path.c_str());
                bad = -1;
            }
            continue;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
            close(fd);
            continue;
        }
        if (!isnewsbatch(fd)) {
            close(fd);
            logprintf("! %s is not a news batch: left alone\n", path.c_str());
            continue;
        }
        if (!usablename(n) || !usablename(dir)) {
            close(fd);
            logprintf("! %s has a name that can't be noted: left where it is\n", path.c_str());
            continue;
        }
        if (!group.empty() && (bytes + st.st_size > MAXTXNBYTES || group.size() >= MAXTXNFILES)) {
            if (stagebatchgroup(group, dir) != 0) bad = -1;
            closebatches(group);
            bytes = 0;
        }
        openbatch b{dir, n, fd, static_cast<long>(st.st_size)};
        bytes += b.size;
        group.push_back(b);
    }
    if (!group.empty() && stagebatchgroup(group, dir) != 0) bad = -1;
    closebatches(group);
    return bad;
}

}  // namespace

int stageinbound() {
    if (cfg.importmaildir.empty() && cfg.importnewsbatches.empty() && cfg.newsservers.empty() &&
        !exist(planpath()))
        return 0;
    if (run.testmode) {
        logprintf("/test: Maildirs, news batches and news servers are not taken in\n");
        return 0;
    }
    if (finishplan() != 0) return -1;
    removestaletemps(cfg.soupdir.str(), {AREASNAME, STAGINGNAME, HISTORYNAME, NEWSMARKSNAME},
                     {"MDIR", "NBAT", "NNTP"});
    int bad = stagemaildirs();
    for (const std::string& dir : cfg.importnewsbatches) {
        if (stagebatchfolder(dir) != 0) bad = -1;
    }
    if (fetchnews() != 0) bad = -1;
    return bad;
}
