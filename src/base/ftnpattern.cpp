#include "base/ftnpattern.h"

#include <charconv>

namespace {

// A part: a decimal number up to 65535, or "*".
bool readpart(std::string_view s, long& v) {
    if (s == "*") {
        v = -1;
        return true;
    }
    if (s.empty() || s.size() > 5) return false;
    unsigned n = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), n);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || n > 65535) return false;
    v = static_cast<long>(n);
    return true;
}

void appendpart(std::string& out, long v) {
    out += v < 0 ? std::string("*") : std::to_string(v);
}

}  // namespace

bool parseftnpattern(std::string_view text, ftnpattern& out) {
    ftnpattern p;
    if (text == "*") {
        out = p;
        return true;
    }
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || !readpart(text.substr(0, colon), p.zone)) return false;
    std::string_view rest = text.substr(colon + 1);
    if (rest == "*") {
        out = p;
        return true;
    }
    std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || !readpart(rest.substr(0, slash), p.net)) return false;
    rest = rest.substr(slash + 1);
    if (rest == "*") {
        out = p;
        return true;
    }
    std::size_t dot = rest.find('.');
    if (!readpart(rest.substr(0, dot), p.node)) return false;
    if (dot == std::string_view::npos) {
        // A node written alone is the node itself, not its points.
        p.point = 0;
    } else if (!readpart(rest.substr(dot + 1), p.point)) {
        return false;
    }
    out = p;
    return true;
}

std::string ftnpatterntext(const ftnpattern& p) {
    std::string out;
    appendpart(out, p.zone);
    out += ':';
    appendpart(out, p.net);
    out += '/';
    appendpart(out, p.node);
    out += '.';
    appendpart(out, p.point);
    return out;
}
