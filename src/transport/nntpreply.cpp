#include "transport/nntpreply.h"

#include <charconv>
#include <cstring>

#include "base/words.h"

namespace {

constexpr std::size_t MAXTEXT = 400;
constexpr std::size_t MAXMSGID = 250;

bool isdigitchar(char c) {
    return c >= '0' && c <= '9';
}

bool number(std::string_view w, long long& out) {
    if (w.empty() || w.size() > 18) return false;
    for (char c : w) {
        if (!isdigitchar(c)) return false;
    }
    auto r = std::from_chars(w.data(), w.data() + w.size(), out);
    return r.ec == std::errc() && r.ptr == w.data() + w.size();
}

}  // namespace

nntpstatus parsestatus(std::string_view line) {
    nntpstatus s;
    std::string_view text = line;
    if (line.size() >= 3 && isdigitchar(line[0]) && isdigitchar(line[1]) && isdigitchar(line[2]) &&
        (line.size() == 3 || line[3] == ' ' || line[3] == '\t')) {
        int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        if (code >= 100 && code <= 599) {
            s.code = code;
            text = line.substr(std::min<std::size_t>(line.size(), 4));
        }
    }
    text = text.substr(0, MAXTEXT);
    s.text.reserve(text.size());
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        s.text.push_back(u < 0x20 || u == 0x7f ? '?' : c);
    }
    return s;
}

bool parsegroupreply(std::string_view text, groupreply& out) {
    out = groupreply{};
    std::string_view rest = text;
    if (!number(nextword(rest), out.count) || !number(nextword(rest), out.low) || !number(nextword(rest), out.high))
        return false;
    std::string_view g = nextword(rest);
    out.group = std::string(g.substr(0, MAXTEXT));
    return !g.empty();
}

bool parsearticlereply(std::string_view text, long long& n, std::string& messageid) {
    std::string_view rest = text;
    if (!number(nextword(rest), n)) return false;
    std::string_view id = nextword(rest);
    if (id.size() < 3 || id.size() > MAXMSGID || id.front() != '<' || id.back() != '>') return false;
    for (unsigned char c : id) {
        if (c <= 0x20 || c >= 0x7f) return false;
    }
    messageid = std::string(id);
    return true;
}

void blockreader::reset() {
    text.clear();
    state = LINESTART;
    seen = 0;
    finished = over = false;
}

void blockreader::put(std::string_view s) {
    if (over) return;
    if (text.size() + s.size() > max) {
        over = true;
        text.clear();
        text.shrink_to_fit();
        return;
    }
    text.append(s);
}

std::size_t blockreader::feed(std::string_view bytes) {
    std::size_t i = 0, n = bytes.size();
    const char* d = bytes.data();
    while (i < n && !finished) {
        char c = d[i];
        switch (state) {
            case LINESTART:
                if (c == '.') {
                    state = DOT;
                    ++i;
                    continue;
                }
                state = INLINE;
                continue;
            case DOT:
                // A dot before anything else doubles; the dot alone ends.
                if (c == '\r') {
                    state = DOTCR;
                    ++i;
                    continue;
                }
                if (c == '\n') {
                    // A bare LF after the dot: taken as the end as well.
                    finished = true;
                    ++i;
                    continue;
                }
                state = INLINE;
                continue;
            case DOTCR:
                if (c == '\n') {
                    finished = true;
                    ++i;
                    continue;
                }
                put("\r");
                state = INLINE;
                continue;
            case INLINECR:
                if (c == '\n') {
                    put("\n");
                    state = LINESTART;
                    ++i;
                    continue;
                }
                put("\r");
                state = INLINE;
                continue;
            case INLINE: {
                // The run of plain bytes up to the next CR or LF at once:
                // the next LF, then the first CR before it, if any.
                const void* lf = std::memchr(d + i, '\n', n - i);
                std::size_t j = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - d) : n;
                const void* cr = std::memchr(d + i, '\r', j - i);
                if (cr) j = static_cast<std::size_t>(static_cast<const char*>(cr) - d);
                put(std::string_view(d + i, j - i));
                i = j;
                if (i == n) continue;
                if (d[i] == '\n') {
                    put("\n");
                    state = LINESTART;
                } else {
                    state = INLINECR;
                }
                ++i;
                continue;
            }
        }
    }
    seen += i;
    return i;
}

void blockwriter::feed(std::string_view bytes, std::string& out) {
    std::size_t i = 0, n = bytes.size();
    const char* d = bytes.data();
    while (i < n) {
        if (atstart && d[i] == '.') out.push_back('.');
        atstart = false;
        std::size_t j = i;
        while (j < n && d[j] != '\n') ++j;
        out.append(d + i, j - i);
        if (j == n) {
            lastcr = j > i ? d[j - 1] == '\r' : lastcr;
            break;
        }
        bool cr = j > i ? d[j - 1] == '\r' : lastcr;
        if (!cr) out.push_back('\r');
        out.push_back('\n');
        atstart = true;
        lastcr = false;
        i = j + 1;
    }
}

void blockwriter::finish(std::string& out) {
    if (!atstart) out += lastcr ? "\n" : "\r\n";
    out += ".\r\n";
    atstart = true;
    lastcr = false;
}
