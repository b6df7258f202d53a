// The value scanners of the configuration reader. Numbers follow the usual
// scan rules: leading white space is skipped, text after the number is
// ignored, and a number is cut to the width of its field.
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "config/reader.h"

namespace {

// Scans one unsigned number at pos like "%lu" does; false when there is none.
bool scannumber(const std::string& s, std::size_t& pos, unsigned long& value) {
    const char* start = s.c_str() + pos;
    const char* p = start;
    while (iswhite(static_cast<unsigned char>(*p))) ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!isdigitc(static_cast<unsigned char>(*p))) return false;
    char* end = nullptr;
    value = std::strtoul(start, &end, 10);
    pos += static_cast<std::size_t>(end - start);
    return true;
}

bool expect(const std::string& s, std::size_t& pos, char c) {
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

int scanftnaddress(std::string_view text, fidoaddr& dest) {
    dest = fidoaddr{};
    std::string s(text);
    std::size_t pos = 0;
    unsigned long v = 0;
    std::uint16_t* fields[] = {&dest.zone, &dest.net, &dest.node, &dest.point};
    const char seps[] = {':', '/', '.'};
    int count = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && !expect(s, pos, seps[i - 1])) break;
        if (!scannumber(s, pos, v)) break;
        *fields[i] = static_cast<std::uint16_t>(v);
        ++count;
    }
    return count;
}

bool ftnaddresswellformed(std::string_view text) {
    // A domain after "@" (2:280/100@fidonet) names the network, not the node.
    std::size_t at = text.find('@');
    if (at != std::string_view::npos) {
        std::string_view domain = text.substr(at + 1);
        if (domain.empty()) return false;
        for (char c : domain)
            if (!isalnumc(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
        text = text.substr(0, at);
    }
    const char seps[] = {':', '/', '.'};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos == text.size() && i == 3) return true;  // no point
            if (pos >= text.size() || text[pos] != seps[i - 1]) return false;
            ++pos;
        }
        std::size_t start = pos;
        unsigned long v = 0;
        while (pos < text.size() && isdigitc(static_cast<unsigned char>(text[pos])) && pos - start < 6)
            v = v * 10 + static_cast<unsigned long>(text[pos++] - '0');
        if (pos == start || v > 65535) return false;
        if (i == 0 && v == 0) return false;  // zone 0 is no zone
    }
    return pos == text.size();
}

// A malformed address is an error: "2:280/1O1" would otherwise be taken
// for 2:280/1, another node.
void configscanfidoaddr(std::string_view par, long line, const std::string& path, fidoaddr& dest) {
    int n = scanftnaddress(par, dest);
    if (n < 3 || !ftnaddresswellformed(par)) configerror("invalid FTN address", line, path);
}

void configscanyesno(std::string_view par, long line, const std::string& path, int& dest) {
    if (strieq(par, "Yes")) {
        dest = 1;
    } else if (strieq(par, "No")) {
        dest = 0;
    } else {
        configwarn("invalid Yes/No parameter", line, path);
        dest = 0;
    }
}

void configscandir(std::string_view par, pathtext& dest) {
    dest = par;
    if (par.size() <= pathtext::capacity - 2 && (par.empty() || par.back() != '/')) dest.append("/");
}

namespace {
// "%hu" and "%lu": a number cut to the field's width, 0 and a warning when
// there is none.
template <typename T>
void scanunsigned(std::string_view par, long line, const std::string& path, T& dest) {
    dest = 0;
    std::string s(par);
    std::size_t pos = 0;
    unsigned long v = 0;
    if (!scannumber(s, pos, v)) {
        configwarn("invalid number", line, path);
        return;
    }
    dest = static_cast<T>(v);
}
}  // namespace

void configscanushort(std::string_view par, long line, const std::string& path,
                      std::uint16_t& dest) {
    scanunsigned(par, line, path, dest);
}

void configscanulong(std::string_view par, long line, const std::string& path,
                     std::uint32_t& dest) {
    scanunsigned(par, line, path, dest);
}
