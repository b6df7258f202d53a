#include "transport/servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

const char POSTFIX[] = "/usr/sbin/postfix";
const char INNBIN[] = "/usr/lib/news/bin/";

bool listening(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

template <class Done>
bool waitfor(Done done, int millis = 15000) {
    for (int waited = 0; waited < millis; waited += 50) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

void owner(const std::string& path, const char* user) {
    passwd* pw = getpwnam(user);
    if (pw) (void)chown(path.c_str(), pw->pw_uid, pw->pw_gid);
}

// The scratch folders are private to root; the servers' users must pass.
void opento(const std::string& dir) {
    (void)chmod(dir.c_str(), 0755);
}

std::vector<std::string> filesin(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        if (e.is_regular_file()) out.push_back(readfile(e.path().string()));
    }
    return out;
}

}  // namespace

bool underci() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

int freeport() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

// ------------------------------------------------------------- Postfix

testpostfix::testpostfix(const std::string& d) : dir(d) {
    etc = dir + "postfix-etc";
}

testpostfix::~testpostfix() {
    stop();
}

void testpostfix::adduser(const std::string& user) { users.push_back(user); }
void testpostfix::refuse(const std::string& address) { refused.push_back(address); }
void testpostfix::setting(const std::string& line) { extra.push_back(line); }
void testpostfix::deferrecipient(const std::string& address) { deferredrcpt.push_back(address); }
void testpostfix::gatewaydomain(const std::string& domain) { gatedomains.push_back(domain); }

void testpostfix::refusesubject(const std::string& subject) {
    subjects.push_back("/^Subject: " + subject + "/ REJECT refused by rule");
}

void testpostfix::defersender(const std::string& address) {
    deferred.push_back(address + " 450 4.7.1 try later");
}

void testpostfix::sasluser(const std::string& user, const std::string& password) {
    sasl[0] = user;
    sasl[1] = password;
}

void testpostfix::tls(const std::string& cert, const std::string& key) {
    extra.push_back("smtpd_tls_cert_file = " + cert);
    extra.push_back("smtpd_tls_key_file = " + key);
    extra.push_back("smtpd_tls_security_level = may");
    tlsport = freeport();
}

std::string testpostfix::url() const {
    return "smtp://127.0.0.1:" + std::to_string(port);
}

std::string testpostfix::maildir(const std::string& user) const {
    return dir + "vmail/pond.test/" + user + "/";
}

bool testpostfix::start(std::string& why) {
    if (geteuid() != 0) {
        why = "not root";
        return false;
    }
    if (access(POSTFIX, X_OK) != 0) {
        why = "postfix is not installed";
        return false;
    }
    if (port == 0) port = freeport();
    opento(dir);
    makedirs(etc);
    makedirs(dir + "postfix-queue");
    makedirs(dir + "postfix-data");
    makedirs(dir + "vmail");
    owner(dir + "postfix-data", "postfix");
    owner(dir + "vmail", "nobody");
    std::string q = dir + "postfix-queue", d = dir + "postfix-data";
    std::string main =
        "compatibility_level = 3.6\n"
        "queue_directory = " + q + "\n"
        "data_directory = " + d + "\n"
        "command_directory = /usr/sbin\n"
        "daemon_directory = /usr/lib/postfix/sbin\n"
        "meta_directory = /etc/postfix\n"
        "shlib_directory = no\n"
        "mail_owner = postfix\n"
        "setgid_group = postdrop\n"
        "myhostname = mx.pond.test\n"
        "mydomain = pond.test\n"
        "myorigin = pond.test\n"
        "mydestination = fido.test\n"
        "inet_interfaces = 127.0.0.1\n"
        "inet_protocols = ipv4\n"
        "mynetworks = 127.0.0.0/8\n"
        "virtual_mailbox_domains = pond.test\n"
        "virtual_mailbox_base = " + dir + "vmail\n"
        "virtual_mailbox_maps = texthash:" + etc + "/vmailbox\n"
        "virtual_uid_maps = static:65534\n"
        "virtual_gid_maps = static:65534\n"
        "smtpd_recipient_restrictions = check_recipient_access texthash:" + etc +
        "/access, permit_mynetworks, reject_unauth_destination\n"
        "maillog_file = " + dir + "maillog\n"
        "maillog_file_prefixes = " + dir + "\n"
        "alias_maps = texthash:" + etc + "/pondlark-aliases\nalias_database =\n"
        "local_recipient_maps =\nrelayhost =\n"
        "default_transport = error:no mail leaves the test\n"
        "smtpd_banner = $myhostname ESMTP\n"
        "biff = no\n"
        "smtputf8_enable = no\n";
    for (const std::string& l : extra) main += l + "\n";
    if (!gatedomains.empty()) {
        // The domain and every domain below it (the FTN-form addresses
        // f100.n280.z2.<domain>), as the README sets it up.
        std::string domains, map;
        for (const std::string& dom : gatedomains) {
            domains += (domains.empty() ? "" : " ") + dom + " ." + dom;
            std::string re;
            for (char c : dom) re += c == '.' ? std::string("\\.") : std::string(1, c);
            map += "/@([^@]+\\.)?" + re + "$/ gate@fido.test\n";
        }
        writefile(etc + "/virtual", map);
        main += "virtual_alias_domains = " + domains + "\nvirtual_alias_maps = regexp:" + etc + "/virtual\n";
    }
    if (!subjects.empty()) {
        std::string rules;
        for (const std::string& s : subjects) rules += s + "\n";
        writefile(etc + "/header_checks", rules);
        main += "header_checks = regexp:" + etc + "/header_checks\n";
    }
    std::string senders;
    for (const std::string& s : deferred) senders += s + "\n";
    writefile(etc + "/senders", senders);
    main += "smtpd_data_restrictions = check_sender_access texthash:" + etc + "/senders\n";
    writefile(etc + "/main.cf", main);
    const char* services[] = {
        "pickup    unix  n - n 60 1 pickup",      "cleanup   unix  n - n - 0 cleanup",
        "qmgr      unix  n - n 300 1 qmgr",       "tlsmgr    unix  - - n 1000? 1 tlsmgr",
        "rewrite   unix  - - n - - trivial-rewrite", "bounce    unix  - - n - 0 bounce",
        "defer     unix  - - n - 0 bounce",       "trace     unix  - - n - 0 bounce",
        "verify    unix  - - n - 1 verify",       "flush     unix  n - n 1000? 0 flush",
        "proxymap  unix  - - n - - proxymap",     "smtp      unix  - - n - - smtp",
        "relay     unix  - - n - - smtp",         "showq     unix  n - n - - showq",
        "error     unix  - - n - - error",        "retry     unix  - - n - - error",
        "discard   unix  - - n - - discard",      "local     unix  - n n - - local",
        "virtual   unix  - n n - - virtual",      "lmtp      unix  - - n - - lmtp",
        "anvil     unix  - - n - 1 anvil",        "scache    unix  - - n - 1 scache",
        "postlog   unix-dgram n - n - 1 postlogd",
    };
    std::string master = "127.0.0.1:" + std::to_string(port) + " inet n - n - - smtpd" +
                         std::string(clearauth ? " -o smtpd_sasl_auth_enable=yes" : "") + "\n";
    if (tlsport) {
        master += "127.0.0.1:" + std::to_string(tlsport) + " inet n - n - - smtpd -o smtpd_tls_wrappermode=yes";
        if (!sasl[0].empty())
            master += " -o smtpd_sasl_auth_enable=yes -o smtpd_recipient_restrictions=permit_sasl_authenticated,reject";
        master += "\n";
    }
    if (!sasl[0].empty()) {
        makedirs(etc + "/sasl");
        std::string db = dir + "sasldb2";
        writefile(etc + "/sasl/smtpd.conf", "pwcheck_method: auxprop\nauxprop_plugin: sasldb\n"
                                              "mech_list: PLAIN LOGIN\nsasldb_path: " + db + "\n");
        writefile(dir + "saslpw", sasl[1]);
        runresult r = runprogram("/bin/sh", {"-c", "/usr/sbin/saslpasswd2 -c -p -f " + db + " -u pond.test " +
                                                       sasl[0] + " < " + dir + "saslpw"}, dir);
        if (r.status != 0) {
            why = "saslpasswd2 (package sasl2-bin): " + r.err;
            return false;
        }
        owner(db, "postfix");
        main += "smtpd_sasl_type = cyrus\nsmtpd_sasl_path = smtpd\ncyrus_sasl_config_path = " + etc +
                "/sasl\nsmtpd_sasl_local_domain = pond.test\nsmtpd_sasl_authenticated_header = yes\n";
        writefile(etc + "/main.cf", main);
    }
    for (const char* s : services) master += std::string(s) + "\n";
    writefile(etc + "/master.cf", master);
    std::string boxes;
    for (const std::string& u : users) boxes += u + "@pond.test pond.test/" + u + "/\n";
    writefile(etc + "/vmailbox", boxes);
    makedirs(dir + "pondlark");
    owner(dir + "pondlark", "nobody");
    // texthash has no colon; an alias file for postalias would read "gate: ...".
    writefile(etc + "/pondlark-aliases", "gate " + gatewaymaildir() + "\n");
    owner(etc + "/pondlark-aliases", "nobody");
    std::string access;
    for (const std::string& a : refused) access += a + " 550 5.1.1 no such user here\n";
    for (const std::string& a : deferredrcpt) access += a + " 450 4.2.1 mailbox busy, try again later\n";
    writefile(etc + "/access", access);
    runresult r = runprogram(POSTFIX, {"-c", etc, "start"}, dir);
    if (r.status != 0) {
        why = "postfix start: " + r.err + r.out + readfile(dir + "maillog");
        return false;
    }
    up = waitfor([this] { return listening(port); });
    if (!up) {
        why = "postfix does not listen on port " + std::to_string(port) + ":\n" + log();
        return false;
    }
    // The probes' connections are in the log before any test counts.
    waitfor([this] { return log().find("]: disconnect from") != std::string::npos; }, 5000);
    return true;
}

void testpostfix::stop() {
    if (!up) return;
    (void)runprogram(POSTFIX, {"-c", etc, "stop"}, dir);
    // The master leaves when its children have; the port closes with it.
    waitfor([this] { return runprogram(POSTFIX, {"-c", etc, "status"}, dir).status != 0 && !listening(port); });
    up = false;
}

std::vector<std::string> testpostfix::delivered(const std::string& user, std::size_t count) const {
    std::vector<std::string> got;
    waitfor([&] {
        got = filesin(maildir(user) + "new");
        std::vector<std::string> cur = filesin(maildir(user) + "cur");
        got.insert(got.end(), cur.begin(), cur.end());
        return got.size() >= count;
    }, count ? 15000 : 0);
    std::sort(got.begin(), got.end());
    return got;
}

bool testpostfix::drained() const {
    return waitfor([this] {
        for (const char* sub : {"incoming", "active", "maildrop", "deferred"}) {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(dir + "postfix-queue/" + sub, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
                if (it->is_regular_file()) return false;
            }
        }
        return true;
    });
}

std::string testpostfix::log() const {
    return readfile(dir + "maillog");
}

int testpostfix::connections() const {
    int n = 0;
    // postlogd writes asynchronously: the disconnect line comes last.
    std::string l;
    waitfor([&] {
        l = log();
        std::size_t c = 0, dc = 0;
        for (std::size_t p = 0; (p = l.find("]: connect from", p)) != std::string::npos; ++p) ++c;
        for (std::size_t p = 0; (p = l.find("]: disconnect from", p)) != std::string::npos; ++p) ++dc;
        n = static_cast<int>(c);
        return c == dc;
    }, 5000);
    return n;
}

// ------------------------------------------------------------------ INN

testinn::testinn(const std::string& d) : dir(d + "inn/") {
    conf = dir + "etc/inn.conf";
}

testinn::~testinn() {
    stop();
}

bool testinn::start(std::string& why) {
    if (geteuid() != 0) {
        why = "not root";
        return false;
    }
    if (access((std::string(INNBIN) + "innd").c_str(), X_OK) != 0 || !fileexists("/etc/news/inn.conf")) {
        why = "inn2 is not installed";
        return false;
    }
    if (port == 0) port = freeport();
    opento(fs::path(dir).parent_path().parent_path().string());
    for (const char* sub : {"etc", "db", "spool/articles", "spool/overview", "spool/incoming/tmp",
                            "spool/outgoing", "spool/archive", "log", "run", "http"})
        makedirs(dir + sub);
    copytree("/etc/news", dir + "etc");
    // The system's inn.conf with every path moved here.
    std::string inn = readfile("/etc/news/inn.conf"), out;
    const std::pair<const char*, std::string> paths[] = {
        {"pathetc", dir + "etc"},          {"pathdb", dir + "db"},
        {"pathspool", dir + "spool"},      {"patharticles", dir + "spool/articles"},
        {"pathoverview", dir + "spool/overview"}, {"pathincoming", dir + "spool/incoming"},
        {"pathtmp", dir + "spool/incoming/tmp"},  {"pathoutgoing", dir + "spool/outgoing"},
        {"patharchive", dir + "spool/archive"},   {"pathlog", dir + "log"},
        {"pathrun", dir + "run"},          {"pathhttp", dir + "http"},
        {"port", std::to_string(port)},    {"artcutoff", "0"},
        {"pathhost", "news.pond.test"},    {"bindaddress", "127.0.0.1"},
        {"server", "127.0.0.1"},           {"domain", "pond.test"},
        {"nnrpdpostport", std::to_string(port)},
    };
    std::size_t pos = 0;
    while (pos < inn.size()) {
        std::size_t nl = inn.find('\n', pos);
        std::string line = inn.substr(pos, nl == std::string::npos ? nl : nl - pos);
        pos = nl == std::string::npos ? inn.size() : nl + 1;
        bool replaced = false;
        for (const auto& [name, value] : paths) {
            std::string k = std::string(name) + ":";
            if (line.compare(0, k.size(), k) == 0) replaced = true;
        }
        if (!replaced) out += line + "\n";
    }
    for (const auto& [name, value] : paths) out += std::string(name) + ": " + value + "\n";
    if (!cert.empty()) out += "tlscertfile: " + cert + "\ntlskeyfile: " + key + "\n";
    writefile(conf, out);
    writefile(dir + "etc/storage.conf", "method tradspool {\n    newsgroups: *\n    class: 0\n}\n");
    writefile(dir + "etc/newsfeeds", std::string("ME:*,!junk,!control*/!local::\n") +
                                         (withfeed ? "pondlark:alt.*,!junk,!control*:Tf,Wnm:\n" : ""));
    writefile(dir + "db/active",
              "control 0000000000 0000000001 n\ncontrol.cancel 0000000000 0000000001 n\n"
              "junk 0000000000 0000000001 n\nalt.test 0000000000 0000000001 y\n"
              "alt.other 0000000000 0000000001 y\n" + [this] {
                  std::string more;
                  for (const std::string& g : groups) more += g + " 0000000000 0000000001 y\n";
                  return more;
              }());
    for (const char* f : {"db/newsgroups", "db/active.times", "db/history"}) writefile(dir + f, "");
    (void)runprogram("/bin/chown", {"-R", "news:news", dir}, dir);
    std::string output;
    if (runnews("makedbz -i -o", output) != 0) {
        why = "makedbz: " + output;
        return false;
    }
    pid = fork();
    if (pid == 0) {
        int fd = open((dir + "innd.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        setenv("INNCONF", conf.c_str(), 1);
        execl((std::string(INNBIN) + "innd").c_str(), "innd", "-d", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (!waitfor([this] { return listening(port); })) {
        why = "innd does not listen: " + readfile(dir + "innd.out");
        stop();
        return false;
    }
    // Readers: anyone on readerport; on tlsport only the users.
    std::string login = "auth \"login\" {\n    hosts: \"*\"\n    auth: \"ckpasswd -f " + dir +
                        "etc/newsusers\"\n}\n";
    std::string access;
    for (const auto& [user, password] : users) {
        runresult r = runprogram("/usr/bin/openssl", {"passwd", "-6", password}, dir);
        if (r.status != 0) {
            why = "openssl passwd: " + r.err;
            stop();
            return false;
        }
        access += user + ":" + r.out.substr(0, r.out.find('\n')) + "\n";
    }
    writefile(dir + "etc/newsusers", access);
    std::string usersaccess = "access \"users\" {\n    users: \"*,!<reader>\"\n    newsgroups: \"*\"\n"
                              "    access: RPA\n}\n";
    writefile(dir + "etc/readers.conf", "auth \"open\" {\n    hosts: \"*\"\n    default: \"<reader>\"\n}\n" +
                                            login + "access \"open\" {\n    users: \"<reader>\"\n"
                                            "    newsgroups: \"*\"\n    access: RPA\n}\n" + usersaccess);
    writefile(dir + "etc/readers-tls.conf", login + usersaccess);
    (void)runprogram("/bin/chown", {"-R", "news:news", dir + "etc"}, dir);
    if (readerport == 0) readerport = freeport();
    if (!startreader(readerport, false, dir + "etc/readers.conf", readerpid, why)) {
        stop();
        return false;
    }
    if (!cert.empty()) {
        if (tlsport == 0) tlsport = freeport();
        if (!startreader(tlsport, true, dir + "etc/readers-tls.conf", tlspid, why)) {
            stop();
            return false;
        }
    }
    return true;
}

void testinn::tls(const std::string& c, const std::string& k) {
    cert = c;
    key = k;
}

void testinn::adduser(const std::string& user, const std::string& password) {
    users.emplace_back(user, password);
}

void testinn::addgroup(const std::string& group) {
    groups.push_back(group);
}

bool testinn::startreader(int onport, bool tlsfirst, const std::string& readersconf, pid_t& out, std::string& why) {
    passwd* pw = getpwnam("news");
    if (!pw) {
        why = "no user news";
        return false;
    }
    std::string log = dir + "nnrpd-" + std::to_string(onport) + ".out";
    out = fork();
    if (out == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        if (setgid(pw->pw_gid) != 0 || setuid(pw->pw_uid) != 0) _exit(126);
        setenv("INNCONF", conf.c_str(), 1);
        std::string p = std::to_string(onport);
        if (tlsfirst) {
            execl((std::string(INNBIN) + "nnrpd").c_str(), "nnrpd", "-D", "-f", "-b", "127.0.0.1", "-p", p.c_str(),
                  "-c", readersconf.c_str(), "-S", static_cast<char*>(nullptr));
        } else {
            execl((std::string(INNBIN) + "nnrpd").c_str(), "nnrpd", "-D", "-f", "-b", "127.0.0.1", "-p", p.c_str(),
                  "-c", readersconf.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    if (!waitfor([onport] { return listening(onport); })) {
        why = "nnrpd does not listen on " + std::to_string(onport) + ": " + readfile(log);
        return false;
    }
    return true;
}

bool testinn::stream(const std::vector<std::string>& articles, std::string& why) const {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        why = "can't connect to innd";
        close(s);
        return false;
    }
    std::string in;
    auto line = [&](std::string& l) {
        std::size_t nl;
        while ((nl = in.find("\r\n")) == std::string::npos) {
            char buf[4096];
            ssize_t n = read(s, buf, sizeof buf);
            if (n <= 0) return false;
            in.append(buf, static_cast<std::size_t>(n));
        }
        l = in.substr(0, nl);
        in.erase(0, nl + 2);
        return true;
    };
    auto say = [&](const std::string& t) { return write(s, t.data(), t.size()) == static_cast<ssize_t>(t.size()); };
    std::string l;
    bool ok = line(l) && say("MODE STREAM\r\n") && line(l) && l.compare(0, 3, "203") == 0;
    std::size_t sent = 0, answered = 0;
    while (ok && answered < articles.size()) {
        if (sent < articles.size() && sent - answered < 50) {
            std::string out;
            for (; sent < articles.size() && sent - answered < 100; ++sent) {
                const std::string& art = articles[sent];
                std::size_t id = art.find("Message-ID: ");
                out += "TAKETHIS " + art.substr(id + 12, art.find('\n', id) - id - 12) + "\r\n";
                for (std::size_t pos = 0; pos < art.size();) {
                    std::size_t nl = art.find('\n', pos);
                    if (art[pos] == '.') out += ".";
                    out += art.substr(pos, nl - pos) + "\r\n";
                    pos = nl + 1;
                }
                out += ".\r\n";
            }
            ok = say(out);
        }
        if (ok && !line(l)) ok = false;
        if (ok && l.compare(0, 3, "239") != 0) {
            why = "innd: " + l;
            ok = false;
        }
        ++answered;
    }
    (void)say("QUIT\r\n");
    close(s);
    if (!ok && why.empty()) why = "innd closed the connection";
    return ok;
}

bool testinn::feed(const std::vector<std::string>& articles, std::string& why) const {
    std::string batch;
    for (const std::string& a : articles) batch += "#! rnews " + std::to_string(a.size()) + "\n" + a;
    static int serial = 0;
    std::string path = dir + "feed" + std::to_string(++serial) + ".batch";
    writefile(path, batch);
    owner(path, "news");
    std::string out;
    int status = runnews("rnews -N < " + path, out);
    std::remove(path.c_str());
    if (status != 0) why = "rnews: " + out;
    return status == 0;
}

void testinn::stop() {
    for (pid_t* reader : {&readerpid, &tlspid}) {
        if (*reader <= 0) continue;
        kill(*reader, SIGTERM);
        int st = 0;
        if (!waitfor([&] { return waitpid(*reader, &st, WNOHANG) == *reader; }, 5000)) {
            kill(*reader, SIGKILL);
            waitpid(*reader, &st, 0);
        }
        *reader = -1;
    }
    if (pid <= 0) return;
    std::string output;
    (void)runnews("ctlinnd -s shutdown test-over", output);
    int st = 0;
    if (!waitfor([&] { return waitpid(pid, &st, WNOHANG) == pid; }, 10000)) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
    }
    pid = -1;
}

int testinn::runnews(const std::string& command, std::string& output) const {
    std::string cmd = command[0] == '/' ? command : std::string(INNBIN) + command;
    runresult r = runprogram("/bin/su", {"news", "-s", "/bin/sh", "-c", "INNCONF=" + conf + " " + cmd}, dir);
    output = r.out + r.err;
    return r.status;
}

std::string testinn::batchscript() const {
    std::string copy = dir + "pondlark-newsbatch";
    if (!fileexists(copy)) {
        writefile(copy, readfile(std::string(PONDLARK_SOURCE_DIR) + "/scripts/pondlark-newsbatch"));
        (void)chmod(copy.c_str(), 0755);
    }
    return copy;
}

std::vector<std::string> testinn::articles(const std::string& group) const {
    std::string sub = group;
    std::replace(sub.begin(), sub.end(), '.', '/');
    std::vector<std::pair<int, std::string>> numbered;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir + "spool/articles/" + sub, ec)) {
        std::string n = e.path().filename().string();
        if (e.is_regular_file() && std::all_of(n.begin(), n.end(), ::isdigit))
            numbered.emplace_back(std::stoi(n), readfile(e.path().string()));
    }
    std::sort(numbered.begin(), numbered.end());
    // INN stores articles as they go over the wire: CR LF line ends, dots
    // doubled at the start of lines, a line of one dot at the end.
    std::vector<std::string> out;
    for (auto& [n, wire] : numbered) {
        std::string text;
        std::size_t pos = 0;
        while (pos < wire.size()) {
            std::size_t nl = wire.find("\r\n", pos);
            std::string line = wire.substr(pos, nl == std::string::npos ? nl : nl - pos);
            pos = nl == std::string::npos ? wire.size() : nl + 2;
            if (line == ".") break;
            if (!line.empty() && line[0] == '.') line.erase(0, 1);
            text += line + "\n";
        }
        out.push_back(std::move(text));
    }
    return out;
}
