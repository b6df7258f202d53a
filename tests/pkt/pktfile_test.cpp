#include "pkt/pktfile.h"

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "base/fileio.h"
#include "config/settings.h"
#include "config/tables.h"
#include "durable/journal.h"
#include "import/curmsg.h"
#include "pkt/msgheader.h"
#include "pkt/pktlayout.h"
#include "pkt/pkttest.h"
#include "pkt/trailer.h"

namespace {

using pktfile = pkttest;

// The golden import cases show the whole header of a node gateway without
// a password. Here a point gateway and a served point in another zone, and
// passwords of 8 characters and fewer (padded with zeros). A packet in
// which one message was counted but nothing written is kept: header and
// terminator.
TEST_F(pktfile, headernamespointsandpassword) {
    struct {
        fidoaddr gateway, served;
        const char* password;
    } cases[] = {{{2, 5020, 1042, 7}, {1, 234, 56, 3}, "SECRET12"},
                 {{2, 5020, 1042, 0}, {2, 5020, 100, 0}, "ABC"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        cfg.gateaddr = c.gateway;
        tables.addrmap.front().ftnaddr = c.served;
        cfg.packetpwd = c.password;
        ASSERT_EQ(preparepacket(), 0);
        std::string path = outpkt.path;
        ASSERT_EQ(countpktmsg(), 0);
        ASSERT_EQ(finishpacket(), 0);
        std::string bytes = soundpacket(path);
        EXPECT_EQ(bytes.size(), 60u);
        checkedpacket p = checkpacket(bytes);
        EXPECT_EQ(p.password, c.password);
        EXPECT_EQ(fidoaddr(p.origzone, p.orignet, p.orignode, p.origpoint), c.gateway);
        EXPECT_EQ(fidoaddr(p.destzone, p.destnet, p.destnode, p.destpoint), c.served);
        // The reader's view of the same bytes.
        pktheader h = decodepktheader(reinterpret_cast<const unsigned char*>(bytes.data()));
        EXPECT_TRUE(istype2plus(h));
        EXPECT_EQ(h.origpoint, c.gateway.point);
        EXPECT_EQ(h.destzone, c.served.zone);
        EXPECT_EQ(std::string(h.password.data(), strnlen(h.password.data(), 8)), c.password);
        std::remove(path.c_str());
    }
}

// The first packet takes the lowest free number, each next one is found
// from the last one's number on; a packet the run removes itself (no
// message counted in it) sends the search back to 0.
TEST_F(pktfile, namesofarunfollowoneanother) {
    for (const char* name : {"00000000.PKT", "00000001.PKT", "00000003.PKT"}) {
        writefile(dir / name, "x");
    }
    std::vector<std::string> names;
    unitbegin("import", "");  // the packets keep their temporary names until it commits
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(preparepacket(), 0);
        ASSERT_EQ(preparepacket(), 0);  // still open: the same packet
        names.push_back(outpkt.path);
        ASSERT_EQ(countpktmsg(), 0);
        ASSERT_EQ(finishpacket(), 0);
    }
    EXPECT_EQ(names, (std::vector<std::string>{dir / "00000002.PKT", dir / "00000004.PKT",
                                               dir / "00000005.PKT"}));
    std::remove((dir / "00000001.PKT").c_str());  // by another program: not looked at again
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000006.PKT");
    ASSERT_EQ(finishpacket(), 0);  // no message counted: removed
    EXPECT_FALSE(fileexists(dir / "00000006.PKT"));
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000001.PKT");
    ASSERT_EQ(countpktmsg(), 0);
    ASSERT_EQ(finishpacket(), 0);
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000006.PKT");
    EXPECT_EQ(discardpackets(), 0);  // all of the file's packets go
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000001.PKT");
    unitabandon();
}

// Fills the open packet with one message so that it is exactly size bytes long.
void fillpacket(long size) {
    setmessage();
    std::FILE* f = outpkt.file.get();
    ASSERT_EQ(writepktmsgheader(CAT_EMAIL, f, "", 0, 0), 0);
    long pad = size - std::ftell(f) - 1;
    ASSERT_GE(pad, 0);
    std::string text(static_cast<std::size_t>(pad), 'x');
    text.push_back('\0');
    ASSERT_EQ(writeall(f, text.data(), text.size()), 0);
    ASSERT_EQ(std::ftell(f), size);
    ASSERT_EQ(countpktmsg(), 0);
}

TEST_F(pktfile, rolloverwhensizereacheslimit) {
    struct {
        std::uint32_t maxpktsize;
        long size;
        bool rolls;
    } cases[] = {
        {4, 2047, false}, {4, 2048, true}, {0, 100000, false}, {5, 3071, false}, {5, 3072, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.maxpktsize) + " " + std::to_string(c.size));
        cfg.maxpktsize = c.maxpktsize;
        ASSERT_EQ(preparepacket(), 0);
        std::string first = outpkt.path;
        fillpacket(c.size);
        ASSERT_EQ(preparepacket(), 0);
        EXPECT_EQ(outpkt.path != first, c.rolls);
        ASSERT_EQ(countpktmsg(), 0);
        ASSERT_EQ(finishpacket(), 0);
        EXPECT_EQ(outpkt.made.size(), c.rolls ? 2u : 1u);
        for (const std::string& p : outpkt.made) soundpacket(p);
        EXPECT_EQ(discardpackets(), 0);
    }
}

// Discarding takes the packets of the message file being read, also those
// a rollover finished, and none kept for an earlier file or not ours.
TEST_F(pktfile, discardremovesonlypacketsofthisfile) {
    writefile(dir / "00000000.PKT", "not ours");
    ASSERT_EQ(preparepacket(), 0);
    ASSERT_EQ(countpktmsg(), 0);
    ASSERT_EQ(finishpacket(), 0);
    keeppackets();
    cfg.maxpktsize = 4;  // the next message file, a unit whose packets wait for its commit
    unitbegin("import", "");
    ASSERT_EQ(preparepacket(), 0);
    fillpacket(3000);
    ASSERT_EQ(preparepacket(), 0);
    ASSERT_EQ(countpktmsg(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000003.PKT");
    EXPECT_EQ(discardpackets(), 0);
    unitabandon();
    EXPECT_FALSE(outpkt.file);
    EXPECT_EQ(listtree(dir.path), (std::vector<std::string>{"00000000.PKT", "00000001.PKT"}));
}

TEST_F(pktfile, creationfailureisreportedandretried) {
    cfg.indir = dir / "missing/";
    testing::internal::CaptureStderr();
    EXPECT_EQ(preparepacket(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error writing packet " + dir / "missing/00000000.PKT\n");
    EXPECT_FALSE(outpkt.file);
    makedirs(dir / "missing");
    EXPECT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "missing/00000000.PKT");
}

// A full disk while writing messages, reported once: seen by the count
// after a message once the buffer went out, or only by the finish while
// the message is still buffered.
TEST_F(pktfile, writefailureisreportedonce) {
    for (bool buffered : {false, true}) {
        outpkt = {};
        outpkt.file = openfile("/dev/full", "wb");
        ASSERT_TRUE(outpkt.file);
        outpkt.path = "/dev/full";
        setmessage();
        testing::internal::CaptureStderr();
        if (buffered) {
            EXPECT_EQ(writepktmsgheader(CAT_EMAIL, outpkt.file.get(), "", 0, 0), 0);
        } else {
            std::string big(100000, 'x');
            EXPECT_EQ(writeall(outpkt.file.get(), big.data(), big.size()), -1);
        }
        EXPECT_EQ(countpktmsg(), buffered ? 0 : -1);
        EXPECT_EQ(finishpacket(), -1);
        if (buffered) {
            EXPECT_EQ(discardpackets(), 0);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error writing packet /dev/full\n");
    }
}

// The file-size limit stands in for a disk that fills up while the header
// is written: nothing half-written stays behind. (The report goes to the
// real standard error; a captured one would be cut by the limit too.)
TEST_F(pktfile, headerwritefailureleavesnopacket) {
    int result = 0;
    {
        filesizelimit limit(30);
        result = preparepacket();
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(outpkt.reported, 1);
    EXPECT_FALSE(outpkt.file);
    EXPECT_TRUE(outpkt.made.empty());
    EXPECT_TRUE(listtree(dir.path).empty());
}

// Every writer of packet parts reports a write that fails.
TEST_F(pktfile, failedwritesarereported) {
    writefile(dir / "ro.pkt", "");
    fileptr f = openfile(dir / "ro.pkt", "rb");
    ASSERT_TRUE(f);
    setmessage();
    EXPECT_EQ(writepktheader(f.get()), -1);
    EXPECT_EQ(writepktmsgheader(CAT_EMAIL, f.get(), "", 0, 0), -1);
    EXPECT_EQ(writemsgbottom(CAT_EMAIL, f.get()), -1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(writefileinfo(dir / "x", "x", 0, FILEENC_UU, FILEACT_DECODED, 3, 0, f.get()), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(closepkt(f), -1);
    EXPECT_FALSE(f);
}

}  // namespace
