#include "transport/deliverylog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cerrno>

#include "base/fileio.h"
#include "config/settings.h"
#include "durable/durablefile.h"
#include "transport/command.h"

namespace {
constexpr const char* FATEWORDS[] = {"sent", "rejected", "partial"};

template <class T>
bool number(std::string_view s, T& v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::vector<std::string_view> split(std::string_view line, char sep) {
    std::vector<std::string_view> f;
    for (;;) {
        std::size_t p = line.find(sep);
        f.push_back(line.substr(0, p));
        if (p == std::string_view::npos) return f;
        line.remove_prefix(p + 1);
    }
}

bool parseline(std::string_view line, recordfate& f) {
    std::vector<std::string_view> v = split(line, '\t');
    if (v.size() < 7) return false;
    f = recordfate{};
    int fate = -1;
    for (int k = 0; k < 3; ++k) {
        if (v[0] == FATEWORDS[k]) fate = k;
    }
    if (fate < 0) return false;
    f.fate = fate;
    f.name = std::string(v[1]);
    unsigned long long dev = 0, ino = 0;
    if (!number(v[2], dev) || !number(v[3], ino) || !number(v[4], f.record.offset) ||
        !number(v[5], f.record.length) || !number(v[6], f.record.hash))
        return false;
    f.dev = static_cast<dev_t>(dev);
    f.ino = static_cast<ino_t>(ino);
    if (fate == FATE_PARTIAL) {
        if (v.size() != 8) return false;
        for (std::string_view a : split(v[7], ' ')) {
            if (!a.empty()) f.sentto.emplace_back(a);
        }
    }
    return true;
}
}  // namespace

deliverylog::~deliverylog() {
    if (fd >= 0) close(fd);
}

int deliverylog::open() {
    file = cfg.soupdir.str() + DELIVERYLOGNAME;
    fd = opensharedfd(file, O_RDWR | O_CREAT | O_APPEND);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int busy = errno == EWOULDBLOCK;
        close(fd);
        fd = -1;
        return busy ? 1 : -1;
    }
    lastsync = std::time(nullptr);
    return 0;
}

int deliverylog::read(std::vector<recordfate>& out) {
    out.clear();
    std::string data;
    if (readshared(file, data) != 0) return -1;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        if (nl == std::string::npos) break;
        recordfate f;
        if (parseline(std::string_view(data).substr(pos, nl - pos), f)) out.push_back(std::move(f));
        pos = nl + 1;
    }
    return 0;
}

int deliverylog::note(const recordfate& f) {
    if (fd < 0) return -1;
    std::string line = std::string(FATEWORDS[f.fate]) + "\t" + f.name + "\t" +
                       std::to_string(static_cast<unsigned long long>(f.dev)) + "\t" +
                       std::to_string(static_cast<unsigned long long>(f.ino)) + "\t" +
                       std::to_string(f.record.offset) + "\t" + std::to_string(f.record.length) + "\t" +
                       std::to_string(f.record.hash);
    if (f.fate == FATE_PARTIAL) {
        line += "\t";
        for (std::size_t i = 0; i < f.sentto.size(); ++i) line += (i ? " " : "") + f.sentto[i];
    }
    line += "\n";
    if (writefd(fd, line) != 0) return -1;
    dirty = true;
    std::time_t now = std::time(nullptr);
    if (now != lastsync) return sync();
    return 0;
}

int deliverylog::sync() {
    if (fd < 0) return -1;
    lastsync = std::time(nullptr);
    if (!dirty) return 0;
    dirty = false;
    return fdatasync(fd) == 0 ? 0 : -1;
}

int deliverylog::clear() {
    if (fd < 0) return -1;
    dirty = false;
    return ftruncate(fd, 0) == 0 && fdatasync(fd) == 0 ? 0 : -1;
}
