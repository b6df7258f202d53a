// Damaged or missing inputs: a directory that is a file, an AREAS line
// whose message file vanished, message files and packets cut off in the
// middle of a message, a stored message shorter than its header. Each
// case runs twice: the first run reports what it met, and after both runs
// every message that could be read has arrived exactly once.
#include <gtest/gtest.h>

#include <algorithm>
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

// The SOUP directory: AREAS lines for the message files 0000001, 0000002,
// ... in the formats given ('m', 'b' or 'u'), each written with its text
// unless that is empty.
void soup(const std::string& d, const std::string& formats, const std::vector<std::string>& texts) {
    std::string areas;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        std::string prefix = "000000" + std::to_string(i + 1);
        areas += prefix +
                 (formats[i] == 'u' ? "\talt.test\tu" : "\tEmail\t" + formats.substr(i, 1)) + "n\n";
        if (i < texts.size() && !texts[i].empty())
            writefile(d + "soup/" + prefix + ".MSG", texts[i]);
    }
    writefile(d + "soup/AREAS", areas);
}

// A file where the gateway expects an empty directory.
void notadir(const std::string& path) {
    std::remove(path.c_str());
    writefile(path, "not a directory");
}

void put(const std::string& path, const std::vector<ftnmsg>& msgs, std::size_t cutoff = 0) {
    writefile(path, cut(ftnpacket(GATE, msgs), cutoff));
}

std::string nodir(const std::string& dir) {
    return "FATAL ERROR: subdirectory ./" + dir + " does not exist\n";
}

std::string badmsg(const std::string& prefix) {
    return "! Error in message file ./soup/" + prefix + ".MSG, renamed to ./soup/" + prefix +
           ".BAD\n";
}

std::string badpkt(const std::string& name, const std::string& ext) {
    return "! packet ./" + name + "." + ext + " ends in the middle of a message, renamed to ./" +
           name + ".BAD\n";
}

struct inputcase {
    const char* name;
    const char* run;                                // the command and its arguments but /config
    int status;                                     // of the first run
    std::string report;                             // a line of the first run's output
    std::vector<std::string> once;                  // messages that arrive once over both runs
    std::vector<std::string> left;                  // files that are there after both runs
    std::function<void(const std::string&)> setup;  // in the scratch folder, gate.cfg written
};

// clang-format off
const std::vector<inputcase> CASES = {
    {"inbound directory is a file", "import", 1, nodir("in"), {}, {"soup/0000001.MSG", "soup/AREAS"},
     [](auto d) { notadir(d + "in"); soup(d, "m", {msgfile('m', {"i1"})}); }},
    {"SOUP directory is a file on import", "import", 1, nodir("soup"), {}, {"soup"},
     [](auto d) { notadir(d + "soup"); }},
    {"SOUP directory is a file on export", "export /pkt=./pkt", 1, nodir("soup"), {}, {"pkt/0001.PKT", "soup"},
     [](auto d) { notadir(d + "soup"); put(d + "pkt/0001.PKT", {{"x1", 100}}); }},
    {"packet directory is a file", "export /pkt=./pkt/0001.PKT", 1, nodir("pkt/0001.PKT"), {}, {"pkt/0001.PKT"},
     [](auto d) { put(d + "pkt/0001.PKT", {{"x1", 100}}); }},
    {"AREAS names a message file that vanished", "import", 0, "Error reading ./soup/0000002.MSG\n", {"v1", "v2", "v3"}, {},
     [](auto d) { soup(d, "mmb", {msgfile('m', {"v1", "v2"}), "", msgfile('b', {"v3"})}); }},
    // Unreadable like a damaged file: set aside for the operator.
    {"a message file that is a directory", "import", 0, badmsg("0000002"), {"w1", "w3"}, {"soup/0000002.BAD"},
     [](auto d) { makedirs(d + "soup/0000002.MSG"); soup(d, "mmm", {msgfile('m', {"w1"}), "", msgfile('m', {"w3"})}); }},
    {"binary message file cut in the middle of a message", "import", 0, badmsg("0000001"), {"b1", "b2"}, {"soup/0000001.BAD"},
     [](auto d) { soup(d, "b", {cut(msgfile('b', {"b1", "b2", "b3"}), 40)}); }},
    {"USENET batch cut in the middle of a message", "import", 0, badmsg("0000001"), {"u1", "u2"}, {"soup/0000001.BAD"},
     [](auto d) { soup(d, "u", {cut(msgfile('u', {"u1", "u2", "u3"}), 200)}); }},
    {"binary message file cut in the length of a message", "import", 0, "-> 2 message(s) imported\n", {"c1", "c2"}, {},
     [](auto d) { soup(d, "b", {msgfile('b', {"c1", "c2"}) + std::string(2, '\0')}); }},
    {"mailbox cut in the middle of a message", "import", 0, "-> 2 message(s) imported\n", {"m1", "m2"}, {},
     [](auto d) { soup(d, "m", {cut(msgfile('m', {"m1", "m2"}), 150)}); }},
    {"packet cut in the middle of a message", "export /pkt=./pkt", 0, badpkt("pkt/0002", "PKT"), {"k1", "k2", "k3"}, {"pkt/0002.BAD"},
     [](auto d) { put(d + "pkt/0001.PKT", {{"k1", 300}}); put(d + "pkt/0002.PKT", {{"k2", 300}, {"k3", 600, true}, {"k4", 300}}, 100); }},
    // Cut 20 bytes into the second message's header.
    {"packet cut in a message header", "export /pkt=./pkt", 0, badpkt("pkt/0001", "PKT"), {"h1"}, {"pkt/0001.BAD"},
     [](auto d) { writefile(d + "pkt/0001.PKT", ftnpacket(GATE, {{"h1", 300}, {"h2", 300}}).substr(0, ftnpacket(GATE, {{"h1", 300}}).size() + 18)); }},
    {"outbound packet cut in the middle of a message", "export", 0, badpkt("out/011815B3", "OUT"), {"o1", "o3"}, {"out/011815B3.BAD"},
     [](auto d) { put(d + "out/011815B3.OUT", {{"o1", 300}, {"o2", 400}}, 50); put(d + "out/011815B3.CUT", {{"o3", 300}}); }},
    {"stored message shorter than its header", "export", 0, "Exporting netmail message from 2:280/100 to 2:280/5555\n", {"s2"}, {"net/1.MSG"},
     [](auto d) {
         writegate(d, "MailerType ArcMail\n");
         writefile(d + "net/1.MSG", ftnstored({"s1", 300}, 0x0001).substr(0, 150));
         writefile(d + "net/2.MSG", ftnstored({"s2", 300}, 0x0001));
     }},
    {"stored message cut in its text", "export", 0, "-> 1 messages exported\n", {"t1"}, {},
     [](auto d) { writegate(d, "MailerType ArcMail\n"); writefile(d + "net/1.MSG", cut(ftnstored({"t1", 300}, 0x0081), 100)); }},
};
// clang-format on

class inputfaults : public ::testing::TestWithParam<std::size_t> {};

// Each case runs twice. Messages arrive in sound packets of the inbound
// (known by their subjects) on import, in registered reply files (known by
// their tokens) on export.
TEST_P(inputfaults, whatcanbereadarrivesonce) {
    const inputcase& c = CASES[GetParam()];
    scratchdir dir;
    writegate(dir.path);
    makedirs(dir / "pkt");
    c.setup(dir.path);
    std::map<std::string, std::string> before;
    for (const std::string& f : c.left)
        if (fileexists(dir / f)) before[f] = readfile(dir / f);
    std::string run = c.run;
    std::size_t space = std::min(run.find(' '), run.size());
    std::vector<std::string> args = {run.substr(0, space), "/config=./gate.cfg"};
    if (space < run.size()) args.push_back(run.substr(space + 1));

    runresult r = runpondlark(args, dir.path);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.report), std::string::npos) << r.err;
    runresult again = runpondlark(args, dir.path);
    EXPECT_EQ(again.status, c.status) << again.err;

    std::map<std::string, int> seen;
    if (args[0] == "import") {
        for (const std::string& name : listtree(dir / "in")) {
            checkedpacket p = checkpacket(readfile(dir / ("in/" + name)));
            EXPECT_EQ(p.error, "") << name;
            for (const checkedmessage& m : p.messages) ++seen[m.subject];
        }
    } else {
        for (const std::string& m : soundreplies(dir / "soup/")) counttokens(m, c.once, "\n", seen);
    }
    EXPECT_EQ(notonce(c.once, seen), "") << r.err << again.err;
    for (const std::string& f : c.left) {
        EXPECT_TRUE(fileexists(dir / f)) << f << " is gone";
        if (before.count(f)) {
            EXPECT_EQ(readfile(dir / f), before[f]) << f << " changed";
        }
    }
    EXPECT_EQ(listtree(dir / "tmp"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(faults, inputfaults, ::testing::Range<std::size_t>(0, CASES.size()),
                         [](const auto& i) { return testname(CASES[i.param].name); });

}  // namespace
