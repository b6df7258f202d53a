#include "durable/durablefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>

#include "base/fileio.h"

namespace {
constexpr std::size_t BLOCK = 1 << 16;

int writefd(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}
}  // namespace

int syncfolder(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = fsync(fd);
    ::close(fd);
    return r == 0 ? 0 : -1;
}

std::string durabletemp(const std::string& path) {
    return path + ".plnew";
}

durablefile::~durablefile() {
    abort();
}

int durablefile::open(const std::string& path) {
    abort();
    final = path;
    temp = durabletemp(path);
    failed = false;
    sealed = false;
    written = 0;
    buffer.clear();
    // A new file: what lies under the name (a killed run's temporary, or a
    // link someone planted in a shared folder) is removed, never written through.
    for (int tries = 0; fd < 0 && tries < 3; ++tries) {
        if (::unlink(temp.c_str()) != 0 && errno != ENOENT) break;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd < 0 ? -1 : 0;
}

int durablefile::flushbuffer() {
    if (buffer.empty()) return 0;
    if (!failed && writefd(fd, buffer.data(), buffer.size()) != 0) failed = true;
    buffer.clear();
    return failed ? -1 : 0;
}

void durablefile::write(std::string_view data) {
    if (fd < 0 || sealed) {
        failed = true;
        return;
    }
    written += static_cast<long>(data.size());
    if (buffer.size() + data.size() > BLOCK) {
        (void)flushbuffer();
        if (data.size() >= BLOCK) {
            if (!failed && writefd(fd, data.data(), data.size()) != 0) failed = true;
            return;
        }
    }
    buffer.append(data);
}

int durablefile::patch(long at, const void* data, std::size_t n) {
    if (fd < 0 || sealed || at < 0 || at + static_cast<long>(n) > written) return -1;
    long flushed = written - static_cast<long>(buffer.size());
    const char* p = static_cast<const char*>(data);
    // What is written out already goes back in one write; the rest is
    // still in the buffer.
    std::size_t ondisk = at < flushed ? std::min(n, static_cast<std::size_t>(flushed - at)) : 0;
    std::size_t done = 0;
    while (done < ondisk) {
        ssize_t w = pwrite(fd, p + done, ondisk - done, at + static_cast<long>(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            failed = true;
            break;
        }
        done += static_cast<std::size_t>(w);
    }
    for (std::size_t i = ondisk; i < n; ++i)
        buffer[static_cast<std::size_t>(at + static_cast<long>(i) - flushed)] = p[i];
    return failed ? -1 : 0;
}

int durablefile::cutback(long at) {
    if (fd < 0 || sealed || at < 0 || at > written) return -1;
    long inbuffer = static_cast<long>(buffer.size());
    long flushed = written - inbuffer;
    if (at >= flushed) {
        buffer.resize(static_cast<std::size_t>(at - flushed));
    } else {
        buffer.clear();
        if (ftruncate(fd, at) != 0 || lseek(fd, at, SEEK_SET) != at) failed = true;
    }
    written = at;
    return failed ? -1 : 0;
}

int durablefile::seal() {
    if (sealed) return failed ? -1 : 0;
    if (fd < 0) return -1;
    bool bad = flushbuffer() != 0 || failed || fsync(fd) != 0;
    if (::close(fd) != 0) bad = true;
    fd = -1;
    std::string().swap(buffer);
    sealed = true;
    if (bad) failed = true;
    return bad ? -1 : 0;
}

int durablefile::commit(bool syncdir) {
    if (temp.empty()) return -1;
    bool bad = seal() != 0;
    if (!bad && std::rename(temp.c_str(), final.c_str()) != 0) bad = true;
    if (bad) {
        (void)std::remove(temp.c_str());
        return -1;
    }
    temp.clear();
    if (syncdir && syncfolder(final) != 0) return -1;
    return 0;
}

void durablefile::abort() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!temp.empty()) (void)std::remove(temp.c_str());
    temp.clear();
    buffer.clear();
}

void removestaletemps(const std::string& dir, const std::vector<std::string>& names,
                      const std::vector<std::string>& prefixes) {
    std::vector<std::string> entries;
    if (!listdir(dir, entries)) return;
    const std::string suffix = durabletemp("");
    for (const std::string& e : entries) {
        if (e.size() <= suffix.size() || e.compare(e.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string final = e.substr(0, e.size() - suffix.size());
        bool ours = std::find(names.begin(), names.end(), final) != names.end();
        for (const std::string& p : prefixes) ours = ours || final.compare(0, p.size(), p) == 0;
        if (ours) (void)std::remove((dir + e).c_str());
    }
}

int writedurable(const std::string& path, std::string_view data) {
    durablefile f;
    if (f.open(path) != 0) return -1;
    f.write(data);
    return f.commit();
}

namespace {
int readfrom(int fd, std::string& data);
}

int readwhole(const std::string& path, std::string& data) {
    data.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 1 : -1;
    return readfrom(fd, data);
}

int readshared(const std::string& path, std::string& data) {
    data.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 1 : -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return readfrom(fd, data);
}

int renamenoreplace(int fromdir, const std::string& from, int todir, const std::string& to) {
    if (renameat2(fromdir, from.c_str(), todir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (linkat(fromdir, from.c_str(), todir, to.c_str(), 0) != 0) return -1;
    (void)unlinkat(fromdir, from.c_str(), 0);
    return 0;
}

namespace {
int readfrom(int fd, std::string& data) {
    char buf[BLOCK];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return -1;
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
}
}  // namespace
