#include "base/timezone.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "base/fileio.h"
#include "base/text.h"

namespace {

constexpr long HOUR = 3600;
constexpr std::int64_t DAY = 86400;
// No zone file is this large; a larger file is no zone file.
constexpr long ZONEFILEMAX = 1 << 20;

bool isleap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::int64_t daysfromcivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int weekdayofdays(std::int64_t days) {
    std::int64_t w = (days + 4) % 7;  // 1970-01-01 was a Thursday
    return static_cast<int>(w < 0 ? w + 7 : w);
}

int daysinmonth(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isleap(y) ? 29 : days[m - 1];
}

// ---- POSIX rules ----

struct cursor {
    std::string_view s;
    std::size_t i = 0;
    bool end() const { return i >= s.size(); }
    char peek() const { return end() ? '\0' : s[i]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++i;
        return true;
    }
};

bool takenumber(cursor& c, long max, long& v) {
    std::size_t n = 0;
    v = 0;
    while (!c.end() && isdigitc(static_cast<unsigned char>(c.peek())) && n < 4) {
        v = v * 10 + (c.peek() - '0');
        ++c.i;
        ++n;
    }
    return n > 0 && v <= max;
}

// A zone abbreviation: three or more letters, or "<...>" of letters,
// digits, "+" and "-".
bool takename(cursor& c) {
    if (c.take('<')) {
        std::size_t n = 0;
        while (!c.end() && c.peek() != '>') {
            unsigned char u = static_cast<unsigned char>(c.peek());
            if (!isalnumc(u) && u != '+' && u != '-') return false;
            ++c.i;
            ++n;
        }
        return c.take('>') && n >= 3;
    }
    std::size_t n = 0;
    while (!c.end() && isalphac(static_cast<unsigned char>(c.peek()))) {
        ++c.i;
        ++n;
    }
    return n >= 3;
}

// [+-]hh[:mm[:ss]] in seconds; hours up to maxhours.
bool takehms(cursor& c, long maxhours, long& secs) {
    long sign = 1;
    if (c.take('-')) {
        sign = -1;
    } else {
        c.take('+');
    }
    long h = 0, m = 0, s = 0;
    if (!takenumber(c, maxhours, h)) return false;
    if (c.take(':')) {
        if (!takenumber(c, 59, m)) return false;
        if (c.take(':') && !takenumber(c, 59, s)) return false;
    }
    secs = sign * (h * HOUR + m * 60 + s);
    return true;
}

bool takechange(cursor& c, zonechange& z) {
    long a = 0, b = 0, d = 0;
    if (c.take('J')) {
        if (!takenumber(c, 365, a) || a < 1) return false;
        z.kind = 'J';
        z.day = static_cast<int>(a);
    } else if (c.take('M')) {
        if (!takenumber(c, 12, a) || a < 1 || !c.take('.') || !takenumber(c, 5, b) || b < 1 ||
            !c.take('.') || !takenumber(c, 6, d)) {
            return false;
        }
        z.kind = 'M';
        z.month = static_cast<int>(a);
        z.week = static_cast<int>(b);
        z.day = static_cast<int>(d);
    } else {
        if (!takenumber(c, 365, a)) return false;
        z.kind = 'D';
        z.day = static_cast<int>(a);
    }
    z.time = 2 * HOUR;
    // Hours up to 167 (a week), as zone files write them.
    if (c.take('/') && !takehms(c, 167, z.time)) return false;
    return true;
}

// The day (since 1970) a rule changes the clocks on in year y.
std::int64_t changeday(const zonechange& z, int y) {
    std::int64_t jan1 = daysfromcivil(y, 1, 1);
    if (z.kind == 'J') return jan1 + z.day - 1 + (isleap(y) && z.day >= 60 ? 1 : 0);
    if (z.kind == 'D') return jan1 + z.day;
    std::int64_t first = daysfromcivil(y, z.month, 1);
    std::int64_t day = first + (z.day - weekdayofdays(first) + 7) % 7 + (z.week - 1) * 7;
    while (day - first >= daysinmonth(y, z.month)) day -= 7;
    return day;
}

bool insummer(const posixrule& r, std::int64_t t) {
    int y = civilfromseconds(t + r.stdoff).year;
    std::int64_t start = changeday(r.start, y) * DAY + r.start.time - r.stdoff;
    std::int64_t end = changeday(r.end, y) * DAY + r.end.time - r.dstoff;
    if (start < end) return t >= start && t < end;
    return !(t >= end && t < start);
}

long ruleoffset(const posixrule& r, std::int64_t t) {
    if (!r.hasdst) return r.stdoff;
    return insummer(r, t) ? r.dstoff : r.stdoff;
}

// ---- TZif ----

struct tzifreader {
    std::string_view b;
    std::size_t at = 0;
    bool ok = true;

    bool has(std::uint64_t n) const { return ok && n <= b.size() - at; }
    std::uint32_t u32() {
        if (!has(4)) return ok = false, 0;
        auto p = reinterpret_cast<const unsigned char*>(b.data() + at);
        at += 4;
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
               (std::uint32_t{p[2]} << 8) | p[3];
    }
    std::int64_t s64() {
        std::uint64_t hi = u32();
        std::uint64_t lo = u32();
        return static_cast<std::int64_t>((hi << 32) | lo);
    }
    std::uint8_t u8() {
        if (!has(1)) return ok = false, 0;
        return static_cast<std::uint8_t>(b[at++]);
    }
};

struct tzifcounts {
    std::uint32_t isut = 0, isstd = 0, leap = 0, time = 0, type = 0, chars = 0;
};

bool readtzifheader(tzifreader& r, char& version, tzifcounts& n) {
    if (!r.has(44) || r.b.substr(r.at, 4) != "TZif") return false;
    version = r.b[r.at + 4];
    r.at += 20;
    n.isut = r.u32();
    n.isstd = r.u32();
    n.leap = r.u32();
    n.time = r.u32();
    n.type = r.u32();
    n.chars = r.u32();
    return r.ok && n.type >= 1 && n.type <= 256 && (n.isut == 0 || n.isut == n.type) &&
           (n.isstd == 0 || n.isstd == n.type);
}

// One data block; timesize 4 (version 1) or 8.
bool readtzifdata(tzifreader& r, const tzifcounts& n, int timesize, zonedata& z) {
    std::uint64_t need = std::uint64_t{n.time} * (timesize + 1) + std::uint64_t{n.type} * 6 +
                         n.chars + std::uint64_t{n.leap} * (timesize + 4) + n.isstd + n.isut;
    if (!r.has(need)) return false;
    z.transitions.resize(n.time);
    for (auto& t : z.transitions) {
        t = timesize == 8 ? r.s64() : static_cast<std::int32_t>(r.u32());
    }
    if (!std::is_sorted(z.transitions.begin(), z.transitions.end())) return false;
    z.typeindex.resize(n.time);
    for (auto& i : z.typeindex) {
        i = r.u8();
        if (i >= n.type) return false;
    }
    z.typeoffset.resize(n.type);
    for (auto& o : z.typeoffset) {
        o = static_cast<std::int32_t>(r.u32());
        r.at += 2;  // isdst and the abbreviation: not needed for an offset
        // An offset of a day or more is no zone's.
        if (o <= -25 * HOUR || o >= 26 * HOUR) return false;
    }
    r.at += n.chars + std::uint64_t{n.leap} * (timesize + 4) + n.isstd + n.isut;
    return r.ok;
}

std::string zonedir() {
    const char* d = std::getenv("TZDIR");
    std::string dir = d && *d ? d : "/usr/share/zoneinfo";
    if (dir.back() != '/') dir += '/';
    return dir;
}

bool hasdotdot(std::string_view name) {
    std::size_t i = 0;
    while (i <= name.size()) {
        std::size_t end = std::min(name.find('/', i), name.size());
        if (name.substr(i, end - i) == "..") return true;
        i = end + 1;
    }
    return false;
}

// A zone of the zone database by name; false when there is no such file.
bool loadzonefile(std::string_view name, zonedata& z) {
    if (name.empty() || hasdotdot(name)) return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!isalnumc(u) && u != '/' && u != '_' && u != '-' && u != '+' && u != '.') return false;
    }
    std::string path = name[0] == '/' ? std::string(name) : zonedir() + std::string(name);
    fileptr f = openfile(path, "rb");
    if (!f) return false;
    std::string bytes;
    char buf[4096];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        bytes.append(buf, got);
        if (bytes.size() > static_cast<std::size_t>(ZONEFILEMAX)) return false;
    }
    if (std::ferror(f.get())) return false;
    return parsetzif(bytes, z) == 0;
}

bool parsehhmm(std::string_view s, long& seconds) {
    // "+hh:mm"
    if (s.size() != 6 || (s[0] != '+' && s[0] != '-') || s[3] != ':') return false;
    std::string compact = std::string(s.substr(0, 3)) + std::string(s.substr(4));
    return rfczoneoffset(compact, seconds) && isdigitc(static_cast<unsigned char>(s[1]));
}

}  // namespace

std::int64_t civilseconds(int year, int month, int day, int hour, int minute, int second) {
    return daysfromcivil(year, month, day) * DAY + hour * HOUR + minute * 60 + second;
}

civiltime civilfromseconds(std::int64_t s) {
    std::int64_t days = s / DAY;
    std::int64_t rest = s % DAY;
    if (rest < 0) {
        rest += DAY;
        --days;
    }
    civiltime c;
    c.weekday = weekdayofdays(days);
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
    c.hour = static_cast<int>(rest / HOUR);
    c.minute = static_cast<int>(rest % HOUR / 60);
    c.second = static_cast<int>(rest % 60);
    return c;
}

std::string rfcoffset(long seconds) {
    std::string out(1, seconds < 0 ? '-' : '+');
    long a = seconds < 0 ? -seconds : seconds;
    long h = std::min(a / HOUR, 99L);
    long m = a % HOUR / 60;
    out += static_cast<char>('0' + h / 10);
    out += static_cast<char>('0' + h % 10);
    out += static_cast<char>('0' + m / 10);
    out += static_cast<char>('0' + m % 10);
    return out;
}

bool rfczoneoffset(std::string_view z, long& seconds) {
    if (z.size() == 5 && (z[0] == '+' || z[0] == '-')) {
        for (std::size_t i = 1; i < 5; ++i) {
            if (!isdigitc(static_cast<unsigned char>(z[i]))) return false;
        }
        if (z[3] > '5') return false;
        long h = (z[1] - '0') * 10 + (z[2] - '0');
        long m = (z[3] - '0') * 10 + (z[4] - '0');
        seconds = (z[0] == '-' ? -1 : 1) * (h * HOUR + m * 60);
        return true;
    }
    static const struct {
        const char* name;
        int hours;
    } names[] = {{"UT", 0},   {"GMT", 0},  {"EST", -5}, {"EDT", -4}, {"CST", -6},
                 {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& n : names) {
        if (strieq(z, n.name)) {
            seconds = n.hours * HOUR;
            return true;
        }
    }
    return false;
}

bool parseposixtz(std::string_view text, posixrule& r) {
    r = posixrule{};
    cursor c{text};
    long off = 0;
    if (!takename(c) || !takehms(c, 24, off)) return false;
    r.stdoff = -off;  // POSIX counts hours west
    if (c.end()) return r.valid = true;
    if (!takename(c)) return false;
    r.hasdst = true;
    r.dstoff = r.stdoff + HOUR;
    char p = c.peek();
    if (p == '+' || p == '-' || isdigitc(static_cast<unsigned char>(p))) {
        if (!takehms(c, 24, off)) return false;
        r.dstoff = -off;
    }
    if (c.end()) {
        // No rule given: the C library's default, the US rule since 2007.
        r.start = {'M', 0, 3, 2, 2 * HOUR};
        r.end = {'M', 0, 11, 1, 2 * HOUR};
        return r.valid = true;
    }
    if (!c.take(',') || !takechange(c, r.start) || !c.take(',') || !takechange(c, r.end) ||
        !c.end()) {
        return false;
    }
    return r.valid = true;
}

int parsetzif(std::string_view bytes, zonedata& z) {
    zonedata out;
    out.kind = ZONE_RULES;
    tzifreader r{bytes};
    char version = 0;
    tzifcounts n;
    if (!readtzifheader(r, version, n) || !readtzifdata(r, n, 4, out)) return -1;
    if (version >= '2') {
        if (!readtzifheader(r, version, n) || !readtzifdata(r, n, 8, out)) return -1;
        // The footer: a POSIX rule for the times after the last transition,
        // between two line feeds; empty when there is none.
        if (r.at < bytes.size() && bytes[r.at] == '\n') {
            std::size_t end = bytes.find('\n', r.at + 1);
            if (end != std::string_view::npos && end > r.at + 1) {
                if (!parseposixtz(bytes.substr(r.at + 1, end - r.at - 1), out.footer)) {
                    out.footer = posixrule{};
                }
            }
        }
    }
    z = std::move(out);
    return 0;
}

int parsezone(std::string_view text, zonedata& z) {
    z = zonedata{};
    while (!text.empty() && iswhite(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && iswhite(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    if (text.empty()) return 0;
    long fixed = 0;
    if (rfczoneoffset(text, fixed) || parsehhmm(text, fixed)) {
        z.kind = ZONE_FIXED;
        z.fixed = fixed;
        return 0;
    }
    if (text.front() == ':') text.remove_prefix(1);
    zonedata loaded;
    if (loadzonefile(text, loaded)) {
        z = std::move(loaded);
        return 0;
    }
    posixrule rule;
    if (parseposixtz(text, rule)) {
        z.kind = ZONE_RULES;
        z.footer = rule;
        return 0;
    }
    return -1;
}

long zoneoffsetat(const zonedata& z, std::int64_t t) {
    if (z.kind == ZONE_FIXED) return z.fixed;
    if (z.kind == ZONE_LOCAL) {
        std::time_t tt = static_cast<std::time_t>(t);
        std::tm tm{};
        if (!localtime_r(&tt, &tm)) return 0;
        return tm.tm_gmtoff;
    }
    if (z.transitions.empty()) {
        if (z.footer.valid) return ruleoffset(z.footer, t);
        return z.typeoffset.empty() ? 0 : z.typeoffset[0];
    }
    if (t < z.transitions.front()) return z.typeoffset[0];
    auto it = std::upper_bound(z.transitions.begin(), z.transitions.end(), t);
    std::size_t i = static_cast<std::size_t>(it - z.transitions.begin()) - 1;
    if (i + 1 == z.transitions.size() && z.footer.valid) return ruleoffset(z.footer, t);
    return z.typeoffset[z.typeindex[i]];
}

// The offset before and after the instant the wall-clock time could be:
// whichever of them maps the time onto itself, the earlier one first.
long zoneoffsetfor(const zonedata& z, std::int64_t local) {
    if (z.kind == ZONE_FIXED) return z.fixed;
    const std::int64_t span = 26 * HOUR;
    long before = zoneoffsetat(z, local - span);
    long after = zoneoffsetat(z, local + span);
    if (zoneoffsetat(z, local - before) == before) return before;
    if (zoneoffsetat(z, local - after) == after) return after;
    return before;
}

bool tzutcoffset(std::string_view v, long& seconds) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && iswhite(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
    long sign = 1;
    if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
        if (v.front() == '-') sign = -1;
        v.remove_prefix(1);
    }
    if (v.size() < 3 || v.size() > 4) return false;
    long n = 0;
    for (char c : v) {
        if (!isdigitc(static_cast<unsigned char>(c))) return false;
        n = n * 10 + (c - '0');
    }
    if (n % 100 > 59 || n / 100 > 23) return false;
    seconds = sign * (n / 100 * HOUR + n % 100 * 60);
    return true;
}

std::string tzutctext(long seconds) {
    std::string t = rfcoffset(seconds);
    if (t[0] == '+') t.erase(0, 1);
    return t;
}
