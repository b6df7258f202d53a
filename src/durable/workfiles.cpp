#include "durable/workfiles.h"

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <unordered_map>
#include <utility>
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

// Where the search for a base name goes on: the name given last.
struct resumepoint {
    unsigned long number = 0;  // numbered names
    std::string path;          // renfname: the name given last
    std::size_t pos = 0;       // renfname: the character it counts
    bool exhausted = false;    // renfname: no name was left
};

struct namememory {
    std::unordered_map<std::string, resumepoint> last;
    bool drafting = false;
    // While drafting: what each change replaced (nothing: the base was new).
    std::vector<std::pair<std::string, std::optional<resumepoint>>> undo;
};

namememory& memory() {
    static namememory m;
    return m;
}

const resumepoint* recall(const std::string& key) {
    auto it = memory().last.find(key);
    return it == memory().last.end() ? nullptr : &it->second;
}

void remember(const std::string& key, resumepoint rp) {
    namememory& m = memory();
    auto it = m.last.find(key);
    if (m.drafting) {
        m.undo.emplace_back(key, it == m.last.end() ? std::nullopt
                                                    : std::optional<resumepoint>(it->second));
    }
    if (it == m.last.end()) {
        m.last.emplace(key, std::move(rp));
    } else {
        it->second = std::move(rp);
    }
}

// The key of a base name: the generator's letter and its parts.
std::string basekey(char kind, std::initializer_list<std::string_view> parts) {
    std::string key(1, kind);
    for (std::string_view part : parts) key.append(part).push_back('\0');
    return key;
}

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

// The numbered name of a base, searched from the one given last.
unsigned long remembered(std::string_view prefix, std::string_view suffix, std::string& out,
                         const nametaken& taken) {
    std::string key = basekey('n', {prefix, suffix});
    const resumepoint* rp = recall(key);
    unsigned long n = findfree(prefix, suffix, out, taken, rp ? rp->number : 0);
    resumepoint next;
    next.number = n;
    remember(key, std::move(next));
    return n;
}

// One turn of the odometer at position p (which may move left): false when
// no name is left.
bool nextname(std::string& path, std::size_t& p) {
    for (;;) {
        char& c = path[p];
        if (c < '0' || c > '9') {
            c = '0';
            return true;
        }
        if (c < '9') {
            ++c;
            return true;
        }
        if (p == 0) return false;
        --p;
        if (path[p] == '.') {
            if (p == 0) return false;
            --p;
        }
        if (path[p] == '/') return false;
    }
}
}  // namespace

unsigned long genfname(std::string_view prefix, std::string_view suffix, std::string& out) {
    return remembered(prefix, suffix, out, exists);
}

unsigned long genfname(std::string_view prefix, std::string_view suffix, std::string& out,
                       const nametaken& taken) {
    return remembered(prefix, suffix, out, taken);
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
    std::string key = basekey('b', {prefix, base, suffix});
    const resumepoint* rp = recall(key);
    char num[8];
    for (long n = rp ? static_cast<long>(rp->number) : 0; n <= 0xFFFF; ++n) {
        std::snprintf(num, sizeof num, "%04lX", n);
        out.assign(prefix).append(base).append(num).append(suffix);
        if (!exist(out)) {
            resumepoint next;
            next.number = static_cast<unsigned long>(n);
            remember(key, std::move(next));
            return n;
        }
    }
    return -1;
}

int renfname(std::string& path) {
    return renfname(path, exists);
}

int renfname(std::string& path, const nametaken& taken) {
    if (path.empty()) return 1;
    std::string key = basekey('r', {path});
    std::size_t p = path.size() - 1;
    if (const resumepoint* rp = recall(key)) {
        if (rp->exhausted) return 1;
        path = rp->path;
        p = rp->pos;
    }
    resumepoint next;
    while (taken(path)) {
        if (!nextname(path, p)) {
            next.exhausted = true;
            remember(key, std::move(next));
            return 1;
        }
    }
    next.path = path;
    next.pos = p;
    remember(key, std::move(next));
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
    std::string dir = path.substr(0, namepos);
    (void)remembered(dir, "." + ext, path, taken);
    return 1;
}

void beginnamedraft() {
    memory().drafting = true;
    memory().undo.clear();
}

void endnamedraft() {
    namememory& m = memory();
    for (auto it = m.undo.rbegin(); it != m.undo.rend(); ++it) {
        if (it->second) {
            m.last[it->first] = *it->second;
        } else {
            m.last.erase(it->first);
        }
    }
    m.undo.clear();
    m.drafting = false;
}

void forgetnames() {
    memory() = namememory{};
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
