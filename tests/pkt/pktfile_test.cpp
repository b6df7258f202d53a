#include "pkt/pktfile.h"

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/fileio.h"
#include "import/curmsg.h"
#include "pkt/msgheader.h"
#include "pkt/pktlayout.h"
#include "pkt/pkttest.h"

namespace {

using pktfile = pkttest;

struct headercase {
    const char* name;
    fidoaddr gateway;
    fidoaddr served;
    const char* password;
    std::time_t clock;
    const char* hex;  // the whole 58-byte header
};

const headercase headercases[] = {
    {"pointgatewayfullpassword",
     {2, 5020, 1042, 7},
     {1, 234, 56, 3},
     "SECRET12",
     FIXEDNOW,
     "12 04 38 00 CF 07 08 00 0E 00 14 00 10 00 0A 00 00 00 02 00 9C 13 EA 00 00 00"
     "53 45 43 52 45 54 31 32 02 00 01 00 00 00 00 01 01 00 01 00 02 00 01 00 07 00 03 00"
     "00 00 00 00"},
    {"nopasswordinjanuary",
     {2, 5020, 1042, 0},
     {2, 5020, 100, 0},
     "",
     949363198,
     "12 04 64 00 D0 07 00 00 1F 00 17 00 3B 00 3A 00 00 00 02 00 9C 13 9C 13 00 00"
     "00 00 00 00 00 00 00 00 02 00 02 00 00 00 00 01 01 00 01 00 02 00 02 00 00 00 00 00"
     "00 00 00 00"},
    {"shortpasswordzeropadded",
     {2, 5020, 1042, 0},
     {2, 5020, 100, 0},
     "ABC",
     FIXEDNOW,
     "12 04 64 00 CF 07 08 00 0E 00 14 00 10 00 0A 00 00 00 02 00 9C 13 9C 13 00 00"
     "41 42 43 00 00 00 00 00 02 00 02 00 00 00 00 01 01 00 01 00 02 00 02 00 00 00 00 00"
     "00 00 00 00"},
};

void PrintTo(const headercase& c, std::ostream* os) {
    *os << c.name;
}

class pktheadertest : public pkttest, public ::testing::WithParamInterface<headercase> {};

// A packet in which one message was counted but nothing written is kept:
// header and terminator, 60 bytes.
TEST_P(pktheadertest, emptycountedpacket) {
    const headercase& c = GetParam();
    setfixedclock(c.clock);
    cfg.gateaddr = c.gateway;
    tables.addrmap.front().ftnaddr = c.served;
    cfg.packetpwd = c.password;
    ASSERT_EQ(preparepacket(), 0);
    std::string path = outpkt.path;
    ASSERT_EQ(countpktmsg(), 0);
    ASSERT_EQ(finishpacket(), 0);
    std::string bytes = soundpacket(path);
    EXPECT_EQ(bytes, hexbytes(c.hex) + std::string(2, '\0'))
        << describediff(hexbytes(c.hex), bytes);

    // The reader's view of the same bytes.
    pktheader h = decodepktheader(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_TRUE(istype2plus(h));
    EXPECT_EQ(h.origpoint, c.gateway.point);
    EXPECT_EQ(h.destzone, c.served.zone);
    EXPECT_EQ(std::string(h.password.data(), strnlen(h.password.data(), 8)), c.password);
}

INSTANTIATE_TEST_SUITE_P(pkt, pktheadertest, ::testing::ValuesIn(headercases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(pktlayout, type2plusneedsbyteswappedcopy) {
    struct {
        std::uint16_t capword, capvalid;
        bool plus;
    } cases[] = {{0x0001, 0x0100, true},
                 {0x0001, 0x0001, false},
                 {0x0000, 0x0000, false},
                 {0x0003, 0x0100, false}};
    for (const auto& c : cases) {
        pktheader h;
        h.capword = c.capword;
        h.capvalid = c.capvalid;
        unsigned char buf[PKTHDRSIZE];
        encodepktheader(h, buf);
        EXPECT_EQ(istype2plus(decodepktheader(buf)), c.plus) << c.capword << " " << c.capvalid;
    }
}

TEST_F(pktfile, packetwithoutcountedmessageisremoved) {
    ASSERT_EQ(preparepacket(), 0);
    std::string path = outpkt.path;
    EXPECT_TRUE(fileexists(path));
    ASSERT_EQ(finishpacket(), 0);
    EXPECT_FALSE(fileexists(path));
    EXPECT_TRUE(outpkt.made.empty());
}

TEST_F(pktfile, namescontinuefromlowestfree) {
    writefile(dir / "00000000.PKT", "x");
    writefile(dir / "00000001.PKT", "x");
    writefile(dir / "00000003.PKT", "x");
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000002.PKT");
    EXPECT_EQ(preparepacket(), 0);  // still open: same packet
    EXPECT_EQ(outpkt.path, dir / "00000002.PKT");
}

// Each packet of a run is found from the last one's number on; a packet the
// run removes itself sends the search back to 0.
TEST_F(pktfile, namesofarunfollowoneanother) {
    for (const char* name : {"00000000.PKT", "00000001.PKT", "00000003.PKT"}) {
        writefile(dir / name, "x");
    }
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(preparepacket(), 0);
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
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000001.PKT");
    ASSERT_EQ(countpktmsg(), 0);
    ASSERT_EQ(finishpacket(), 0);
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000006.PKT");
    EXPECT_EQ(discardpackets(), 0);  // all of the file's packets go
    ASSERT_EQ(preparepacket(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000001.PKT");
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

TEST_F(pktfile, discardremovesonlypacketsofthisfile) {
    writefile(dir / "00000000.PKT", "not ours");
    cfg.maxpktsize = 4;
    ASSERT_EQ(preparepacket(), 0);
    fillpacket(3000);
    ASSERT_EQ(preparepacket(), 0);
    ASSERT_EQ(countpktmsg(), 0);
    EXPECT_EQ(outpkt.path, dir / "00000002.PKT");
    EXPECT_EQ(discardpackets(), 0);
    EXPECT_FALSE(outpkt.file);
    EXPECT_EQ(listtree(dir.path), std::vector<std::string>{"00000000.PKT"});
}

TEST_F(pktfile, keptpacketssurviveadiscardlater) {
    ASSERT_EQ(preparepacket(), 0);
    ASSERT_EQ(countpktmsg(), 0);
    ASSERT_EQ(finishpacket(), 0);
    keeppackets();
    ASSERT_EQ(preparepacket(), 0);  // the next message file
    ASSERT_EQ(countpktmsg(), 0);
    EXPECT_EQ(discardpackets(), 0);
    EXPECT_EQ(listtree(dir.path), std::vector<std::string>{"00000000.PKT"});
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

// A full disk while writing messages: seen by the count after the message
// (once the buffer went out) and by the finish, reported once.
TEST_F(pktfile, writefailureisreportedonce) {
    outpkt.file = openfile("/dev/full", "wb");
    ASSERT_TRUE(outpkt.file);
    outpkt.path = "/dev/full";
    testing::internal::CaptureStderr();
    std::string big(100000, 'x');
    EXPECT_EQ(writeall(outpkt.file.get(), big.data(), big.size()), -1);
    EXPECT_EQ(countpktmsg(), -1);
    EXPECT_EQ(finishpacket(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error writing packet /dev/full\n");
}

TEST_F(pktfile, bufferedwritefailureisseenatfinish) {
    outpkt.file = openfile("/dev/full", "wb");
    ASSERT_TRUE(outpkt.file);
    outpkt.path = "/dev/full";
    setmessage();
    testing::internal::CaptureStderr();
    EXPECT_EQ(writepktmsgheader(CAT_EMAIL, outpkt.file.get(), "", 0, 0), 0);  // still buffered
    EXPECT_EQ(countpktmsg(), 0);
    EXPECT_EQ(finishpacket(), -1);
    EXPECT_EQ(discardpackets(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error writing packet /dev/full\n");
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

TEST_F(pktfile, headerandterminatorfailonreadonlystream) {
    writefile(dir / "ro.pkt", "");
    fileptr f = openfile(dir / "ro.pkt", "rb");
    ASSERT_TRUE(f);
    EXPECT_EQ(writepktheader(f.get()), -1);
    EXPECT_EQ(closepkt(f), -1);
    EXPECT_FALSE(f);
}

}  // namespace
