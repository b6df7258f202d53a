#include "durable/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "base/codec.h"
#include "base/fileio.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/pathscope.h"
#include "durable/recovery.h"
#include "durable/workfiles.h"

runjournal jnl;
recoveryinfo recovered;

namespace {

constexpr char JOURNALNAME[] = "pondlark.jnl";
constexpr char TEMPSUFFIX[] = ".tmp";
constexpr off_t JOURNALROOM = 256 * 1024;
// With sync, committed units wait for a checkpoint; this many at most.
constexpr long CHECKPOINTUNITS = 64;

std::string identitytext(const fileid& id) {
    return std::to_string(id.ino) + ":" + std::to_string(id.size) + ":" + std::to_string(id.mtime);
}

std::string directoryof(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

void syncdirectory(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

// Appends one record. A record that cannot be written whole is cut off
// again, so that the records after it are still read.
int writerecord(char type, std::initializer_list<std::string_view> fields) {
    if (!journalactive()) return 0;
    // After a commit that was not recorded nothing more may be: the next
    // run must find that unit last.
    if (jnl.broken) return -1;
    std::string line = encoderecord(type, fields);
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = write(jnl.fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int saved = errno;
            if (ftruncate(jnl.fd, static_cast<off_t>(jnl.length)) != 0) { /* reported below */
            }
            logprintf("Error writing %s: %s\n", jnl.path.c_str(), std::strerror(saved));
            // What the journal holds now is all the next run will know:
            // this run takes nothing more on.
            if (!jnl.broken)
                logprintf("! the journal can't be written: the rest of the work is left for the next run\n");
            jnl.failed = true;
            jnl.broken = true;
            return -1;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    jnl.length += static_cast<long long>(line.size());
    return 0;
}

std::string unittext() {
    return std::to_string(jnl.unit);
}

// With sync, what a file is to be put back to must be on the disk before
// the file changes: after a power cut the journal may hold less than what
// the disk holds of the files, never the other way round.
int syncjournal() {
    if (!jnl.sync || !journalactive()) return 0;
    if (fdatasync(jnl.fd) == 0) return 0;
    logprintf("Error writing %s: %s\n", jnl.path.c_str(), std::strerror(errno));
    jnl.failed = jnl.broken = true;
    return -1;
}

bool isnoted(const std::string& path) {
    for (const std::string& n : jnl.noted)
        if (n == path) return true;
    return false;
}

// Locks the SOUP directory for the run: only one PondLark run works on it
// at a time. A second one waits (saying so).
int lockdirectory(const std::string& dir) {
    int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        logprintf("Error: can't open %s: %s\n", dir.c_str(), std::strerror(errno));
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    logprintf("Waiting for another PondLark run to finish (%s)\n", dir.c_str());
    if (flock(fd, LOCK_EX) == 0) return fd;
    logprintf("Error: can't lock %s: %s\n", dir.c_str(), std::strerror(errno));
    close(fd);
    return -1;
}

// The unit's work in the order it is done: outputs published last made
// first (a packet names the files decoded after it was begun, so they
// must be there before it), its temporary files removed, then the actions
// on its input.
// With a journal, files outside the scope come first: recovery settles
// them only while the flow file or stored message that lists them is
// still as it was (see journal.h).
std::vector<journalaction> unitwork() {
    std::vector<journalaction> work;
    bool outsidefirst = journalactive();
    if (outsidefirst)
        for (const journalaction& a : jnl.actions)
            if (actsoutside(a)) work.push_back(a);
    for (auto it = jnl.outputs.rbegin(); it != jnl.outputs.rend(); ++it) work.push_back(*it);
    for (journalaction& a : jnl.actions)
        if (!outsidefirst || !actsoutside(a)) work.push_back(std::move(a));
    return work;
}

void forgetunit() {
    jnl.noted.clear();
    jnl.outputs.clear();
    jnl.actions.clear();
    jnl.failed = false;
    jnl.depth = 0;
}

// The published names of outputs that had to take another one.
std::vector<std::pair<std::string, std::string>> renamedoutputs;

}  // namespace

std::string encoderecord(char type, std::initializer_list<std::string_view> fields) {
    std::string line(1, type);
    for (std::string_view f : fields) {
        line += '\t';
        for (char c : f) {
            switch (c) {
                case '\t': line += "\\t"; break;
                case '\n': line += "\\n"; break;
                case '\r': line += "\\r"; break;
                case '\\': line += "\\\\"; break;
                default: line += c;
            }
        }
    }
    char crc[16];
    std::snprintf(crc, sizeof crc, "\t%08X\n", static_cast<unsigned>(crc32(line)));
    return line + crc;
}

namespace {
fileid identity(const struct stat& st) {
    fileid id;
    id.ino = static_cast<long long>(st.st_ino);
    id.size = static_cast<long long>(st.st_size);
    id.mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}
}  // namespace

fileid identify(const std::string& path) {
    struct stat st {};
    fileid id;
    if (lstat(path.c_str(), &st) != 0) return id;
    return identity(st);
}

std::string tempname(const std::string& final) {
    return final + TEMPSUFFIX;
}

bool outputtaken(const std::string& final) {
    return exist(final) || exist(tempname(final));
}

int syncfd(int fd) {
    if (!jnl.sync || fd < 0) return 0;
    // An output of a unit keeps its temporary name until a checkpoint,
    // which syncs everything at once.
    if (journalactive() && unitopen()) return 0;
    return fdatasync(fd) == 0 ? 0 : -1;
}

namespace {

// Where an action works: in the run, the path as it was made; in recovery,
// its folder opened through the scope, or the path itself when a file in
// scope vouches for it.
struct place {
    scopedpath held;
    int dir = AT_FDCWD;
    std::string name;
};

int locate(const std::string& path, bool confined, place& p) {
    if (!confined) {
        p.dir = AT_FDCWD;
        p.name = path;
        return 0;
    }
    if (openscoped(path, p.held) != 0) return -1;
    p.dir = p.held.dirfd;
    p.name = p.held.leaf;
    return 0;
}

fileid identifyat(const place& p) {
    struct stat st {};
    if (fstatat(p.dir, p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return fileid{};
    return identity(st);
}

std::string leafof(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int publishat(const place& tmp, const place& to, std::string& final, int how) {
    if (how == PUBLISH_REPLACE)
        return renameat(tmp.dir, tmp.name.c_str(), to.dir, to.name.c_str()) == 0 ? 0 : -1;
    std::string leaf = to.name;
    for (int tries = 0; tries < 64; ++tries) {
        if (renamenoreplace(tmp.dir, tmp.name, to.dir, leaf) == 0) return 0;
        if (errno != EEXIST) return -1;
        // Another program took the name meanwhile: another in the same folder.
        nametaken taken = outputtaken;
        std::string other = final;
        if (how == PUBLISH_PACKET) {
            genfname(directoryof(final) == "." ? "" : directoryof(final), packetext, other, taken);
        } else if (renfname(other, taken) != 0) {
            errno = EEXIST;
            return -1;
        }
        final = other;
        leaf = to.dir == AT_FDCWD ? final : leafof(final);
    }
    errno = EEXIST;
    return -1;
}

// Opens an entry for writing in place, never through a link; with
// recorded >= 0 only when it is still that inode.
int openinplace(const place& p, long long recorded) {
    int fd = openat(p.dir, p.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (recorded >= 0 && static_cast<long long>(st.st_ino) != recorded)) {
        close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

}  // namespace

int publishfile(const std::string& tmp, std::string& final, int how) {
    place from, to;
    (void)locate(tmp, false, from);
    (void)locate(final, false, to);
    return publishat(from, to, final, how);
}

bool actsoutside(const journalaction& a) {
    switch (a.type) {
        case 'X': case 'Z': return !inscope(a.path);
        case 'M': return !inscope(a.path) || !inscope(a.other);
        default: return false;
    }
}

int performaction(const journalaction& a, int where, actioncounts* counts) {
    auto count = [counts](long actioncounts::*field) {
        if (counts) ++(counts->*field);
    };
    bool recovering = where != ACT_INRUN;
    bool confined = where == ACT_SCOPED;
    auto sameinode = [&a](const fileid& now) { return now.exists() && now.ino == a.id.ino; };
    auto sameidentity = [&a](const fileid& now) {
        if (a.id.size < 0 && a.id.mtime < 0) return now.exists() && now.ino == a.id.ino;
        return now.exists() && now.ino == a.id.ino && now.size == a.id.size && now.mtime == a.id.mtime;
    };
    // A name the action may not reach (errno says why): said and counted.
    auto refused = [&](const std::string& path) {
        logprintf("! recovery leaves %s alone: %s\n", path.c_str(),
                  errno == EXDEV ? "outside the folders of the configuration" : "a link on the way");
        count(&actioncounts::refused);
        return -1;
    };
    place at;
    if (locate(a.path, confined, at) != 0) {
        if (errno == ENOENT) return 0;  // its folder is gone, and it with it
        return refused(a.path);
    }
    switch (a.type) {
        case 'O': {
            place to;
            if (locate(a.other, confined, to) != 0) return refused(a.other);
            if (recovering && !identifyat(at).exists()) return 0;
            std::string final = a.other;
            if (publishat(at, to, final, a.how) != 0) {
                logprintf("Error renaming %s to %s: %s\n", a.path.c_str(), a.other.c_str(),
                          std::strerror(errno));
                return -1;
            }
            if (final != a.other) {
                logprintf("! %s was taken meanwhile: stored as %s\n", a.other.c_str(), final.c_str());
                renamedoutputs.emplace_back(a.other, final);
            }
            count(&actioncounts::published);
            return 0;
        }
        case 'T':
            if (unlinkat(at.dir, at.name.c_str(), 0) == 0) count(&actioncounts::removed);
            return 0;
        case 'X': {
            if (recovering && !sameidentity(identifyat(at))) return 0;
            if (unlinkat(at.dir, at.name.c_str(), 0) == 0) {
                count(&actioncounts::removed);
                return 0;
            }
            if (errno == ENOENT && recovering) return 0;
            logprintf("Error removing %s\n", a.path.c_str());
            return -1;
        }
        case 'M': {
            place to;
            if (locate(a.other, confined, to) != 0) return refused(a.other);
            if (recovering) {
                if (!sameidentity(identifyat(at)) || identifyat(to).exists()) return 0;
                // A name set aside never replaces a file.
                if (renamenoreplace(at.dir, at.name, to.dir, to.name) == 0) {
                    count(&actioncounts::renamed);
                    return 0;
                }
            } else if (renameat(at.dir, at.name.c_str(), to.dir, to.name.c_str()) == 0) {
                count(&actioncounts::renamed);
                return 0;
            }
            logprintf("Error renaming %s\n", a.path.c_str());
            return -1;
        }
        case 'W': {
            int fd = openinplace(at, recovering ? a.id.ino : -1);
            if (fd < 0 && recovering) return 0;
            bool ok = fd >= 0 && pwrite(fd, a.bytes.data(), a.bytes.size(), static_cast<off_t>(a.pos)) ==
                                     static_cast<ssize_t>(a.bytes.size());
            if (fd >= 0 && close(fd) != 0) ok = false;
            if (ok) {
                count(&actioncounts::marked);
                return 0;
            }
            logprintf("Error writing %s\n", a.path.c_str());
            return -1;
        }
        case 'Z': {
            fileid now = identifyat(at);
            if (recovering && (!sameinode(now) || now.size <= a.pos)) return 0;
            int fd = openinplace(at, recovering ? a.id.ino : -1);
            if (fd < 0 && recovering) return 0;
            bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(a.pos)) == 0;
            if (fd >= 0 && close(fd) != 0) ok = false;
            if (ok) {
                count(&actioncounts::cut);
                return 0;
            }
            logprintf("Error truncating %s\n", a.path.c_str());
            return -1;
        }
        default:
            return 0;
    }
}

bool wasconsumed(const std::string& path) {
    for (const std::string& p : recovered.consumed)
        if (p == path) return true;
    return false;
}

int journalstart(const char* command, int sync, recoveryinfo& info) {
    std::string path = cfg.soupdir.str() + JOURNALNAME;
    int lockfd = lockdirectory(cfg.soupdir.str());
    if (lockfd < 0) return -1;
    jnl = runjournal{};
    jnl.path = path;
    jnl.lockfd = lockfd;
    renamedoutputs.clear();
    if (recoverjournal(path, info) != 0) {
        close(lockfd);
        jnl.lockfd = -1;
        return -1;
    }
    recovered = info;
    // The fresh journal starts where the old one was: recovery is complete.
    // A new file, never one (or a link) that lies there already.
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 3; ++tries) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) break;
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    jnl.sync = sync;
    if (fd >= 0) {
        jnl.fd = fd;
        // Room for the records taken at once, so that a disk that fills up
        // during the run still takes them.
        (void)fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, JOURNALROOM);
        std::string head = encoderecord('H', {"PondLark journal", "1", command,
                                              std::to_string(getpid()), sync ? "1" : "0"});
        if (write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size())) {
            jnl.length = static_cast<long long>(head.size());
            // With sync the journal itself is on the disk before any output.
            if (sync && fdatasync(fd) == 0) syncdirectory(directoryof(path));
            return 0;
        }
        close(fd);
        jnl.fd = -1;
        (void)unlink(path.c_str());
    }
    logprintf("! %s can't be written (%s): this run goes on without its journal\n", path.c_str(),
              std::strerror(errno));
    jnl.failed = false;
    jnl.broken = false;
    return 0;
}

void journalfinish() {
    if (jnl.lockfd < 0) return;
    if (journalactive()) {
        journalcheckpoint();
        // A unit left open or a commit not recorded leaves the journal for the next run.
        if (jnl.depth == 0 && !jnl.broken) {
            (void)unlink(jnl.path.c_str());
            if (jnl.sync) syncdirectory(directoryof(jnl.path));
        }
        close(jnl.fd);
        jnl.fd = -1;
    }
    close(jnl.lockfd);
    jnl.lockfd = -1;
}

void unitbegin(const char* kind, const std::string& input) {
    if (jnl.depth++ > 0) return;
    jnl.noted.clear();
    jnl.outputs.clear();
    jnl.actions.clear();
    jnl.failed = jnl.broken;
    ++jnl.unit;
    if (writerecord('B', {unittext(), kind, input, identitytext(identify(input))}) != 0)
        jnl.failed = true;
}

bool unitopen() {
    return jnl.depth > 0;
}

int unitnote(const std::string& path) {
    if (!journalactive() || jnl.depth == 0 || isnoted(path)) return 0;
    fileid id = identify(path);
    if (writerecord('S', {path, std::to_string(id.size), std::to_string(id.ino)}) != 0) return -1;
    jnl.noted.push_back(path);
    if (!jnl.sync) return 0;
    jnl.syncfiles.push_back(path);
    // Recovery takes back every unit since the last checkpoint, down to
    // the first note of each file: only that one must be on the disk.
    for (const std::string& d : jnl.durablenoted)
        if (d == path) return 0;
    jnl.durablenoted.push_back(path);
    return syncjournal();
}

int unitbyte(const std::string& path, long pos, char old) {
    if (!journalactive() || jnl.depth == 0) return 0;
    char hex[3] = {tohexdigit((old >> 4) & 15), tohexdigit(old & 15), 0};
    fileid id = identify(path);
    if (writerecord('P', {path, std::to_string(pos), hex, std::to_string(id.ino)}) != 0) return -1;
    return syncjournal();
}

int unitoutput(const std::string& final, int how) {
    return unitoutputas(tempname(final), final, how);
}

int unitoutputas(const std::string& tmp, const std::string& final, int how) {
    journalaction a;
    a.type = 'O';
    a.path = tmp;
    a.other = final;
    a.how = how;
    if (jnl.depth > 0 &&
        writerecord('O', {a.path, a.other, std::string(1, static_cast<char>(how))}) != 0)
        return -1;
    jnl.outputs.push_back(std::move(a));
    return 0;
}

int outputcomplete(const std::string& final) {
    if (jnl.depth > 0) return 0;
    for (auto it = jnl.outputs.begin(); it != jnl.outputs.end(); ++it) {
        if (it->type != 'O' || it->other != final) continue;
        journalaction a = std::move(*it);
        jnl.outputs.erase(it);
        return performaction(a, false, nullptr);
    }
    return 0;
}

void unitdropoutput(const std::string& final) {
    // Mostly the output noted last: searched from the end.
    for (auto it = jnl.outputs.rbegin(); it != jnl.outputs.rend(); ++it) {
        if (it->type == 'O' && it->other == final) {
            jnl.outputs.erase(std::next(it).base());
            return;
        }
    }
}

std::string unitpublished(const std::string& final) {
    for (const auto& [asked, got] : renamedoutputs)
        if (asked == final) return got;
    return final;
}

int unittemp(const std::string& path) {
    journalaction a;
    a.type = 'T';
    a.path = path;
    if (jnl.depth == 0) return 0;
    if (writerecord('T', {path}) != 0) return -1;
    jnl.outputs.insert(jnl.outputs.begin(), std::move(a));
    return 0;
}

void unitremove(const std::string& path, bool inodeonly) {
    journalaction a;
    a.type = 'X';
    a.path = path;
    a.id = identify(path);
    if (inodeonly) a.id.size = a.id.mtime = -1;
    jnl.actions.push_back(std::move(a));
}

void unitmove(const std::string& path, const std::string& newpath) {
    journalaction a;
    a.type = 'M';
    a.path = path;
    a.other = newpath;
    a.id = identify(path);
    jnl.actions.push_back(std::move(a));
}

void unitwrite(const std::string& path, long pos, const std::string& bytes) {
    journalaction a;
    a.type = 'W';
    a.path = path;
    a.pos = pos;
    a.bytes = bytes;
    a.id = identify(path);
    jnl.actions.push_back(std::move(a));
}

void unittruncate(const std::string& path, long size) {
    journalaction a;
    a.type = 'Z';
    a.path = path;
    a.pos = size;
    a.id = identify(path);
    jnl.actions.push_back(std::move(a));
}

bool unitgone(const std::string& path) {
    auto gone = [&path](const journalaction& a) {
        return a.path == path && (a.type == 'X' || (a.type == 'Z' && a.pos == 0));
    };
    for (const journalaction& a : jnl.actions)
        if (gone(a)) return true;
    for (const journalaction& a : jnl.pending)
        if (gone(a)) return true;
    return false;
}

bool journalbroken() {
    return jnl.broken;
}

void unitsync(const std::string& path) {
    if (jnl.sync && journalactive()) jnl.syncfiles.push_back(path);
}

namespace {
// Records the queued actions of the unit; -1 when one cannot be written.
int recordactions() {
    for (const journalaction& a : jnl.actions) {
        int r = 0;
        switch (a.type) {
            case 'X': r = writerecord('X', {a.path, identitytext(a.id)}); break;
            case 'M': r = writerecord('M', {a.path, a.other, identitytext(a.id)}); break;
            case 'W': {
                std::string hex;
                for (unsigned char c : a.bytes) {
                    hex += tohexdigit(c >> 4);
                    hex += tohexdigit(c & 15);
                }
                r = writerecord('W', {a.path, std::to_string(a.pos), hex, std::to_string(a.id.ino)});
                break;
            }
            case 'Z':
                r = writerecord('Z', {a.path, std::to_string(a.pos), std::to_string(a.id.ino)});
                break;
            default: break;
        }
        if (r != 0) return -1;
    }
    return 0;
}
}  // namespace

int unitcommit() {
    if (jnl.depth == 0) return 0;
    if (--jnl.depth > 0) return 0;
    std::vector<journalaction> work;
    if (!journalactive()) {
        work = unitwork();
        forgetunit();
        int bad = 0;
        for (const journalaction& a : work)
            if (performaction(a, false, nullptr) != 0) bad = -1;
        return bad;
    }
    if (jnl.failed || recordactions() != 0 || writerecord('C', {unittext()}) != 0) {
        // Not committed: the caller takes the unit back as for any failure,
        // and the run stops; the journal stays, so that the next run takes
        // back whatever of the unit the run could not.
        jnl.failed = true;
        jnl.broken = true;
        jnl.depth = 1;
        return -1;
    }
    work = unitwork();
    forgetunit();
    if (jnl.sync) {
        for (journalaction& a : work) {
            if (a.type == 'O') jnl.syncfiles.push_back(a.path);
            jnl.pending.push_back(std::move(a));
        }
        if (++jnl.pendingunits >= CHECKPOINTUNITS) journalcheckpoint();
        return 0;
    }
    int bad = 0;
    for (const journalaction& a : work)
        if (performaction(a, false, nullptr) != 0) bad = -1;
    (void)writerecord('D', {unittext()});
    jnl.lastsettled = jnl.unit;
    return bad;
}

void unitabandon() {
    if (jnl.depth == 0) return;
    (void)writerecord('A', {unittext()});
    forgetunit();
}

void journalcheckpoint() {
    if (!journalactive() || !jnl.sync || jnl.pendingunits == 0) return;
    // One syncfs for each file system the files lie on: far cheaper than a
    // sync of each of a thousand decoded files, and it takes their
    // folders along.
    std::vector<dev_t> devices;
    for (const std::string& f : jnl.syncfiles) {
        int fd = open(directoryof(f).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        bool seen = fstat(fd, &st) != 0;
        for (dev_t d : devices) seen = seen || d == st.st_dev;
        if (!seen) {
            devices.push_back(st.st_dev);
            (void)syncfs(fd);
        }
        close(fd);
    }
    jnl.syncfiles.clear();
    jnl.durablenoted.clear();
    if (writerecord('K', {}) != 0 || fdatasync(jnl.fd) != 0) {
        // Nothing is done that the disk might not hold: the inputs stay.
        return;
    }
    std::vector<std::string> dirs;
    for (const journalaction& a : jnl.pending) {
        (void)performaction(a, false, nullptr);
        std::string d = directoryof(a.type == 'O' ? a.other : a.path);
        bool seen = false;
        for (const std::string& x : dirs) seen = seen || x == d;
        if (!seen) dirs.push_back(d);
    }
    jnl.pending.clear();
    for (const std::string& d : dirs) syncdirectory(d);
    jnl.pendingunits = 0;
    (void)writerecord('D', {unittext()});
    jnl.lastsettled = jnl.unit;
}

std::string journalpending(const std::string& path) {
    std::string data, why;
    int r = readjournalfile(path, data, why);
    if (r == JOURNAL_FOREIGN)
        return path + " is not a journal of PondLark's (" + why + "): the next command replaces it unread";
    if (r != JOURNAL_READ) return "";
    std::string left = describejournal(data);
    return left.empty() ? left : left + "; the next command finishes it";
}

int journalbusyflag(const std::string& path) {
    if (writerecord('Y', {path}) != 0) return -1;
    return syncjournal();
}

std::string busyflagcontent() {
    return "PondLark " + std::to_string(getpid()) + "\n";
}
