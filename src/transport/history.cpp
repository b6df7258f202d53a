#include "transport/history.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/journal.h"
#include "transport/command.h"

importhistory history;

namespace {
// Longer than any header line may be: such a value is not an id.
constexpr std::size_t MAXKEY = 998;
constexpr long DAY = 86400;
// The lines appended at a commit are written in blocks of about this size.
constexpr std::size_t HISTORYBLOCK = 1 << 16;

std::string historypath() {
    return cfg.soupdir.str() + HISTORYNAME;
}

bool hascontrol(std::string_view s) {
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) return true;
    }
    return false;
}

// One line of the file: "<time>\t<key>". Returns false for a damaged line.
bool parseline(std::string_view line, long& when, std::string_view& key) {
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0 || tab + 1 >= line.size()) return false;
    auto r = std::from_chars(line.data(), line.data() + tab, when);
    if (r.ec != std::errc() || r.ptr != line.data() + tab) return false;
    key = line.substr(tab + 1);
    return key.size() <= MAXKEY + 130;
}
}  // namespace

std::string historykey(std::string_view messageid, int msgtype, std::string_view area,
                       std::string_view recipient) {
    std::string_view id = messageid;
    std::size_t lt = id.find('<');
    if (lt != std::string_view::npos) {
        std::size_t gt = id.find('>', lt);
        if (gt == std::string_view::npos) return {};
        id = id.substr(lt, gt - lt + 1);
    } else {
        std::size_t b = id.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) return {};
        id = id.substr(b, id.find_last_not_of(" \t\r\n") - b + 1);
    }
    if (id.size() < 3 || id.size() > MAXKEY || hascontrol(id) || id == "<>") return {};
    std::string key(id);
    if (msgtype == 1) {
        if (hascontrol(area)) return {};
        std::string a(area);
        strlwr(a);
        key.append("\t").append(a);
    } else if (!recipient.empty() && !hascontrol(recipient) && recipient.size() <= 127) {
        std::string r(recipient);
        strlwr(r);
        key.append("\tto:").append(r);
    }
    return key;
}

std::string legacymailkey(const std::string& key) {
    std::size_t tab = key.find("\tto:");
    return tab == std::string::npos ? std::string() : key.substr(0, tab);
}

int loadhistory() {
    history = importhistory{};
    if (cfg.historydays == 0 || cfg.soupdir.empty()) return 0;
    std::string data;
    int r = readshared(historypath(), data);
    if (r < 0) {
        logprintf("Error reading %s\n", historypath().c_str());
        return -1;
    }
    history.active = true;
    if (!run.testmode) removestaletemps(cfg.soupdir.str(), {HISTORYNAME}, {});
    const long cutoff = static_cast<long>(nowtime()) - static_cast<long>(cfg.historydays) * DAY;
    std::string kept;
    bool dropped = false;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        // A last line without its line feed was cut by a crash.
        if (nl == std::string::npos) {
            dropped = true;
            break;
        }
        std::string_view line(data.data() + pos, nl - pos);
        pos = nl + 1;
        long when = 0;
        std::string_view key;
        if (!parseline(line, when, key) || when < cutoff) {
            dropped = true;
            continue;
        }
        history.known.emplace(key);
        kept.append(line).append("\n");
    }
    if (dropped && !run.testmode && writedurable(historypath(), kept) != 0) {
        logprintf("Error writing %s\n", historypath().c_str());
    }
    return 0;
}

bool seenbefore(const std::string& key) {
    if (!history.active || key.empty()) return false;
    return history.known.count(key) != 0 || history.notedset.count(key) != 0;
}

void notehistory(const std::string& key) {
    if (!history.active || key.empty()) return;
    auto [it, fresh] = history.notedset.insert(key);
    if (fresh) history.noted.push_back(&*it);
}

void forgetnoted() {
    history.noted.clear();
    history.notedset.clear();
}

int commithistory() {
    if (!history.active || history.noted.empty()) return 0;
    if (run.testmode) {
        forgetnoted();
        return 0;
    }
    std::string text;
    std::string stamp = std::to_string(static_cast<long>(nowtime()));
    std::string path = historypath();
    // Noted in the run's journal first: the lines go again when the message
    // file's unit is taken back.
    int fd = unitnote(path) == 0 ? opensharedfd(path, O_WRONLY | O_CREAT | O_APPEND) : -1;
    bool bad = fd < 0;
    if (!bad) {
        // A file cut by a crash ends inside a line: the next line must not join it.
        off_t end = lseek(fd, 0, SEEK_END);
        char last = '\n';
        if (end > 0 && pread(fd, &last, 1, end - 1) == 1 && last != '\n') bad = writefd(fd, "\n") != 0;
        // The lines in blocks: a message file of many thousand messages
        // needs no copy of all its keys at once.
        for (std::size_t i = 0; !bad && i < history.noted.size(); ++i) {
            text.append(stamp).append("\t").append(*history.noted[i]).append("\n");
            if (text.size() >= HISTORYBLOCK || i + 1 == history.noted.size()) {
                bad = writefd(fd, text) != 0;
                text.clear();
            }
        }
        // A history line lost with the machine only lets a re-fetched
        // message in again; it is synced when the run syncs its outputs.
        if (cfg.syncwrites && fdatasync(fd) != 0) bad = true;
        if (::close(fd) != 0) bad = true;
    }
    while (!history.notedset.empty()) history.known.insert(history.notedset.extract(history.notedset.begin()));
    forgetnoted();
    if (bad) {
        logprintf("Error writing %s\n", path.c_str());
        return -1;
    }
    return 0;
}

namespace {
// Appends text to the file; a last line cut by a crash is ended first.
bool appendhistory(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    bool bad = fd < 0;
    if (!bad) {
        off_t end = lseek(fd, 0, SEEK_END);
        char last = '\n';
        if (end > 0 && pread(fd, &last, 1, end - 1) == 1 && last != '\n') bad = writefd(fd, "\n") != 0;
        if (!bad) bad = writefd(fd, text) != 0;
        if (cfg.syncwrites && fdatasync(fd) != 0) bad = true;
        if (::close(fd) != 0) bad = true;
    }
    return !bad;
}
}  // namespace

int notehistorynow(const std::vector<std::string>& keys) {
    if (cfg.historydays == 0 || run.testmode || keys.empty()) return 0;
    std::string text;
    std::string stamp = std::to_string(static_cast<long>(nowtime()));
    for (const std::string& k : keys) {
        if (!k.empty()) text.append(stamp).append("\t").append(k).append("\n");
    }
    if (text.empty() || appendhistory(historypath(), text)) return 0;
    logprintf("Error writing %s\n", historypath().c_str());
    return -1;
}
