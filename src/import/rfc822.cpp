#include "import/rfc822.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/codec.h"
#include "base/text.h"
#include "import/headertext.h"

namespace {
constexpr std::size_t MAXFIELD = 127;  // longest text a 128-byte field keeps
}  // namespace

void unescape(std::string& s) {
    // Most values hold no backslash and stay as they are.
    const void* first = std::memchr(s.data(), '\\', s.size());
    if (!first) return;
    std::size_t out = static_cast<std::size_t>(static_cast<const char*>(first) - s.data());
    for (std::size_t i = out; i < s.size(); ++i) {
        if (s[i] != '\\') {
            s[out++] = s[i];
            continue;
        }
        if (++i >= s.size()) break;
        s[out++] = s[i] == ' ' ? PROTECTEDSPACE : s[i];
    }
    s.resize(out);
}

void unfixed(std::string& s) {
    std::replace(s.begin(), s.end(), PROTECTEDSPACE, ' ');
}

void unquote(std::string& s) {
    while (s.size() > 1 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        s = s.substr(1, s.size() - 2);
    }
}

// ---------------------------------------------------------------- addresses

namespace {
bool isdelim(char c) {
    return isdelimiter(static_cast<unsigned char>(c));
}

bool blank(char c) {
    return iswhite(static_cast<unsigned char>(c)) || isdelim(c);
}

// The "@" of the address in seg: the one in angle brackets, else the first
// outside a quoted display name and comments; an "@" there belongs to a
// name ("ann@list.org" <eve@evil.org>) and taking it would make the mail
// come from someone else. A segment with no other "@" keeps its first.
std::size_t addressat(const std::string& seg) {
    bool inquote = false, inangle = false;
    int comment = 0;
    std::size_t bare = std::string::npos;
    for (std::size_t i = 0; i < seg.size(); ++i) {
        const char c = seg[i];
        if (inquote) {
            inquote = c != '"';
        } else if (comment > 0) {
            if (c == '(') ++comment;
            if (c == ')') --comment;
        } else if (c == '"') {
            inquote = true;
        } else if (c == '(') {
            comment = 1;
        } else if (c == '<') {
            inangle = true;
        } else if (c == '>') {
            inangle = false;
        } else if (c == '@') {
            if (inangle) return i;
            if (bare == std::string::npos) bare = i;
        }
    }
    return bare != std::string::npos ? bare : seg.find('@');
}

// Cuts the address out of seg (blanking it and the delimiters around it)
// into addr; returns where it ended, or npos when seg holds no "@".
std::size_t takeaddress(std::string& seg, std::string& addr) {
    std::size_t at = addressat(seg);
    if (at == std::string::npos) return std::string::npos;
    std::size_t b = at;
    while (b > 0 && !isdelim(seg[b - 1])) --b;
    if (b > 0) seg[b - 1] = ' ';
    std::size_t e = at;
    while (e < seg.size() && !isdelim(seg[e])) ++e;
    addr = seg.substr(b, std::min(e - b, MAXFIELD));
    // The whole address leaves the segment, so that nothing of an over-long
    // one is mistaken for the display name.
    std::fill(seg.begin() + static_cast<long>(b), seg.begin() + static_cast<long>(e), ' ');
    if (e < seg.size()) seg[e] = ' ';
    unquote(addr);
    unfixed(addr);
    return e;
}

// The display name left in seg after its address (ending at addrend, or
// npos without address) was taken out; empty when there is none.
std::string takename(const std::string& seg, std::size_t addrend) {
    std::size_t b, e;
    bool hasaddr = addrend != std::string::npos;
    bool after =
        hasaddr && std::any_of(seg.begin() + static_cast<long>(addrend), seg.end(),
                               [](char c) { return !iswhite(static_cast<unsigned char>(c)); });
    if (after) {  // address (Name)
        b = addrend;
        e = seg.size();
    } else {  // Name <address>, or a name alone
        b = seg.find_first_not_of(' ');
        e = hasaddr ? addrend : seg.size();
    }
    if (b == std::string::npos || b >= e) return {};
    while (b < e && blank(seg[b])) ++b;
    while (e > b && blank(seg[e - 1])) --e;
    std::string name = seg.substr(b, e - b);
    unquote(name);
    unfixed(name);
    return name;
}

// One comma-separated entry of an address list.
void emailsegment(std::string seg, bool first, text128* email, text128* name, int kind,
                  fieldtext* nametext) {
    std::string addr;
    std::size_t addrend = takeaddress(seg, addr);
    emailentry* entry = nullptr;
    if (addrend != std::string::npos) {
        if (first && email) {
            *email = addr;
        } else if (kind >= HEADER_TO && kind <= HEADER_BCC &&
                   curmsg.emaillist.size() < MAXEMAILLIST) {
            curmsg.emaillist.push_back(emailentry{kind, addr, {}});
            entry = &curmsg.emaillist.back();
        }
    }
    std::string whole = takename(seg, addrend);
    if (whole.empty()) return;
    // Names in the header are decoded before they are cut; an attribution
    // in the body is text as it stands.
    int state = TEXT_PLAIN;
    std::string decoded = kind == HEADER_QUOTE ? whole : decodeheadertext(whole, state);
    std::string nm(state == TEXT_UTF8 ? cututf8(decoded, MAXFIELD)
                                      : std::string_view(decoded).substr(0, MAXFIELD));
    if (first && name) {
        *name = nm;
        if (nametext) {
            nametext->state = state;
            nametext->full = std::move(decoded);
            nametext->raw = whole;
        }
    }
    if (entry) {
        entry->name = nm;
        entry->namestate = state;
    }
}
}  // namespace

namespace {
// The characters that split an address list or keep it from being split.
constexpr std::array<bool, 256> LISTSPECIAL = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : std::string_view("\"()<>,")) t[c] = true;
    return t;
}();
}  // namespace

void processemail(std::string& value, text128* email, text128* name, int kind,
                  fieldtext* nametext) {
    unescape(value);
    // Commas inside a double-quoted display name or inside brackets and
    // comments do not separate entries. An apostrophe is no quote here: it
    // occurs in names (O'Brien) and would swallow the rest of the list.
    bool inquote = false;
    int depth = 0;
    bool first = true;
    std::size_t segstart = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        // Only quotes, brackets and commas matter here: the rest is passed over.
        while (i < value.size() && !LISTSPECIAL[static_cast<unsigned char>(value[i])]) ++i;
        char c = i < value.size() ? value[i] : ',';
        if (c == '"') {
            inquote = !inquote;
        } else if (!inquote && (c == '(' || c == '<')) {
            ++depth;
        } else if (!inquote && (c == ')' || c == '>')) {
            if (depth > 0) --depth;
        } else if (c == ',' && ((!inquote && depth == 0) || i == value.size())) {
            emailsegment(value.substr(segstart, i - segstart), first, email, name, kind,
                         first ? nametext : nullptr);
            first = false;
            segstart = i + 1;
        }
    }
}

// ------------------------------------------------------------- Message-IDs

void processmsgid(std::string& value, text128& field, int which) {
    unescape(value);
    std::size_t at = which == 0 ? value.find('@') : value.rfind('@');
    if (at == std::string::npos) return;
    auto stopback = [](char c) {
        return c == ' ' || c == '\t' || c == '<' || c == '(' || c == '"';
    };
    auto stopfwd = [](char c) { return c == ' ' || c == '\t' || c == '>' || c == ')' || c == '"'; };
    std::size_t b = at;
    while (b > 0 && !stopback(value[b - 1])) --b;
    std::size_t e = b;
    while (e < value.size() && !stopfwd(value[e])) ++e;
    std::string id = value.substr(b, std::min(e - b, MAXFIELD));
    unfixed(id);
    field = id;
}

// ------------------------------------------------------------ plain texts

std::string textvalue(std::string_view value) {
    std::size_t b = value.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    std::size_t e = value.find_last_not_of(" \t");
    std::string s(value.substr(b, e - b + 1));
    unfixed(s);
    return s;
}

void processnewsgroups(std::string_view value, std::string_view areaname) {
    std::size_t pos = 0;
    for (;;) {
        std::size_t comma = value.find(',', pos);
        text128 item;
        processtext(value.substr(pos, comma == std::string_view::npos ? value.npos : comma - pos),
                    item);
        std::string group = item.str();
        trim(group);
        // Empty items (",," or a trailing comma) name no group.
        if (!group.empty() && !strieq(group, areaname) && curmsg.xpost.size() < MAXXPOST) {
            curmsg.xpost.push_back(group);
        }
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
}

// ------------------------------------------------------------------ dates

namespace {
bool isblankc(char c) {
    return c == ' ' || c == '\t';
}

// The leading decimal digits of tok; false when there are none. Values
// beyond any date field are held at a large number rather than wrapping.
bool leadingnumber(std::string_view tok, long& v, std::size_t& used) {
    used = 0;
    v = 0;
    while (used < tok.size() && isdigitc(static_cast<unsigned char>(tok[used]))) {
        if (v < 1000000) v = v * 10 + (tok[used] - '0');
        ++used;
    }
    return used > 0;
}

// The time token "h[:m[:s]]"; each part is stored when it is in range.
void parsetime(std::string_view tok, msgtimes& t) {
    static const long limits[3] = {23, 59, 60};
    std::uint16_t* fields[3] = {&t.hour, &t.minute, &t.second};
    for (int i = 0; i < 3; ++i) {
        long v;
        std::size_t used;
        if (!leadingnumber(tok, v, used)) return;
        if (v <= limits[i]) *fields[i] = static_cast<std::uint16_t>(v);
        tok.remove_prefix(used);
        if (tok.empty() || tok.front() != ':') return;
        tok.remove_prefix(1);
    }
}
}  // namespace

void processdate(std::string& value, msgtimes& t, text128* tz) {
    unescape(value);
    t = msgtimes{};
    if (tz) tz->clear();

    // A weekday, if any, ends at a comma near the start.
    std::size_t p = 0;
    std::size_t comma = value.find(',');
    if (comma != std::string::npos && comma >= 3 && comma <= 12) p = comma + 1;

    // day, month, year, time; each is taken only when the next one follows.
    std::string_view tok[4];
    std::size_t tokens = 0;
    std::string_view v(value);
    while (tokens < 4) {
        while (p < v.size() && isblankc(v[p])) ++p;
        if (p >= v.size()) break;
        std::size_t q = p;
        while (q < v.size() && !isblankc(v[q])) ++q;
        tok[tokens++] = v.substr(p, q - p);
        p = q;
    }
    long n;
    std::size_t used;
    if (tokens > 1 && leadingnumber(tok[0], n, used) && n >= 1 && n <= 31)
        t.day = static_cast<std::uint16_t>(n);
    if (tokens > 2 && tok[1].size() >= 3) {
        for (int m = 0; m < 12; ++m) {
            if (memicmp(tok[1].data(), month[m], 3) == 0) t.month = static_cast<std::uint16_t>(m);
        }
    }
    if (tokens > 3 && leadingnumber(tok[2], n, used)) {
        if (n < 70)
            n += 2000;
        else if (n < 100)
            n += 1900;
        if (n <= 9999) t.year = static_cast<std::uint16_t>(n);
    }
    if (tokens < 4) return;
    parsetime(tok[3], t);
    while (p < v.size() && isblankc(v[p])) ++p;
    if (tz) *tz = v.substr(p);
}
