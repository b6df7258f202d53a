// The export driver and packet reader with the parts that end-to-end data
// cannot reach: a reply file that refuses writes, an attachment that cannot
// be read, and the attachment list that the mailer-side sources fill.
#include "export/exportrun.h"

#include <gtest/gtest.h>

#include "base/fileio.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/counters.h"
#include "driver/runstate.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "export/sourcetest.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "pkt/pktlayout.h"

namespace {

const fidoaddr GATE{2, 280, 5555, 0};

class exporttest : public sourcetest {
   protected:
    void SetUp() override {
        sourcetest::SetUp();
        makedirs(dir / "pkt");
        run.packetdir = dir / "pkt/";
    }
    // A packet to the gateway of msgs.
    static std::string packet(const std::vector<testmsg>& msgs) { return testpacket(GATE, msgs); }
    // Reads a packet through exportpkt the way the outbound sources do.
    int readpacket(const std::string& bytes, int routing, int flowlistvalid) {
        writefile(dir / "p.pkt", bytes);
        fileptr f = openfile(dir / "p.pkt", "rb");
        curmsg.routing = routing;
        return exportpkt(f.get(), flowlistvalid);
    }
    std::string mailfile() { return replyfile(REPLY_MAIL); }
};

TEST_F(exporttest, apacketstayswhenitsreplycannotbewritten) {
    writefile(dir / "pkt/0001.PKT", packet({testmsg{}, testmsg{}}));
    failreplies(REPLY_MAIL);
    pktexport();
    EXPECT_TRUE(fileexists(dir / "pkt/0001.PKT"));
    EXPECT_EQ(stats.messagecount, 0);
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 0);
}

TEST_F(exporttest, awrittenpacketisremovedbutnotundertest) {
    writefile(dir / "pkt/0001.PKT", packet({testmsg{}, testmsg{}}));
    run.testmode = 1;
    pktexport();
    EXPECT_TRUE(fileexists(dir / "pkt/0001.PKT"));
    run.testmode = 0;
    pktexport();
    EXPECT_FALSE(fileexists(dir / "pkt/0001.PKT"));
    EXPECT_EQ(replyrecords(mailfile()), 4);
}

TEST_F(exporttest, areaderrorinanattachmentsendsnothinganddeletesnothing) {
    // /proc/self/mem opens but cannot be read at its start.
    ASSERT_EQ(addflowfile("^/proc/self/mem"), 0);
    writefile(dir / "in/ok.txt", "fine");
    ASSERT_EQ(addflowfile("^" + (dir / "in/ok.txt")), 0);
    testmsg m;
    m.attr = MSGATTR_PRIVATE | MSGATTR_FILEATTACHED;
    m.subject = "ok.txt mem";
    EXPECT_EQ(readpacket(packet({m}), ROUTING_GATEWAY, 1), PKT_FAILED);
    EXPECT_FALSE(fileexists(mailfile()));
    EXPECT_EQ(expstate.flowfilelist[0].kind, FLOW_FILE);
    EXPECT_EQ(expstate.flowfilelist[1].kind, FLOW_FILE);
    EXPECT_EQ(readfile(dir / "in/ok.txt"), "fine");
}

TEST_F(exporttest, listedfilesareattachedfromanywhereandmarkeddone) {
    makedirs(dir / "outbound");
    writefile(dir / "outbound/report.txt", "report");
    writefile(dir / "outbound/0000FFFF.PKT", "packet");
    ASSERT_EQ(addflowfile(dir / "outbound/0000FFFF.PKT"), 0);
    ASSERT_EQ(addflowfile("^" + (dir / "outbound/report.txt")), 0);
    testmsg m;
    m.attr = MSGATTR_PRIVATE | MSGATTR_FILEATTACHED;
    m.subject = "0000ffff.pkt REPORT.TXT";
    EXPECT_EQ(readpacket(packet({m}), ROUTING_GATEWAY, 1), PKT_EXPORTED);
    // For the gateway the source exports listed packets itself.
    EXPECT_EQ(expstate.flowfilelist[0].kind, FLOW_PACKET);
    EXPECT_EQ(expstate.flowfilelist[1].kind, FLOW_DONE);
    EXPECT_FALSE(fileexists(dir / "outbound/report.txt"));
    std::string reply = readfile(mailfile());
    EXPECT_NE(reply.find("name=\"report.txt\""), std::string::npos);
    EXPECT_EQ(reply.find("name=\"0000FFFF.PKT\""), std::string::npos);
}

// With files attached the text is one part of a multipart message: a line
// of the text that reads as its boundary would end that part for every
// reader, and what follows it would pass for a part of its own (a file the
// sender never attached). The text keeps its line, moved by a blank.
TEST_F(exporttest, thetextcannotendamultipartmessage) {
    writefile(dir / "in/ok.txt", "fine");
    ASSERT_EQ(addflowfile(dir / "in/ok.txt"), 0);
    testmsg m;
    m.attr = MSGATTR_PRIVATE | MSGATTR_FILEATTACHED;
    m.subject = "ok.txt";
    m.text = "hi\r--+=PondLark=+\rContent-Type: application/x-evil\r\r--+=PondLark=+--\r";
    EXPECT_EQ(readpacket(packet({m}), ROUTING_GATEWAY, 1), PKT_EXPORTED);
    std::string reply = readfile(mailfile());
    std::size_t count = 0;
    for (std::size_t at = reply.find("\n--+=PondLark=+"); at != std::string::npos;
         at = reply.find("\n--+=PondLark=+", at + 1))
        ++count;
    // The text's part, the file's part and the close.
    EXPECT_EQ(count, 3u) << reply;
    EXPECT_NE(reply.find("\nhi\n --+=PondLark=+\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("name=\"ok.txt\""), std::string::npos) << reply;
}

TEST_F(exporttest, anemptyfileattachissentonlywhenitcarriesfiles) {
    testmsg m;
    m.attr = MSGATTR_PRIVATE | MSGATTR_FILEATTACHED;
    m.subject = "0000FFFF.PKT";
    m.text = "\x01PID: x\r";
    ASSERT_EQ(addflowfile(dir / "0000FFFF.PKT"), 0);
    // Only a packet for the gateway: nothing to send.
    EXPECT_EQ(readpacket(packet({m}), ROUTING_GATEWAY, 1), PKT_EXPORTED);
    EXPECT_EQ(stats.messagecount, 0);
    // Without a valid list the message is empty as well.
    EXPECT_EQ(readpacket(packet({m}), ROUTING_ROUTE, 0), PKT_EXPORTED);
    EXPECT_EQ(stats.messagecount, 0);
    // For a route the packet is the mail to send.
    writefile(dir / "0000FFFF.PKT", "bundle");
    EXPECT_EQ(readpacket(packet({m}), ROUTING_ROUTE, 1), PKT_EXPORTED);
    EXPECT_EQ(stats.messagecount, 1);
}

TEST_F(exporttest, aknownroutingstateiskept) {
    tables.route.push_back({{2, 280, 9999, 0}, "far@uplink.example", "", ""});
    // For a route whose values the source has loaded, the packet's own
    // destination is not looked at.
    loadroute(tables.route[0]);
    EXPECT_EQ(readpacket(packet({testmsg{}}), ROUTING_ROUTE, 0), PKT_EXPORTED);
    EXPECT_NE(readfile(mailfile()).find("To: far@uplink.example (someone@example.com)\n"),
              std::string::npos);
    // Unknown: the header's destination chooses, here the gateway.
    EXPECT_EQ(readpacket(packet({testmsg{}}), ROUTING_UNKNOWN, 0), PKT_EXPORTED);
    EXPECT_EQ(curmsg.routing, ROUTING_GATEWAY);
}

TEST_F(exporttest, everymessageforarouteleavesfortheroute) {
    tables.route.push_back({{2, 280, 9999, 0}, "far@uplink.example", "", ""});
    tables.maillist.push_back({"BIRDS", "birds@lists.example", "", "[birds]", "", ""});
    loadroute(tables.route[0]);
    testmsg gated;
    gated.text = "AREA:BIRDS\rLarks.\r";
    EXPECT_EQ(readpacket(packet({gated, testmsg{}}), ROUTING_ROUTE, 0), PKT_EXPORTED);
    std::string reply = readfile(mailfile());
    EXPECT_NE(reply.find("To: birds@lists.example"), std::string::npos);
    EXPECT_NE(reply.find("To: far@uplink.example (someone@example.com)\n"), std::string::npos);
}

// A text may end right after its trailer, without a carriage return: the
// next message must still be read from its own start.
TEST_F(exporttest, atextthatendsinitstrailerleavesthenextmessagewhole) {
    std::vector<testmsg> msgs(4);
    msgs[0].text = "One.\r * Origin: no line end";
    msgs[1].text = "Two.\r---";
    msgs[2].text = "Three.\r--- \r * Origin: none";
    msgs[3].subject = "Four";
    EXPECT_EQ(readpacket(packet(msgs), ROUTING_GATEWAY, 0), PKT_EXPORTED);
    EXPECT_EQ(stats.messagecount, 4);
    std::string reply = readfile(mailfile());
    for (const char* body : {"\n\nOne.\n", "\n\nTwo.\n", "\n\nThree.\n", "Subject: Four\n"}) {
        EXPECT_NE(reply.find(body), std::string::npos) << body;
    }
    EXPECT_EQ(reply.find("Origin"), std::string::npos);
    std::size_t dates = 0;
    for (std::size_t at = 0;
         (at = reply.find("Date: Mon, 13 Sep 1999 07:08:09", at)) != std::string::npos; ++at) {
        ++dates;
    }
    EXPECT_EQ(dates, 4u);
}

// A kludge or address line longer than the header scan reads at once is
// one line: what lies beyond the first piece neither reaches the body nor
// reads as a header line of its own.
TEST_F(exporttest, alonglineatthetopstaysonelineofthetop) {
    testmsg m;
    m.to = "UUCP";
    m.text = "\x01XLONG: " + std::string(300, 'k') + "KLUDGETAIL\r" +
             "To: a@example.com" + std::string(300, ' ') + "BCopy: spy@evil.example\r" +
             "Body.\r";
    EXPECT_EQ(readpacket(packet({m}), ROUTING_GATEWAY, 0), PKT_EXPORTED);
    std::string reply = readfile(mailfile());
    EXPECT_NE(reply.find("To: a@example.com"), std::string::npos);
    EXPECT_NE(reply.find("\n\nBody.\n"), std::string::npos);
    EXPECT_EQ(reply.find("KLUDGETAIL"), std::string::npos);
    EXPECT_EQ(reply.find("spy@evil.example"), std::string::npos);
}

TEST_F(exporttest, thefileispositionedafterthepacket) {
    std::string bytes = packet({testmsg{}}) + "tail";
    writefile(dir / "p.pkt", bytes);
    fileptr f = openfile(dir / "p.pkt", "rb");
    curmsg.routing = ROUTING_GATEWAY;
    EXPECT_EQ(exportpkt(f.get(), 0), PKT_EXPORTED);
    EXPECT_EQ(std::ftell(f.get()), static_cast<long>(bytes.size() - 4));
}

}  // namespace
