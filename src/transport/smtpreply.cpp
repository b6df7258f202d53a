#include "transport/smtpreply.h"

#include "base/text.h"

namespace {
// RFC 5321 limits a reply line to 512 bytes; a server that sends longer
// ones gets them cut, never a buffer that grows without end.
constexpr std::size_t MAXLINE = 1000;
constexpr std::size_t MAXTEXT = 400;

std::string printable(std::string_view s) {
    std::string out;
    for (unsigned char c : s.substr(0, MAXTEXT)) out.push_back(c < 0x20 || c == 0x7f ? ' ' : static_cast<char>(c));
    return out;
}

// "x.y.z" with x 2, 4 or 5, y up to 3 digits, z up to 3 digits.
std::size_t enhancedlength(std::string_view t) {
    if (t.size() < 5 || (t[0] != '2' && t[0] != '4' && t[0] != '5') || t[1] != '.') return 0;
    std::size_t i = 2, d = 0;
    while (i < t.size() && isdigitc(static_cast<unsigned char>(t[i])) && d < 3) ++i, ++d;
    if (d == 0 || i >= t.size() || t[i] != '.') return 0;
    ++i;
    d = 0;
    while (i < t.size() && isdigitc(static_cast<unsigned char>(t[i])) && d < 3) ++i, ++d;
    if (d == 0 || (i < t.size() && t[i] != ' ')) return 0;
    return i;
}
}  // namespace

void smtpreplyreader::feed(std::string_view bytes, std::vector<smtpreply>& out) {
    for (char c : bytes) {
        if (c == '\n') {
            std::string_view l = partial;
            if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
            line(l, out);
            partial.clear();
        } else if (partial.size() < MAXLINE) {
            partial.push_back(c);
        }
    }
}

void smtpreplyreader::line(std::string_view l, std::vector<smtpreply>& out) {
    bool digits = l.size() >= 3 && isdigitc(static_cast<unsigned char>(l[0])) &&
                  isdigitc(static_cast<unsigned char>(l[1])) && isdigitc(static_cast<unsigned char>(l[2]));
    int code = digits ? (l[0] - '0') * 100 + (l[1] - '0') * 10 + (l[2] - '0') : 0;
    char sep = l.size() > 3 ? l[3] : ' ';
    if (!digits || code < 200 || code > 599 || (sep != ' ' && sep != '-') ||
        (open && code != current.code)) {
        // Damage: whatever was open ends, and the line stands as its own.
        if (open) out.push_back(current);
        open = false;
        current = smtpreply{};
        out.push_back({0, "", printable(l)});
        return;
    }
    std::string_view text = l.size() > 4 ? l.substr(4) : std::string_view();
    std::size_t el = enhancedlength(text);
    if (el > 0 && text[0] != l[0]) el = 0;  // another class: it is only text
    if (!open) {
        current = smtpreply{};
        current.code = code;
        if (el > 0) current.enhanced = std::string(text.substr(0, el));
        open = true;
    }
    if (el > 0) text.remove_prefix(std::min(text.size(), el + 1));
    // The first line names the matter; later ones of a 250 list extensions.
    if (current.text.empty()) current.text = printable(text);
    if (sep == ' ') {
        out.push_back(current);
        open = false;
        current = smtpreply{};
    }
}

std::string replytext(const smtpreply& r) {
    std::string s = r.code ? std::to_string(r.code) : std::string("???");
    if (!r.enhanced.empty()) s += " " + r.enhanced;
    if (!r.text.empty()) s += " " + r.text;
    if (s.size() > 120) s.resize(120);
    return s;
}
