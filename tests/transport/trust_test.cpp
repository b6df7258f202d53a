// What crosses the wire when the gateway sends mail, seen by the servers
// that take it: a small SMTP capture of our own on loopback, which keeps
// every byte as it came (a real server normalises line ends and hides the
// data's dots), and the test Postfix, whose deliveries Python's email
// package reads. No bare CR or LF reaches SMTP, a smuggled end of data
// stays data, the envelope sender is the gateway's, no password crosses
// in clear, and what arrives reads without defects, with the From, Sender,
// Reply-To and List-* lines the large providers ask for.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace {

constexpr char GATEMAILBOX[] = "pondlark@f5555.n280.z2.fidonet.org";
const std::string SCRIPTS = std::string(PONDLARK_SOURCE_DIR) + "/tests/transport/";

// tests/transport/smtpcapture.py on a free port, for one test.
class smtpcapture {
public:
    explicit smtpcapture(bool auth) : port(freeport()) {
        path = dir / "wire";
        writefile(path, "");
        pid = fork();
        if (pid == 0) {
            std::string script = SCRIPTS + "smtpcapture.py", p = std::to_string(port);
            execl("/usr/bin/python3", "python3", script.c_str(), p.c_str(), path.c_str(), auth ? "--auth" : nullptr,
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && !up(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ~smtpcapture() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    bool up() const {
        runresult r = runprogram("/usr/bin/python3",
                                 {"-c", "import socket; socket.create_connection(('127.0.0.1', " + std::to_string(port) +
                                            "), 1).close()"},
                                 dir.path);
        return r.status == 0;
    }
    std::string url() const { return "smtp://127.0.0.1:" + std::to_string(port); }
    std::string bytes() const { return readfile(path); }
    int port;

private:
    scratchdir dir;
    std::string path;
    pid_t pid = -1;
};

// One transaction as it went over the wire.
struct transaction {
    std::string mailfrom;
    std::vector<std::string> rcpt;
    std::string data;  // between DATA and the line of one dot, as sent
};

// Reads the client's side of the captured sessions the way a server does.
std::vector<transaction> transactions(const std::string& wire, std::vector<std::string>& commands) {
    std::vector<transaction> out;
    std::size_t pos = 0;
    transaction t;
    while (pos < wire.size()) {
        std::size_t eol = wire.find("\r\n", pos);
        if (eol == std::string::npos) break;
        std::string line = wire.substr(pos, eol - pos);
        pos = eol + 2;
        commands.push_back(line);
        if (line.rfind("MAIL FROM:", 0) == 0) {
            t = transaction{};
            t.mailfrom = line.substr(10);
        } else if (line.rfind("RCPT TO:", 0) == 0) {
            t.rcpt.push_back(line.substr(8));
        } else if (line == "DATA") {
            std::size_t end = wire.compare(pos, 3, ".\r\n") == 0 ? pos : wire.find("\r\n.\r\n", pos);
            if (end == std::string::npos) break;
            if (end != pos) end += 2;
            t.data = wire.substr(pos, end - pos);
            pos = end + 3;
            out.push_back(t);
        }
    }
    return out;
}

// The data with the dots a client doubles taken off again.
std::string undotted(const std::string& data) {
    std::string out;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t eol = data.find("\r\n", pos);
        std::string line = data.substr(pos, eol == std::string::npos ? eol : eol - pos + 2);
        pos = eol == std::string::npos ? data.size() : eol + 2;
        if (!line.empty() && line[0] == '.') line.erase(0, 1);
        out += line;
    }
    return out;
}

bool bareends(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && (i + 1 >= s.size() || s[i + 1] != '\n')) return true;
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) return true;
    }
    return false;
}

void queue(const std::string& soup, const std::vector<std::string>& messages) {
    std::string data;
    for (const std::string& m : messages) {
        unsigned char be[4] = {static_cast<unsigned char>(m.size() >> 24), static_cast<unsigned char>(m.size() >> 16),
                               static_cast<unsigned char>(m.size() >> 8), static_cast<unsigned char>(m.size())};
        data += std::string(reinterpret_cast<char*>(be), 4) + m;
    }
    writefile(soup + "MAIL0000.MSG", data);
    writefile(soup + "REPLIES", "MAIL0000\tmail\tbn\n");
}

// Replies whose bodies hold what SMTP must never see raw: the smuggling
// pattern "\r.\r\n" from a list posting copied as it came, line feeds and
// lone carriage returns.
const std::string SMUGGLE =
    "Bcc: <jane@pond.test>\nFrom: Bob Smith via Pond Talk <talk@pond.example>\n"
    "Reply-to: bob@net.example (Bob Smith)\nSender: talk@pond.example\nList-Id: Pond Talk <talk.pond.example>\n"
    "List-Post: <mailto:talk@pond.example>\nList-Unsubscribe: <mailto:talk@pond.example?subject=unsubscribe>\n"
    "Subject: Larks\nDate: Tue, 14 Sep 1999 10:00:00 +0200\nMessage-ID: <larks.1.net.example-talk@pond.example>\n"
    "Mime-version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\n"
    "Forty-two larks.\r.\r\nMAIL FROM:<evil@smuggler.example>\r\nRCPT TO:<jane@pond.test>\r\nDATA\r\n"
    "Subject: forged\r\n\r\nforged\r\n.\r\nQUIT\r\n";
const std::string LINES =
    "To: jane@pond.test\nFrom: sysop@pond.example (Sysop Pond)\nSubject: Lines\n"
    "Date: Tue, 14 Sep 1999 20:16:10 +0000\nMessage-ID: <lines.2@pond.example>\n\n"
    "a\n.\nb\rc\r\r\nlast line without its end";

// Python's email package reads each delivered file; prints one line of
// the fields the providers look at, and any defect.
runresult readmail(const std::vector<std::string>& files) {
    scratchdir d;
    std::string py =
        "import email, email.policy, sys\n"
        "for f in sys.argv[1:]:\n"
        "    m = email.message_from_bytes(open(f, 'rb').read(), policy=email.policy.default)\n"
        "    defects = list(m.defects)\n"
        "    for k, v in m.items():\n"
        "        defects += list(getattr(v, 'defects', ()))\n"
        "    def a(n):\n"
        "        v = m[n]\n"
        "        return '-' if v is None else ','.join(x.addr_spec for x in v.addresses)\n"
        "    d = m['DKIM-Signature']\n"
        "    d = None if d is None else dict(x.strip().split('=', 1) for x in str(d).split(';') if '=' in x)['d']\n"
        "    print('%s|from=%s|sender=%s|replyto=%s|listid=%s|unsub=%s|dkim=%s|defects=%d' % (m['Subject'], a('From'),\n"
        "          a('Sender'), a('Reply-To'), m['List-Id'], m['List-Unsubscribe'], d, len(defects)))\n";
    writefile(d / "read.py", py);
    std::vector<std::string> args{d / "read.py"};
    args.insert(args.end(), files.begin(), files.end());
    return runprogram("/usr/bin/python3", args, d.path);
}

}  // namespace

// Our own server sees exactly what PondLark sends: two transactions, each
// from the gateway's own envelope sender, data with CR LF line ends only,
// and the smuggled "." line doubled, so that it stays in the data.
TEST(wire, whatcrossesthewireisclean) {
    smtpcapture cap(false);
    ASSERT_TRUE(cap.up()) << "python3 could not run the capture server";
    gateway g("SendMail " + cap.url() + "\n");
    queue(g.path("soup/"), {SMUGGLE, LINES});
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 2 mail message(s) over SMTP (1 connection(s))"), std::string::npos) << r.err;
    std::vector<std::string> commands;
    std::vector<transaction> got = transactions(cap.bytes(), commands);
    ASSERT_EQ(got.size(), 2u) << cap.bytes();
    int mails = 0;
    for (const std::string& c : commands) mails += c.rfind("MAIL FROM:", 0) == 0;
    EXPECT_EQ(mails, 2);
    for (const transaction& t : got) {
        EXPECT_FALSE(bareends(t.data)) << ::testing::PrintToString(t.data);
        EXPECT_EQ(t.data.substr(t.data.size() - 2), "\r\n");
    }
    // The list's mail goes from the list's own address; the other from the
    // gateway's, never from its From.
    EXPECT_EQ(got[0].mailfrom, "<talk@pond.example>");
    EXPECT_EQ(got[1].mailfrom, "<" + std::string(GATEMAILBOX) + ">");
    EXPECT_NE(got[0].data.find("Forty-two larks.\r\n..\r\nMAIL FROM:<evil@smuggler.example>\r\n"), std::string::npos)
        << ::testing::PrintToString(got[0].data);
    EXPECT_NE(undotted(got[0].data).find("\r\n.\r\nQUIT\r\n"), std::string::npos);
    EXPECT_NE(got[1].data.find("\r\nSender: " + std::string(GATEMAILBOX) + "\r\n"), std::string::npos);
    EXPECT_NE(got[1].data.find("\r\n\r\na\r\n..\r\nb\r\nc\r\nlast line without its end\r\n"), std::string::npos)
        << ::testing::PrintToString(got[1].data);
}

// A user name without TLS: PondLark does not even connect, so no password
// can cross; "insecure" is how a sysop says he wants it anyway.
TEST(wire, nopasswordinclear) {
    smtpcapture cap(true);
    ASSERT_TRUE(cap.up()) << "python3 could not run the capture server";
    scratchdir home;
    writefile(home / "smtp.secret", "Gate-Pass:42\n");
    chmod((home / "smtp.secret").c_str(), 0600);
    std::string url = "smtp://fidogate@127.0.0.1:" + std::to_string(cap.port) + " secret=" + home / "smtp.secret";
    gateway g("SendMail " + url + "\n");
    queue(g.path("soup/"), {LINES});
    std::string before = cap.bytes();
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("! 1 mail message(s) kept for the next run: SendMail has a user but no TLS"),
              std::string::npos) << r.err;
    EXPECT_EQ(cap.bytes(), before);
    runresult c = g.run("check");
    EXPECT_NE(c.err.find("SendMail would send its password in clear"), std::string::npos) << c.err;

    gateway insecure("SendMail " + url + " insecure\n");
    queue(insecure.path("soup/"), {LINES});
    r = insecure.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 1 mail message(s)"), std::string::npos) << r.err;
    // base64 of "\0fidogate\0Gate-Pass:42": there it is, in clear.
    EXPECT_NE(cap.bytes().find("AUTH PLAIN"), std::string::npos) << cap.bytes();
    EXPECT_NE(cap.bytes().find("AGZpZG9nYXRlAEdhdGUtUGFzczo0Mg=="), std::string::npos) << cap.bytes();
}

namespace {

// The lines of the first block indented as part of a list item (six
// spaces) after the text marker of README.md, without their indentation.
std::vector<std::string> readmelistblock(const std::string& marker) {
    std::string readme = readfile(std::string(PONDLARK_SOURCE_DIR) + "/README.md");
    std::size_t at = readme.find(marker);
    std::vector<std::string> lines;
    if (at == std::string::npos) {
        ADD_FAILURE() << "README.md does not say \"" << marker << "\"";
        return lines;
    }
    std::istringstream in(readme.substr(at));
    std::string l;
    std::getline(in, l);  // the marker's own line
    while (std::getline(in, l)) {
        if (l.rfind("      ", 0) == 0) {
            lines.push_back(l.substr(6));
        } else if (!lines.empty() && !l.empty()) {
            break;
        }
    }
    EXPECT_FALSE(lines.empty()) << "README.md has no block after \"" << marker << "\"";
    return lines;
}

// Every from replaced by its to.
std::string substituted(std::string l, const std::vector<std::pair<std::string, std::string>>& subst) {
    for (const auto& [from, to] : subst) {
        for (std::size_t p = 0; (p = l.find(from, p)) != std::string::npos; p += to.size()) l.replace(p, from.size(), to);
    }
    return l;
}

// The words of a shell line in single quotes: 'a b' 'c' gives a b, c.
std::vector<std::string> quotedwords(const std::string& l) {
    std::vector<std::string> out;
    for (std::size_t p = l.find('\''); p != std::string::npos; p = l.find('\'', p + 1)) {
        std::size_t e = l.find('\'', p + 1);
        if (e == std::string::npos) break;
        out.push_back(l.substr(p + 1, e - p - 1));
        p = e;
    }
    return out;
}

// One test Postfix for the cases below; it offers AUTH on its plain port,
// where a client that logs in would send its password in clear, and signs
// the mail of pond.example through OpenDKIM as a milter, set up by the
// README's blocks in "Sending mail that arrives" as they stand, with the
// test's folders, domain and port (pond.example for pondlark.example); the
// package's service is stood in for by opendkim run in the foreground, and
// RequireSafeKeys is off because the scratch folder lies in /tmp.
class trustpostfix : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home = new scratchdir;
        mta = new testpostfix(home->path);
        mta->adduser("jane");
        mta->sasluser("fidogate", "Gate-Pass:42");
        mta->authincleartext();
        dkimport = freeport();
        subst = {{"/etc/dkimkeys/", home->path + "dkimkeys/"}, {"pondlark.example", "pond.example"},
                 {"8891", std::to_string(dkimport)}};
        if (!startdkim()) {
            started = false;
            return;
        }
        started = mta->start(why);
    }
    static void TearDownTestSuite() {
        delete mta;
        if (dkimpid > 0) {
            kill(dkimpid, SIGTERM);
            waitpid(dkimpid, nullptr, 0);
            dkimpid = -1;
        }
        delete home;
        mta = nullptr;
        home = nullptr;
    }
    static bool startdkim() {
        for (const std::string& line : readmelistblock("Make a\n  key:")) {
            if (line.rfind("apt-get install ", 0) == 0) {
                // Installed by scripts/install-deps.sh --tests.
                EXPECT_EQ(line, "apt-get install opendkim opendkim-tools");
                continue;
            }
            std::string l = substituted(line, subst);
            runresult r = runprogram("/bin/sh", {"-c", l}, home->path);
            if (r.status != 0) {
                why = l + ": " + r.err + " (packages opendkim and opendkim-tools)";
                return false;
            }
        }
        std::string conf;
        for (const std::string& line : readmelistblock("set these lines in `/etc/opendkim.conf`"))
            conf += substituted(line, subst) + "\n";
        writefile(*home / "opendkim.conf", conf + "Background no\nSyslog no\nRequireSafeKeys false\n");
        for (const std::string& line : readmelistblock("let Postfix hand every message to it")) {
            std::string l = substituted(line, subst);
            if (l == "systemctl restart opendkim" && !rundkim()) return false;
            if (l.rfind("postconf -e ", 0) == 0) {
                for (const std::string& setting : quotedwords(l)) mta->setting(setting);
            } else if (l != "systemctl restart opendkim" && l != "postfix reload") {
                ADD_FAILURE() << "a line the test does not know: " << l;
            }
        }
        return dkimpid > 0;
    }
    static bool rundkim() {
        dkimpid = fork();
        if (dkimpid == 0) {
            std::string conf = *home / "opendkim.conf";
            execl("/usr/sbin/opendkim", "opendkim", "-f", "-x", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            int st = 0;
            if (waitpid(dkimpid, &st, WNOHANG) == dkimpid) {
                dkimpid = -1;
                why = "opendkim (package opendkim) did not start";
                return false;
            }
            runresult probe = runprogram("/usr/bin/python3", {"-c", "import socket; socket.create_connection(('127.0.0.1', " +
                                                                        std::to_string(dkimport) + "), 1).close()"},
                                         home->path);
            if (probe.status == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        why = "opendkim does not listen";
        return false;
    }
    static std::vector<std::pair<std::string, std::string>> subst;
    static scratchdir* home;
    static testpostfix* mta;
    static bool started;
    static std::string why;
    static int dkimport;
    static pid_t dkimpid;
};
scratchdir* trustpostfix::home = nullptr;
testpostfix* trustpostfix::mta = nullptr;
bool trustpostfix::started = false;
int trustpostfix::dkimport = 0;
pid_t trustpostfix::dkimpid = -1;
std::vector<std::pair<std::string, std::string>> trustpostfix::subst;
std::string trustpostfix::why;

}  // namespace

// PondLark does not log in over the plain port (nothing is delivered,
// Postfix sees no connection and no login), except when the line says
// insecure.
TEST_F(trustpostfix, nopasswordoveracleartextport) {
    REQUIRE_SERVER(started, why);
    scratchdir secret;
    writefile(secret / "smtp.secret", "Gate-Pass:42\n");
    chmod((secret / "smtp.secret").c_str(), 0600);
    std::string url = "smtp://fidogate@127.0.0.1:" + std::to_string(mta->port) + " secret=" + secret / "smtp.secret";
    int before = mta->connections();
    gateway g("SendMail " + url + "\n");
    queue(g.path("soup/"), {LINES});
    runresult r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("kept for the next run: SendMail has a user but no TLS"), std::string::npos) << r.err;
    EXPECT_EQ(mta->connections(), before) << mta->log();
    EXPECT_EQ(mta->log().find("sasl_username"), std::string::npos);
    EXPECT_EQ(readfile(g.path("soup/REPLIES")), "MAIL0000\tmail\tbn\n");

    gateway insecure("SendMail " + url + " insecure\n");
    queue(insecure.path("soup/"), {LINES});
    r = insecure.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Delivered 1 mail message(s)"), std::string::npos) << r.err;
    ASSERT_TRUE(mta->drained());
    EXPECT_NE(mta->log().find("sasl_method=PLAIN, sasl_username=fidogate"), std::string::npos) << mta->log();
}

// What a FidoNet node writes and what a list redistributes, delivered by
// the test Postfix and read by Python's email package: no defects, the
// From the gateway vouches for, the claim as Reply-To, the gateway as
// Sender and envelope sender, the list's lines on list mail.
TEST_F(trustpostfix, deliveredmailreadsclean) {
    REQUIRE_SERVER(started, why);
    gateway g("SendMail " + mta->url() + "\n");
    std::size_t already = mta->delivered("jane").size();
    std::vector<testmsg> msgs(2);
    msgs[0].to = "jane@pond.test";
    msgs[0].subject = "Forged";
    msgs[0].text = "From: director@bank.example\r\rPlease confirm your password.\r";
    msgs[1].to = "jane@pond.test, joe@pond.test;x@pond.test";
    msgs[1].subject = "Hidden";
    msgs[1].text = "Two more hidden in the to-name.\r";
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, msgs));
    runresult r = g.run("export", {"/pkt=pkt"});
    ASSERT_EQ(r.status, 0) << r.err;
    queue(g.path("soup/"), {SMUGGLE});
    r = g.run("export", {"/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> files;
    std::vector<std::string> all = mta->delivered("jane", already + 3), delivered;
    ASSERT_TRUE(mta->drained());
    for (const std::string& m : all) {
        if (m.find("\nSubject: Forged") != std::string::npos || m.find("\nSubject: Hidden") != std::string::npos ||
            m.find("\nSubject: Larks") != std::string::npos)
            delivered.push_back(m);
    }
    ASSERT_EQ(delivered.size(), 3u) << mta->log();
    scratchdir files_;
    for (std::size_t i = 0; i < delivered.size(); ++i) {
        files.push_back(files_ / ("m" + std::to_string(i)));
        writefile(files.back(), delivered[i]);
    }
    runresult read = readmail(files);
    if (read.status == 127) GTEST_SKIP() << "python3 is missing";
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_NE(read.out.find("Forged|from=sysop@pond.example|sender=" + std::string(GATEMAILBOX) +
                            "|replyto=director@bank.example|listid=None|unsub=None|dkim=pond.example|defects=0\n"),
              std::string::npos) << read.out;
    EXPECT_NE(read.out.find("Hidden|from=sysop@pond.example|sender=" + std::string(GATEMAILBOX) +
                            "|replyto=-|listid=None|unsub=None|dkim=pond.example|defects=0\n"),
              std::string::npos) << read.out;
    EXPECT_NE(read.out.find("Larks|from=talk@pond.example|sender=talk@pond.example|replyto=bob@net.example|"
                            "listid=Pond Talk <talk.pond.example>|"
                            "unsub=<mailto:talk@pond.example?subject=unsubscribe>|dkim=pond.example|defects=0\n"),
              std::string::npos) << read.out;
    // Signed by OpenDKIM for pond.example, and the signature holds under
    // the key published as pond._domainkey.pond.example.
    scratchdir v;
    writefile(v / "verify.py",
              "import dkim, re, sys\n"
              "key = ''.join(re.findall(r'\"([^\"]*)\"', open(sys.argv[1]).read())).encode()\n"
              "def dns(name, timeout=5):\n"
              "    return key if name == b'pond._domainkey.pond.example.' else None\n"
              "for f in sys.argv[2:]:\n"
              "    print(dkim.verify(open(f, 'rb').read(), dnsfunc=dns))\n");
    std::vector<std::string> vargs{v / "verify.py", *home / "dkimkeys/pond.example/pond.txt"};
    vargs.insert(vargs.end(), files.begin(), files.end());
    runresult verified = runprogram("/usr/bin/python3", vargs, v.path);
    EXPECT_EQ(verified.out, "True\nTrue\nTrue\n") << verified.err << delivered[0];
    // The smuggled transaction is the posting's text, not a message.
    EXPECT_EQ(mta->log().find("evil@smuggler.example"), std::string::npos) << mta->log();
    for (const std::string& m : delivered) {
        if (m.find("Subject: Larks") != std::string::npos) {
            EXPECT_NE(m.find("\nMAIL FROM:<evil@smuggler.example>\n"), std::string::npos) << m;
        }
        EXPECT_EQ(m.rfind("Return-Path: <", 0), 0u);
    }
}
