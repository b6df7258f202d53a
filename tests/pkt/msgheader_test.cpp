#include "pkt/msgheader.h"

#include <string>

#include "config/settings.h"
#include "driver/fileio.h"
#include "import/curmsg.h"
#include "pkt/pkttest.h"

namespace {

// The kludge lines of the sample netmail, from the gateway 2:5020/1042.
const std::string INTL = "\x01INTL 2:5020/100 2:5020/1042\r";
const std::string REPLYKLUDGES = "\x01REPLYADDR john@example.com\r\x01REPLYTO 2:5020/1042.0 UUCP\r";
const std::string PID = "\x01PID: PondLark-Linux v1.05\r";
const std::string SAMPLEDATE = "05 Mar 01  09:04:07";
// Netmail 1042 -> 100 in net 5020, private.
const char* const NETMAILFIXED = "02 00 12 04 64 00 9C 13 9C 13 01 00 00 00";

struct headercase {
    const char* name;
    void (*setup)();  // changes to the sample message and the settings
    int kind;
    const char* attachsubject;
    int junkcategory;
    int ownorg;
    const char* fixedhex;  // the 14-byte packed message header
    std::string to, from, subject;
    std::string text;  // kludge lines
};

void PrintTo(const headercase& c, std::ostream* os) {
    *os << c.name;
}

const headercase cases[] = {
    {"netmail", [] {}, CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", "Hello",
     INTL + REPLYKLUDGES + PID},
    {"pointtopoint",
     [] {
         curmsg.fromaddr = {2, 5020, 1042, 7};
         curmsg.destaddr = {1, 234, 56, 3};
     },
     CAT_EMAIL, "", 0, 0, "02 00 12 04 38 00 9C 13 EA 00 01 00 00 00", "Fido User", "John Doe",
     "Hello",
     "\x01INTL 1:234/56 2:5020/1042\r\x01"
     "FMPT 7\r\x01TOPT 3\r" +
         REPLYKLUDGES + PID},
    {"netmailwithfiles", [] { curmsg.isfattach = 1; }, CAT_EMAIL, "FILE.ZIP DOC.TXT", 0, 0,
     "02 00 12 04 64 00 9C 13 9C 13 11 00 00 00", "Fido User", "John Doe", "FILE.ZIP DOC.TXT",
     INTL + REPLYKLUDGES + PID},
    {"listechowithfiles",
     [] {
         curmsg.isfattach = 1;
         curmsg.fidoareaname = "LIST.AREA";
     },
     CAT_LIST, "FILE.ZIP", 0, 0, "02 00 12 04 64 00 9C 13 9C 13 10 00 00 00", "Fido User",
     "John Doe", "FILE.ZIP", "AREA:LIST.AREA\r" + INTL + REPLYKLUDGES + PID},
    {"newsoverroutewithcharset",
     [] {
         curmsg.isfattach = 1;
         curmsg.fidoareaname = "COMP.LANG.C";
         curmsg.routing = 1;
         curmsg.fidocharset = "LATIN-1 2";
     },
     CAT_NEWS, "FILE.ZIP", 0, 0, "02 00 12 04 64 00 9C 13 9C 13 00 00 00 00", "Fido User",
     "John Doe", "Hello", "AREA:COMP.LANG.C\r" + INTL + PID + "\001CHRS: LATIN-1 2\r"},
    {"namesbyaddress", [] { cfg.infoheader = 1; }, CAT_EMAIL, "", 0, 0, NETMAILFIXED,
     "fido.user@example.org", "john@example.com", "Hello", INTL + REPLYKLUDGES + PID},
    {"longfieldscut",
     [] {
         curmsg.msgtoname = std::string(40, 'T');
         curmsg.msgfromname = std::string(36, 'F');
         curmsg.msgsubj = std::string(80, 'S');
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, std::string(35, 'T'), std::string(35, 'F'),
     std::string(71, 'S'), INTL + REPLYKLUDGES + PID},
    {"idsdecoded",
     [] {
         curmsg.msgid = "p7.f1042.n5020.z2.fidonet.org";
         curmsg.validmsgid = 1;
         curmsg.msgidaddr = {2, 5020, 1042, 7};
         curmsg.fidomsgid = 0x1234ABCD;
         curmsg.replyid = "f3.n2.z1.fidonet.org";
         curmsg.validreplyid = 1;
         curmsg.replyidaddr = {1, 2, 3, 0};
         curmsg.fidoreplyid = 0xDEADBEEF;
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", "Hello",
     INTL + REPLYKLUDGES + "\x01MSGID: 2:5020/1042.7 1234ABCD\r\x01REPLY: 1:2/3.0 DEADBEEF\r" +
         PID},
    {"idscrc",
     [] {
         curmsg.msgid = "123@example.com";
         curmsg.replyid = "456@example.net";
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", "Hello",
     INTL + REPLYKLUDGES + "\x01MSGID: <123@example.com> BF9A3083\r" +
         "\x01REPLY: <456@example.net> 62A344C2\r" + PID},
    {"idscrcstrict",
     [] {
         curmsg.msgid = "123@example.com";
         curmsg.replyid = "456@example.net";
         cfg.strictfidomsgid = 1;
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", "Hello",
     INTL + REPLYKLUDGES + "\x01MSGID: 2:5020/1042.0 BF9A3083\r" +
         "\x01REPLY: 2:5020/1042.0 62A344C2\r" + PID},
    {"splitpart1of3",
     [] {
         curmsg.msgid = "123@example.com";
         curmsg.parts = 3;
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", "Hello (1/3)",
     INTL + REPLYKLUDGES + "\x01MSGID: <123@example.com> BF9A3083\r" + PID +
         "\x01SPLIT: 14 Sep 99 20:16:10 @5020/1042   00000 01/03 +++++++++++\r"},
    {"splitpart2of3",
     [] {
         curmsg.msgid = "123@example.com";
         curmsg.replyid = "456@example.net";
         curmsg.parts = 3;
         curmsg.partno = 2;
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", "Hello (2/3)",
     INTL + REPLYKLUDGES + PID +
         "\x01SPLIT: 14 Sep 99 20:16:10 @5020/1042   00000 02/03 +++++++++++\r"},
    {"splitsuffixcutat71",
     [] {
         curmsg.msgsubj = std::string(70, 'S');
         curmsg.parts = 3;
         curmsg.partno = 2;
     },
     CAT_EMAIL, "", 0, 0, NETMAILFIXED, "Fido User", "John Doe", std::string(70, 'S') + " ",
     INTL + REPLYKLUDGES + PID +
         "\x01SPLIT: 14 Sep 99 20:16:10 @5020/1042   00000 02/03 +++++++++++\r"},
    {"junksubjectdivertedasjunk",
     [] {
         cfg.junkaction = ACTION_JUNK;
         curmsg.junkmailto = "Fido User";
         curmsg.msgtoname = "Junk";
     },
     CAT_EMAIL, "", JUNK_SUBJECT, 0, NETMAILFIXED, "Junk", "John Doe", "Hello",
     INTL + REPLYKLUDGES + PID + "\x01JUNKMAIL: subject\r\x01JUNKMAIL-TO: Fido User\r"},
    {"ownorgdivertedasjunk",
     [] {
         cfg.ownorgaction = ACTION_JUNK;
         curmsg.junkmailto = "Fido User";
     },
     CAT_EMAIL, "", 0, 1, NETMAILFIXED, "Fido User", "John Doe", "Hello",
     INTL + REPLYKLUDGES + PID + "\x01JUNKMAIL: OwnOrg\r\x01JUNKMAIL-TO: Fido User\r"},
    {"junkandownorgmoved",
     [] {
         cfg.junkaction = ACTION_MOVE;
         cfg.ownorgaction = ACTION_MOVE;
     },
     CAT_EMAIL, "", JUNK_FROMTO, 1, NETMAILFIXED, "Fido User", "John Doe", "Hello",
     INTL + REPLYKLUDGES + PID + "\x01JUNKMAIL: from=to\r\x01JUNKMAIL: OwnOrg\r"},
    {"everykludgeinorder",
     [] {
         curmsg.fidoareaname = "ALT.TEST";
         curmsg.fromaddr = {2, 5020, 1042, 7};
         curmsg.destaddr = {2, 5020, 100, 3};
         curmsg.msgid = "123@example.com";
         curmsg.replyid = "456@example.net";
         curmsg.parts = 2;
         curmsg.fidocharset = "CP866 2";
         curmsg.junkmailto = "All";
         cfg.junkaction = ACTION_JUNK;
         cfg.ownorgaction = ACTION_JUNK;
     },
     CAT_NEWS, "", JUNK_IMPEXP, 1, "02 00 12 04 64 00 9C 13 9C 13 00 00 00 00", "Fido User",
     "John Doe", "Hello (1/2)",
     "AREA:ALT.TEST\r\x01INTL 2:5020/100 2:5020/1042\r\x01"
     "FMPT 7\r\x01TOPT 3\r" +
         REPLYKLUDGES + "\x01MSGID: <123@example.com> BF9A3083\r" +
         "\x01REPLY: <456@example.net> 62A344C2\r" + PID +
         "\x01SPLIT: 14 Sep 99 20:16:10 @5020/1042   00000 01/02 +++++++++++\r" +
         "\001CHRS: CP866 2\r\x01JUNKMAIL: imp/exp\r\x01JUNKMAIL-TO: All\r" +
         "\x01JUNKMAIL: OwnOrg\r\x01JUNKMAIL-TO: All\r"},
};

class msgheadertest : public pkttest, public ::testing::WithParamInterface<headercase> {};

// The whole message as it stands in the packet: packed header, date,
// names, subject, kludges; the test ends the text right after them.
TEST_P(msgheadertest, bytes) {
    const headercase& c = GetParam();
    setmessage();
    c.setup();
    std::string bytes = makepacket([&](std::FILE* f) {
        EXPECT_EQ(writepktmsgheader(c.kind, f, c.attachsubject, c.junkcategory, c.ownorg), 0);
        EXPECT_EQ(writeall(f, "", 1), 0);
    });
    std::string expected = hexbytes(c.fixedhex) + SAMPLEDATE + '\0' + c.to + '\0' + c.from + '\0' +
                           c.subject + '\0' + c.text + '\0';
    ASSERT_GE(bytes.size(), 60u);
    std::string message = bytes.substr(58, bytes.size() - 60);
    EXPECT_EQ(message, expected) << describediff(expected, message);
}

INSTANTIATE_TEST_SUITE_P(pkt, msgheadertest, ::testing::ValuesIn(cases),
                         [](const auto& p) { return std::string(p.param.name); });

using msgheader = pkttest;

TEST_F(msgheader, computedserialsarestoredback) {
    setmessage();
    curmsg.msgid = "123@example.com";
    curmsg.replyid = "f3.n2.z1.fidonet.org";
    curmsg.validreplyid = 1;
    curmsg.fidoreplyid = 0xDEADBEEF;
    makepacket([](std::FILE* f) {
        EXPECT_EQ(writepktmsgheader(CAT_EMAIL, f, "", 0, 0), 0);
        EXPECT_EQ(writeall(f, "", 1), 0);
    });
    EXPECT_EQ(curmsg.fidomsgid, 0xBF9A3083u);
    EXPECT_EQ(curmsg.fidoreplyid, 0xDEADBEEFu);
}

// Every number of the date is taken modulo 100 and a month out of range
// reads as January, so the field stays 19 characters whatever was parsed.
TEST_F(msgheader, datefieldalwaysnineteencharacters) {
    struct {
        msgtimes t;
        const char* date;
    } dates[] = {{{31, 11, 1999, 23, 59, 59}, "31 Dec 99  23:59:59"},
                 {{131, 12, 12345, 12, 30, 45}, "31 Jan 45  12:30:45"}};
    for (const auto& d : dates) {
        setmessage();
        curmsg.msgtime = d.t;
        checkedpacket p = checkpacket(makepacket([](std::FILE* f) {
            EXPECT_EQ(writepktmsgheader(CAT_EMAIL, f, "", 0, 0), 0);
            EXPECT_EQ(writeall(f, "", 1), 0);
        }));
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].datetime, d.date);
    }
}

TEST_F(msgheader, failedwriteisreported) {
    writefile(dir / "ro.pkt", "");
    fileptr f = openfile(dir / "ro.pkt", "rb");
    ASSERT_TRUE(f);
    setmessage();
    EXPECT_EQ(writepktmsgheader(CAT_EMAIL, f.get(), "", 0, 0), -1);
}

}  // namespace
