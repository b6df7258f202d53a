#include "durable/recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/codec.h"
#include "base/fileio.h"
#include "driver/log.h"
#include "durable/pathscope.h"

namespace {

long long number(const std::string& s) {
    return std::strtoll(s.c_str(), nullptr, 10);
}

fileid parseidentity(const std::string& s) {
    fileid id;
    std::sscanf(s.c_str(), "%lld:%lld:%lld", &id.ino, &id.size, &id.mtime);
    return id;
}

std::string unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(hexdigit(hex[i]) * 16 + hexdigit(hex[i + 1]));
    return out;
}

bool unescape(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i == in.size()) return false;
        switch (in[i]) {
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default: return false;
        }
    }
    return true;
}

struct recunit {
    long no = 0;
    std::string kind, input;
    std::vector<journalrecord> records;  // S, P, O, T, X, M, W, Z in order
    bool committed = false, checkpointed = false, done = false, abandoned = false;
};

struct journalread {
    bool header = false;
    int sync = 0;
    std::string command, pid;
    std::vector<recunit> units;
    std::vector<std::string> flags;
};

journalread readunits(const std::vector<journalrecord>& records) {
    journalread j;
    for (const journalrecord& r : records) {
        const auto& f = r.fields;
        auto need = [&f](std::size_t n) { return f.size() >= n; };
        switch (r.type) {
            case 'H':
                if (!need(5) || j.header) return j;
                j.header = true;
                j.command = f[2];
                j.pid = f[3];
                j.sync = f[4] == "1";
                break;
            case 'B': {
                if (!need(4)) return j;
                recunit u;
                u.no = static_cast<long>(number(f[0]));
                u.kind = f[1];
                u.input = f[2];
                j.units.push_back(std::move(u));
                break;
            }
            case 'S': case 'P': case 'O': case 'T': case 'X': case 'M': case 'W': case 'Z':
                if (j.units.empty()) return j;
                j.units.back().records.push_back(r);
                break;
            case 'Y':
                if (need(1)) j.flags.push_back(f[0]);
                break;
            case 'C':
                if (!j.units.empty()) j.units.back().committed = true;
                break;
            case 'K':
                for (recunit& u : j.units) u.checkpointed = u.checkpointed || u.committed;
                break;
            case 'D': {
                long upto = need(1) ? static_cast<long>(number(f[0])) : 0;
                for (recunit& u : j.units) u.done = u.done || (u.no <= upto && u.committed);
                break;
            }
            case 'A':
                if (!j.units.empty()) j.units.back().abandoned = true;
                break;
            default:
                return j;
        }
    }
    return j;
}

bool finishes(const journalread& j, const recunit& u) {
    return u.committed && !u.done && (!j.sync || u.checkpointed);
}

// The action a record of a committed unit stands for.
bool toaction(const journalrecord& r, journalaction& a) {
    const auto& f = r.fields;
    a = journalaction{};
    a.type = r.type;
    switch (r.type) {
        case 'O':
            if (f.size() < 3) return false;
            a.path = f[0];
            a.other = f[1];
            a.how = f[2].empty() ? static_cast<int>(PUBLISH_FILE) : f[2][0];
            return true;
        case 'T':
            if (f.empty()) return false;
            a.path = f[0];
            return true;
        case 'X':
            if (f.size() < 2) return false;
            a.path = f[0];
            a.id = parseidentity(f[1]);
            return true;
        case 'M':
            if (f.size() < 3) return false;
            a.path = f[0];
            a.other = f[1];
            a.id = parseidentity(f[2]);
            return true;
        case 'W':
            if (f.size() < 4) return false;
            a.path = f[0];
            a.pos = number(f[1]);
            a.bytes = unhex(f[2]);
            a.id.ino = number(f[3]);
            return true;
        case 'Z':
            if (f.size() < 3) return false;
            a.path = f[0];
            a.pos = number(f[1]);
            a.id.ino = number(f[2]);
            return true;
        default:
            return false;
    }
}

struct summary {
    actioncounts done;
    long finished = 0, takenback = 0;
    long removed = 0, cut = 0, restored = 0, flags = 0;
};

// The paths a unit's records name that lie in scope: the files that may
// vouch for one outside.
std::vector<std::string> namedinscope(const recunit& u) {
    std::vector<std::string> named;
    if (inscope(u.input)) named.push_back(u.input);
    for (const journalrecord& r : u.records) {
        for (std::size_t i = 0; i < r.fields.size() && i < 2; ++i) {
            const std::string& f = r.fields[i];
            bool path = i == 0 || r.type == 'O' || r.type == 'M';
            if (path && inscope(f)) named.push_back(f);
        }
    }
    return named;
}

void refuse(const std::string& path, summary& s) {
    logprintf("! recovery leaves %s alone: outside the folders of the configuration\n", path.c_str());
    ++s.done.refused;
}

// Where an action of a committed unit may be done: in scope, vouched for
// by a file in scope that the unit named, or not at all (-1, reported).
int placeof(const journalaction& a, const std::vector<std::string>& named, summary& s) {
    bool outside = a.type == 'O' || a.type == 'M' ? !inscope(a.path) || !inscope(a.other)
                                                  : !inscope(a.path);
    if (!outside) return ACT_SCOPED;
    bool vouchable = a.type == 'X' || a.type == 'Z' || a.type == 'M';
    // A set-aside name stays beside the file it renames.
    if (a.type == 'M') {
        std::size_t from = a.path.rfind('/'), to = a.other.rfind('/');
        vouchable = from == to && a.path.compare(0, from + 1, a.other, 0, to + 1) == 0 &&
                    a.other.find('/', to == std::string::npos ? 0 : to + 1) == std::string::npos;
    }
    if (vouchable && scope.vouch && scope.vouch(a.path, a.type, named)) return ACT_VOUCHED;
    refuse(a.type == 'O' && inscope(a.path) ? a.other : a.path, s);
    return -1;
}

void finishunit(const recunit& u, summary& s) {
    ++s.finished;
    std::vector<std::string> named = namedinscope(u);
    std::vector<journalaction> outputs, actions;
    for (const journalrecord& r : u.records) {
        journalaction a;
        if (!toaction(r, a)) continue;
        if (a.type == 'O' || a.type == 'T') {
            outputs.push_back(std::move(a));
        } else {
            actions.push_back(std::move(a));
        }
    }
    // Files outside first, while what vouches for them is as it was; then
    // the order of the run: outputs last made first, temporary files,
    // actions.
    std::vector<char> doneearly(actions.size(), 0);
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (!actsoutside(actions[i])) continue;
        doneearly[i] = 1;
        int where = placeof(actions[i], named, s);
        if (where >= 0) (void)performaction(actions[i], where, &s.done);
    }
    std::vector<journalaction> tmps;
    for (auto it = outputs.rbegin(); it != outputs.rend(); ++it) {
        if (it->type == 'T') {
            tmps.push_back(*it);
        } else if (placeof(*it, named, s) >= 0) {
            (void)performaction(*it, ACT_SCOPED, &s.done);
        }
    }
    for (const journalaction& a : tmps)
        if (placeof(a, named, s) >= 0) (void)performaction(a, ACT_SCOPED, &s.done);
    for (std::size_t i = 0; i < actions.size(); ++i)
        if (!doneearly[i] && placeof(actions[i], named, s) >= 0)
            (void)performaction(actions[i], ACT_SCOPED, &s.done);
}

// The file a record of a unit taken back names, its folder open through
// the scope; false (reported) when it lies outside or behind a link.
bool reach(const std::string& path, scopedpath& at, summary& s) {
    if (openscoped(path, at) == 0) return true;
    if (errno == ENOENT) return false;
    if (errno == EXDEV) {
        refuse(path, s);
    } else {
        logprintf("! recovery leaves %s alone: a link on the way\n", path.c_str());
        ++s.done.refused;
    }
    return false;
}

// Opens a file in place when it is still the recorded inode, never
// through a link.
int openrecorded(const scopedpath& at, long long ino, struct stat& st) {
    int fd = openat(at.dirfd, at.leaf.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<long long>(st.st_ino) != ino) {
        close(fd);
        return -1;
    }
    return fd;
}

void removeif(const std::string& path, long& count, summary& s) {
    scopedpath at;
    if (reach(path, at, s) && unlinkat(at.dirfd, at.leaf.c_str(), 0) == 0) ++count;
}

void takebackunit(const recunit& u, summary& s, recoveryinfo& info) {
    ++s.takenback;
    for (auto it = u.records.rbegin(); it != u.records.rend(); ++it) {
        const auto& f = it->fields;
        switch (it->type) {
            case 'O':
            case 'T':
                if (!f.empty()) removeif(f[0], s.removed, s);
                break;
            case 'P': {
                scopedpath at;
                struct stat st {};
                if (f.size() < 4 || !reach(f[0], at, s)) break;
                int fd = openrecorded(at, number(f[3]), st);
                if (fd < 0) break;
                std::string old = unhex(f[2]);
                if (pwrite(fd, old.data(), old.size(), static_cast<off_t>(number(f[1]))) ==
                    static_cast<ssize_t>(old.size())) {
                    ++s.restored;
                    info.restored.push_back(f[0]);
                } else {
                    logprintf("! can't restore %s\n", f[0].c_str());
                }
                close(fd);
                break;
            }
            case 'S': {
                scopedpath at;
                if (f.size() < 3 || !reach(f[0], at, s)) break;
                long long size = number(f[1]);
                if (size < 0) {
                    // Made by the unit: it goes, unless it is a folder or a link.
                    struct stat st {};
                    if (fstatat(at.dirfd, at.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISREG(st.st_mode) && unlinkat(at.dirfd, at.leaf.c_str(), 0) == 0) {
                        ++s.removed;
                        info.restored.push_back(f[0]);
                    }
                    break;
                }
                struct stat st {};
                int fd = openrecorded(at, number(f[2]), st);
                if (fd < 0) break;
                if (st.st_size > size) {
                    if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
                        ++s.cut;
                        info.restored.push_back(f[0]);
                    } else {
                        logprintf("! can't restore %s\n", f[0].c_str());
                    }
                }
                close(fd);
                break;
            }
            default:
                break;  // actions are never done for a unit that did not commit
        }
    }
}

// A flag is the run's own when it holds the run's mark; the temporary file
// it was made from goes too.
void removeflag(const std::string& path, const std::string& pid, summary& s) {
    for (const std::string& p : {path, path + ".tmp"}) {
        scopedpath at;
        if (!reach(p, at, s)) continue;
        int fd = openat(at.dirfd, at.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        char buf[64] = {};
        ssize_t n = read(fd, buf, sizeof buf - 1);
        close(fd);
        if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == "PondLark " + pid + "\n" &&
            unlinkat(at.dirfd, at.leaf.c_str(), 0) == 0 && p == path)
            ++s.flags;
    }
}

std::string plural(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void addpart(std::string& text, long n, const char* one, const char* many) {
    if (n == 0) return;
    if (!text.empty()) text += ", ";
    text += plural(n, one, many);
}

std::string summarytext(const summary& s) {
    std::string done, back;
    addpart(done, s.done.published, "output published", "outputs published");
    addpart(done, s.done.removed, "file removed", "files removed");
    addpart(done, s.done.renamed, "file set aside", "files set aside");
    addpart(done, s.done.marked, "file marked", "files marked");
    addpart(done, s.done.cut, "file cut", "files cut");
    addpart(back, s.removed, "unfinished output removed", "unfinished outputs removed");
    addpart(back, s.cut, "file cut back", "files cut back");
    addpart(back, s.restored, "record restored", "records restored");
    std::string refused;
    addpart(refused, s.done.refused, "path outside the folders left alone",
            "paths outside the folders left alone");
    std::string text;
    if (s.finished) {
        text += plural(s.finished, "unit finished", "units finished");
        if (!done.empty()) text += " (" + done + ")";
    }
    if (s.takenback) {
        if (!text.empty()) text += "; ";
        text += plural(s.takenback, "unit taken back", "units taken back");
        if (!back.empty()) text += " (" + back + ")";
    }
    if (s.flags) {
        if (!text.empty()) text += "; ";
        text += plural(s.flags, "busy flag removed", "busy flags removed");
    }
    if (!refused.empty()) {
        if (!text.empty()) text += "; ";
        text += refused;
    }
    return text;
}

void syncdir(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

}  // namespace

std::vector<journalrecord> decoderecords(std::string_view data) {
    std::vector<journalrecord> out;
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t nl = data.find('\n', at);
        if (nl == std::string_view::npos) break;  // torn
        std::string_view line = data.substr(at, nl - at);
        at = nl + 1;
        std::size_t tab = line.rfind('\t');
        if (tab == std::string_view::npos || line.size() - tab - 1 != 8) break;
        std::string_view body = line.substr(0, tab);
        char want[9];
        std::snprintf(want, sizeof want, "%08X", static_cast<unsigned>(crc32(body)));
        if (line.substr(tab + 1) != want || body.empty()) break;
        journalrecord r;
        r.type = body[0];
        std::size_t p = 1;
        bool good = true;
        while (p < body.size()) {
            if (body[p] != '\t') {
                good = false;
                break;
            }
            std::size_t next = body.find('\t', p + 1);
            if (next == std::string_view::npos) next = body.size();
            std::string field;
            if (!unescape(body.substr(p + 1, next - p - 1), field)) {
                good = false;
                break;
            }
            r.fields.push_back(std::move(field));
            p = next;
        }
        if (!good) break;
        out.push_back(std::move(r));
    }
    return out;
}

int readjournalfile(const std::string& path, std::string& data, std::string& why) {
    data.clear();
    why.clear();
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return JOURNAL_NONE;
        if (errno != ELOOP) return JOURNAL_UNREADABLE;
        why = "a link";
        return JOURNAL_FOREIGN;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return JOURNAL_UNREADABLE;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "not a plain file";
    } else if (st.st_uid != geteuid() && st.st_uid != 0) {
        why = "it belongs to user " + std::to_string(st.st_uid);
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        why = "others may write it";
    } else if (st.st_nlink != 1) {
        why = "it has more than one name";
    }
    if (!why.empty()) {
        close(fd);
        return JOURNAL_FOREIGN;
    }
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return JOURNAL_UNREADABLE;
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return JOURNAL_READ;
}

int recoverjournal(const std::string& path, recoveryinfo& info) {
    std::string data, why;
    int got = readjournalfile(path, data, why);
    if (got == JOURNAL_UNREADABLE) {
        logprintf("Error reading %s\n", path.c_str());
        return -1;
    }
    if (got == JOURNAL_FOREIGN) {
        // Another program put it there: acting on it could touch anything.
        logprintf("! %s is not a journal of PondLark's (%s): nothing is recovered from it\n",
                  path.c_str(), why.c_str());
        return 0;
    }
    journalread j = readunits(decoderecords(data));
    if (!j.header) return 0;
    summary s;
    std::size_t tail = j.units.size();
    while (tail > 0 && !j.units[tail - 1].done && !finishes(j, j.units[tail - 1])) --tail;
    for (std::size_t i = 0; i < tail; ++i)
        if (finishes(j, j.units[i])) finishunit(j.units[i], s);
    for (std::size_t i = j.units.size(); i > tail; --i) {
        // A unit taken back in the run needs nothing more unless it is in
        // the tail that follows the last finished unit.
        takebackunit(j.units[i - 1], s, info);
    }
    for (const std::string& flag : j.flags) removeflag(flag, j.pid, s);
    // Everything the run consumed, also in units it finished itself: the
    // command that follows must not look for those inputs again.
    for (const recunit& u : j.units) {
        if (!u.committed || !(u.done || finishes(j, u))) continue;
        for (const journalrecord& r : u.records)
            if ((r.type == 'X' || r.type == 'M') && !r.fields.empty() && inscope(r.fields[0]))
                info.consumed.push_back(r.fields[0]);
    }
    std::string text = summarytext(s);
    if (!text.empty()) {
        logprintf("recovered from an interrupted run: %s\n", text.c_str());
        info.recovered = true;
        // What recovery did is on the disk before the journal goes.
        for (const std::string& p : info.restored) {
            int fd = open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                (void)fdatasync(fd);
                close(fd);
            }
        }
        syncdir(path);
    }
    return 0;
}

std::string describejournal(const std::string& data) {
    journalread j = readunits(decoderecords(data));
    if (!j.header) return "";
    long open = 0, finished = 0;
    for (const recunit& u : j.units) {
        if (u.done) continue;
        if (finishes(j, u)) {
            ++finished;
        } else if (!u.abandoned || &u == &j.units.back()) {
            ++open;
        }
    }
    if (open == 0 && finished == 0 && j.flags.empty()) return "";
    return "an interrupted " + j.command + " run left " + plural(finished, "unit", "units") +
           " to finish and " + plural(open, "unit", "units") + " to take back";
}
