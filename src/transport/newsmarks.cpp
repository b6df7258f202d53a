#include "transport/newsmarks.h"

#include <charconv>
#include <string_view>

#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/durablefile.h"
#include "transport/newsserver.h"

namespace {

std::string markspath() {
    return cfg.soupdir.str() + NEWSMARKSNAME;
}

template <class T>
bool number(std::string_view s, T& out) {
    if (s.empty() || s.size() > 18) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && out >= 0;
}

}  // namespace

std::string newsmarkline(const newsmark& m) {
    return m.server + "\t" + m.group + "\t" + std::to_string(m.high) + "\t" +
           std::to_string(static_cast<long long>(m.fetched));
}

bool parsenewsmark(std::string_view line, newsmark& m) {
    std::string_view f[4];
    for (int i = 0; i < 4; ++i) {
        std::size_t tab = line.find('\t');
        if ((tab == std::string_view::npos) != (i == 3)) return false;
        f[i] = line.substr(0, tab);
        line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    }
    long long t = 0;
    if (!plainname(f[0]) || !plainname(f[1]) || !number(f[2], m.high) || !number(f[3], t)) return false;
    m.server = std::string(f[0]);
    m.group = std::string(f[1]);
    m.fetched = static_cast<std::time_t>(t);
    return true;
}

int readnewsmarks(std::vector<newsmark>& marks) {
    marks.clear();
    std::string data;
    int r = readwhole(markspath(), data);
    if (r == 1) return 0;
    if (r < 0) {
        logprintf("Error reading %s\n", markspath().c_str());
        return -1;
    }
    std::size_t pos = 0;
    long lineno = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        std::string_view line(data.data() + pos, end - pos);
        pos = end + 1;
        ++lineno;
        newsmark m;
        if (!parsenewsmark(line, m)) {
            logprintf("! line %ld of %s is damaged: left out\n", lineno, markspath().c_str());
            continue;
        }
        marks.push_back(std::move(m));
    }
    return 0;
}

const newsmark* findnewsmark(const std::vector<newsmark>& marks, const std::string& server,
                             const std::string& group) {
    for (const newsmark& m : marks) {
        if (strieq(m.server, server) && strieq(m.group, group)) return &m;
    }
    return nullptr;
}

int writenewsmarks(const std::vector<newsmark>& updates) {
    std::vector<newsmark> marks;
    if (readnewsmarks(marks) != 0) return -1;
    for (const newsmark& u : updates) {
        bool found = false;
        for (newsmark& m : marks) {
            if (strieq(m.server, u.server) && strieq(m.group, u.group)) {
                m = u;
                found = true;
            }
        }
        if (!found) marks.push_back(u);
    }
    std::string text;
    for (const newsmark& m : marks) text += newsmarkline(m) + "\n";
    if (writedurable(markspath(), text) != 0) {
        logprintf("Error writing %s\n", markspath().c_str());
        return -1;
    }
    return 0;
}
