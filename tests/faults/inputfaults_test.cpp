// Damaged or missing inputs: a directory that is a file, an AREAS line
// whose message file vanished, message files and packets cut off in the
// middle of a message, a stored message shorter than its header. Each
// case runs twice: the first run reports what it met, and after both runs
// every message that could be read has arrived exactly once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "faults/faultkit.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

std::string rfc822(const std::string& subject) {
    return "From: Bob <bob@net.example>\nTo: sysop@pond.example\nSubject: " + subject + "\n\n" +
           filler(300, static_cast<int>(subject.size())) + "Ends " + subject + ".\n";
}

// A SOUP message file of the format, one message per subject.
std::string msgfile(char format, const std::vector<std::string>& subjects) {
    std::vector<std::string> texts;
    for (const std::string& s : subjects)
        texts.push_back((format == 'u' ? "Newsgroups: alt.test\n" : "") + rfc822(s));
    return soupfile(format, texts);
}

std::string cut(const std::string& s, std::size_t n) {
    return s.substr(0, s.size() - n);
}

// A soup directory with AREAS and the message files given (prefix, text).
void soup(const std::string& dir, const std::string& areas,
          const std::map<std::string, std::string>& files) {
    writefile(dir + "soup/AREAS", areas);
    for (const auto& [prefix, text] : files) writefile(dir + "soup/" + prefix + ".MSG", text);
}

struct inputcase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(const std::string&)> setup;  // the scratch folder, config written
    int status;                                     // of the first run
    const char* report;                             // a line of the first run's output
    std::vector<std::string> once;  // messages that arrive exactly once over both runs
    std::vector<std::string> left;  // files that are there after both runs
};

const std::vector<std::string> IMPORT = {"import", "/config=./gate.cfg"};
const std::vector<std::string> EXPORTPKT = {"export", "/config=./gate.cfg", "/pkt=./pkt"};
const std::vector<std::string> EXPORT = {"export", "/config=./gate.cfg"};

const std::vector<inputcase> CASES = {
    {"inbound directory is a file",
     IMPORT,
     [](const std::string& d) {
         std::remove((d + "in").c_str());
         rmdir((d + "in").c_str());
         writefile(d + "in", "not a directory");
         soup(d, "0000001\tEmail\tmn\n", {{"0000001", msgfile('m', {"i1"})}});
     },
     1,
     "FATAL ERROR: subdirectory ./in does not exist\n",
     {},
     {"soup/0000001.MSG", "soup/AREAS"}},
    {"SOUP directory is a file on import",
     IMPORT,
     [](const std::string& d) {
         rmdir((d + "soup").c_str());
         writefile(d + "soup", "not a directory");
     },
     1,
     "FATAL ERROR: subdirectory ./soup does not exist\n",
     {},
     {"soup"}},
    {"SOUP directory is a file on export",
     EXPORTPKT,
     [](const std::string& d) {
         rmdir((d + "soup").c_str());
         writefile(d + "soup", "not a directory");
         writefile(d + "pkt/0001.PKT", ftnpacket(GATE, {{"x1", 100}}));
     },
     1,
     "FATAL ERROR: subdirectory ./soup does not exist\n",
     {},
     {"pkt/0001.PKT", "soup"}},
    {"packet directory is a file",
     {"export", "/config=./gate.cfg", "/pkt=./pkt/0001.PKT"},
     [](const std::string& d) {
         writefile(d + "pkt/0001.PKT", ftnpacket(GATE, {{"x1", 100}}));
     },
     0,
     "No outbound messages found. Nothing to do.\n",
     {},
     {"pkt/0001.PKT"}},
    {"AREAS names a message file that vanished",
     IMPORT,
     [](const std::string& d) {
         soup(d, "0000001\tEmail\tmn\n0000002\tEmail\tmn\n0000003\tEmail\tbn\n",
              {{"0000001", msgfile('m', {"v1", "v2"})}, {"0000003", msgfile('b', {"v3"})}});
     },
     0,
     "Error reading ./soup/0000002.MSG\n",
     {"v1", "v2", "v3"},
     {}},
    // Unreadable like a damaged file: set aside for the operator.
    {"a message file that is a directory",
     IMPORT,
     [](const std::string& d) {
         makedirs(d + "soup/0000002.MSG");
         soup(d, "0000001\tEmail\tmn\n0000002\tEmail\tmn\n0000003\tEmail\tmn\n",
              {{"0000001", msgfile('m', {"w1"})}, {"0000003", msgfile('m', {"w3"})}});
     },
     0,
     "! Error in message file ./soup/0000002.MSG, renamed to ./soup/0000002.BAD\n",
     {"w1", "w3"},
     {"soup/0000002.BAD"}},
    {"binary message file cut in the middle of a message",
     IMPORT,
     [](const std::string& d) {
         soup(d, "0000001\tEmail\tbn\n", {{"0000001", cut(msgfile('b', {"b1", "b2", "b3"}), 40)}});
     },
     0,
     "! Error in message file ./soup/0000001.MSG, renamed to ./soup/0000001.BAD\n",
     {"b1", "b2"},
     {"soup/0000001.BAD"}},
    {"USENET batch cut in the middle of a message",
     IMPORT,
     [](const std::string& d) {
         soup(d, "0000001\talt.test\tun\n",
              {{"0000001", cut(msgfile('u', {"u1", "u2", "u3"}), 200)}});
     },
     0,
     "! Error in message file ./soup/0000001.MSG, renamed to ./soup/0000001.BAD\n",
     {"u1", "u2"},
     {"soup/0000001.BAD"}},
    {"binary message file cut in the length of a message",
     IMPORT,
     [](const std::string& d) {
         soup(d, "0000001\tEmail\tbn\n",
              {{"0000001", msgfile('b', {"c1", "c2"}) + std::string(2, '\0')}});
     },
     0,
     "-> 2 message(s) imported\n",
     {"c1", "c2"},
     {}},
    {"mailbox cut in the middle of a message",
     IMPORT,
     [](const std::string& d) {
         soup(d, "0000001\tEmail\tmn\n", {{"0000001", cut(msgfile('m', {"m1", "m2"}), 150)}});
     },
     0,
     "-> 2 message(s) imported\n",
     {"m1", "m2"},
     {}},
    {"packet cut in the middle of a message",
     EXPORTPKT,
     [](const std::string& d) {
         writefile(d + "pkt/0001.PKT", ftnpacket(GATE, {{"k1", 300}}));
         writefile(d + "pkt/0002.PKT",
                   cut(ftnpacket(GATE, {{"k2", 300}, {"k3", 600, true}, {"k4", 300}}), 100));
     },
     0,
     "! packet ./pkt/0002.PKT ends in the middle of a message, renamed to ./pkt/0002.BAD\n",
     {"k1", "k2", "k3"},
     {"pkt/0002.BAD"}},
    {"packet cut in a message header",
     EXPORTPKT,
     [](const std::string& d) {
         std::string p = ftnpacket(GATE, {{"h1", 300}, {"h2", 300}});
         std::string one = ftnpacket(GATE, {{"h1", 300}});
         writefile(d + "pkt/0001.PKT", p.substr(0, one.size() - 2 + 20));
     },
     0,
     "! packet ./pkt/0001.PKT ends in the middle of a message, renamed to ./pkt/0001.BAD\n",
     {"h1"},
     {"pkt/0001.BAD"}},
    {"outbound packet cut in the middle of a message",
     EXPORT,
     [](const std::string& d) {
         writefile(d + "out/011815B3.OUT", cut(ftnpacket(GATE, {{"o1", 300}, {"o2", 400}}), 50));
         writefile(d + "out/011815B3.CUT", ftnpacket(GATE, {{"o3", 300}}));
     },
     0,
     "! packet ./out/011815B3.OUT ends in the middle of a message, renamed to "
     "./out/011815B3.BAD\n",
     {"o1", "o3"},
     {"out/011815B3.BAD"}},
    {"stored message shorter than its header",
     EXPORT,
     [](const std::string& d) {
         writegate(d, "MailerType ArcMail\n");
         writefile(d + "net/1.MSG", ftnstored({"s1", 300}, 0x0001).substr(0, 150));
         writefile(d + "net/2.MSG", ftnstored({"s2", 300}, 0x0001));
     },
     0,
     "Exporting netmail message from 2:280/100 to 2:280/5555\n",
     {"s2"},
     {"net/1.MSG"}},
    {"stored message cut in its text",
     EXPORT,
     [](const std::string& d) {
         writegate(d, "MailerType ArcMail\n");
         writefile(d + "net/1.MSG", cut(ftnstored({"t1", 300}, 0x0081), 100));
     },
     0,
     "-> 1 messages exported\n",
     {"t1"},
     {}},
};

class inputfaults : public ::testing::TestWithParam<std::size_t> {};

// Messages delivered: subjects in sound packets of the inbound for import,
// tokens in registered reply files for export.
std::map<std::string, int> delivered(const std::string& dir, const std::vector<std::string>& names,
                                     bool import) {
    std::map<std::string, int> seen;
    if (import) {
        for (const std::string& name : listtree(dir + "in")) {
            checkedpacket p = checkpacket(readfile(dir + "in/" + name));
            EXPECT_EQ(p.error, "") << name;
            for (const checkedmessage& m : p.messages) ++seen[m.subject];
        }
        return seen;
    }
    for (const std::string& m : soundreplies(dir + "soup/")) counttokens(m, names, "\n", seen);
    return seen;
}

TEST_P(inputfaults, whatcanbereadarrivesonce) {
    const inputcase& c = CASES[GetParam()];
    SCOPED_TRACE(c.name);
    scratchdir dir;
    writegate(dir.path);
    makedirs(dir / "pkt");
    c.setup(dir.path);
    std::map<std::string, std::string> before;
    for (const std::string& f : c.left)
        if (fileexists(dir / f)) before[f] = readfile(dir / f);

    runresult r = runpondlark(c.args, dir.path);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.report), std::string::npos) << r.err;
    runresult again = runpondlark(c.args, dir.path);
    EXPECT_EQ(again.status, c.status) << again.err;

    bool import = c.args[0] == "import";
    EXPECT_EQ(notonce(c.once, delivered(dir.path, c.once, import)), "") << r.err << again.err;
    for (const std::string& f : c.left) {
        EXPECT_TRUE(fileexists(dir / f)) << f << " is gone";
        if (before.count(f)) {
            EXPECT_EQ(readfile(dir / f), before[f]) << f << " changed";
        }
    }
    EXPECT_EQ(listtree(dir / "tmp"), std::vector<std::string>{});
}

std::string casename(const ::testing::TestParamInfo<std::size_t>& info) {
    return testname(CASES[info.param].name);
}

INSTANTIATE_TEST_SUITE_P(faults, inputfaults, ::testing::Range<std::size_t>(0, CASES.size()),
                         casename);

}  // namespace
