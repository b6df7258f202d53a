#include "durable/pathscope.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

pathscope scope;

namespace {

std::string withslash(std::string s) {
    if (!s.empty() && s.back() != '/') s.push_back('/');
    return s;
}

std::string folderof(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string leafof(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A component of a path below a scope folder: a plain name.
bool plaincomponent(std::string_view c) {
    return !c.empty() && c != "." && c != "..";
}

bool plainrest(std::string_view rest) {
    if (rest.empty()) return false;
    for (;;) {
        std::size_t slash = rest.find('/');
        if (!plaincomponent(rest.substr(0, slash))) return false;
        if (slash == std::string_view::npos) return true;
        rest.remove_prefix(slash + 1);
    }
}

bool ishex(std::string_view s) {
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

// The entry that admits path, and the part of path below its folder.
const scopeentry* admitting(const std::string& path, std::string_view& rest) {
    const scopeentry* best = nullptr;
    for (const scopeentry& e : scope.entries) {
        if (path.compare(0, e.folder.size(), e.folder) != 0) continue;
        std::string_view r = std::string_view(path).substr(e.folder.size());
        bool ok = false;
        switch (e.kind) {
            case SCOPE_TREE: ok = plainrest(r); break;
            case SCOPE_NAME: ok = r == e.name; break;
            case SCOPE_LISTTEMP:
                ok = r.size() == 12 && r.substr(0, 4) == "list" && ishex(r.substr(4, 4)) &&
                     r.substr(8) == ".tmp";
                break;
        }
        // The deepest folder leaves the fewest folders to walk.
        if (ok && (!best || e.folder.size() > best->folder.size())) {
            best = &e;
            rest = r;
        }
    }
    return best;
}

}  // namespace

void scopefolder(const std::string& folder) {
    if (folder.empty()) return;
    scope.entries.push_back({withslash(folder), SCOPE_TREE, ""});
}

void scopefile(const std::string& path) {
    std::string leaf = leafof(path);
    if (!plaincomponent(leaf)) return;
    scope.entries.push_back({folderof(path), SCOPE_NAME, leaf});
}

void scopelisttemps(const std::string& listfile) {
    scope.entries.push_back({folderof(listfile), SCOPE_LISTTEMP, ""});
}

bool inscope(const std::string& path) {
    std::string_view rest;
    return path.find('\0') == std::string::npos && admitting(path, rest) != nullptr;
}

scopedpath::~scopedpath() {
    if (dirfd >= 0) close(dirfd);
}

int openscoped(const std::string& path, scopedpath& at) {
    if (at.dirfd >= 0) close(at.dirfd);
    at.dirfd = -1;
    at.leaf.clear();
    std::string_view rest;
    const scopeentry* e = path.find('\0') == std::string::npos ? admitting(path, rest) : nullptr;
    if (!e) {
        errno = EXDEV;
        return -1;
    }
    // The configured folder itself is the sysop's choice, links and all.
    int fd = open(e->folder.empty() ? "." : e->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    for (;;) {
        std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) break;
        std::string part(rest.substr(0, slash));
        int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int saved = errno;
        close(fd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        fd = next;
        rest.remove_prefix(slash + 1);
    }
    at.dirfd = fd;
    at.leaf = std::string(rest);
    return 0;
}
