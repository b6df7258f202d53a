#include "base/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

fileptr openfile(const std::string& path, const char* mode) {
    return fileptr(std::fopen(path.c_str(), mode));
}

int opensharedfd(const std::string& path, int flags) {
    bool create = (flags & O_CREAT) != 0, exclusive = (flags & O_EXCL) != 0;
    bool writing = (flags & O_ACCMODE) != O_RDONLY;
    flags &= ~(O_CREAT | O_EXCL | O_TRUNC);
    flags |= O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    for (int tries = 0; tries < 3; ++tries) {
        int fd = exclusive ? -1 : ::open(path.c_str(), flags);
        if (exclusive || (fd < 0 && errno == ENOENT && create)) {
            fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
            // Made meanwhile by someone else: look at it again.
            if (fd < 0 && errno == EEXIST && !exclusive) continue;
        }
        if (fd < 0) return -1;
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (writing && st.st_nlink != 1)) {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        // A FIFO in its place did not stop the open; the file blocks again.
        int fl = fcntl(fd, F_GETFL);
        if (fl >= 0) (void)fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

fileptr openshared(const std::string& path, const char* mode) {
    int flags = O_RDONLY;
    const char* fmode = "rb";
    bool plus = std::strchr(mode, '+') != nullptr;
    if (mode[0] == 'a') {
        flags = (plus ? O_RDWR : O_WRONLY) | O_APPEND | O_CREAT;
        fmode = plus ? "a+b" : "ab";
    } else if (mode[0] == 'w') {
        // Only new files: "w+x".
        flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL;
        fmode = plus ? "w+b" : "wb";
    } else if (plus) {
        flags = O_RDWR;
        fmode = "r+b";
    }
    int fd = opensharedfd(path, flags);
    if (fd < 0) return fileptr();
    std::FILE* f = fdopen(fd, fmode);
    if (!f) ::close(fd);
    return fileptr(f);
}

int closefile(std::FILE* f) {
    if (!f) return 0;
    int bad = std::ferror(f);
    if (std::fflush(f) != 0) bad = 1;
    if (std::fclose(f) != 0) bad = 1;
    return bad ? -1 : 0;
}

int closefile(fileptr& f) { return closefile(f.release()); }

int writeall(std::FILE* f, const void* data, std::size_t n) {
    if (n == 0) return 0;
    return std::fwrite(data, 1, n, f) == n ? 0 : -1;
}

bool listdir(const std::string& dir, std::vector<std::string>& names) {
    names.clear();
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        names.push_back(std::move(n));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

long filelength(std::FILE* f) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0) return -1;
    return static_cast<long>(st.st_size);
}
