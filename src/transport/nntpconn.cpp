#include "transport/nntpconn.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "transport/newsserver.h"
#include "transport/sslapi.h"

namespace {

constexpr std::size_t MAXSTATUSLINE = 2048;
constexpr std::size_t READBLOCK = 1 << 16;
constexpr std::size_t QUEUEFLUSH = 1 << 16;
// A whole multi-line block may take this many times the timeout.
constexpr int BLOCKTIMEOUTS = 10;

std::string bare(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

bool isipliteral(const std::string& h) {
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, h.c_str(), buf) == 1 || inet_pton(AF_INET6, h.c_str(), buf) == 1;
}

// Connects one address within the time limit; the socket, or -1 with why.
int connectaddress(const addrinfo* a, int seconds, std::string& why) {
    int s = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (s < 0) {
        why = std::strerror(errno);
        return -1;
    }
    int r = connect(s, a->ai_addr, a->ai_addrlen);
    if (r != 0 && errno == EINPROGRESS) {
        pollfd p{s, POLLOUT, 0};
        int n;
        do n = poll(&p, 1, seconds * 1000);
        while (n < 0 && errno == EINTR);
        int err = 0;
        socklen_t len = sizeof err;
        if (n == 0) {
            why = "connection timed out";
        } else if (n < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
            why = std::strerror(errno);
        } else if (err != 0) {
            why = std::strerror(err);
        } else {
            r = 0;
        }
    } else if (r != 0) {
        why = std::strerror(errno);
    }
    if (r != 0) {
        close(s);
        return -1;
    }
    int flags = fcntl(s, F_GETFL);
    (void)fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
    timeval tv{seconds, 0};
    (void)setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    (void)setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    // Commands go out in pieces the gateway sizes itself.
    int one = 1;
    (void)setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

bool timedout(int e) {
    return e == EAGAIN || e == EWOULDBLOCK || e == ETIMEDOUT;
}

}  // namespace

nntpconnection::~nntpconnection() {
    closeall();
}

void nntpconnection::closeall() {
    if (ssl) {
        api->SSL_free(ssl);
        ssl = nullptr;
    }
    if (ctx) {
        api->SSL_CTX_free(ctx);
        ctx = nullptr;
    }
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
    if (pipeignored) {
        sigaction(SIGPIPE, &oldpipe, nullptr);
        pipeignored = false;
    }
    in.clear();
    inpos = 0;
    out.clear();
}

int nntpconnection::connectto(const newsserverdef& s, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::string port = std::to_string(s.port);
    int g = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    if (g != 0) {
        why = "can't find " + host + ": " + gai_strerror(g);
        return -1;
    }
    std::string last = "no address";
    for (addrinfo* a = list; a && fd < 0; a = a->ai_next) fd = connectaddress(a, s.timeout, last);
    freeaddrinfo(list);
    if (fd < 0) {
        why = "can't connect to " + s.host + ":" + port + ": " + last;
        return -1;
    }
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    pipeignored = sigaction(SIGPIPE, &ign, &oldpipe) == 0;
    return 0;
}

std::string nntpconnection::sslerror(int ret) {
    int e = api->SSL_get_error(ssl, ret);
    unsigned long q = api->ERR_get_error();
    if (q != 0) {
        char buf[256];
        api->ERR_error_string_n(q, buf, sizeof buf);
        return buf;
    }
    if (e == SSL_ERROR_SYSCALL) return errno != 0 ? std::strerror(errno) : "the connection was closed";
    if (e == SSL_ERROR_ZERO_RETURN) return "the server closed the connection";
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return "timed out";
    return "TLS error " + std::to_string(e);
}

// TLS over the open connection: the certificate and the host name checked
// unless the server is "insecure"; the certificates that vouch are the
// server's cafile=, or else the system's.
int nntpconnection::starttls(const newsserverdef& s, std::string& why) {
    api = loadssl(why);
    if (!api) return -1;
    api->ERR_clear_error();
    ctx = api->SSL_CTX_new(api->TLS_client_method());
    if (!ctx) {
        why = "TLS cannot be set up";
        return -1;
    }
    api->SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    if (!s.insecure) {
        api->SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        int loaded = s.cafile.empty() ? api->SSL_CTX_set_default_verify_paths(ctx)
                                      : api->SSL_CTX_load_verify_locations(ctx, s.cafile.c_str(), nullptr);
        if (loaded != 1) {
            why = "can't load the certificates of " + (s.cafile.empty() ? std::string("the system") : s.cafile);
            return -1;
        }
    }
    ssl = api->SSL_new(ctx);
    if (!ssl || api->SSL_set_fd(ssl, fd) != 1) {
        why = "TLS cannot be set up";
        return -1;
    }
    if (isipliteral(host)) {
        if (!s.insecure) api->X509_VERIFY_PARAM_set1_ip_asc(api->SSL_get0_param(ssl), host.c_str());
    } else {
        api->SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
        if (!s.insecure) api->SSL_set1_host(ssl, host.c_str());
    }
    int r = api->SSL_connect(ssl);
    if (r != 1) {
        long v = api->SSL_get_verify_result(ssl);
        why = "TLS with " + s.host + " failed: " +
              (v != X509_V_OK ? std::string("certificate not trusted: ") + api->X509_verify_cert_error_string(v)
                              : sslerror(r));
        return -1;
    }
    return 0;
}

long nntpconnection::rawread(char* buf, std::size_t n, std::string& why) {
    if (ssl) {
        api->ERR_clear_error();
        errno = 0;
        int r = api->SSL_read(ssl, buf, static_cast<int>(n));
        if (r > 0) return r;
        int e = api->SSL_get_error(ssl, r);
        if (e == SSL_ERROR_ZERO_RETURN) {
            why = "the server closed the connection";
        } else if ((e == SSL_ERROR_WANT_READ || e == SSL_ERROR_SYSCALL) && timedout(errno)) {
            why = "the server did not answer within " + std::to_string(timeout) + " s";
        } else {
            why = sslerror(r);
        }
        return -1;
    }
    for (;;) {
        ssize_t r = read(fd, buf, n);
        if (r > 0) return r;
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            why = "the server closed the connection";
        } else if (timedout(errno)) {
            why = "the server did not answer within " + std::to_string(timeout) + " s";
        } else {
            why = std::strerror(errno);
        }
        return -1;
    }
}

int nntpconnection::rawwrite(const char* buf, std::size_t n, std::string& why) {
    while (n > 0) {
        long w;
        if (ssl) {
            api->ERR_clear_error();
            int r = api->SSL_write(ssl, buf, static_cast<int>(std::min<std::size_t>(n, 1 << 20)));
            if (r <= 0) {
                why = sslerror(r);
                return -1;
            }
            w = r;
        } else {
            ssize_t r = write(fd, buf, n);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                why = timedout(errno) ? "the server took nothing within " + std::to_string(timeout) + " s"
                                      : std::string(std::strerror(errno));
                return -1;
            }
            w = r;
        }
        buf += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

int nntpconnection::fill(std::string& why) {
    if (inpos > 0 && inpos == in.size()) {
        in.clear();
        inpos = 0;
    } else if (inpos >= READBLOCK) {
        in.erase(0, inpos);
        inpos = 0;
    }
    char buf[READBLOCK];
    long n = rawread(buf, sizeof buf, why);
    if (n <= 0) return -1;
    in.append(buf, static_cast<std::size_t>(n));
    return 0;
}

int nntpconnection::queue(std::string_view bytes, std::string& why) {
    out.append(bytes);
    return out.size() >= QUEUEFLUSH ? flush(why) : 0;
}

int nntpconnection::flush(std::string& why) {
    if (fd < 0) {
        why = "not connected";
        return -1;
    }
    int r = rawwrite(out.data(), out.size(), why);
    out.clear();
    return r;
}

int nntpconnection::readstatus(nntpstatus& st, std::string& why) {
    if (fd < 0) {
        why = "not connected";
        return -1;
    }
    if (!out.empty() && flush(why) != 0) return -1;
    for (;;) {
        std::size_t nl = in.find('\n', inpos);
        if (nl != std::string::npos) {
            std::size_t end = nl > inpos && in[nl - 1] == '\r' ? nl - 1 : nl;
            if (end - inpos > MAXSTATUSLINE) break;
            st = parsestatus(std::string_view(in).substr(inpos, end - inpos));
            inpos = nl + 1;
            if (st.code == 0) {
                why = "the server said something that is no NNTP reply: " + st.text.substr(0, 80);
                return -1;
            }
            return 0;
        }
        if (in.size() - inpos > MAXSTATUSLINE) break;
        if (fill(why) != 0) return -1;
    }
    why = "the server sent a reply line longer than " + std::to_string(MAXSTATUSLINE) + " bytes";
    return -1;
}

int nntpconnection::readblock(blockreader& b, std::string& why) {
    if (fd < 0) {
        why = "not connected";
        return -1;
    }
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (inpos < in.size()) {
            inpos += b.feed(std::string_view(in).substr(inpos));
            if (b.done()) return 0;
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(timeout * BLOCKTIMEOUTS)) {
            why = "the server took more than " + std::to_string(timeout * BLOCKTIMEOUTS) + " s for one article";
            return -1;
        }
        if (fill(why) != 0) return -1;
    }
}

int nntpconnection::command(std::string_view line, nntpstatus& st, std::string& why) {
    std::string l(line);
    l += "\r\n";
    if (queue(l, why) != 0 || flush(why) != 0) return -1;
    return readstatus(st, why);
}

int nntpconnection::login(const newsserverdef& s, std::string& why) {
    if (!encrypted() && !s.insecure) {
        why = "the login of " + s.user + " would cross the wire in clear: use nntps:// or starttls (or say insecure)";
        return -1;
    }
    std::string password;
    if (newsserverpassword(s, password, why) != 0) return -1;
    nntpstatus st;
    if (command("AUTHINFO USER " + s.user, st, why) != 0) return -1;
    if (st.code == 381) {
        if (password.empty()) {
            why = "the server wants a password for " + s.user + " (secret=<file>)";
            return -1;
        }
        std::string line = "AUTHINFO PASS " + password + "\r\n";
        int r = queue(line, why) == 0 && flush(why) == 0 ? readstatus(st, why) : -1;
        std::fill(line.begin(), line.end(), '\0');
        std::fill(password.begin(), password.end(), '\0');
        if (r != 0) return -1;
    }
    if (st.code != 281) {
        why = "login as " + s.user + " refused: " + std::to_string(st.code) + " " + st.text;
        return -1;
    }
    return 0;
}

int nntpconnection::open(const newsserverdef& s, bool reader, std::string& why) {
    closeall();
    timeout = s.timeout;
    host = bare(s.host);
    int r = connectto(s, why);
    if (r == 0 && s.tls) r = starttls(s, why);
    nntpstatus st;
    if (r == 0 && readstatus(st, why) != 0) r = -1;
    if (r == 0 && st.code != 200 && st.code != 201) {
        why = "the server is not available: " + std::to_string(st.code) + " " + st.text;
        r = -1;
    }
    if (r == 0 && s.starttls) {
        if (command("STARTTLS", st, why) != 0) {
            r = -1;
        } else if (st.code != 382) {
            why = "the server does not offer STARTTLS: " + std::to_string(st.code) + " " + st.text;
            r = -1;
        } else if (inpos != in.size()) {
            // Bytes after the answer would be taken as if they came over TLS.
            why = "the server sent more than its STARTTLS answer";
            r = -1;
        } else {
            r = starttls(s, why);
        }
    }
    bool loggedin = false;
    if (r == 0 && reader) {
        if (command("MODE READER", st, why) != 0) {
            r = -1;
        } else if (st.code == 480 && !s.user.empty()) {
            // A server that wants the login first.
            loggedin = true;
            r = login(s, why);
            if (r == 0 && command("MODE READER", st, why) != 0) r = -1;
        }
        if (r == 0 && st.code != 200 && st.code != 201) {
            why = "MODE READER refused: " + std::to_string(st.code) + " " + st.text;
            r = -1;
        }
    }
    if (r == 0 && !loggedin && !s.user.empty()) r = login(s, why);
    if (r != 0) closeall();
    return r;
}

void nntpconnection::quit() {
    if (fd >= 0) {
        std::string why;
        // The answer is not waited for long: everything that matters is done.
        timeval tv{2, 0};
        (void)setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        nntpstatus st;
        if (command("QUIT", st, why) == 0 && ssl) api->SSL_shutdown(ssl);
    }
    closeall();
}
