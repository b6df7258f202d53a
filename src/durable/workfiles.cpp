#include "durable/workfiles.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "base/fileio.h"

int exist(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? 1 : 0;
}

namespace {
bool exists(const std::string& path) {
    return exist(path) != 0;
}
}  // namespace

namespace {
unsigned long findfree(std::string_view prefix, std::string_view suffix, std::string& out,
                       const nametaken& taken, unsigned long first) {
    char num[16];
    // A 32-bit counter: in practice a free name is found long before it wraps.
    for (unsigned long n = first & 0xFFFFFFFFul;; n = (n + 1) & 0xFFFFFFFFul) {
        std::snprintf(num, sizeof num, "%08lX", n);
        out.assign(prefix).append(num).append(suffix);
        if (!taken(out)) return n;
    }
}
}  // namespace

unsigned long genfname(std::string_view prefix, std::string_view suffix, std::string& out) {
    return findfree(prefix, suffix, out, exists, 0);
}

unsigned long genfname(std::string_view prefix, std::string_view suffix, std::string& out,
                       const nametaken& taken) {
    return findfree(prefix, suffix, out, taken, 0);
}

unsigned long genfnamefrom(std::string_view prefix, std::string_view suffix, std::string& out,
                           unsigned long first) {
    return findfree(prefix, suffix, out, exists, first);
}

unsigned long genfnamefrom(std::string_view prefix, std::string_view suffix, std::string& out,
                           unsigned long first, const nametaken& taken) {
    return findfree(prefix, suffix, out, taken, first);
}

long genfnamebase(std::string_view prefix, std::string_view base, std::string_view suffix,
                  std::string& out) {
    char num[8];
    for (long n = 0; n <= 0xFFFF; ++n) {
        std::snprintf(num, sizeof num, "%04lX", n);
        out.assign(prefix).append(base).append(num).append(suffix);
        if (!exist(out)) return n;
    }
    return -1;
}

int renfname(std::string& path) {
    return renfname(path, exists);
}

int renfname(std::string& path, const nametaken& taken) {
    if (path.empty()) return 1;
    std::size_t p = path.size() - 1;
    while (taken(path)) {
        char& c = path[p];
        if (c < '0' || c > '9') {
            c = '0';
        } else if (c < '9') {
            ++c;
        } else {
            if (p == 0) return 1;
            --p;
            if (path[p] == '.') {
                if (p == 0) return 1;
                --p;
            }
            if (path[p] == '/') return 1;
        }
    }
    return 0;
}

int starname(std::string& path, std::size_t namepos) {
    return starname(path, namepos, exists);
}

int starname(std::string& path, std::size_t namepos, const nametaken& taken) {
    if (namepos > path.size()) return 0;
    std::string name = path.substr(namepos);
    if (name.find('*') == std::string::npos) return 0;
    std::string ext = "ATT";
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string e = name.substr(dot + 1);
        if (e.find('*') == std::string::npos) ext = e.substr(0, 7);
    }
    char num[16];
    for (unsigned long n = 0;; n = (n + 1) & 0xFFFFFFFFul) {
        std::snprintf(num, sizeof num, "%08lX.", n);
        path.resize(namepos);
        path.append(num).append(ext);
        if (!taken(path)) return 1;
    }
}

long fcopy(const std::string& src, const std::string& dst, std::size_t bufsize) {
    fileptr in = openfile(src, "rb");
    if (!in) return -1;
    fileptr out = openfile(dst, "wb");
    if (!out) return -1;
    std::vector<char> buf(bufsize ? bufsize : 1);
    long total = 0;
    for (;;) {
        std::size_t n = std::fread(buf.data(), 1, buf.size(), in.get());
        if (n > 0) {
            if (writeall(out.get(), buf.data(), n) != 0) return -1;
            total += static_cast<long>(n);
        }
        if (n < buf.size()) break;
    }
    if (std::ferror(in.get())) return -1;
    if (closefile(out) != 0) return -1;
    return total;
}
