#include "transport/sendspec.h"

#include <sys/stat.h>

#include <charconv>

#include "driver/text.h"
#include "transport/command.h"
#include "transport/durablefile.h"

namespace {
constexpr char BADURL[] = "invalid SendMail URL";

int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding of a URL's user or password; false when damaged or
// when it holds a control character.
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
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        out.push_back(c);
    }
    return true;
}

bool hostchar(char c) {
    return isalnumc(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool parsehost(std::string_view authority, sendspec& spec) {
    std::string_view host = authority;
    std::string_view port;
    if (!host.empty() && host[0] == '[') {
        std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        for (char c : host.substr(1, close - 1)) {
            if (!(hexval(c) >= 0 || c == ':' || c == '.')) return false;
        }
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') return false;
            port = host.substr(close + 2);
            if (port.empty()) return false;
        }
        host = host.substr(0, close + 1);
        if (host.size() < 3) return false;
    } else {
        std::size_t colon = host.find(':');
        if (colon != std::string_view::npos) {
            port = host.substr(colon + 1);
            host = host.substr(0, colon);
            if (port.empty()) return false;
        }
        if (host.empty()) return false;
        for (char c : host) {
            if (!hostchar(c)) return false;
        }
    }
    spec.host = std::string(host);
    if (!port.empty()) {
        int p = 0;
        auto r = std::from_chars(port.data(), port.data() + port.size(), p);
        if (r.ec != std::errc() || r.ptr != port.data() + port.size() || p < 1 || p > 65535)
            return false;
        spec.port = p;
    }
    return true;
}

int parseurl(std::string_view url, sendspec& spec) {
    std::size_t sep = url.find("://");
    if (sep == std::string_view::npos) return -1;
    std::string_view scheme = url.substr(0, sep);
    if (strieq(scheme, "smtp")) {
        spec.tls = false;
        spec.port = 25;
    } else if (strieq(scheme, "smtps")) {
        spec.tls = true;
        spec.port = 465;
    } else {
        return -1;
    }
    std::string_view rest = url.substr(sep + 3);
    std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos) {
        std::string_view helo = rest.substr(slash + 1);
        for (char c : helo) {
            if (!hostchar(c)) return -1;
        }
        spec.helo = std::string(helo);
    }
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        std::size_t colon = info.find(':');
        if (!decode(info.substr(0, colon), spec.user) || spec.user.empty()) return -1;
        if (colon != std::string_view::npos && !decode(info.substr(colon + 1), spec.password))
            return -1;
    }
    if (!parsehost(authority, spec)) return -1;
    spec.kind = SEND_SMTP;
    spec.url = std::string(spec.tls ? "smtps://" : "smtp://") + spec.host + ":" +
               std::to_string(spec.port);
    if (!spec.helo.empty()) spec.url += "/" + spec.helo;
    return 0;
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
}  // namespace

int parsesendspec(std::string_view value, sendspec& spec, std::string& problem) {
    spec = sendspec{};
    std::string_view rest = value;
    std::size_t b = rest.find_first_not_of(" \t");
    if (b != std::string_view::npos && rest[b] == '/') {
        if (splitcommand(rest, spec.argv, problem) != 0) {
            problem = "SendMail " + problem;
            return -1;
        }
        spec.kind = SEND_COMMAND;
        return 0;
    }
    if (parseurl(nextword(rest), spec) != 0) {
        spec = sendspec{};
        problem = BADURL;
        return -1;
    }
    for (std::string_view w = nextword(rest); !w.empty(); w = nextword(rest)) {
        if (strieq(w, "starttls")) {
            spec.starttls = true;
        } else if (istartswith(w, "secret=") && w.size() > 7) {
            spec.secretfile = std::string(w.substr(7));
        } else if (istartswith(w, "cafile=") && w.size() > 7) {
            spec.cafile = std::string(w.substr(7));
        } else {
            spec = sendspec{};
            problem = "unknown SendMail option";
            return -1;
        }
    }
    return 0;
}

std::string sendspecproblem(const sendspec& spec, const std::string& configpath) {
    if (spec.kind == SEND_COMMAND) {
        std::string p = commandproblem(spec.argv);
        return p.empty() ? p : "SendMail " + p;
    }
    if (spec.kind != SEND_SMTP) return "";
    if (spec.starttls && spec.tls) return "SendMail starttls needs smtp://";
    if (!spec.secretfile.empty()) {
        std::string pw, problem;
        if (loadpassword(spec, pw, problem) != 0) return problem;
        if (spec.user.empty()) return "SendMail secret without a user in the URL";
    }
    if (!spec.password.empty() && readablebyothers(configpath))
        return "SendMail password in a file others can read";
    if (!spec.cafile.empty()) {
        std::string data;
        if (readwhole(spec.cafile, data) != 0) return "SendMail cafile unreadable";
    }
    return "";
}

int loadpassword(const sendspec& spec, std::string& password, std::string& problem) {
    password = spec.password;
    if (spec.secretfile.empty()) return 0;
    struct stat st {};
    if (stat(spec.secretfile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = "SendMail secret file unreadable";
        return -1;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = "SendMail secret file readable by others";
        return -1;
    }
    std::string data;
    if (readwhole(spec.secretfile, data) != 0) {
        problem = "SendMail secret file unreadable";
        return -1;
    }
    data = data.substr(0, data.find('\n'));
    if (!data.empty() && data.back() == '\r') data.pop_back();
    if (data.empty()) {
        problem = "SendMail secret file is empty";
        return -1;
    }
    password = data;
    return 0;
}
