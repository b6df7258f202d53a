#include "transport/sendtarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/text.h"
#include "base/words.h"
#include "durable/durablefile.h"
#include "transport/command.h"
#include "transport/serverurl.h"

namespace {
constexpr char BADURL[] = "invalid SendMail URL";

int parseurl(std::string_view url, sendtarget& target) {
    serverurl u;
    if (!parseserverurl(url, false, u)) return -1;
    if (strieq(u.scheme, "smtp")) {
        target.tls = false;
        target.port = 25;
    } else if (strieq(u.scheme, "smtps")) {
        target.tls = true;
        target.port = 465;
    } else {
        return -1;
    }
    // What follows the host is the name to greet with.
    for (char c : u.rest) {
        if (!hostnamechar(c)) return -1;
    }
    target.helo = std::move(u.rest);
    target.user = std::move(u.user);
    target.password = std::move(u.password);
    target.host = std::move(u.host);
    if (u.port != 0) target.port = u.port;
    target.kind = SEND_SMTP;
    target.url = std::string(target.tls ? "smtps://" : "smtp://") + target.host + ":" +
               std::to_string(target.port);
    if (!target.helo.empty()) target.url += "/" + target.helo;
    return 0;
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
