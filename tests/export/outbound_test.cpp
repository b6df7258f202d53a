// The outbound source with what end-to-end data cannot show: reply files
// that refuse writes, files that cannot be read, the busy flag while a run
// holds it, and the names the outbound is searched under. Test mode and
// held mail are in the golden cases outbound_test and outbound_gateway.
#include "export/outbound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/runstate.h"
#include "export/expstate.h"
#include "export/outnames.h"
#include "export/sourcetest.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "pkt/pktlayout.h"

namespace {

const fidoaddr GATE{2, 280, 5555, 0};

class outboundtest : public sourcetest {
   protected:
    void exportgateway() {
        curmsg.routing = ROUTING_GATEWAY;
        binkexport(GATE, "");
    }
};

TEST_F(outboundtest, basenamesfollowzoneandpoint) {
    struct {
        std::uint16_t basezone;
        fidoaddr addr;
        const char* name;
    } cases[] = {
        {1, {1, 2, 3, 4}, "out/00020003.PNT/00000004"},
        {1, {2, 2, 3, 0}, "out.002/00020003"},
        {0, {2, 2, 3, 0}, "out/00020003"},  // no BaseZone: no zone folders
        {2, {26, 0x118, 0x15B3, 0}, "out.01A/011815B3"},
        {2, {2, 0xFFFF, 0xABCD, 0x10}, "out/FFFFABCD.PNT/00000010"},
    };
    for (const auto& c : cases) {
        cfg.outdir = "out/";
        cfg.basezone = c.basezone;
        EXPECT_EQ(outbasename(c.addr), c.name) << c.name;
    }
}

TEST_F(outboundtest, zoneandpointfoldersarefoundinanycase) {
    cfg.basezone = 2;
    makedirs(dir / "out.001");
    makedirs(dir / "OUT.001");
    makedirs(dir / "out/011815b3.pnt");
    std::vector<outbase> zone = findoutbases({1, 105, 42, 0});
    ASSERT_EQ(zone.size(), 2u);
    EXPECT_EQ(zone[0].dir, dir / "OUT.001/");
    EXPECT_EQ(zone[1].dir, dir / "out.001/");
    EXPECT_EQ(zone[0].stem, "0069002A");
    std::vector<outbase> point = findoutbases({2, 280, 5555, 7});
    ASSERT_EQ(point.size(), 1u);
    EXPECT_EQ(point[0].dir, dir / "out/011815b3.pnt/");
    EXPECT_EQ(point[0].stem, "00000007");
    EXPECT_TRUE(findoutbases({2, 280, 5556, 7}).empty());
}

TEST_F(outboundtest, afailedreplykeepsthepacketandtheflowfile) {
    std::string pkt = testpacket(GATE, {testmsg{}});
    writefile(dir / "out/011815B3.OUT", pkt);
    writefile(dir / "files/notice.txt", "notice");
    std::string flow = "^" + (dir / "files/notice.txt") + "\n";
    writefile(dir / "out/011815B3.FLO", flow);
    failreplies(REPLY_MAIL);
    exportgateway();
    EXPECT_EQ(readfile(dir / "out/011815B3.OUT"), pkt);
    EXPECT_EQ(readfile(dir / "out/011815B3.FLO"), flow);
    EXPECT_TRUE(fileexists(dir / "files/notice.txt"));
    EXPECT_EQ(listtree(dir / "tmp").size(), 0u);
    EXPECT_FALSE(fileexists(dir / "out/011815B3.BSY"));
    // The next run, with room on the disk, sends both once.
    healreplies(REPLY_MAIL);
    exportgateway();
    EXPECT_EQ(listtree(dir / "out").size(), 0u);
    EXPECT_FALSE(fileexists(dir / "files/notice.txt"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 2);
}

// A packet whose second message cannot be written keeps only that message,
// so that the next run does not send the first one twice.
TEST_F(outboundtest, akeptpacketholdsonlythemessagesnotyetexported) {
    testmsg mail, news;
    news.to = "All";
    news.text = "AREA:PONDLARK.TEST\rNews.\r";
    tables.areamap.push_back({"PONDLARK.TEST", "alt.test", DIR_BOTH, {}, 0, {}});
    std::string pkt = testpacket(GATE, {mail, news});
    writefile(dir / "out/011815b3.out", pkt);
    failreplies(REPLY_NEWS);
    exportgateway();
    std::string left = pkt.substr(0, PKTHDRSIZE) + packedmessage(GATE, news) + std::string(2, '\0');
    EXPECT_EQ(readfile(dir / "out/011815b3.out"), left);
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
    healreplies(REPLY_NEWS);
    exportgateway();
    EXPECT_FALSE(fileexists(dir / "out/011815b3.out"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
    EXPECT_EQ(replyrecords(replyfile(REPLY_NEWS)), 1);
}

// A flow file whose packet was exported but one of whose files could not
// be sent keeps only that file's line.
TEST_F(outboundtest, aflowfilekeepsonlythelinesleft) {
    writefile(dir / "files/listed.pkt", testpacket(GATE, {testmsg{}}));
    writefile(dir / "files/sent.txt", "sent");
    // /proc/self/mem opens but cannot be read at its start.
    writefile(dir / "out/011815B3.FLO",
              dir / "files/listed.pkt\r\n/proc/self/mem\r\n#" + dir / "files/sent.txt");
    exportgateway();
    EXPECT_EQ(readfile(dir / "out/011815B3.FLO"), "/proc/self/mem\r\n");
    EXPECT_FALSE(fileexists(dir / "files/listed.pkt"));
    EXPECT_EQ(readfile(dir / "files/sent.txt"), "");
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 2);
    // Still unreadable: the flow file stays as it is, and nothing is sent twice.
    exportgateway();
    EXPECT_EQ(readfile(dir / "out/011815B3.FLO"), "/proc/self/mem\r\n");
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 2);
    EXPECT_EQ(listtree(dir / "tmp").size(), 0u);
}

// Two messages of a packet claim a file listed to be deleted once sent: it
// goes with the first only, and is deleted when the packet is done.
TEST_F(outboundtest, afiletobedeletedgoesonce) {
    writefile(dir / "files/a.txt", "a");
    testmsg m;
    m.attr = 0x0011;
    m.subject = dir / "files/a.txt";
    writefile(dir / "out/011815B3.OUT", testpacket(GATE, {m, m}));
    writefile(dir / "out/011815B3.FLO", "^" + dir / "files/a.txt\n");
    exportgateway();
    EXPECT_FALSE(fileexists(dir / "files/a.txt"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 2);
    std::string replies = readfile(replyfile(REPLY_MAIL));
    std::size_t first = replies.find("name=\"a.txt\"");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(replies.find("name=\"a.txt\"", first + 1), std::string::npos);
}

// While a mail packet waits for the next run, the files of its flavour
// wait too: one of its messages may be the one that claims them.
TEST_F(outboundtest, listedfileswaitforafailedmailpacket) {
    writefile(dir / "out/011815B3.OUT", testpacket(GATE, {testmsg{}}));
    writefile(dir / "files/a.txt", "a");
    writefile(dir / "out/011815B3.FLO", dir / "files/a.txt\n");
    failreplies(REPLY_MAIL);
    exportgateway();
    EXPECT_TRUE(fileexists(dir / "out/011815B3.OUT"));
    EXPECT_EQ(readfile(dir / "out/011815B3.FLO"), dir / "files/a.txt\n");
}

TEST_F(outboundtest, abusyaddressisskippedwhateverthecaseofitsflag) {
    for (const char* flag : {"011815B3.BSY", "011815b3.bsy", "011815b3.Bsy"}) {
        std::string pkt = testpacket(GATE, {testmsg{}});
        writefile(dir / "out/011815B3.OUT", pkt);
        std::string path = dir / (std::string("out/") + flag);
        writefile(path, "");
        testing::internal::CaptureStderr();
        exportgateway();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "! 2:280/5555 busy (" + path + "): skipped\n") << flag;
        EXPECT_EQ(readfile(dir / "out/011815B3.OUT"), pkt);
        EXPECT_TRUE(fileexists(path));
        std::remove(path.c_str());
    }
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 0);
}

// The run holds the busy flag in the letter case of the files it exports:
// a file listed in the flow file that names the flag finds it there.
TEST_F(outboundtest, therunholdsthebusyflagwhileexporting) {
    for (const char* c : {"upper", "lower"}) {
        bool lower = std::string(c) == "lower";
        std::string flag = dir / (lower ? "out/011815b3.bsy" : "out/011815B3.BSY");
        writefile(dir / (lower ? "out/011815b3.flo" : "out/011815B3.FLO"), flag + "\n");
        exportgateway();
        EXPECT_FALSE(fileexists(flag)) << c;
        EXPECT_EQ(listtree(dir / "out").size(), 0u) << c;
    }
    std::string reply = readfile(replyfile(REPLY_MAIL));
    EXPECT_NE(reply.find("name=\"011815B3.BSY\""), std::string::npos);
    EXPECT_NE(reply.find("name=\"011815b3.bsy\""), std::string::npos);
}

TEST_F(outboundtest, nothingqueuedleavesnoflag) {
    makedirs(dir / "out/011815B3.PNT");
    exportgateway();
    binkexport({2, 280, 5555, 1}, "point@pond.example");
    EXPECT_EQ(listtree(dir / "out").size(), 0u);
}

TEST_F(outboundtest, afilewithoutatemporarypacketwaits) {
    cfg.tempdir = dir / "missing/";
    writefile(dir / "files/a.txt", "a");
    writefile(dir / "out/011815B3.FLO", dir / "files/a.txt\n");
    exportgateway();
    EXPECT_EQ(readfile(dir / "out/011815B3.FLO"), dir / "files/a.txt\n");
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 0);
}

// A listed path too long for a subject is named by its base name, which
// still finds the file in the attachment list.
TEST_F(outboundtest, alongpathisattachedbyitsbasename) {
    std::string deep = dir / "files/" + std::string(80, 'd') + "/";
    makedirs(deep);
    writefile(deep + "report.txt", "report");
    writefile(dir / "out/011815B3.FLO", "^" + deep + "report.txt");
    exportgateway();
    EXPECT_FALSE(fileexists(deep + "report.txt"));
    EXPECT_FALSE(fileexists(dir / "out/011815B3.FLO"));
    std::string reply = readfile(replyfile(REPLY_MAIL));
    EXPECT_NE(reply.find("Subject: report.txt\n"), std::string::npos);
    EXPECT_NE(reply.find("name=\"report.txt\""), std::string::npos);
}

// Listed files that share a base name are different files: each is sent
// once, under its own message, with its own content - whether its message
// names it by its whole path or, too long for a subject, by its base name.
TEST_F(outboundtest, filesofthesamebasenameareeachsentonce) {
    std::string deep = dir / "files/" + std::string(80, 'd') + "/";
    makedirs(deep);
    writefile(dir / "a/notes.txt", "first");
    writefile(dir / "b/notes.txt", "second");
    writefile(deep + "notes.txt", "third");
    writefile(dir / "out/011815B3.FLO",
              dir / "a/notes.txt\n" + dir / "b/notes.txt\n" + deep + "notes.txt\n");
    exportgateway();
    EXPECT_FALSE(fileexists(dir / "out/011815B3.FLO"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 3);
    std::string reply = readfile(replyfile(REPLY_MAIL));
    for (const char* base64 : {"Zmlyc3Q=\n", "c2Vjb25k\n", "dGhpcmQ=\n"}) {
        std::size_t at = reply.find(base64);
        EXPECT_NE(at, std::string::npos) << base64;
        EXPECT_EQ(reply.find(base64, at + 1), std::string::npos) << base64;
    }
}

// A listed name may hold spaces, which otherwise part the names of a
// subject: the message made for it must still carry the file, once.
TEST_F(outboundtest, alistednamewithspacesissent) {
    std::string deep = dir / "files/" + std::string(80, 'd') + "/";
    makedirs(deep);
    writefile(dir / "files/my notes.txt", "first");
    writefile(deep + "old notes.txt", "second");
    writefile(dir / "out/011815B3.FLO",
              "^" + dir / "files/my notes.txt\n" + deep + "old notes.txt\n");
    exportgateway();
    EXPECT_FALSE(fileexists(dir / "out/011815B3.FLO"));
    EXPECT_FALSE(fileexists(dir / "files/my notes.txt"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 2);
    std::string reply = readfile(replyfile(REPLY_MAIL));
    EXPECT_NE(reply.find("name=\"my notes.txt\""), std::string::npos);
    EXPECT_NE(reply.find("name=\"old notes.txt\""), std::string::npos);
    EXPECT_NE(reply.find("Zmlyc3Q=\n"), std::string::npos);
    EXPECT_NE(reply.find("c2Vjb25k\n"), std::string::npos);
}

}  // namespace
