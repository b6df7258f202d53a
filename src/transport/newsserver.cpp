#include "transport/newsserver.h"

#include <sys/stat.h>

#include <charconv>

#include "base/text.h"
#include "base/words.h"
#include "config/tables.h"
#include "durable/durablefile.h"
#include "transport/serverurl.h"

namespace {

int parseurl(std::string_view url, newsserverdef& s) {
    serverurl u;
    // NNTP sends the user and password as words of a line.
    if (!parseserverurl(url, true, u)) return -1;
    if (strieq(u.scheme, "nntp")) {
        s.tls = false;
        s.port = 119;
    } else if (strieq(u.scheme, "nntps")) {
        s.tls = true;
        s.port = 563;
    } else {
        return -1;
    }
    // A trailing "/" is allowed; a path (a group) means nothing here.
    if (!u.rest.empty()) return -1;
    s.user = std::move(u.user);
    s.password = std::move(u.password);
    s.host = std::move(u.host);
    if (u.port != 0) s.port = u.port;
    return 0;
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
