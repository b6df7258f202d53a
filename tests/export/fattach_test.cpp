// The synthetic file-attach packet, read back field by field and through
// the packet reader.
#include "export/fattach.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/bytes.h"
#include "config/settings.h"
#include "config/tables.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "pkt/pktcheck.h"
#include "pkt/pktlayout.h"
#include "support/testutil.h"

namespace {

class fattachtest : public statetest {
   protected:
    scratchdir dir;
    void SetUp() override {
        statetest::SetUp();
        tables.addrmap.push_back({{2, 280, 5555, 1}, "sysop@pond.example", "", ""});
        cfg.packetpwd = "SECRET";
    }
    std::string make(const fidoaddr& dest, const std::string& to, const std::string& listed,
                     const std::string& toaddr = "") {
        std::remove((dir / "t.pkt").c_str());
        fileptr f = createfattach(dest, to, dir / "t.pkt", listed, toaddr);
        EXPECT_TRUE(f);
        f.reset();
        return readfile(dir / "t.pkt");
    }
};

TEST_F(fattachtest, headersnameboththeaddresses) {
    std::string p = make({1, 105, 42, 3}, "far@west.example", "^/var/files/report.zip");
    // The structure, addresses and password as the independent checker reads them.
    checkedpacket c = checkpacket(p);
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(fidoaddr(c.origzone, c.orignet, c.orignode, c.origpoint), fidoaddr(2, 280, 5555, 1));
    EXPECT_EQ(fidoaddr(c.destzone, c.destnet, c.destnode, c.destpoint), fidoaddr(1, 105, 42, 3));
    EXPECT_EQ(c.password, "SECRET");
    ASSERT_EQ(c.messages.size(), 1u);
    EXPECT_EQ(c.messages[0].attribute, 0x0011);
    EXPECT_EQ(c.messages[0].destnet, 105);
    EXPECT_EQ(c.messages[0].orignode, 5555);
    std::string rest = p.substr(PKTHDRSIZE + PKTMSGHDRSIZE);
    std::string want = std::string("14 Sep 99  20:16:10") + '\0' + "far@west.example" + '\0' +
                       "sysop@pond.example" + '\0' + "^/var/files/report.zip" + '\0' +
                       "\x01INTL 1:105/42 2:280/5555\r\x01"
                       "FMPT 1\r\x01TOPT 3\r" +
                       "[PondLark-Linux v1.05 attached file report.zip]\r" + std::string(3, '\0');
    EXPECT_EQ(rest, want) << describediff(want, rest);
}

TEST_F(fattachtest, fieldsarecutandlongnamesgivetheirbasename) {
    std::string name(40, 'n');
    std::string listed = "#/" + std::string(80, 'd') + "/file.txt";
    std::string p = make({2, 280, 5555, 0}, "UUCP", listed, "sysop@pond.example");
    std::string rest = p.substr(PKTHDRSIZE + PKTMSGHDRSIZE);
    std::string want = std::string("14 Sep 99  20:16:10") + '\0' + "UUCP" + '\0' +
                       "sysop@pond.example" + '\0' + "file.txt" + '\0' +
                       "\x01INTL 2:280/5555 2:280/5555\r\x01"
                       "FMPT 1\r" +
                       "To: sysop@pond.example\r\r" +
                       "[PondLark-Linux v1.05 attached file file.txt]\r" + std::string(3, '\0');
    EXPECT_EQ(rest, want) << describediff(want, rest);
    p = make({2, 280, 5556, 0}, name, "#a.txt");
    EXPECT_NE(p.find(std::string(35, 'n') + '\0'), std::string::npos);
    EXPECT_NE(p.find("attached file a.txt]"), std::string::npos);
}

// The reader takes the packet whole: it ends with the text's zero and a
// complete terminator.
TEST_F(fattachtest, thepacketreadsback) {
    fileptr f = createfattach({2, 280, 5556, 0}, "node@uplink.example", dir / "t.pkt", "a.txt", "");
    ASSERT_TRUE(f);
    std::rewind(f.get());
    curmsg.routing = ROUTING_GATEWAY;
    cfg.soupdir = dir.path;
    genreplyfile(REPLY_MAIL);
    EXPECT_EQ(exportpkt(f.get(), 0), PKT_EXPORTED);
    EXPECT_EQ(std::fgetc(f.get()), EOF);
}

TEST_F(fattachtest, anexistingfileisnotoverwritten) {
    writefile(dir / "t.pkt", "mine");
    EXPECT_FALSE(createfattach({2, 280, 5556, 0}, "x", dir / "t.pkt", "a.txt", ""));
    EXPECT_EQ(readfile(dir / "t.pkt"), "mine");
}

}  // namespace
