#include "transport/serverurl.h"

#include <charconv>

#include "base/text.h"

namespace {

int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding of a user or password; false when damaged or when it
// holds a control character (or a space, where nospace).
bool decode(std::string_view in, bool nospace, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '%') {
            if (i + 2 >= in.size()) return false;
            int h = hexval(in[i + 1]), l = hexval(in[i + 2]);
            if (h < 0 || l < 0) return false;
            c = static_cast<char>(h * 16 + l);
            i += 2;
        }
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || (nospace && u == ' ')) return false;
        out.push_back(c);
    }
    return true;
}

bool parseport(std::string_view port, int& out) {
    int p = 0;
    auto r = std::from_chars(port.data(), port.data() + port.size(), p);
    if (port.empty() || r.ec != std::errc() || r.ptr != port.data() + port.size() || p < 1 || p > 65535)
        return false;
    out = p;
    return true;
}

bool parsehost(std::string_view authority, serverurl& u) {
    std::string_view host = authority, port;
    bool hasport = false;
    if (!host.empty() && host[0] == '[') {
        std::size_t close = host.find(']');
        if (close == std::string_view::npos || close < 2) return false;
        for (char c : host.substr(1, close - 1)) {
            if (!(hexval(c) >= 0 || c == ':' || c == '.')) return false;
        }
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') return false;
            port = host.substr(close + 2);
            hasport = true;
        }
        host = host.substr(0, close + 1);
    } else {
        std::size_t colon = host.find(':');
        if (colon != std::string_view::npos) {
            port = host.substr(colon + 1);
            host = host.substr(0, colon);
            hasport = true;
        }
        if (host.empty()) return false;
        for (char c : host) {
            if (!hostnamechar(c)) return false;
        }
    }
    if (hasport && !parseport(port, u.port)) return false;
    u.host = std::string(host);
    return true;
}

}  // namespace

bool hostnamechar(char c) {
    return isalnumc(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool parseserverurl(std::string_view url, bool nospace, serverurl& out) {
    out = serverurl{};
    std::size_t sep = url.find("://");
    if (sep == std::string_view::npos) return false;
    out.scheme = std::string(url.substr(0, sep));
    std::string_view authority = url.substr(sep + 3);
    std::size_t slash = authority.find('/');
    if (slash != std::string_view::npos) {
        out.hasrest = true;
        out.rest = std::string(authority.substr(slash + 1));
        authority = authority.substr(0, slash);
    }
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        std::size_t colon = info.find(':');
        if (!decode(info.substr(0, colon), nospace, out.user) || out.user.empty()) return false;
        if (colon != std::string_view::npos && !decode(info.substr(colon + 1), nospace, out.password))
            return false;
    }
    return parsehost(authority, out);
}
