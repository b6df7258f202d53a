// README's recipe is code that runs: the blocks of "Connecting PondLark"
// are taken from README.md as they stand and run against a Postfix and an
// INN of the tests' own (their configuration folders stand in for
// /etc/postfix and /etc/news, scratch folders for the packaged spool, and
// the user nobody for pondlark, whom only the package makes); then mail
// to a FidoNet user's p.f.n.z address reaches FidoNet, news goes both
// ways, the cycle's output mailed back to the gateway reaches no one, and
// `pondlark setup` prints the very lines of the README.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

// The lines of the first indented block after the line heading (a
// heading of README.md), without their indentation.
std::vector<std::string> readmeblock(const std::string& heading) {
    std::ifstream in(std::string(PONDLARK_SOURCE_DIR) + "/README.md");
    std::vector<std::string> lines;
    std::string l;
    bool found = false;
    while (std::getline(in, l)) {
        if (!found) {
            found = l == heading;
            continue;
        }
        if (l.rfind("    ", 0) == 0) {
            lines.push_back(l.substr(4));
        } else if (!lines.empty() && !l.empty()) {
            break;
        } else if (l.rfind("#", 0) == 0) {
            break;  // the next heading: no block here
        }
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    EXPECT_FALSE(lines.empty()) << "README.md has no block after \"" << heading << "\"";
    return lines;
}

const char CONFIG[] = "### The gateway's side: pondlark.cfg";
const char POSTFIX[] = "### Mail in: Postfix delivers into the gateway's Maildir";
const char INN[] = "### News in and out: INN";
const char TOSSER[] = "### The tosser";
const char CYCLE[] = "### The whole cycle";

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

// Lines with every from replaced by its to, in order.
std::vector<std::string> replaced(std::vector<std::string> lines,
                                  const std::vector<std::pair<std::string, std::string>>& subst) {
    for (std::string& l : lines) {
        for (const auto& [from, to] : subst) {
            for (std::size_t p = 0; (p = l.find(from, p)) != std::string::npos; p += to.size()) l.replace(p, from.size(), to);
        }
    }
    return lines;
}

// The commands of setup's output: its lines without the comments.
std::vector<std::string> commandsof(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l[0] != '#') lines.push_back(l);
    }
    return lines;
}

TEST(readme, setupprintsthelinesofthereadme) {
    scratchdir d;
    writefile(d / "pondlark.cfg", joined(readmeblock(CONFIG)));
    runresult r = runpondlark({"setup", "postfix", "/config=./pondlark.cfg"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(commandsof(r.out), readmeblock(POSTFIX)) << r.out;
    r = runpondlark({"setup", "inn", "/config=./pondlark.cfg"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(commandsof(r.out), readmeblock(INN)) << r.out;
    // What the lines need, said when it is missing.
    writefile(d / "bare.cfg", "FidoAddr 2:280/5555.99\n");
    r = runpondlark({"setup", "postfix", "/config=./bare.cfg"}, d.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: no ImportMaildir in ./bare.cfg: Postfix would deliver nowhere\n");
    r = runpondlark({"setup", "inn", "/config=./bare.cfg"}, d.path);
    EXPECT_EQ(r.status, 1);
    r = runpondlark({"setup", "sendmail", "/config=./bare.cfg"}, d.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: pondlark setup postfix|inn [/config=<filename>]\n");
    // A configuration with an error gives no lines.
    writefile(d / "broken.cfg", joined(readmeblock(CONFIG)) + "AddrMap 2:280/1O1 x@y.example\n");
    r = runpondlark({"setup", "postfix", "/config=./broken.cfg"}, d.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

// Addresses outside the gateway domains (an AddrMap user's, a list's) get
// a line each, their domains accepted; what a regular expression or the
// shell would read otherwise is escaped.
TEST(readme, setuproutesownaddressesandescapes) {
    scratchdir d;
    writefile(d / "talk.lst", "ListName Talk\nListAddress talk+list@pond.example\nListUsers\n");
    writefile(d / "pondlark.cfg", "FidoAddr 2:280/5555.99\nAddrMap 2:280/5555 sysop@pond.example Sysop\n"
                                  "AddrMap 2:280/5555.1 o'hara@other.example O'Hara\n"
                                  "FidoDomain 1-6 #fidonet.example.org\nFidoDomain 7 #z7.example\n"
                                  "ImportMaildir " + d.path + "md\nListConfig ./talk.lst\n");
    runresult r = runpondlark({"setup", "postfix", "/config=./pondlark.cfg"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = commandsof(r.out);
    const std::vector<std::string> virtuallines = {
        "echo '/@(.+\\.)?fidonet\\.example\\.org$/ pondlark@localhost' > /etc/postfix/pondlark-virtual",
        "echo '/@(.+\\.)?z7\\.example$/ pondlark@localhost' >> /etc/postfix/pondlark-virtual",
        "echo '/^sysop@pond\\.example$/ pondlark@localhost' >> /etc/postfix/pondlark-virtual",
        "echo '/^o'\\''hara@other\\.example$/ pondlark@localhost' >> /etc/postfix/pondlark-virtual",
        "echo '/^talk\\+list@pond\\.example$/ pondlark@localhost' >> /etc/postfix/pondlark-virtual",
        "postconf -e 'virtual_alias_domains = fidonet.example.org, .fidonet.example.org, z7.example, "
        ".z7.example, pond.example, other.example'"};
    for (const std::string& v : virtuallines)
        EXPECT_NE(std::find(lines.begin(), lines.end(), v), lines.end()) << v << "\n" << r.out;
    // Without a FidoDomain the default domain is named, and said to be no one's.
    writefile(d / "plain.cfg", "FidoAddr 2:280/5555.99\nImportMaildir " + d.path + "md\n");
    r = runpondlark({"setup", "postfix", "/config=./plain.cfg"}, d.path);
    EXPECT_NE(r.out.find("# No FidoDomain: fidonet.org is every gateway's"), std::string::npos) << r.out;
}

// The configuration block of the README passes check (with its folders
// made), and the blocks for the cycle say what keeps it from mailing
// itself.
TEST(readme, configurationandcycleblocks) {
    scratchdir d;
    const std::vector<std::pair<std::string, std::string>> spool = {
        {"/var/spool/pondlark/", d.path + "spool/"}, {"/var/spool/ftn/", d.path + "ftn/"},
        {"/var/log/pondlark/", d.path + "log/"}};
    for (const char* dir : {"spool/Maildir/new", "spool/Maildir/cur", "spool/Maildir/tmp", "spool/news",
                            "spool/in", "spool/soup", "spool/tmp", "ftn/outb", "log"})
        makedirs(d / dir);
    writefile(d / "pondlark.cfg", joined(replaced(readmeblock(CONFIG), spool)));
    runresult r = runpondlark({"check", "/config=./pondlark.cfg"}, d.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Configuration checked. Nothing more to do.\n");

    std::vector<std::string> cycle = readmeblock(CYCLE);
    std::string script = joined(cycle);
    EXPECT_EQ(cycle.front(), "#!/bin/sh");
    EXPECT_NE(script.find("export CMCONFIGFILE="), std::string::npos);
    EXPECT_NE(script.find("pondlark import && crashmail TOSSDIR /var/spool/pondlark/in"), std::string::npos);
    writefile(d / "cycle", script);
    EXPECT_EQ(runprogram("/bin/sh", {"-n", d / "cycle"}, d.path).status, 0);
    // The cron line that runs it sends its output to root, not to the
    // user pondlark whose mail the gateway takes in.
    std::string cron;
    std::ifstream in(std::string(PONDLARK_SOURCE_DIR) + "/README.md");
    for (std::string l; std::getline(in, l);) {
        if (l == "    # /etc/cron.d/pondlark") {
            std::getline(in, l);
            EXPECT_EQ(l, "    MAILTO=root");
            std::getline(in, l);
            cron = l;
        }
    }
    EXPECT_EQ(cron, "    */15 * * * *  pondlark  /etc/pondlark/cycle");
}

class readmeservers : public ::testing::Test {
   protected:
    scratchdir home;
    std::string spool;
    std::vector<std::pair<std::string, std::string>> subst;

    void SetUp() override {
        spool = home.path + "spool/";
        for (const char* dir : {"Maildir/new", "Maildir/cur", "Maildir/tmp", "news", "in", "soup", "tmp"})
            makedirs(spool + dir);
        makedirs(home / "ftn/outb");
        makedirs(home / "log");
        // Postfix delivers as nobody here: the Maildir is nobody's, as it is
        // pondlark's in the package.
        (void)runprogram("/bin/chown", {"-R", "nobody", spool + "Maildir"}, home.path);
        (void)chmod(home.path.c_str(), 0755);
        (void)chmod(spool.c_str(), 0755);
    }
    // The gateway of the README's configuration block, in the scratch folders.
    void writeconfig(const std::string& extra = "") {
        subst = {{"/var/spool/pondlark/", spool}, {"/var/spool/ftn/", home.path + "ftn/"},
                 {"/var/log/pondlark/", home.path + "log/"}};
        writefile(home / "pondlark.cfg", joined(replaced(readmeblock(CONFIG), subst)) + extra);
    }
    runresult pondlark(const std::string& command, const std::vector<std::string>& env = {}) {
        return runpondlark({command, "/config=./pondlark.cfg"}, home.path, env);
    }
    // The FidoNet messages import wrote.
    std::vector<checkedmessage> fidonet() const {
        std::vector<checkedmessage> out;
        for (const std::string& name : listtree(spool + "in")) {
            checkedpacket p = checkpacket(readfile(spool + "in/" + name));
            EXPECT_EQ(p.error, "") << name;
            out.insert(out.end(), p.messages.begin(), p.messages.end());
        }
        return out;
    }
};

// Runs the lines with /bin/sh, one after the other, stopping at the first
// that fails.
runresult runlines(const std::vector<std::string>& lines, const std::string& cwd,
                   const std::vector<std::string>& env) {
    return runprogram("/bin/sh", {"-ec", joined(lines)}, cwd, env);
}

// Submits one message to port with Python's smtplib for the recipients.
void smtpsend(int port, const std::vector<std::string>& to, const std::string& message) {
    scratchdir d;
    writefile(d / "m", message);
    std::string rcpts;
    for (const std::string& t : to) rcpts += (rcpts.empty() ? "'" : ", '") + t + "'";
    writefile(d / "send.py", "import smtplib\ns = smtplib.SMTP('127.0.0.1', " + std::to_string(port) +
                                 ")\ns.sendmail('anna@example.net', [" + rcpts + "], open('" + d.path +
                                 "m', 'rb').read())\ns.quit()\n");
    runresult r = runprogram("/usr/bin/python3", {d / "send.py"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
}

TEST_F(readmeservers, postfixasthereadmesetsitup) {
    testpostfix mta(home.path);
    // As on Debian: local mail for localhost (the recipe's alias target).
    mta.setting("mydestination = fido.test, localhost");
    std::string why;
    bool started = mta.start(why);
    REQUIRE_SERVER(started, why);
    // The README's lines, with the test's folders and user.
    std::vector<std::string> lines = replaced(readmeblock(POSTFIX), {{"/etc/postfix/", mta.etc + "/"},
                                                                    {"/var/spool/pondlark/", spool},
                                                                    {"chown pondlark ", "chown nobody "}});
    runresult r = runlines(lines, home.path, {"MAIL_CONFIG=" + mta.etc});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    writeconfig();

    // Mail to a FidoNet user's p.f.n.z address, and one to two of them.
    smtpsend(mta.port, {"Klaus.Groesser@f100.n280.z2.fidonet.example.org"},
             "From: Anna Berg <anna@example.net>\nTo: Klaus Groesser <Klaus.Groesser@f100.n280.z2.fidonet.example.org>\n"
             "Subject: Meeting\nMessage-ID: <meeting@example.net>\n\nToken klaus\n");
    smtpsend(mta.port, {"Ann.Other@p1.f100.n280.z2.fidonet.example.org", "Bob.Jones@f101.n280.z2.fidonet.example.org"},
             "From: Anna Berg <anna@example.net>\nTo: Ann.Other@p1.f100.n280.z2.fidonet.example.org\n"
             "Cc: Bob.Jones@f101.n280.z2.fidonet.example.org\nSubject: Both\nMessage-ID: <both@example.net>\n\n"
             "Token both\n");
    ASSERT_TRUE(mta.drained()) << mta.log();
    // One copy per recipient, each saying whom it is for.
    std::vector<std::string> delivered = listtree(spool + "Maildir/new");
    ASSERT_EQ(delivered.size(), 3u) << mta.log();
    int originals = 0;
    for (const std::string& f : delivered)
        originals += readfile(spool + "Maildir/new/" + f).find("\nX-Original-To: ") != std::string::npos ||
                     readfile(spool + "Maildir/new/" + f).rfind("X-Original-To: ", 0) == 0;
    EXPECT_EQ(originals, 3);

    r = pondlark("import");
    ASSERT_EQ(r.status, 0) << r.err;
    bool klaus = false;
    for (const checkedmessage& m : fidonet()) {
        if (m.text.find("Token klaus") == std::string::npos) continue;
        klaus = true;
        EXPECT_EQ(m.toname, "Klaus Groesser");
        EXPECT_EQ(m.fromname, "Anna Berg");
        EXPECT_EQ(m.destnet, 280);
        EXPECT_EQ(m.destnode, 100);
        EXPECT_NE(m.text.find("\x01REPLYADDR anna@example.net\r"), std::string::npos) << m.text;
        EXPECT_NE(m.text.find("\x01REPLYTO 2:280/5555.99 UUCP\r"), std::string::npos) << m.text;
    }
    EXPECT_TRUE(klaus) << r.err;

    // The cycle's output, mailed to the gateway's user as cron would if
    // told to, reaches no one in FidoNet: the log says so, junk/ keeps it.
    std::size_t before = fidonet().size();
    smtpsend(mta.port, {"pondlark@localhost"},
             "From: root@localhost (Cron Daemon)\nTo: pondlark@localhost\n"
             "Subject: Cron <pondlark@gate> /etc/pondlark/cycle\nX-Cron-Env: <SHELL=/bin/sh>\n"
             "X-Cron-Env: <LOGNAME=pondlark>\n\n" + r.err);
    ASSERT_TRUE(mta.drained()) << mta.log();
    r = pondlark("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fidonet().size(), before) << r.err;
    EXPECT_NE(r.err.find("! cron output, not imported"), std::string::npos) << r.err;
    EXPECT_EQ(listtree(spool + "soup/junk").size(), 1u);
}

TEST_F(readmeservers, newsbothwaysthroughinnasthereadmesetsitup) {
    testinn inn(home.path);
    inn.withfeed = false;
    std::string why;
    bool started = inn.start(why);
    REQUIRE_SERVER(started, why);
    std::string script = inn.batchscript();
    std::vector<std::string> lines =
        replaced(readmeblock(INN), {{"/etc/news/", inn.dir + "etc/"},
                                    {"/etc/cron.d/", home.path},
                                    {"/var/spool/pondlark/", spool},
                                    {"/usr/lib/pondlark/pondlark-newsbatch", script},
                                    {"-g pondlark ", "-g nogroup "},
                                    {"adduser pondlark uucp", "true"}});
    std::vector<std::string> env = {inn.env()};
    runresult r = runlines(lines, home.path, env);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // Run twice, the lines add the feed once.
    r = runlines(lines, home.path, env);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(countof(readfile(inn.dir + "etc/newsfeeds"), "\npondlark:"), 1);
    writeconfig();

    // An article from elsewhere comes in through the feed and the batch
    // script run as cron's line says (as news).
    std::string article = tokenarticle("peer", "peer@news.example", "alt.test");
    writefile(home / "peer.batch", newsbatch({article}));
    r = runprogram("/bin/sh", {"-c", "/usr/bin/rnews -N < peer.batch"}, home.path, env);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string cronline = readfile(home / "pondlark-news");
    std::string command = cronline.substr(cronline.find(" news ") + 6);
    command.pop_back();  // its line end
    std::string out;
    for (int i = 0; i < 100 && fs::is_empty(spool + "news"); ++i) {
        ASSERT_EQ(inn.runnews(command, out), 0) << out;
        if (fs::is_empty(spool + "news")) usleep(50000);
    }
    ASSERT_FALSE(fs::is_empty(spool + "news")) << out;
    r = pondlark("import");
    ASSERT_EQ(r.status, 0) << r.err;
    int peer = 0;
    for (const checkedmessage& m : fidonet()) {
        if (m.text.find("Token peer") == std::string::npos) continue;
        ++peer;
        EXPECT_EQ(m.text.rfind("AREA:PONDLARK.TEST\r", 0), 0u) << m.text;
    }
    EXPECT_EQ(peer, 1) << r.err;

    // Echomail of the gated area leaves through rnews and lands in the group.
    testmsg m;
    m.to = "All";
    m.subject = "From FidoNet";
    m.text = "AREA:PONDLARK.TEST\r\x01MSGID: 2:280/5555 1a2b3c4d\rToken fido\r";
    makedirs(home / "pkt");
    writefile(home / "pkt/0001.PKT", testpacket(fidoaddr{2, 280, 5555, 99}, {m}));
    r = runpondlark({"export", "/config=./pondlark.cfg", "/pkt=pkt"}, home.path, env);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> arts;
    for (int i = 0; i < 100; ++i) {
        arts = inn.articles("alt.test");
        bool found = false;
        for (const std::string& a : arts) found = found || a.find("Token fido") != std::string::npos;
        if (found) break;
        usleep(50000);
    }
    int fido = 0;
    for (const std::string& a : arts) fido += a.find("Token fido") != std::string::npos;
    EXPECT_EQ(fido, 1) << r.err;
}

}  // namespace

namespace {

// The tosser's lines and the cycle, with crashmail: a mail imported is
// tossed into the netmail area, and a netmail to UUCP at the gateway and
// echomail of the gated area, scanned out, reach the SOUP reply files.
TEST_F(readmeservers, thecyclewithcrashmailasthereadmesetsitup) {
    if (access("/usr/bin/crashmail", X_OK) != 0) {
        if (underci()) FAIL() << "crashmail is not installed";
        GTEST_SKIP() << "crashmail is not installed";
    }
    const std::string ftn = home.path + "ftn/";
    for (const char* dir : {"inb", "outb", "tmp", "netmail", "bad", "pondlark.test"}) makedirs(ftn + dir);
    // The system's own crashmail set-up, then the README's lines for the gateway.
    std::string prefs = "SYSOP \"Sysop Pond\"\nLOGFILE \"" + ftn + "crashmail.log\"\nLOGLEVEL 5\n"
                        "DUPEFILE \"" + ftn + "dupes\" 200\nDUPEMODE BAD\nDEFAULTZONE 2\n"
                        "INBOUND \"" + ftn + "inb\"\nOUTBOUND \"" + ftn + "outb\"\nTEMPDIR \"" + ftn +
                        "tmp\"\nCREATEPKTDIR \"" + ftn + "tmp\"\nPACKETDIR \"" + ftn + "outb\"\n"
                        "STATSFILE \"" + ftn + "stats\"\nAKA 2:280/5555\nDOMAIN \"FidoNet\"\n"
                        "NETMAIL \"NETMAIL\" 2:280/5555 MSG \"" + ftn + "netmail\"\n"
                        "AREA \"BAD\" 2:280/5555 MSG \"" + ftn + "bad\"\n";
    prefs += joined(replaced(readmeblock(TOSSER), {{"/var/spool/ftn/", ftn}}));
    writefile(home / "crashmail.prefs", prefs);
    // The gateway as the README configures it; no servers to deliver to here.
    writeconfig();
    std::string cfg = readfile(home / "pondlark.cfg");
    for (const char* key : {"SendMail ", "PostNews "}) {
        std::size_t at = cfg.find(key);
        cfg.erase(at, cfg.find('\n', at) + 1 - at);
    }
    writefile(home / "pondlark.cfg", cfg);
    const std::string bin = std::string(PONDLARK_FIXED_BIN) + " ";
    std::vector<std::string> cycle =
        replaced(readmeblock(CYCLE), {{"/etc/crashmail/crashmail.prefs", home.path + "crashmail.prefs"},
                                      {"/var/spool/pondlark/", spool},
                                      {"pondlark import", bin + "import /config=./pondlark.cfg"},
                                      {"pondlark export", bin + "export /config=./pondlark.cfg"}});
    writefile(home / "cycle", joined(cycle));

    // In: a mail for the sysop. Out: a netmail to UUCP at the gateway with
    // a To: line, and echomail in the gated area, written on this system.
    writefile(spool + "Maildir/new/1.A.gate",
              "From: Anna Berg <anna@example.net>\nTo: Sysop.Pond@f5555.n280.z2.fidonet.example.org\n"
              "Subject: Hello\nMessage-ID: <hello@example.net>\n\nToken in\n");
    testmsg out;
    out.attr = 0x0101;  // private, written here
    out.to = "UUCP";
    out.subject = "Meeting";
    out.text = "\x01INTL 2:280/5555 2:280/100\r\x01TOPT 99\r\x01MSGID: 2:280/100 11223344\r"
               "To: anna@example.net\r\rToken out\r";
    writefile(ftn + "netmail/2.msg", storedmessage(280, 5555, out));
    testmsg echo;
    echo.attr = 0x0100;
    echo.to = "All";
    echo.subject = "Echo";
    echo.text = "AREA:PONDLARK.TEST\r\x01MSGID: 2:280/5555 55667788\rToken echo\r--- GoldED\r"
                " * Origin: Pond & Lark (2:280/5555)\r";
    writefile(ftn + "pondlark.test/2.msg", storedmessage(0, 0, echo));

    runresult r = runprogram("/bin/sh", {home / "cycle"}, home.path);
    ASSERT_EQ(r.status, 0) << r.out << r.err << readfile(ftn + "crashmail.log");
    int tossed = 0;
    for (const std::string& f : listtree(ftn + "netmail"))
        tossed += readfile(ftn + "netmail/" + f).find("Token in\r") != std::string::npos;
    EXPECT_EQ(tossed, 1) << r.out << r.err;
    std::vector<std::string> mail = souprecords(spool + "soup/MAIL0000.MSG");
    ASSERT_EQ(mail.size(), 1u) << r.out << r.err << readfile(ftn + "crashmail.log");
    EXPECT_EQ(mail[0].rfind("To: anna@example.net\n", 0), 0u) << mail[0];
    EXPECT_NE(mail[0].find("\nFrom: Jim.Node@f100.n280.z2.fidonet.example.org (Jim Node)\n"), std::string::npos)
        << mail[0];
    std::vector<std::string> news = souprecords(spool + "soup/NEWS0000.MSG");
    ASSERT_EQ(news.size(), 1u) << r.err;
    EXPECT_EQ(news[0].rfind("Newsgroups: alt.test\n", 0), 0u) << news[0];
    EXPECT_EQ(news[0].find("SEEN-BY"), std::string::npos) << news[0];
}

}  // namespace
