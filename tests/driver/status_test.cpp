// pondlark status on a gateway with something in every state: a reply put
// off, one refused, a bounce, a failed run, an interrupted one, a run
// busy now; as text and as JSON, with the exit status cron alarms on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "faults/faultkit.h"
#include "support/testutil.h"
#include "transport/transporttest.h"

namespace {

void queue(const gateway& g, const std::vector<std::string>& messages) {
    std::string data;
    for (const std::string& m : messages) {
        unsigned char be[4] = {static_cast<unsigned char>(m.size() >> 24), static_cast<unsigned char>(m.size() >> 16),
                               static_cast<unsigned char>(m.size() >> 8), static_cast<unsigned char>(m.size())};
        data += std::string(reinterpret_cast<char*>(be), 4) + m;
    }
    writefile(g.path("soup/MAIL0000.MSG"), data);
    writefile(g.path("soup/REPLIES"), "MAIL0000\tmail\tbn\n");
}

std::string reply(const std::string& id, const std::string& to) {
    return "From: sysop@pond.example (Sysop Pond)\nTo: " + to + "\nSubject: Reply " + id +
           "\nMessage-ID: <" + id + "@f5555.n280.z2.fidonet.org>\n\nText of " + id + "\n";
}

class statustest : public ::testing::Test {
   protected:
    // The files' times are the machine's: the runs' clock is set to it.
    std::time_t now = std::time(nullptr);
    std::unique_ptr<gateway> g;
    void SetUp() override {
        g = std::make_unique<gateway>("SendMail ./send.sh\n");
    }
    runresult at(std::time_t t, const std::vector<std::string>& args) {
        return runpondlark(args, g->dir, {"PONDLARK_TEST_NOW=" + std::to_string(t)});
    }
};

TEST_F(statustest, whatwaitswhatfailedandhowcronseesit) {
    // A mail program that refuses one reply for good and puts off the other.
    std::string cfg = readfile(g->path("gate.cfg"));
    writefile(g->path("gate.cfg"), cfg.replace(cfg.find("./send.sh"), 9, g->path("send.sh")));
    writefile(g->path("send.sh"), "#!/bin/sh\nif grep -q 'Subject: Reply never' ; then echo 'no such user' ; exit 67 ; fi\n"
                                  "echo 'queue full' ; exit 75\n");
    chmod(g->path("send.sh").c_str(), 0755);
    queue(*g, {reply("never", "nobody@net.example"), reply("later", "somebody@net.example")});
    runresult r = at(now, {"export", "/config=./gate.cfg", "/pkt=soup"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The refused reply's file bears the machine's time, which may have
    // passed a second beyond the run's fixed clock.
    for (const auto& e : std::filesystem::directory_iterator(g->path("soup/rejected"))) {
        struct timespec times[2] = {{now, 0}, {now, 0}};
        utimensat(AT_FDCWD, e.path().c_str(), times, 0);
    }

    // An hour later all is well: things wait, none too long.
    r = at(now + 3600, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* s : {"Mail replies waiting:  1 (oldest 60 minutes)\n", "News replies waiting:  none\n",
                          "Refused replies:       1 (oldest 60 minutes) in ./soup/rejected/\n",
                          "Put off: <later@f5555.n280.z2.fidonet.org> (mail) for somebody@net.example since ",
                          "last answer: " , "exit status 75: queue full\n", "Bounces sent today:    1\n",
                          "Last import:  none recorded\n", "Last export:  ", ", ok\n", "All is well.\n"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;

    // A day later it says what waits too long, and cron hears it.
    r = at(now + 25 * 3600, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("! mail replies wait since "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("! 1 refused replies wait for the sysop in ./soup/rejected/\n"), std::string::npos) << r.out;
    runresult j = at(now + 25 * 3600, {"status", "/json", "/config=./gate.cfg"});
    EXPECT_EQ(j.status, 1);
    writefile(g->path("status.json"), j.out);
    writefile(g->path("check.py"),
              "import json, sys\nd = json.load(open(sys.argv[1]))\n"
              "assert d['status'] == 1, d\nassert d['replies']['mail']['count'] == 1, d\n"
              "assert d['replies']['mail']['age'] == 25 * 3600, d\nassert d['rejected']['count'] == 1, d\n"
              "assert d['deferred'][0]['recipients'] == ['somebody@net.example'], d\n"
              "assert d['deferred'][0]['answer'].endswith('exit status 75: queue full'), d\n"
              "assert d['bounces']['today'] == 0, d\nassert d['runs']['export']['result'] == 'ok', d\n"
              "assert len(d['problems']) == 2, d\nassert d['servers'] == {}, d\n");
    runresult py = runprogram("/usr/bin/python3", {g->path("check.py"), g->path("status.json")}, g->dir);
    EXPECT_EQ(py.status, 0) << py.err << j.out;
}

TEST_F(statustest, afailedrunaninterruptedoneandabusyone) {
    runresult r = at(now, {"import", "/config=./gate.cfg"});
    ASSERT_EQ(r.status, 0) << r.err;
    writefile(g->path("soup/pondlark.run"), std::to_string(now) + "\timport\t" + std::to_string(now) +
                                                "\tfailed\t1\tError writing packet ./in/00000000.PKT\n");
    r = at(now, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Last import:  "), std::string::npos);
    EXPECT_NE(r.out.find(", failed (Error writing packet ./in/00000000.PKT)\n"), std::string::npos) << r.out;
    // The next import goes well.
    r = at(now, {"import", "/config=./gate.cfg"});
    r = at(now, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 0) << r.out;

    // A journal left by a killed run is a problem; while a run works, the
    // journal is its own and status still answers.
    writefile(g->path("soup/pondlark.jnl"), "garbage");
    int fd = open(g->path("soup").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    r = at(now, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("A run is working on ./soup/ now.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Journal:               7 bytes\n"), std::string::npos) << r.out;
    close(fd);
}

TEST_F(statustest, abrokengatewayistwo) {
    runresult r = at(now, {"status", "/config=./missing.cfg"});
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    r = at(now, {"status", "/json", "/config=./missing.cfg"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("\"status\": 2"), std::string::npos) << r.out;
    rmdir(g->path("in").c_str());
    r = at(now, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("! InboundDir ./in/ does not exist\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The gateway cannot work.\n"), std::string::npos) << r.out;
    // "s" stays show; status reads only: it leaves no record of a run.
    EXPECT_FALSE(fileexists(g->path("soup/pondlark.run")));
}

// Per news server: each group fetched, how far and when; a group not
// fetched for longer than WarnHours needs the sysop.
TEST_F(statustest, newsserversgroupsandhowfartheyweretaken) {
    g = std::make_unique<gateway>("NewsServer news nntp://127.0.0.1:1199\n"
                                  "AreaMap POND.A pond.a server=news\nAreaMap POND.B pond.b server=news\n"
                                  "AreaMap POND.OUT pond.out export server=news\n");
    writefile(g->path("soup/pondlark.hwm"), "news\tpond.a\t1234\t" + std::to_string(now - 3600) + "\n");
    runresult r = at(now, {"status", "/config=./gate.cfg"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("News server news, pond.a (POND.A): article 1234, fetched "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("News server news, pond.b (POND.B): not fetched yet\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("pond.out"), std::string::npos) << r.out;
    runresult j = at(now + 25 * 3600, {"status", "/json", "/config=./gate.cfg"});
    EXPECT_EQ(j.status, 1) << j.out;
    writefile(g->path("status.json"), j.out);
    writefile(g->path("check.py"),
              "import json, sys\nd = json.load(open(sys.argv[1]))\ns = d['servers']['news']\n"
              "assert s['host'] == '127.0.0.1' and s['port'] == 1199, s\n"
              "assert [x['group'] for x in s['groups']] == ['pond.a', 'pond.b'], s\n"
              "assert s['groups'][0]['high'] == 1234 and s['groups'][0]['fetched'], s\n"
              "assert s['groups'][1]['high'] is None and s['groups'][1]['fetched'] is None, s\n"
              "assert any('pond.a not fetched since' in p for p in d['problems']), d\n");
    runresult py = runprogram("/usr/bin/python3", {g->path("check.py"), g->path("status.json")}, g->dir);
    EXPECT_EQ(py.status, 0) << py.err << j.out;
}

// The README's cron line, run as cron runs it: no mail while all is well,
// a mail with the report when the gateway needs the sysop.
TEST_F(statustest, thereadmescronlinemailsthesysop) {
    std::string readme = readfile(std::string(PONDLARK_SOURCE_DIR) + "/README.md");
    std::size_t at = readme.find("0 * * * *  pondlark  ");
    ASSERT_NE(at, std::string::npos);
    std::string line = readme.substr(at, readme.find('\n', at) - at);
    std::string command = line.substr(std::string("0 * * * *  pondlark  ").size());
    ASSERT_NE(command.find("pondlark status"), std::string::npos) << line;
    std::string bin = g->path("bin/");
    makedirs(bin);
    ASSERT_EQ(symlink(PONDLARK_FIXED_BIN, (bin + "pondlark").c_str()), 0);
    writefile(bin + "pondlark.cfg", readfile(g->path("gate.cfg")));
    writefile(bin + "mail", "#!/bin/sh\necho \"$@\" > \"$MAILED\"\ncat >> \"$MAILED\"\n");
    chmod((bin + "mail").c_str(), 0755);
    std::vector<std::string> env = {"PATH=" + bin + ":/usr/bin:/bin", "MAILED=" + g->path("mailed"),
                                    "PONDLARK_TEST_NOW=" + std::to_string(now)};
    runresult r = runprogram("/bin/sh", {"-c", command}, g->dir, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fileexists(g->path("mailed")));
    rmdir(g->path("in").c_str());
    r = runprogram("/bin/sh", {"-c", command}, g->dir, env);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string mailed = readfile(g->path("mailed"));
    EXPECT_EQ(mailed.rfind("-s PondLark needs the sysop root\nPondLark status at ", 0), 0u) << mailed;
    EXPECT_NE(mailed.find("! InboundDir ./in/ does not exist\n"), std::string::npos) << mailed;
}

}  // namespace
