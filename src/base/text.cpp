#include "base/text.h"

#include <algorithm>
#include <cstring>

namespace {
// Position of the first case-insensitive occurrence of needle at or after from.
// The texts searched are mostly short lines and the needles short words, so
// the search jumps from one occurrence of the needle's first character (in
// either case) to the next with memchr and compares only there.
std::size_t ifind(std::string_view hay, std::string_view needle, std::size_t from) {
    std::size_t m = needle.size();
    if (m == 0 || m > hay.size() || from > hay.size() - m) return std::string_view::npos;
    const char* base = hay.data();
    const char* stop = base + (hay.size() - m) + 1;  // after the last possible start
    const char lo = static_cast<char>(lowerc(static_cast<unsigned char>(needle[0])));
    const char up = static_cast<char>(upperc(static_cast<unsigned char>(needle[0])));
    auto seek = [stop](const char* at, char c) {
        const void* p = std::memchr(at, c, static_cast<std::size_t>(stop - at));
        return p ? static_cast<const char*>(p) : stop;
    };
    // The next occurrence of each case at or after the current position.
    const char* nextlo = seek(base + from, lo);
    const char* nextup = lo == up ? stop : seek(base + from, up);
    for (;;) {
        const char* at = nextlo < nextup ? nextlo : nextup;
        if (at >= stop) return std::string_view::npos;
        if (memicmp(at + 1, needle.data() + 1, m - 1) == 0)
            return static_cast<std::size_t>(at - base);
        if (at == nextlo) {
            nextlo = seek(at + 1, lo);
        } else {
            nextup = seek(at + 1, up);
        }
    }
}
}  // namespace

int substrcmp(std::string_view needle, std::string_view haystack) {
    if (needle.empty()) return 0;
    return ifind(haystack, needle, 0) != std::string_view::npos ? 1 : 0;
}

int isalnumdot(int c) { return (isalnumc(c) || c == '.') ? 1 : 0; }

std::size_t wordfind(std::string_view word, std::string_view text) {
    if (word.empty()) return std::string_view::npos;
    std::size_t pos = ifind(text, word, 0);
    while (pos != std::string_view::npos) {
        bool before = pos > 0 && isalnumdot(static_cast<unsigned char>(text[pos - 1]));
        std::size_t end = pos + word.size();
        bool after = end < text.size() && isalnumdot(static_cast<unsigned char>(text[end]));
        if (!before && !after) return pos;
        pos = ifind(text, word, pos + 1);
    }
    return std::string_view::npos;
}

bool iendswith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           memicmp(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

namespace {
// One part (local part or domain) of an address against its pattern part.
bool matchpart(std::string_view pat, std::string_view part) {
    if (!pat.empty() && pat.front() == '*') return iendswith(part, pat.substr(1));
    if (!pat.empty() && pat.back() == '*') return istartswith(part, pat.substr(0, pat.size() - 1));
    return strieq(pat, part);
}
}  // namespace

int emailcmp(std::string_view pattern, std::string_view address) {
    std::size_t pat = pattern.find('@');
    std::size_t adr = address.find('@');
    bool hp = pat != std::string_view::npos;
    bool ha = adr != std::string_view::npos;
    if (hp != ha) return 0;
    if (!hp) return matchpart(pattern, address) ? 1 : 0;
    if (!matchpart(pattern.substr(0, pat), address.substr(0, adr))) return 0;
    return matchpart(pattern.substr(pat + 1), address.substr(adr + 1)) ? 1 : 0;
}

namespace {
std::string_view basename(std::string_view p) {
    std::size_t s = p.rfind('/');
    return s == std::string_view::npos ? p : p.substr(s + 1);
}
}  // namespace

int fncmp(std::string_view a, std::string_view b) {
    std::string_view x = basename(a), y = basename(b);
    std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        int d = lowerc(static_cast<unsigned char>(x[i])) - lowerc(static_cast<unsigned char>(y[i]));
        if (d != 0) return d < 0 ? -1 : 1;
    }
    if (x.size() == y.size()) return 0;
    return x.size() < y.size() ? -1 : 1;
}

int ismail(std::string_view name) {
    std::size_t len = name.size();
    if (len <= 4 || name[len - 4] != '.') return 0;
    std::string_view ext = name.substr(len - 4);
    if (memicmp(ext.data(), ".PK", 3) == 0) return 1;
    if (!isxdigitc(static_cast<unsigned char>(name[len - 1]))) return 0;
    if (name.find('*') == std::string_view::npos) {
        if (len <= 11) return 0;
        for (std::size_t i = len - 12; i < len - 4; ++i) {
            if (!isxdigitc(static_cast<unsigned char>(name[i]))) return 0;
        }
    }
    static const char* const days[] = {"su", "mo", "tu", "we", "th", "fr", "sa"};
    for (const char* d : days) {
        if (memicmp(ext.data() + 1, d, 2) == 0) return 1;
    }
    return 0;
}

int classifyuser(std::string_view text) {
    if (text.empty()) return 0;
    int c = static_cast<unsigned char>(text[0]);
    if (!isalphac(c)) return 0;
    return lowerc(c) - 'a' + 1;
}

void trim(std::string& s) {
    std::size_t b = 0;
    while (b < s.size() && iswhite(static_cast<unsigned char>(s[b]))) ++b;
    std::size_t e = s.size();
    while (e > b && iswhite(static_cast<unsigned char>(s[e - 1]))) --e;
    s = s.substr(b, e - b);
}

void trim(char* s) {
    std::string t = s;
    trim(t);
    std::memcpy(s, t.c_str(), t.size() + 1);
}

void strupr(char* s) {
    for (; *s; ++s) *s = static_cast<char>(upperc(static_cast<unsigned char>(*s)));
}
void strupr(std::string& s) {
    for (char& c : s) c = static_cast<char>(upperc(static_cast<unsigned char>(c)));
}
void strlwr(char* s) {
    for (; *s; ++s) *s = static_cast<char>(lowerc(static_cast<unsigned char>(*s)));
}
void strlwr(std::string& s) {
    for (char& c : s) c = static_cast<char>(lowerc(static_cast<unsigned char>(c)));
}

void replacemacro(std::string& text, std::size_t capacity, std::string_view macro,
                  const char* value) {
    std::string_view v = value ? value : "[unknown]";
    if (macro.empty()) return;
    std::size_t pos = 0;
    // Signed arithmetic: a value shorter than the macro shrinks the text.
    while (static_cast<long>(text.size()) + static_cast<long>(v.size()) -
               static_cast<long>(macro.size()) <
           static_cast<long>(capacity)) {
        std::size_t at = text.find(macro, pos);
        if (at == std::string::npos) break;
        text.replace(at, macro.size(), v);
        pos = at + v.size();
    }
}
