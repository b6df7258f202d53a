// Import with the inbound directory on a disk that fills up: in the middle
// of a packet, of a packet header, of a decoded attachment. Whatever the
// point, every SOUP message file is either consumed with all its messages
// in complete packets, or kept as it was with nothing of it left in the
// inbound; and a second run on a freed disk completes the work, each
// message exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "faults/faultkit.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

struct soupmsg {
    std::string subject;
    std::size_t textsize = 300;  // bytes of body text
    std::size_t attachsize = 0;  // a base64 file of this many bytes instead, when not 0
};

struct soupfiledesc {
    std::string prefix;
    char format = 'm';  // 'm' mailbox, 'b' binary mail, 'u' USENET batch of news
    std::vector<soupmsg> msgs;
};

struct importcase {
    const char* name;
    const char* config;  // further configuration lines
    std::vector<soupfiledesc> files;
};

std::string attachname(const soupmsg& m) {
    return m.subject + ".bin";
}

std::string attachdata(const soupmsg& m) {
    int seed = 0;
    for (char ch : m.subject) seed = seed * 131 + ch;
    return filebytes(m.attachsize, seed);
}

std::string messagetext(const soupfiledesc& f, const soupmsg& m) {
    std::string h = f.format == 'u' ? "From: Carol <carol@news.example>\nNewsgroups: alt.test\n"
                                    : "From: Bob <bob@net.example>\nTo: sysop@pond.example\n";
    h += "Subject: " + m.subject + "\nDate: Tue, 14 Sep 1999 10:00:00 +0000\n";
    if (m.attachsize == 0) return h + "\n" + filler(m.textsize, static_cast<int>(m.textsize));
    return h + "MIME-Version: 1.0\nContent-Type: application/octet-stream; name=" + attachname(m) +
           "\nContent-Transfer-Encoding: base64\n\n" + base64(attachdata(m));
}

std::string filetext(const soupfiledesc& f) {
    std::vector<std::string> texts;
    for (const soupmsg& m : f.msgs) texts.push_back(messagetext(f, m));
    return soupfile(f.format, texts);
}

std::string areasline(const soupfiledesc& f) {
    if (f.format == 'u') return f.prefix + "\talt.test\tun\n";
    return f.prefix + "\tEmail\t" + std::string(1, f.format) + "n\n";
}

// A scratch gateway whose inbound directory lives on a small disk (or on
// the ordinary one, for runs under a file size limit).
struct importworld {
    scratchdir dir;
    std::optional<smalldisk> disk;
    const importcase& c;

    importworld(const importcase& ic, bool mount) : c(ic) {
        if (mount) disk.emplace(dir / "disk", 256);
        if (mount && !disk->ready()) return;
        writegate(dir.path, c.config, "disk/in");
        std::string areas;
        for (const soupfiledesc& f : c.files) {
            areas += areasline(f);
            writefile(dir / ("soup/" + f.prefix + ".MSG"), filetext(f));
        }
        writefile(dir / "soup/AREAS", areas);
    }

    runresult run() { return runpondlark({"import", "/config=./gate.cfg"}, dir.path); }

    // What the inbound holds: subjects of the messages in sound packets and
    // complete decoded files; anything damaged or unknown is a failure.
    void inbound(std::map<std::string, int>& subjects, std::map<std::string, int>& files) {
        std::map<std::string, std::string> expected;
        for (const soupfiledesc& f : c.files)
            for (const soupmsg& m : f.msgs)
                if (m.attachsize) expected[attachname(m)] = attachdata(m);
        for (const std::string& name : listtree(dir / "disk/in")) {
            std::string bytes = readfile(dir / ("disk/in/" + name));
            if (name.size() > 4 && name.substr(name.size() - 4) == ".PKT") {
                checkedpacket p = checkpacket(bytes);
                EXPECT_EQ(p.error, "") << "damaged packet " << name;
                for (const checkedmessage& m : p.messages) {
                    // A message that brought a file is named after the file.
                    std::string s = m.subject;
                    if (s.size() > 4 && s.substr(s.size() - 4) == ".bin") s.resize(s.size() - 4);
                    ++subjects[s];
                    // A file that could not be made stays in the text, encoded.
                    for (const auto& [file, data] : expected)
                        if (m.text.find(base64(data).substr(0, 76)) != std::string::npos)
                            ++files[file];
                }
                continue;
            }
            auto it = expected.find(name);
            if (it == expected.end()) {
                ADD_FAILURE() << "unknown file in the inbound: " << name;
            } else if (it->second != bytes) {
                ADD_FAILURE() << "damaged decoded file " << name << " (" << bytes.size() << " of "
                              << it->second.size() << " bytes)";
            } else {
                ++files[name];
            }
        }
    }

    static constexpr const char* DISKFULL = "Error writing ";

    // Each message file is consumed with every message of it once in the
    // inbound, or kept untouched with none; returns true when none is kept.
    bool finished(const std::string& log, bool mustfinish) {
        std::map<std::string, int> subjects, files;
        inbound(subjects, files);
        std::string areas = fileexists(dir / "soup/AREAS") ? readfile(dir / "soup/AREAS") : "";
        int kept = 0;
        for (const soupfiledesc& f : c.files) {
            std::string path = dir / ("soup/" + f.prefix + ".MSG");
            bool stays = fileexists(path);
            kept += stays ? 1 : 0;
            if (stays) {
                EXPECT_FALSE(mustfinish) << f.prefix << " not imported by the second run";
                EXPECT_EQ(readfile(path), filetext(f)) << f.prefix << " kept but changed";
                EXPECT_NE(areas.find(areasline(f)), std::string::npos)
                    << f.prefix << " lost from AREAS";
                EXPECT_NE(log.find("! Message file ./soup/" + f.prefix +
                                   ".MSG kept, to be imported again"),
                          std::string::npos)
                    << "the log does not say " << f.prefix << " was kept";
            }
            for (const soupmsg& m : f.msgs) {
                int want = stays ? 0 : 1;
                EXPECT_EQ(subjects[m.subject], want)
                    << m.subject << (stays ? " of a kept file" : "");
                if (m.attachsize) {
                    EXPECT_EQ(files[attachname(m)], want) << attachname(m);
                }
            }
        }
        if (kept == 0) {
            EXPECT_FALSE(fileexists(dir / "soup/AREAS"));
        }
        for (const std::string& name : listtree(dir / "soup")) {
            // A run that could not write its journal leaves it to the next.
            bool journal = name == "pondlark.jnl" && !mustfinish &&
                           log.find("the journal can't be written") != std::string::npos;
            // The record of runs says how the run went.
            EXPECT_TRUE(name == "AREAS" || name.find(".MSG") == 7 || journal || name == "pondlark.run")
                << "left in the SOUP directory: " << name;
        }
        return kept == 0;
    }
};

// clang-format off
const std::vector<importcase> CASES = {
    {"packets roll over at MaxPKTSize", "MaxPKTSize 4\n",
     {{"0000001", 'm', {{"a1", 900}, {"a2", 2500}, {"a3", 200}, {"a4", 3100}}},
      {"0000002", 'b', {{"b1", 1700}, {"b2", 4000}, {"b3", 600}}},
      {"0000003", 'u', {{"c1", 1200}, {"c2", 2600}, {"c3", 900}, {"c4", 300}}}}},
    {"one packet per message file", "",
     {{"0000001", 'm', {{"d1", 3000}, {"d2", 5000}, {"d3", 2200}}}, {"0000002", 'm', {{"e1", 7000}, {"e2", 150}}}}},
    {"decoded attachments", "",
     {{"0000001", 'm', {{"f1", 200, 3000}, {"f2", 500}, {"f3", 200, 9000}}},
      {"0000002", 'm', {{"g1", 200, 6000}, {"g2", 200, 100}, {"g3", 300}}}}},
};
// clang-format on

class importfaults : public ::testing::TestWithParam<std::tuple<std::size_t, fillkind>> {};

// The disk is filled so that 0, 1, 2, ... pages (or files) stay free, or
// no file may grow past a limit. A packet that cannot be made keeps its
// message file; a decoded file that cannot be made leaves the attachment
// encoded in the message text.
TEST_P(importfaults, everymessagefileisconsumedwholeorkept) {
    const auto [index, kind] = GetParam();
    SCOPED_TRACE(CASES[index].name);
    if (kind == FILESIZE) {
        sweepfilesize<importworld>("disk/in/", {1, 30, 60}, CASES[index]);
    } else {
        sweepdisk<importworld>(kind, CASES[index]);
    }
}

INSTANTIATE_TEST_SUITE_P(faults, importfaults,
                         ::testing::Combine(::testing::Range<std::size_t>(0, CASES.size()),
                                            ::testing::Values(PAGES, FILES, FILESIZE)),
                         sweepname(CASES));

struct trafficcase {
    const char* name;
    bool separate;  // SeparateMSG: each reply in a file of its own
    bool soupfull;  // the SOUP directory is on the small disk, else the inbound
};

// List commands and a posting, then a message too big for a packet on the
// small disk, in one message file.
struct trafficworld {
    scratchdir dir;
    std::optional<smalldisk> disk;
    std::string soup, list;

    trafficworld(const trafficcase& c, bool mount) : soup(c.soupfull ? "disk/soup/" : "soup/") {
        if (mount) disk.emplace(dir / "disk", 64);
        writegate(dir.path,
                  std::string("ListConfig ./birds.lst\n") + (c.separate ? "SeparateMSG Yes\n" : ""),
                  c.soupfull ? "in" : "disk/in", soup);
        list = birdlist(dir.path) +
               "ListUsers\n+\namy@net.example\n\n1\n\n+\nbob@net.example\n\n1\nbobpw\n";
        writefile(dir / "birds.lst", list);
        writefile(dir / (soup + "AREAS"), "0000001\tEmail\tmn\n");
        writefile(dir / (soup + "0000001.MSG"),
                  birdmail("carl@net.example", "subscribe") +
                      birdmail("amy@net.example", "unsubscribe") +
                      birdmail("bob@net.example", "changepass newpw") +
                      birdmail("bob@net.example", "herons") +
                      "From x Tue Sep 14 10:00:00 1999\nFrom: Bob <bob@net.example>\n"
                      "To: sysop@pond.example\nSubject: big\n\n" +
                      filler(9000, 1));
    }

    runresult run() { return runpondlark({"import", "/config=./gate.cfg"}, dir.path); }

    int count(const std::string& text) {
        int n = 0;
        for (const std::string& m : soundreplies(dir / soup)) n += countof(m, text);
        return n;
    }

    static constexpr const char* DISKFULL = "Error";

    // Nothing of the message file done while it is kept, all of it once
    // when it is gone; returns true when it is gone.
    bool finished(const std::string& log, bool) {
        bool done = !fileexists(dir / (soup + "0000001.MSG"));
        listview v = readlistfile(readfile(dir / "birds.lst"));
        EXPECT_EQ(v.problem, "");
        if (!done) {
            EXPECT_NE(log.find("! Message file ./" + soup + "0000001.MSG kept"), std::string::npos)
                << log;
            EXPECT_EQ(readfile(dir / "birds.lst"), list);
            EXPECT_EQ(count("Seen: "), 0);
            for (const auto& t : BIRDREPLIES) EXPECT_EQ(count(t[1]), 0) << t[0];
            return false;
        }
        EXPECT_EQ(v.live, (std::map<std::string, std::string>{{"bob@net.example", "newpw"},
                                                              {"carl@net.example", ""}}));
        EXPECT_EQ(count("Seen: herons"), 1);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(count(BIRDREPLIES[i][1]), i < 3 ? 1 : 0) << BIRDREPLIES[i][0];
        return true;
    }
};

class listtraffic : public ::testing::TestWithParam<trafficcase> {};

// The message file is kept when anything of it cannot be written, and with
// it everything it did is taken back, the replies and the changes to the
// list file included. The next run then does it all once: each command is
// answered as the first time, and nothing twice.
TEST_P(listtraffic, ofakeptmessagefileisdoneonce) {
    sweepdisk<trafficworld>(PAGES, GetParam());
}

INSTANTIATE_TEST_SUITE_P(faults, listtraffic,
                         ::testing::Values(trafficcase{"inboundfull", false, false},
                                           trafficcase{"inboundfull_separatemsg", true, false},
                                           trafficcase{"soupfull", false, true},
                                           trafficcase{"soupfull_separatemsg", true, true}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
