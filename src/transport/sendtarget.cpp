#include "transport/sendtarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "base/text.h"
#include "durable/durablefile.h"
#include "transport/command.h"

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

bool parsehost(std::string_view authority, sendtarget& target) {
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
    target.host = std::string(host);
    if (!port.empty()) {
        int p = 0;
        auto r = std::from_chars(port.data(), port.data() + port.size(), p);
        if (r.ec != std::errc() || r.ptr != port.data() + port.size() || p < 1 || p > 65535)
            return false;
        target.port = p;
    }
    return true;
}

int parseurl(std::string_view url, sendtarget& target) {
    std::size_t sep = url.find("://");
    if (sep == std::string_view::npos) return -1;
    std::string_view scheme = url.substr(0, sep);
    if (strieq(scheme, "smtp")) {
        target.tls = false;
        target.port = 25;
    } else if (strieq(scheme, "smtps")) {
        target.tls = true;
        target.port = 465;
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
        target.helo = std::string(helo);
    }
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        std::size_t colon = info.find(':');
        if (!decode(info.substr(0, colon), target.user) || target.user.empty()) return -1;
        if (colon != std::string_view::npos && !decode(info.substr(colon + 1), target.password))
            return -1;
    }
    if (!parsehost(authority, target)) return -1;
    target.kind = SEND_SMTP;
    target.url = std::string(target.tls ? "smtps://" : "smtp://") + target.host + ":" +
               std::to_string(target.port);
    if (!target.helo.empty()) target.url += "/" + target.helo;
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

bool isloopback(std::string_view host) {
    return strieq(host, "localhost") || host.substr(0, 4) == "127." || host == "[::1]";
}

bool readablebyothers(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}
}  // namespace

int parsesendtarget(std::string_view value, sendtarget& target, std::string& problem) {
    target = sendtarget{};
    std::string_view rest = value;
    std::size_t b = rest.find_first_not_of(" \t");
    if (b != std::string_view::npos && rest[b] == '/') {
        if (splitcommand(rest, target.argv, problem) != 0) {
            problem = "SendMail " + problem;
            return -1;
        }
        target.kind = SEND_COMMAND;
        return 0;
    }
    if (parseurl(nextword(rest), target) != 0) {
        target = sendtarget{};
        problem = BADURL;
        return -1;
    }
    for (std::string_view w = nextword(rest); !w.empty(); w = nextword(rest)) {
        if (strieq(w, "starttls")) {
            target.starttls = true;
        } else if (strieq(w, "insecure")) {
            target.insecure = true;
        } else if (istartswith(w, "secret=") && w.size() > 7) {
            target.secretfile = std::string(w.substr(7));
        } else if (istartswith(w, "cafile=") && w.size() > 7) {
            target.cafile = std::string(w.substr(7));
        } else {
            target = sendtarget{};
            problem = "unknown SendMail option";
            return -1;
        }
    }
    return 0;
}

std::string sendtargetproblem(const sendtarget& target, const std::string& configpath) {
    if (target.kind == SEND_COMMAND) {
        std::string p = commandproblem(target.argv);
        return p.empty() ? p : "SendMail " + p;
    }
    if (target.kind != SEND_SMTP) return "";
    if (target.starttls && target.tls) return "SendMail starttls needs smtp://";
    if (cleartextlogin(target) && !target.insecure)
        return "SendMail would send its password in clear: it does not log in without smtps:// or starttls";
    if (cleartextlogin(target) && !isloopback(target.host))
        return "SendMail insecure: the password crosses the network in clear";
    if (!target.secretfile.empty()) {
        std::string pw, problem;
        if (loadpassword(target, pw, problem) != 0) return problem;
        if (target.user.empty()) return "SendMail secret without a user in the URL";
    }
    if (!target.password.empty() && readablebyothers(configpath))
        return "SendMail password in a file others can read";
    if (!target.cafile.empty()) {
        std::string data;
        if (readwhole(target.cafile, data) != 0) return "SendMail cafile unreadable";
    }
    return "";
}

bool cleartextlogin(const sendtarget& target) {
    return target.kind == SEND_SMTP && !target.user.empty() && !target.tls && !target.starttls;
}

int loadpassword(const sendtarget& target, std::string& password, std::string& problem) {
    password = target.password;
    if (target.secretfile.empty()) return 0;
    // Opened once and judged by the descriptor: what is read is what was
    // checked, whatever happens to the name meanwhile.
    int fd = open(target.secretfile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        problem = "SendMail secret file unreadable";
        return -1;
    }
    if (st.st_uid != geteuid() && st.st_uid != 0) {
        close(fd);
        problem = "SendMail secret file belongs to another user";
        return -1;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        close(fd);
        problem = "SendMail secret file readable by others";
        return -1;
    }
    std::string data;
    char buf[4096];
    bool bad = false;
    // The first line is all that counts; a secret is short.
    while (data.size() < 65536 && data.find('\n') == std::string::npos) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) bad = true;
        if (n <= 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    if (bad) {
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
