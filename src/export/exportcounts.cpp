#include "export/exportcounts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>

#include "base/clock.h"
#include "base/ftnpattern.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/journal.h"
#include "export/ftnnames.h"
#include "transport/command.h"

exportcountstate exportcounts;

namespace {

// Counts stop here: far beyond any limit, and safe to add to.
constexpr long COUNTMAX = 2000000000;

// A node's line: as many as the unit counted for it.
std::string countline(std::string_view day, const fidoaddr& a, long n) {
    return std::string(day) + "\t" + ftnaddrtext(a) + "\t" + std::to_string(n) + "\n";
}

fidoaddr keyaddress(std::uint64_t k) {
    return fidoaddr{static_cast<std::uint16_t>(k >> 48), static_cast<std::uint16_t>(k >> 32),
                    static_cast<std::uint16_t>(k >> 16), static_cast<std::uint16_t>(k)};
}

// "zone:net/node[.point]" in full, nothing else.
bool readaddress(std::string_view s, fidoaddr& a) {
    ftnpattern p;
    if (s.find('*') != std::string_view::npos || !parseftnpattern(s, p) || p.point < 0) return false;
    a = fidoaddr{static_cast<std::uint16_t>(p.zone), static_cast<std::uint16_t>(p.net),
                 static_cast<std::uint16_t>(p.node), static_cast<std::uint16_t>(p.point)};
    return true;
}

std::string today() {
    std::tm t = localclock(nowtime());
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", (t.tm_year + 1900) % 10000, (t.tm_mon + 1) % 100,
                  t.tm_mday % 100);
    return buf;
}

long long filesize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

}  // namespace

std::uint64_t nodekey(const fidoaddr& a) {
    return (static_cast<std::uint64_t>(a.zone) << 48) | (static_cast<std::uint64_t>(a.net) << 32) |
           (static_cast<std::uint64_t>(a.node) << 16) | a.point;
}

nodecounts parseexportcounts(std::string_view data, std::string_view day, bool& stale) {
    nodecounts counts;
    stale = false;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        if (nl == std::string_view::npos) {
            stale = true;  // a line a crash cut off
            break;
        }
        std::string_view line = data.substr(pos, nl - pos);
        pos = nl + 1;
        std::size_t t1 = line.find('\t'), t2 = t1 == std::string_view::npos ? t1 : line.find('\t', t1 + 1);
        fidoaddr a;
        long n = 0;
        std::string_view num = t2 == std::string_view::npos ? std::string_view() : line.substr(t2 + 1);
        auto r = std::from_chars(num.data(), num.data() + num.size(), n);
        if (t2 == std::string_view::npos || !readaddress(line.substr(t1 + 1, t2 - t1 - 1), a) ||
            r.ec != std::errc() || r.ptr != num.data() + num.size() || n < 0 || n > COUNTMAX) {
            stale = true;
            continue;
        }
        if (line.substr(0, t1) != day) {
            stale = true;
            continue;
        }
        long& c = counts[nodekey(a)];
        c = c > COUNTMAX - n ? COUNTMAX : c + n;
    }
    return counts;
}

std::string exportcountstext(const nodecounts& counts, std::string_view day) {
    std::string text;
    for (const auto& [key, n] : counts) text += countline(day, keyaddress(key), n);
    return text;
}

void closeexportcounts() {
    if (exportcounts.fd >= 0) ::close(exportcounts.fd);
    exportcounts.fd = -1;
}

int loadexportcounts() {
    closeexportcounts();
    exportcounts = exportcountstate{};
    exportcounts.loaded = true;
    exportcounts.day = today();
    exportcounts.path = cfg.soupdir.str() + EXPORTCOUNTSFILE;
    std::string data;
    int r = readwhole(exportcounts.path, data);
    if (r < 0) {
        logprintf("Error reading %s: the day's message counts start from nothing\n",
                  exportcounts.path.c_str());
        exportcounts.path.clear();
        return -1;
    }
    if (r == 1) return 0;
    bool stale = false;
    exportcounts.counts = parseexportcounts(data, exportcounts.day, stale);
    // One line per node for the day: what the rest of the day appends to.
    std::string fresh = exportcountstext(exportcounts.counts, exportcounts.day);
    if ((stale || fresh.size() < data.size()) && !run.testmode &&
        writedurable(exportcounts.path, fresh) != 0) {
        logprintf("Error writing %s\n", exportcounts.path.c_str());
    }
    return 0;
}

long exportcount(const fidoaddr& a) {
    if (!exportcounts.loaded) (void)loadexportcounts();
    auto it = exportcounts.counts.find(nodekey(a));
    return it == exportcounts.counts.end() ? 0 : it->second;
}

int countexport(const fidoaddr& a) {
    if (!exportcounts.loaded) (void)loadexportcounts();
    ++exportcounts.counts[nodekey(a)];
    if (run.testmode || exportcounts.path.empty()) return 0;
    const std::string& path = exportcounts.path;
    // Noted first: a unit taken back takes its lines back with it.
    bool bad = unitnote(path) != 0;
    if (!bad && exportcounts.fd < 0) {
        exportcounts.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        bad = exportcounts.fd < 0;
        if (!bad) {
            // A file cut by a crash ends inside a line: the next line must not join it.
            off_t end = lseek(exportcounts.fd, 0, SEEK_END);
            char last = '\n';
            if (end > 0 && pread(exportcounts.fd, &last, 1, end - 1) == 1 && last != '\n')
                bad = writefd(exportcounts.fd, "\n") != 0;
        }
    }
    if (!bad) {
        bad = writefd(exportcounts.fd, countline(exportcounts.day, a, 1)) != 0;
        // Synced with the unit's other outputs (once a unit is enough).
        if (exportcounts.syncunit != jnl.unit) unitsync(path);
        exportcounts.syncunit = jnl.unit;
    }
    if (bad) {
        logprintf("Error writing %s\n", path.c_str());
        return -1;
    }
    return 0;
}

exportcountmark markexportcounts() {
    exportcountmark m;
    if (!exportcounts.loaded) return m;
    m.counts = exportcounts.counts;
    if (!run.testmode && !exportcounts.path.empty()) m.size = filesize(exportcounts.path);
    return m;
}

void rewindexportcounts(const exportcountmark& m) {
    if (!exportcounts.loaded) return;
    exportcounts.counts = m.counts;
    if (m.size < 0 || filesize(exportcounts.path) <= m.size) return;
    if (truncate(exportcounts.path.c_str(), static_cast<off_t>(m.size)) != 0)
        logprintf("Error writing %s\n", exportcounts.path.c_str());
}
