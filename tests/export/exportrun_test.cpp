// The export driver and packet reader with the parts that end-to-end data
// cannot reach: a reply file that refuses writes, an attachment that cannot
// be read, and the attachment list that the mailer-side sources fill.
#include "export/exportrun.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/bytes.h"
#include "driver/counters.h"
#include "driver/runstate.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "pkt/pktlayout.h"
#include "support/testutil.h"

namespace {

struct testmsg {
    std::uint16_t attr = MSGATTR_PRIVATE;
    std::string to = "someone@example.com";
    std::string subject = "Hello";
    std::string text = "Hello.\r";
};

// A type 2+ packet from 2:280/100 to the gateway 2:280/5555.
std::string packet(const std::vector<testmsg>& msgs) {
    pktheader h;
    h.orignode = 100, h.orignet = 280, h.destnode = 5555, h.destnet = 280;
    h.capword = CAPWORD2PLUS, h.capvalid = CAPVALID2PLUS;
    h.origzone = h.destzone = 2;
    unsigned char raw[PKTHDRSIZE];
    encodepktheader(h, raw);
    std::string out(reinterpret_cast<char*>(raw), sizeof raw);
    for (const testmsg& m : msgs) {
        pktmsgheader mh;
        mh.orignode = 100, mh.orignet = 280, mh.destnode = 5555, mh.destnet = 280;
        mh.attr = m.attr;
        unsigned char mraw[PKTMSGHDRSIZE];
        encodepktmsgheader(mh, mraw);
        out.append(reinterpret_cast<char*>(mraw), sizeof mraw);
        for (const std::string& s :
             {std::string("13 Sep 99  07:08:09"), m.to, std::string("Joe"), m.subject, m.text}) {
            out += s;
            out += '\0';
        }
    }
    out += std::string(2, '\0');
    return out;
}

// Records in a reply file.
int records(const std::string& path) {
    std::string data = readfile(path);
    int n = 0;
    for (std::size_t at = 0; at + 4 <= data.size(); ++n) {
        at += 4 + get32be(reinterpret_cast<const unsigned char*>(data.data() + at));
    }
    return n;
}

class exporttest : public statetest {
   protected:
    scratchdir dir;
    void SetUp() override {
        statetest::SetUp();
        for (const char* d : {"in", "pkt", "soup"}) makedirs(dir / d);
        cfg.gateaddr = {2, 280, 5555, 0};
        tables.addrmap.push_back({{2, 280, 5555, 0}, "sysop@pond.example", "", "Sysop"});
        cfg.indir = dir / "in/";
        cfg.soupdir = dir / "soup/";
        run.packetdir = dir / "pkt/";
        genreplyfile(REPLY_MAIL);
        genreplyfile(REPLY_NEWS);
    }
    // Reads a packet through exportpkt the way the outbound sources do.
    int readpacket(const std::string& bytes, int routing, int flowlistvalid) {
        writefile(dir / "p.pkt", bytes);
        std::FILE* f = std::fopen((dir / "p.pkt").c_str(), "rb");
        curmsg.routing = routing;
        int r = exportpkt(f, flowlistvalid);
        std::fclose(f);
        return r;
    }
    std::string mailfile() { return replies[REPLY_MAIL].replyfile.str(); }
};

TEST_F(exporttest, apacketstayswhenitsreplycannotbewritten) {
    writefile(dir / "pkt/0001.PKT", packet({testmsg{}, testmsg{}}));
    // Every write to the mail reply file fails: the disk is full.
    ASSERT_EQ(symlink("/dev/full", mailfile().c_str()), 0);
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
    EXPECT_EQ(records(mailfile()), 4);
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
    for (std::size_t at = 0; (at = reply.find("Date: Mon, 13 Sep 1999 07:08:09", at)) != std::string::npos;
         ++at) {
        ++dates;
    }
    EXPECT_EQ(dates, 4u);
}

TEST_F(exporttest, thefileispositionedafterthepacket) {
    std::string bytes = packet({testmsg{}}) + "tail";
    writefile(dir / "p.pkt", bytes);
    std::FILE* f = std::fopen((dir / "p.pkt").c_str(), "rb");
    curmsg.routing = ROUTING_GATEWAY;
    EXPECT_EQ(exportpkt(f, 0), PKT_EXPORTED);
    EXPECT_EQ(std::ftell(f), static_cast<long>(bytes.size() - 4));
    std::fclose(f);
}

}  // namespace
