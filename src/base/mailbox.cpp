#include "base/mailbox.h"

#include <cstring>

#include "base/text.h"

namespace {

// RFC 5322 atext: letters, digits and these signs.
bool isatext(unsigned char c) {
    return isalnumc(c) || (c != 0 && c < 0x80 && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr);
}

bool dotatom(std::string_view s) {
    if (s.empty() || s.front() == '.' || s.back() == '.') return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '.') {
            if (s[i - 1] == '.') return false;
        } else if (!isatext(c)) {
            return false;
        }
    }
    return true;
}

// A label of a host name: letters, digits and inner hyphens, 1 to 63.
bool hostlabel(std::string_view s) {
    if (s.empty() || s.size() > 63 || s.front() == '-' || s.back() == '-') return false;
    for (char c : s) {
        if (!isalnumc(static_cast<unsigned char>(c)) && c != '-') return false;
    }
    return true;
}

bool hostname(std::string_view s) {
    if (s.empty() || s.size() > 253) return false;
    std::size_t pos = 0;
    for (;;) {
        std::size_t dot = s.find('.', pos);
        if (!hostlabel(s.substr(pos, dot == std::string_view::npos ? dot : dot - pos))) return false;
        if (dot == std::string_view::npos) return true;
        pos = dot + 1;
    }
}

// "[192.0.2.1]" or "[IPv6:2001:db8::1]": digits, dots, hex digits and colons.
bool addressliteral(std::string_view s) {
    if (s.size() < 3 || s.front() != '[' || s.back() != ']') return false;
    std::string_view in = s.substr(1, s.size() - 2);
    bool v6 = istartswith(in, "IPv6:");
    if (v6) in.remove_prefix(5);
    if (in.empty()) return false;
    for (char c : in) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!(isdigitc(u) || c == '.' || (v6 && (isxdigitc(u) || c == ':')))) return false;
    }
    return true;
}

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimblanks(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

bool ismailbox(std::string_view text) {
    if (text.size() > MAILBOXMAX) return false;
    std::size_t at = text.find('@');
    if (at == std::string_view::npos || text.find('@', at + 1) != std::string_view::npos) return false;
    std::string_view local = text.substr(0, at), domain = text.substr(at + 1);
    if (local.size() > MAILBOXLOCALMAX || !dotatom(local)) return false;
    return hostname(domain) || addressliteral(domain);
}

std::string_view mailboxtext(std::string_view text) {
    text = trimblanks(text);
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>') {
        text = trimblanks(text.substr(1, text.size() - 2));
    }
    return text;
}

std::vector<std::string_view> recipientpieces(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        std::string_view piece =
            trimblanks(text.substr(pos, comma == std::string_view::npos ? comma : comma - pos));
        if (!piece.empty()) out.push_back(piece);
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return out;
}
