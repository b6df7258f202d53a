#include "transport/deferrals.h"

#include <charconv>
#include <cstdio>

#include "base/clock.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/statelines.h"
#include "transport/envelope.h"

deferralbook deferrals;

namespace {

std::string bookpath() {
    return cfg.soupdir.str() + DEFERRALSNAME;
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) {
        if (!s.empty()) s.push_back(' ');
        s += statefield(x);
    }
    return s;
}

}  // namespace

int readdeferrals(const std::string& path, std::map<std::string, deferral>& out) {
    out.clear();
    std::vector<stateline> lines;
    if (readstatelines(path, lines) != 0) return -1;
    for (const stateline& l : lines) {
        // key, kind, last time, recipients, answer
        if (l.fields.size() < 5) continue;
        deferral d;
        d.first = l.time;
        d.kind = l.fields[1] == "news" ? 1 : 0;
        long long last = 0;
        const std::string& lt = l.fields[2];
        std::from_chars(lt.data(), lt.data() + lt.size(), last);
        d.last = static_cast<std::time_t>(last);
        std::string_view rest = l.fields[3];
        while (!rest.empty()) {
            std::size_t sp = rest.find(' ');
            if (sp != 0) d.pending.emplace_back(rest.substr(0, sp));
            if (sp == std::string_view::npos) break;
            rest.remove_prefix(sp + 1);
        }
        d.answer = l.fields[4];
        out[l.fields[0]] = std::move(d);
    }
    return 0;
}

void deferralbook::load() {
    before.clear();
    now.clear();
    loaded = true;
    if (readdeferrals(bookpath(), before) != 0) logprintf("Error reading %s\n", bookpath().c_str());
}

std::time_t deferralbook::note(const std::string& key, int kind, const std::vector<std::string>& pending,
                               const std::string& answer) {
    std::time_t t = nowtime();
    deferral d;
    auto it = before.find(key);
    d.first = it != before.end() && it->second.first <= t ? it->second.first : t;
    d.last = t;
    d.kind = kind;
    d.pending = pending;
    d.answer = answer;
    now[key] = d;
    return d.first;
}

void deferralbook::forget(const std::string& key) {
    now.erase(key);
}

int deferralbook::save() {
    if (!loaded || run.testmode) return 0;
    std::string text;
    for (const auto& [key, d] : now) {
        text += std::to_string(static_cast<long long>(d.first)) + "\t" + statefield(key) + "\t" +
                (d.kind == 1 ? "news" : "mail") + "\t" + std::to_string(static_cast<long long>(d.last)) + "\t" +
                joined(d.pending) + "\t" + statefield(d.answer) + "\n";
    }
    std::string old;
    int r = readwhole(bookpath(), old);
    if ((r == 1 && text.empty()) || (r == 0 && old == text)) return 0;
    if (text.empty()) {
        // Nothing waits: no book.
        if (std::remove(bookpath().c_str()) != 0) {
            logprintf("Error removing %s\n", bookpath().c_str());
            return -1;
        }
        (void)syncfolder(bookpath());
        return 0;
    }
    if (writedurable(bookpath(), text) != 0) {
        logprintf("Error writing %s\n", bookpath().c_str());
        return -1;
    }
    return 0;
}

std::string deferralkey(std::string_view header, std::uint64_t hash) {
    std::string id = firstfield(header, "Message-ID");
    if (!id.empty()) return id;
    static const char digits[] = "0123456789abcdef";
    std::string k = "#";
    for (int i = 60; i >= 0; i -= 4) k.push_back(digits[(hash >> i) & 15]);
    return k;
}
