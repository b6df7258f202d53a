#include "transport/newsserver.h"

#include <sys/stat.h>

#include <charconv>

#include "base/text.h"
#include "config/tables.h"
#include "durable/durablefile.h"

namespace {

int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding of a URL's user or password; false when damaged or
// when it holds a control character or a space (neither may go into an
// AUTHINFO line).
bool decode(std::string_view in, std::string& out) {
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
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
        out.push_back(c);
    }
    return true;
}

bool hostchar(char c) {
    return isalnumc(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool parseport(std::string_view port, int& out) {
    int p = 0;
    auto r = std::from_chars(port.data(), port.data() + port.size(), p);
    if (port.empty() || r.ec != std::errc() || r.ptr != port.data() + port.size() || p < 1 || p > 65535)
        return false;
    out = p;
    return true;
}

bool parsehost(std::string_view authority, newsserverdef& s) {
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
            if (!hostchar(c)) return false;
        }
    }
    if (hasport && !parseport(port, s.port)) return false;
    s.host = std::string(host);
    return true;
}

int parseurl(std::string_view url, newsserverdef& s) {
    std::size_t sep = url.find("://");
    if (sep == std::string_view::npos) return -1;
    std::string_view scheme = url.substr(0, sep);
    if (strieq(scheme, "nntp")) {
        s.tls = false;
        s.port = 119;
    } else if (strieq(scheme, "nntps")) {
        s.tls = true;
        s.port = 563;
    } else {
        return -1;
    }
    std::string_view authority = url.substr(sep + 3);
    // A trailing "/" is allowed; a path (a group) means nothing here.
    if (!authority.empty() && authority.back() == '/') authority.remove_suffix(1);
    if (authority.find('/') != std::string_view::npos) return -1;
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        std::size_t colon = info.find(':');
        if (!decode(info.substr(0, colon), s.user) || s.user.empty()) return -1;
        if (colon != std::string_view::npos && !decode(info.substr(colon + 1), s.password)) return -1;
    }
    return parsehost(authority, s) ? 0 : -1;
}

std::string_view nextword(std::string_view& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) {
        s = {};
        return {};
    }
    s.remove_prefix(b);
    std::size_t e = s.find_first_of(" \t");
    std::string_view w = s.substr(0, e);
    s = e == std::string_view::npos ? std::string_view() : s.substr(e);
    return w;
}

bool readablebyothers(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool optionvalue(std::string_view w, const char* key, std::string& out) {
    std::size_t n = std::char_traits<char>::length(key);
    if (w.size() <= n || !istartswith(w, key)) return false;
    out = std::string(w.substr(n));
    return true;
}

}  // namespace

bool plainname(std::string_view s) {
    if (s.empty() || s.size() > 127) return false;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7f) return false;
    }
    return true;
}

int parsenewsserver(std::string_view value, newsserverdef& s, std::string& problem) {
    s = newsserverdef{};
    std::string_view rest = value;
    std::string_view name = nextword(rest);
    std::string_view url = nextword(rest);
    if (name.empty() || url.empty()) {
        problem = "NewsServer misses parameter";
        return -1;
    }
    if (!plainname(name) || name.size() > 63 || name.find('=') != std::string_view::npos) {
        problem = "invalid NewsServer name";
        return -1;
    }
    s.name = std::string(name);
    if (parseurl(url, s) != 0) {
        s = newsserverdef{};
        problem = "invalid NewsServer URL";
        return -1;
    }
    for (std::string_view w = nextword(rest); !w.empty(); w = nextword(rest)) {
        std::string v;
        if (strieq(w, "starttls")) {
            s.starttls = true;
        } else if (strieq(w, "insecure")) {
            s.insecure = true;
        } else if (strieq(w, "ihave")) {
            s.ihave = true;
        } else if (optionvalue(w, "secret=", v)) {
            s.secretfile = v;
        } else if (optionvalue(w, "cafile=", v)) {
            s.cafile = v;
        } else if (optionvalue(w, "timeout=", v)) {
            int t = 0;
            auto r = std::from_chars(v.data(), v.data() + v.size(), t);
            if (r.ec != std::errc() || r.ptr != v.data() + v.size() || t < 1 || t > 3600) {
                problem = "invalid NewsServer timeout";
                s = newsserverdef{};
                return -1;
            }
            s.timeout = t;
        } else {
            s = newsserverdef{};
            problem = "unknown NewsServer option";
            return -1;
        }
    }
    return 0;
}

std::string newsserverproblem(const newsserverdef& s, const std::string& configpath) {
    if (s.starttls && s.tls) return "NewsServer starttls needs nntp://";
    if (!s.secretfile.empty()) {
        if (s.user.empty()) return "NewsServer secret without a user in the URL";
        std::string pw, problem;
        if (newsserverpassword(s, pw, problem) != 0) return problem;
    }
    if (!s.password.empty() && readablebyothers(configpath))
        return "NewsServer password in a file others can read";
    if (!s.cafile.empty()) {
        std::string data;
        if (readwhole(s.cafile, data) != 0) return "NewsServer cafile unreadable";
    }
    if (!s.user.empty() && !s.tls && !s.starttls && !s.insecure)
        return "NewsServer login without TLS: add starttls, use nntps://, or say insecure";
    return "";
}

int newsserverpassword(const newsserverdef& s, std::string& password, std::string& problem) {
    password = s.password;
    if (s.secretfile.empty()) return 0;
    struct stat st {};
    if (stat(s.secretfile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = "NewsServer secret file unreadable";
        return -1;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = "NewsServer secret file readable by others";
        return -1;
    }
    std::string data;
    if (readwhole(s.secretfile, data) != 0) {
        problem = "NewsServer secret file unreadable";
        return -1;
    }
    data = data.substr(0, data.find('\n'));
    if (!data.empty() && data.back() == '\r') data.pop_back();
    if (data.empty()) {
        problem = "NewsServer secret file is empty";
        return -1;
    }
    for (unsigned char c : data) {
        if (c < 0x20 || c == 0x7f) {
            problem = "NewsServer secret file holds a control character";
            return -1;
        }
    }
    password = data;
    return 0;
}

const newsserverdef* findnewsserver(std::string_view name) {
    for (const newsserverdef& s : cfg.newsservers) {
        if (strieq(s.name, name)) return &s;
    }
    return nullptr;
}

const newsserverdef* serverofgroup(std::string_view group, bool importing) {
    for (const areamapentry& e : tables.areamap) {
        if (e.server.empty() || !strieq(e.newsgroup.sv(), group)) continue;
        if (e.direction == (importing ? DIR_EXPORT : DIR_IMPORT)) continue;
        if (const newsserverdef* s = findnewsserver(e.server.sv())) return s;
    }
    return nullptr;
}
