#include "durable/statelines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/journal.h"

namespace {

bool parseline(std::string_view l, stateline& out) {
    out = stateline{};
    std::size_t tab = l.find('\t');
    std::string_view t = l.substr(0, tab);
    long long v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || v < 0) return false;
    out.time = static_cast<std::time_t>(v);
    while (tab != std::string_view::npos) {
        std::size_t next = l.find('\t', tab + 1);
        out.fields.emplace_back(l.substr(tab + 1, next == std::string_view::npos ? std::string_view::npos
                                                                                  : next - tab - 1));
        tab = next;
    }
    return true;
}

}  // namespace

std::string statefield(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = ' ';
    }
    return s;
}

int appendstateline(const std::string& path, std::time_t now, const std::vector<std::string>& fields) {
    std::string line = std::to_string(static_cast<long long>(now));
    for (const std::string& f : fields) line += '\t' + statefield(f);
    line += '\n';
    if (unitnote(path) != 0) return -1;
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        logprintf("Error writing %s\n", path.c_str());
        return -1;
    }
    struct stat st {};
    off_t before = fstat(fd, &st) == 0 ? st.st_size : -1;
    // One write: a kill leaves the line whole or torn at its end, never
    // mixed with another.
    ssize_t n = write(fd, line.data(), line.size());
    int bad = n == static_cast<ssize_t>(line.size()) ? 0 : -1;
    if (bad == 0) bad = syncfd(fd);
    if (bad == 0 && unitopen()) unitsync(path);
    // A part of the line would spoil the next one: it is taken back.
    if (bad != 0 && n > 0 && before >= 0) (void)ftruncate(fd, before);
    if (close(fd) != 0) bad = -1;
    if (bad != 0) logprintf("Error writing %s\n", path.c_str());
    return bad;
}

int readstatelines(const std::string& path, std::vector<stateline>& out) {
    out.clear();
    std::string data;
    int r = readwhole(path, data);
    if (r == 1) return 0;
    if (r != 0) return -1;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        if (nl == std::string::npos) break;  // torn by a kill
        stateline s;
        if (parseline(std::string_view(data).substr(pos, nl - pos), s)) out.push_back(std::move(s));
        pos = nl + 1;
    }
    return 0;
}

int prunestatelines(const std::string& path, std::time_t cutoff) {
    if (unitopen() || run.testmode) return 0;
    std::string data;
    int r = readwhole(path, data);
    if (r == 1) return 0;
    if (r != 0) {
        logprintf("Error reading %s\n", path.c_str());
        return -1;
    }
    std::string kept;
    bool dropped = false;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        stateline s;
        std::string_view l = std::string_view(data).substr(pos, end - pos);
        if (nl != std::string::npos && parseline(l, s) && s.time >= cutoff) {
            kept.append(l).push_back('\n');
        } else {
            dropped = true;
        }
        pos = end + 1;
    }
    if (!dropped) return 0;
    if (writedurable(path, kept) != 0) {
        logprintf("Error writing %s\n", path.c_str());
        return -1;
    }
    return 0;
}
