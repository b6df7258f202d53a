#include "import/quotes.h"

#include <string>

#include "base/text.h"
#include "config/tables.h"
#include "import/curmsg.h"
#include "import/rfc822.h"

namespace {
// Text between attribution and first quote beyond which the attribution is
// taken to belong to nothing.
constexpr long QUOTEDISTANCE = 72;
constexpr std::size_t MAXATTRIBUTION = 255;
constexpr std::size_t MINNAME = 3;
constexpr std::size_t MINADDRESS = 6;

bool white(char c) {
    return iswhite(static_cast<unsigned char>(c));
}

bool fitsrule(std::string_view line, const quotecharentry& q) {
    std::size_t p = line.find(q.quote);
    if (p == std::string_view::npos || p < q.poslo || p > q.poshi) return false;
    unsigned letters = 0;
    for (std::size_t i = 0; i < p; ++i) {
        if (isalphac(static_cast<unsigned char>(line[i]))) {
            ++letters;
        } else if (!white(line[i])) {
            return false;
        }
    }
    return letters >= q.letterslo && letters <= q.lettershi;
}

// The attribution ends at end; it reaches back to a separator, to two
// blanks in a row, or (once its address has begun) to a closing bracket.
std::size_t attributionstart(std::string_view line, std::size_t end) {
    std::size_t b = end;
    bool at = false;
    while (b > 0 && end - b < MAXATTRIBUTION) {
        char c = line[b - 1];
        if (isseparator(static_cast<unsigned char>(c))) break;
        if (white(c) && b >= 2 && white(line[b - 2])) break;
        if (at && isrightsep(static_cast<unsigned char>(c))) break;
        if (c == '@') at = true;
        --b;
    }
    return b;
}

bool isnamechar(char c) {
    return isalphac(static_cast<unsigned char>(c)) || c == ' ' || c == '\'' || c == '"' ||
           c == '.' || c == '-' || c == ',';
}

// "In comp.lang.c John Doe wrote:": the group is no part of the name.
std::string afterword(const std::string& name, std::string_view word) {
    std::size_t p = wordfind(word, name);
    if (p == std::string::npos) return name;
    std::size_t b = p + word.size();
    while (b < name.size() && name[b] == ' ') ++b;
    return name.substr(b);
}

std::string cleanname(std::string name) {
    if (name.size() < MINNAME) return {};
    for (char c : name) {
        if (!isnamechar(c)) return {};
    }
    if (!curmsg.areaname.empty() && wordfind(curmsg.areaname.sv(), name) != std::string::npos) {
        name = afterword(name, curmsg.areaname.sv());
    } else {
        for (const std::string& g : curmsg.xpost) {
            if (wordfind(g, name) != std::string::npos) {
                name = afterword(name, g);
                break;
            }
        }
    }
    return name.size() < MINNAME ? std::string() : name;
}
}  // namespace

bool isquotedline(std::string_view line) {
    for (const quotecharentry& q : tables.quotechar) {
        if (fitsrule(line, q)) return true;
    }
    return false;
}

void quotetracker::line(std::string_view text) {
    if (settled()) return;
    bool quoted = isquotedline(text);
    if (!curmsg.quotename.empty() || !curmsg.quoteemail.empty()) {
        if (quoted) {
            count = -1;
            return;
        }
        count += static_cast<long>(text.size());
        if (count > QUOTEDISTANCE) {
            curmsg.quotename.clear();
            curmsg.quoteemail.clear();
            count = 0;
        }
    }
    if (!quoted) attribution(text);
}

bool quotetracker::attribution(std::string_view text) {
    for (const std::string& mask : tables.quotemask) {
        std::size_t p = wordfind(mask, text);
        if (p == std::string_view::npos) continue;
        std::size_t end = p;
        while (end > 0 && white(text[end - 1])) --end;
        if (end == 0) continue;
        std::size_t begin = attributionstart(text, end);
        std::string attr(text.substr(begin, end - begin));
        text128 email, name;
        processemail(attr, &email, &name, HEADER_QUOTE);
        std::string nm = cleanname(name.str());
        std::string em = email.size() < MINADDRESS ? std::string() : email.str();
        if (nm.empty() && em.empty()) continue;
        curmsg.quotename = nm;
        curmsg.quoteemail = em;
        count = static_cast<long>(text.size() - end);
        return true;
    }
    return false;
}

void quotetracker::finish() {
    if (settled()) return;
    curmsg.quotename.clear();
    curmsg.quoteemail.clear();
}
