// The folders PondLark shares with other programs (the SOUP folder, the
// outbound, a Maildir, the news batch folder) cannot be turned against it:
// a link planted in place of any file or folder it uses, or a journal or
// staging plan crafted to name other files, never makes a run read, write,
// rename or remove anything outside them. Each case plants one such thing
// next to files outside the gateway's folders, runs the real program and
// finds those files as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "durable/journal.h"
#include "durable/recovery.h"
#include "faults/faultkit.h"
#include "transport/transporttest.h"

namespace {

// What lies outside the gateway's folders: a plain file, a folder, and a
// valid news batch and mail that must never be taken in from there.
struct outsidefiles {
    std::string dir;  // ends in "/"
    explicit outsidefiles(const std::string& d) : dir(d) {
        makedirs(dir + "d");
        writefile(dir + "v", "precious\n");
        writefile(dir + "batch", newsbatch({tokenarticle("outbatch", "ob@news.example", "alt.test")}));
        std::string mail = tokenmail("outmail", "om@net.example");
        std::string len(4, '\0');
        for (int i = 0; i < 4; ++i) len[i] = static_cast<char>((mail.size() >> (24 - 8 * i)) & 0xff);
        writefile(dir + "mail", len + mail);
        writefile(dir + "flo", "^" + dir + "v\n");
    }
    std::vector<std::string> snapshot() const {
        std::vector<std::string> s;
        for (const std::string& f : listtree(dir)) s.push_back(f + "=" + readfile(dir + f));
        return s;
    }
};

struct sharedcase {
    const char* name;
    std::string extra;  // configuration lines
    std::function<void(gateway&, const outsidefiles&)> plant;
    std::vector<std::string> args;
    std::string said;  // in what the run reports; "" for nothing in particular
};

void link(const std::string& target, const std::string& at) {
    ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at;
}

void maildirwith(gateway& g) {
    for (const char* d : {"md/new", "md/cur", "md/tmp"}) makedirs(g.path(d));
    writefile(g.path("md/new/100.A.host"), tokenmail("m1", "m1@net.example"));
}

void packetforexport(gateway& g) {
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), ftnpacket(GATE, {{"f1", 300}, {"f2", 200, true}}));
}

// An executable that takes a message and answers with an exit status.
std::string sendscript(gateway& g, int status) {
    std::string p = g.path("send.sh");
    writefile(p, "#!/bin/sh\ncat >/dev/null\nexit " + std::to_string(status) + "\n");
    chmod(p.c_str(), 0755);
    return p;
}

std::string craftedjournal(const outsidefiles& o, const std::string& soup) {
    fileid id = identify(o.dir + "v");
    std::string idtext = std::to_string(id.ino) + ":" + std::to_string(id.size) + ":" + std::to_string(id.mtime);
    return encoderecord('H', {"PondLark journal", "1", "import", "1", "0"}) +
           encoderecord('B', {"1", "import", soup + "0000001.MSG", "0:0:0"}) +
           encoderecord('X', {o.dir + "v", idtext}) +
           encoderecord('M', {o.dir + "mail", o.dir + "d/mail", "0:0:0"}) +
           encoderecord('Z', {soup + "../../outside/flo", "0", std::to_string(identify(o.dir + "flo").ino)}) +
           encoderecord('C', {"1"}) + encoderecord('B', {"2", "import", soup + "0000002.MSG", "0:0:0"}) +
           encoderecord('S', {o.dir + "batch", "0", std::to_string(identify(o.dir + "batch").ino)}) +
           encoderecord('O', {o.dir + "v", o.dir + "w", "p"});
}

const sharedcase CASES[] = {
    {"journal is a link", "", [](gateway& g, const outsidefiles& o) { link(o.dir + "v", g.path("soup/pondlark.jnl")); },
     {"import"}, "is not a journal of PondLark's (a link)"},
    {"journal names files outside", "",
     [](gateway& g, const outsidefiles& o) { writefile(g.path("soup/pondlark.jnl"), craftedjournal(o, "./soup/")); },
     {"import"}, "outside the folders of the configuration"},
    {"staging plan names files outside", "ImportNewsBatches ./nb\n",
     [](gateway& g, const outsidefiles& o) {
         makedirs(g.path("nb"));
         writefile(g.path("soup/pondlark.stg"),
                   "PondLark staging plan 1\narea\t../../outside/mail\tEmail\tbn\nremove\t" + o.dir + "\t\tv\n"
                   "setaside\t./nb/\t\t../../outside/batch\nremove\t./nb/\t\t../outside/flo\nend\n");
     },
     {"import"}, "outside the folders of the configuration: left alone"},
    {"staging plan is a link", "ImportMaildir ./md\n",
     [](gateway& g, const outsidefiles& o) {
         maildirwith(g);
         link(o.dir + "v", g.path("soup/pondlark.stg"));
     },
     {"import"}, "pondlark.stg is damaged"},
    {"history is a link", "ImportMaildir ./md\n",
     [](gateway& g, const outsidefiles& o) {
         maildirwith(g);
         link(o.dir + "v", g.path("soup/pondlark.his"));
     },
     {"import"}, ""},
    {"temporary of the history is a link", "ImportMaildir ./md\n",
     [](gateway& g, const outsidefiles& o) {
         maildirwith(g);
         // An expired line makes the run write the history anew.
         writefile(g.path("soup/pondlark.his"), "1\t<old@net.example>\n");
         link(o.dir + "v", g.path("soup/pondlark.his.plnew"));
     },
     {"import"}, ""},
    {"temporary of AREAS is a link", "ImportMaildir ./md\n",
     [](gateway& g, const outsidefiles& o) {
         maildirwith(g);
         link(o.dir + "v", g.path("soup/AREAS.plnew"));
     },
     {"import"}, ""},
    {"AREAS is a link", "",
     [](gateway& g, const outsidefiles& o) {
         link(o.dir + "v", g.path("soup/AREAS"));
     },
     {"import"}, "./soup/AREAS is a link: not read"},
    {"SOUP message file is a link", "",
     [](gateway& g, const outsidefiles& o) {
         writefile(g.path("soup/AREAS"), "0000001\tEmail\tbn\n");
         link(o.dir + "mail", g.path("soup/0000001.MSG"));
     },
     {"import"}, "0000001.MSG is a link: left alone"},
    {"Maildir cur/ is a link", "ImportMaildir ./md\n",
     [](gateway& g, const outsidefiles& o) {
         for (const char* d : {"md/new", "md/tmp"}) makedirs(g.path(d));
         writefile(g.path("md/new/100.A.host"), tokenmail("m1", "m1@net.example"));
         link(o.dir + "d", g.path("md/cur"));
     },
     {"import"}, "can't read Maildir ./md/"},
    {"news batch is a link", "ImportNewsBatches ./nb\n",
     [](gateway& g, const outsidefiles& o) {
         makedirs(g.path("nb"));
         link(o.dir + "batch", g.path("nb/pondlark.1"));
     },
     {"import"}, "./nb/pondlark.1 is a link: left alone"},
    {"busy flag's temporary is a link", "",
     [](gateway& g, const outsidefiles& o) {
         writefile(g.path("out/011815B3.OUT"), ftnpacket(GATE, {{"b1", 300}}));
         link(o.dir + "v", g.path("out/011815B3.BSY.tmp"));
     },
     {"export"}, ""},
    {"flow file is a link", "",
     [](gateway& g, const outsidefiles& o) {
         writefile(g.path("out/011815B3.OUT"), ftnpacket(GATE, {{"b1", 300}}));
         link(o.dir + "flo", g.path("out/011815B3.FLO"));
     },
     {"export"}, ""},
    {"zone folder is a link", "BaseZone 1\n",
     [](gateway& g, const outsidefiles& o) {
         writefile(o.dir + "d/011815B3.OUT", ftnpacket(GATE, {{"z1", 300}}));
         link(o.dir + "d", g.path("out.002"));
     },
     {"export"}, ""},
    {"REPLIES is a link", "",
     [](gateway& g, const outsidefiles& o) {
         packetforexport(g);
         link(o.dir + "v", g.path("soup/REPLIES"));
     },
     {"export", "/pkt=./pkt"}, ""},
    {"delivery log is a link", "",
     [](gateway& g, const outsidefiles& o) {
         packetforexport(g);
         writefile(g.path("gate.cfg"), readfile(g.path("gate.cfg")) + "SendMail " + sendscript(g, 0) + "\n");
         link(o.dir + "v", g.path("soup/pondlark.dlv"));
     },
     {"export", "/pkt=./pkt"}, "pondlark.dlv"},
    {"rejected/ is a link", "",
     [](gateway& g, const outsidefiles& o) {
         packetforexport(g);
         writefile(g.path("gate.cfg"), readfile(g.path("gate.cfg")) + "SendMail " + sendscript(g, 67) + "\n");
         link(o.dir + "d", g.path("soup/rejected"));
     },
     {"export", "/pkt=./pkt"}, "rejected/ is not a folder"},
};

class sharedfolders : public ::testing::TestWithParam<std::size_t> {};

TEST_P(sharedfolders, nothingoutsideistouched) {
    const sharedcase& c = CASES[GetParam()];
    gateway g(c.extra);
    outsidefiles o(g.path("outside/"));
    c.plant(g, o);
    std::vector<std::string> before = o.snapshot();
    runresult r = g.run(c.args[0], std::vector<std::string>(c.args.begin() + 1, c.args.end()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(o.snapshot(), before) << r.err;
    if (!c.said.empty()) {
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
    std::map<std::string, int> seen = g.tokens();
    EXPECT_EQ(seen.count("outbatch") + seen.count("outmail"), 0u) << "taken in from outside";
}

INSTANTIATE_TEST_SUITE_P(planted, sharedfolders, ::testing::Range<std::size_t>(0, std::size(CASES)),
                         [](const ::testing::TestParamInfo<std::size_t>& i) {
                             return testname(CASES[i.param].name);
                         });

// A message whose seen name in cur/ is taken by another file: that file
// stays as it is, and the message is taken in once all the same.
TEST(sharedfolders, markingseennevereplacesafile) {
    gateway g("ImportMaildir ./md\n");
    maildirwith(g);
    writefile(g.path("md/cur/100.A.host:2,S"), "another program's file\n");
    runresult r = g.run("import");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readfile(g.path("md/cur/100.A.host:2,S")), "another program's file\n");
    EXPECT_TRUE(fileexists(g.path("md/new/100.A.host")));
    EXPECT_NE(r.err.find("! can't mark ./md/new/100.A.host as taken in"), std::string::npos) << r.err;
    EXPECT_EQ(g.tokens()["m1"], 1);
    // Taken in again, it is a dupe by its Message-ID.
    r = g.run("import");
    EXPECT_EQ(g.tokens()["m1"], 1) << r.err;
}

}  // namespace
