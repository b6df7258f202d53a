#include "transport/replyqueue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>

#include "base/bytes.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/durablefile.h"
#include "durable/workfiles.h"
#include "import/replies.h"
#include "transport/envelope.h"

namespace {
constexpr long BLOCK = 1 << 16;

std::string repliespath() {
    return cfg.soupdir.str() + REPLIESNAME;
}

// One line of REPLIES: the base name, and the kind by the second field.
struct repliesline {
    std::string text;  // without its line feed
    std::string name;
    int kind = -1;
};

std::vector<repliesline> readrepliesfile(const std::string& data) {
    std::vector<repliesline> out;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        repliesline l;
        l.text = data.substr(pos, end - pos);
        pos = end + 1;
        std::string_view t = l.text;
        std::size_t tab = t.find('\t');
        l.name = std::string(t.substr(0, tab));
        if (tab != std::string_view::npos) {
            std::string_view kind = t.substr(tab + 1);
            kind = kind.substr(0, kind.find('\t'));
            if (kind == TYPENAME[REPLY_MAIL]) l.kind = REPLY_MAIL;
            if (kind == TYPENAME[REPLY_NEWS]) l.kind = REPLY_NEWS;
        }
        out.push_back(std::move(l));
    }
    return out;
}

bool safename(std::string_view n) {
    return !n.empty() && n.find('/') == std::string_view::npos && n.find('\0') == std::string_view::npos;
}

// Hash of n bytes at offset.
int hashat(int fd, long offset, long n, std::uint64_t& h) {
    h = hashbytes({});
    std::string buf;
    for (long at = 0; at < n; at += BLOCK) {
        if (readat(fd, offset + at, std::min(BLOCK, n - at), buf) != 0) return -1;
        h = hashbytes(buf, h);
    }
    return 0;
}

// Reads the records of an open reply file into f.
int readrecords(int fd, queuedfile& f) {
    f.records.clear();
    long pos = 0;
    std::string len;
    while (pos + 4 <= f.size) {
        if (readat(fd, pos, 4, len) != 0) return -1;
        long n = static_cast<long>(static_cast<std::int32_t>(get32be(reinterpret_cast<const unsigned char*>(len.data()))));
        // An empty record is the placeholder of one whose writing was cut.
        if (n <= 0 || n > f.size - pos - 4) break;
        replyrecord r{pos, n, 0};
        if (hashat(fd, pos + 4, n, r.hash) != 0) return -1;
        f.records.push_back(r);
        pos += 4 + n;
    }
    f.goodend = pos;
    return 0;
}

int openqueued(const std::string& name, int kind, queuedfile& f, int& fd) {
    f = queuedfile{};
    f.name = name;
    f.kind = kind;
    f.path = cfg.soupdir.str() + name + ".MSG";
    fd = open(f.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 1 : -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    f.size = static_cast<long>(st.st_size);
    return 0;
}

// The record text with its header given the sent-to line.
int copyrecord(int fd, const replyrecord& r, const std::vector<std::string>* sentto, durablefile& out) {
    std::string buf;
    if (!sentto) {
        for (long at = 0; at < r.length + 4; at += BLOCK) {
            if (readat(fd, r.offset + at, std::min(BLOCK, r.length + 4 - at), buf) != 0) return -1;
            out.write(buf);
        }
        return 0;
    }
    std::string text;
    if (readat(fd, r.offset + 4, r.length, text) != 0) return -1;
    std::size_t hl = headerlength(text);
    std::string head = withsentto(std::string_view(text).substr(0, hl), *sentto);
    unsigned char be[4];
    put32be(be, static_cast<std::uint32_t>(head.size() + text.size() - hl));
    out.write(be, 4);
    out.write(head);
    out.write(std::string_view(text).substr(hl));
    return 0;
}

struct recordplan {
    bool drop = false;
    std::vector<std::string> sentto;
};

// Rewrites one file by its plan; sets gone when nothing is left of it.
int rewritefile(const std::string& name, const std::vector<const recordfate*>& fates, bool& gone) {
    gone = false;
    queuedfile f;
    int fd = -1;
    int r = openqueued(name, 0, f, fd);
    if (r != 0) return r == 1 ? 0 : -1;
    std::map<long, recordplan> plans;
    int bad = readrecords(fd, f);
    for (const recordfate* x : fates) {
        if (bad || x->dev != f.dev || x->ino != f.ino) continue;
        auto rec = std::find_if(f.records.begin(), f.records.end(), [x](const replyrecord& y) {
            return y.offset == x->record.offset && y.length == x->record.length && y.hash == x->record.hash;
        });
        if (rec == f.records.end()) continue;
        recordplan& p = plans[rec->offset];
        if (x->fate == FATE_PARTIAL) {
            for (const std::string& a : x->sentto) {
                if (std::none_of(p.sentto.begin(), p.sentto.end(), [&](const std::string& b) { return sameaddress(a, b); }))
                    p.sentto.push_back(a);
            }
        } else {
            p.drop = true;
        }
    }
    if (bad || plans.empty()) {
        close(fd);
        return bad;
    }
    long left = 0;
    durablefile out;
    if (out.open(f.path) != 0) bad = -1;
    for (const replyrecord& rec : f.records) {
        if (bad) break;
        auto p = plans.find(rec.offset);
        if (p != plans.end() && p->second.drop) continue;
        if (p != plans.end()) {
            // Sent-to names from an earlier round stay named.
            std::string text;
            if (readat(fd, rec.offset + 4, rec.length, text) != 0) {
                bad = -1;
                break;
            }
            envelope env;
            std::string problem;
            (void)readenvelope(std::string_view(text).substr(0, headerlength(text)), env, problem);
            std::vector<std::string>& names = p->second.sentto;
            for (const std::string& a : env.sentto) {
                if (std::none_of(names.begin(), names.end(), [&](const std::string& b) { return sameaddress(a, b); }))
                    names.push_back(a);
            }
        }
        if (copyrecord(fd, rec, p != plans.end() ? &p->second.sentto : nullptr, out) != 0) bad = -1;
        ++left;
    }
    std::string tail;
    if (!bad && f.goodend < f.size) {
        if (readat(fd, f.goodend, f.size - f.goodend, tail) != 0) bad = -1;
        out.write(tail);
    }
    close(fd);
    if (bad) return -1;
    if (left == 0 && tail.empty()) {
        out.abort();
        gone = true;
        return std::remove(f.path.c_str()) == 0 || errno == ENOENT ? 0 : -1;
    }
    return out.commit(false);
}

// REPLIES without the lines of files not there and without repeats.
int rewritereplies() {
    std::string data;
    int r = readshared(repliespath(), data);
    if (r == 1) return 0;
    if (r < 0) return -1;
    std::string kept;
    std::set<std::string> seen;
    for (const repliesline& l : readrepliesfile(data)) {
        if (l.text.empty()) continue;
        if (safename(l.name) && !exist(cfg.soupdir.str() + l.name + ".MSG")) continue;
        if (!seen.insert(l.name).second) continue;
        kept += l.text + "\n";
    }
    if (kept == data) return 0;
    if (kept.empty()) return std::remove(repliespath().c_str()) == 0 ? syncfolder(repliespath()) : -1;
    return writedurable(repliespath(), kept);
}
}  // namespace

std::uint64_t hashbytes(std::string_view data, std::uint64_t h) {
    for (unsigned char c : data) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

int readat(int fd, long offset, long n, std::string& out) {
    out.resize(static_cast<std::size_t>(n));
    long got = 0;
    while (got < n) {
        ssize_t r = pread(fd, out.data() + got, static_cast<std::size_t>(n - got), offset + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        got += r;
    }
    return 0;
}

int readreplyqueue(std::vector<queuedfile>& files) {
    files.clear();
    std::string data;
    int r = readshared(repliespath(), data);
    if (r == 1) return 0;
    if (r < 0) {
        logprintf("Error reading %s\n", repliespath().c_str());
        return -1;
    }
    std::set<std::string> seen;
    int bad = 0;
    for (const repliesline& l : readrepliesfile(data)) {
        if (l.kind < 0 || !safename(l.name) || !seen.insert(l.name).second) continue;
        queuedfile f;
        int fd = -1;
        int o = openqueued(l.name, l.kind, f, fd);
        if (o == 1) continue;
        if (o < 0 || readrecords(fd, f) != 0) {
            if (fd >= 0) close(fd);
            logprintf("Error reading %s\n", f.path.c_str());
            bad = -1;
            continue;
        }
        close(fd);
        if (f.goodend < f.size) logprintf("! %s is damaged after byte %ld: the rest stays as it is\n", f.path.c_str(), f.goodend);
        files.push_back(std::move(f));
    }
    return bad;
}

int settlefates(const std::vector<recordfate>& fates) {
    std::map<std::string, std::vector<const recordfate*>> byfile;
    for (const recordfate& x : fates) byfile[x.name].push_back(&x);
    int bad = 0;
    for (const auto& [name, list] : byfile) {
        if (!safename(name)) continue;
        bool gone = false;
        if (rewritefile(name, list, gone) != 0) {
            logprintf("Error writing %s%s.MSG: its delivered messages stay in it\n", cfg.soupdir.c_str(),
                      name.c_str());
            bad = -1;
        }
    }
    if (!byfile.empty() && syncfolder(repliespath()) != 0) bad = -1;
    if (rewritereplies() != 0) {
        logprintf("Error writing %s\n", repliespath().c_str());
        bad = -1;
    }
    return bad;
}
