#include "bounce/sentmail.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "durable/statelines.h"
#include "import/ftnform.h"
#include "mime/encodedword.h"
#include "pkt/pktappend.h"
#include "transport/envelope.h"

namespace {

constexpr long DAY = 86400;

struct sentrecord {
    bool loaded = false;
    std::vector<sentmail> entries;
    std::unordered_map<std::string, std::size_t> byid;
};
sentrecord record;

std::string recordpath() {
    return cfg.soupdir.str() + SENTMAILNAME;
}

std::string bracketed(std::string_view id) {
    std::string s(id);
    trim(s);
    if (s.empty()) return s;
    std::string out;
    out.reserve(s.size() + 2);
    if (s.front() != '<') out.push_back('<');
    out += s;
    if (out.back() != '>') out.push_back('>');
    return out;
}

bool parseaddr(std::string_view t, fidoaddr& a) {
    unsigned z = 0, n = 0, f = 0, p = 0;
    std::string s(t);
    int got = std::sscanf(s.c_str(), "%u:%u/%u.%u", &z, &n, &f, &p);
    if (got < 3 || z > 65535 || n > 65535 || f > 65535 || p > 65535) return false;
    a = {static_cast<std::uint16_t>(z), static_cast<std::uint16_t>(n), static_cast<std::uint16_t>(f),
         static_cast<std::uint16_t>(got == 4 ? p : 0)};
    return true;
}

std::time_t cutoff() {
    return nowtime() - static_cast<long>(std::max(cfg.historydays, 1)) * DAY;
}

void load() {
    if (record.loaded) return;
    record.loaded = true;
    if (cfg.soupdir.empty()) return;
    std::time_t cut = cutoff();
    (void)prunestatelines(recordpath(), cut);
    std::vector<stateline> lines;
    if (readstatelines(recordpath(), lines) != 0) {
        logprintf("Error reading %s\n", recordpath().c_str());
        return;
    }
    for (stateline& l : lines) {
        if (l.time < cut || l.fields.size() < 5) continue;
        sentmail s;
        s.time = l.time;
        s.messageid = l.fields[0];
        if (!parseaddr(l.fields[1], s.from)) continue;
        s.fromname = l.fields[2];
        s.subject = l.fields[3];
        std::string_view rest = l.fields[4];
        while (!rest.empty()) {
            std::size_t sp = rest.find(' ');
            if (sp != 0) s.recipients.emplace_back(rest.substr(0, sp));
            if (sp == std::string_view::npos) break;
            rest.remove_prefix(sp + 1);
        }
        record.byid[s.messageid] = record.entries.size();
        record.entries.push_back(std::move(s));
    }
}

// The name in a From value: the comment of "addr (Name)", else the
// phrase of "Name <addr>", encoded words decoded.
std::string displayname(std::string_view from) {
    std::string name;
    std::size_t open = from.find('(');
    std::size_t close = from.rfind(')');
    std::size_t angle = from.find('<');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
        name = from.substr(open + 1, close - open - 1);
    } else if (angle != std::string_view::npos) {
        name = from.substr(0, angle);
    }
    trim(name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    std::string out;
    (void)decodeencodedwords(name, out);
    // Quoted pairs of a phrase or comment.
    std::string plain;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\\' && i + 1 < out.size()) ++i;
        plain.push_back(out[i]);
    }
    return plain;
}

}  // namespace

bool fidosenderof(std::string_view from, std::string_view messageid, std::string& name, fidoaddr& addr) {
    std::vector<std::string> a = addresslist(from);
    std::string email = a.empty() ? std::string() : a.front();
    name = displayname(from);
    bool found = false;
    const addrmapentry* fallback = tables.addrmap.empty() ? nullptr : &tables.addrmap.front();
    for (const addrmapentry& e : tables.addrmap) {
        if (email.empty() || !(strieq(e.email.sv(), email) || strieq(e.replyemail.sv(), email))) continue;
        addr = e.ftnaddr;
        if (name.empty()) name = e.name.str();
        found = true;
        // The first entry's address is also what export writes for a
        // sender it does not know: the Message-ID may tell more.
        if (&e != fallback) return true;
        break;
    }
    fidoaddr a2;
    std::uint32_t serial = 0;
    std::string id(messageid);
    trim(id);
    if (!id.empty() && id.front() == '<') id.erase(0, 1);
    if (!id.empty() && id.back() == '>') id.pop_back();
    if (hasmapdomain(email) && decodeftnaddr(email, a2)) {
        addr = a2;
        if (name.empty()) {
            name = email.substr(0, email.find('@'));
            std::replace(name.begin(), name.end(), '.', ' ');
        }
        return true;
    }
    if (decodeftnmsgid(id, a2, serial)) {
        addr = a2;
        return true;
    }
    return found;
}

bool sentmailof(std::string_view header, sentmail& out) {
    out = sentmail{};
    out.messageid = bracketed(firstfield(header, "Message-ID"));
    if (!fidosenderof(firstfield(header, "From"), out.messageid, out.fromname, out.from)) return false;
    (void)decodeencodedwords(firstfield(header, "Subject"), out.subject);
    for (const char* f : {"To", "Cc", "Bcc"}) {
        for (std::string& a : addresslist(firstfield(header, f))) out.recipients.push_back(std::move(a));
    }
    return true;
}

int notesentmail(const sentmail& s) {
    if (cfg.soupdir.empty() || s.messageid.empty()) return 0;
    std::string addr;
    appendaddr(addr, s.from, true);
    std::string rcpt;
    for (const std::string& r : s.recipients) {
        if (!rcpt.empty()) rcpt.push_back(' ');
        rcpt += r;
    }
    std::time_t now = nowtime();
    if (appendstateline(recordpath(), now, {s.messageid, addr, s.fromname, s.subject, rcpt}) != 0) return -1;
    if (record.loaded) {
        sentmail c = s;
        c.time = now;
        record.byid[c.messageid] = record.entries.size();
        record.entries.push_back(std::move(c));
    }
    return 0;
}

bool findsentmail(std::string_view messageid, sentmail& out) {
    load();
    auto it = record.byid.find(bracketed(messageid));
    if (it == record.byid.end()) return false;
    out = record.entries[it->second];
    return true;
}

bool findsentto(std::string_view address, sentmail& out) {
    load();
    for (auto it = record.entries.rbegin(); it != record.entries.rend(); ++it) {
        for (const std::string& r : it->recipients) {
            if (!strieq(r, address)) continue;
            out = *it;
            return true;
        }
    }
    return false;
}

int prunesentmail() {
    if (cfg.soupdir.empty()) return 0;
    fileptr f = openfile(recordpath(), "r");
    if (!f) return 0;
    char first[32] = {};
    if (std::fgets(first, sizeof first, f.get()) == nullptr) return 0;
    long long t = std::atoll(first);
    f.reset();
    if (t >= static_cast<long long>(cutoff())) return 0;
    return prunestatelines(recordpath(), cutoff());
}

void resetsentmail() {
    record = sentrecord{};
}
