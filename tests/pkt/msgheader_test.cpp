#include "pkt/msgheader.h"

#include <functional>
#include <string>

#include "base/fileio.h"
#include "config/settings.h"
#include "import/curmsg.h"
#include "pkt/pkttest.h"

namespace {

// The kludge lines of the sample netmail, from the gateway 2:5020/1042.
// The golden import cases show the common messages whole; these rows are
// the ones they do not reach: attribute and subject of attaching messages,
// fields cut at their width, and every kludge at once in its order.
const std::string INTL = "\x01INTL 2:5020/100 2:5020/1042\r";
const std::string REPLYKLUDGES = "\x01REPLYADDR john@example.com\r\x01REPLYTO 2:5020/1042.0 UUCP\r";
const std::string PID = "\x01PID: PondLark-Linux v1.05\r";
const std::string SPLIT = "\x01SPLIT: 14 Sep 99 20:16:10 @5020/1042   00000 ";

struct headercase {
    const char* name;
    void (*setup)() = [] {};  // changes to the sample message and the settings
    int kind = CAT_EMAIL;
    const char* attachsubject = "";
    int junkcategory = 0, ownorg = 0;
    std::uint16_t attr = 0x0001;
    std::string date = "05 Mar 01  09:04:07";
    std::string to = "Fido User", from = "John Doe", subject = "Hello";
    std::string text = INTL + REPLYKLUDGES + PID;  // kludge lines
};

void PrintTo(const headercase& c, std::ostream* os) {
    *os << c.name;
}

// clang-format off
const headercase cases[] = {
    {.name = "netmail"},
    {.name = "netmailwithfiles", .setup = [] { curmsg.isfattach = 1; },
     .attachsubject = "FILE.ZIP DOC.TXT", .attr = 0x0011, .subject = "FILE.ZIP DOC.TXT"},
    {.name = "listechowithfiles",
     .setup = [] { curmsg.isfattach = 1; curmsg.fidoareaname = "LIST.AREA"; },
     .kind = CAT_LIST, .attachsubject = "FILE.ZIP", .attr = 0x0010, .subject = "FILE.ZIP",
     .text = "AREA:LIST.AREA\r" + INTL + REPLYKLUDGES + PID},
    {.name = "newsoverroutewithcharset",
     .setup = [] { curmsg.isfattach = 1; curmsg.fidoareaname = "COMP.LANG.C";
                   curmsg.routing = 1; curmsg.fidocharset = "LATIN-1 2"; },
     .kind = CAT_NEWS, .attachsubject = "FILE.ZIP", .attr = 0,
     .text = "AREA:COMP.LANG.C\r" + INTL + PID + "\001CHRS: LATIN-1 2\r"},
    {.name = "longfieldscut",
     .setup = [] { curmsg.msgtoname = std::string(40, 'T');
                   curmsg.msgfromname = std::string(36, 'F');
                   curmsg.msgsubj = std::string(80, 'S'); },
     .to = std::string(35, 'T'), .from = std::string(35, 'F'), .subject = std::string(71, 'S')},
    // Every number of the date is taken modulo 100 and a month out of range
    // reads as January, so the field stays 19 characters whatever was parsed.
    {.name = "datealways19characters",
     .setup = [] { curmsg.msgtime = {131, 12, 12345, 12, 30, 45}; }, .date = "31 Jan 45  12:30:45"},
    {.name = "splitsuffixcutat71",
     .setup = [] { curmsg.msgsubj = std::string(70, 'S'); curmsg.parts = 3; curmsg.partno = 2; },
     .subject = std::string(70, 'S') + " ",
     .text = INTL + REPLYKLUDGES + PID + SPLIT + "02/03 +++++++++++\r"},
    {.name = "everykludgeinorder",
     .setup = [] { curmsg.fidoareaname = "ALT.TEST";
                   curmsg.fromaddr = {2, 5020, 1042, 7}; curmsg.destaddr = {2, 5020, 100, 3};
                   curmsg.msgid = "123@example.com"; curmsg.replyid = "456@example.net";
                   curmsg.parts = 2; curmsg.fidocharset = "CP866 2"; curmsg.junkmailto = "All";
                   curmsg.tzinfo = "+0200 (CEST)";
                   cfg.junkaction = ACTION_JUNK; cfg.ownorgaction = ACTION_JUNK; },
     .kind = CAT_NEWS, .junkcategory = JUNK_IMPEXP, .ownorg = 1, .attr = 0,
     .subject = "Hello (1/2)",
     .text = "AREA:ALT.TEST\r" + INTL + "\x01" "FMPT 7\r\x01TOPT 3\r" + REPLYKLUDGES +
             "\x01MSGID: <123@example.com> BF9A3083\r\x01REPLY: <456@example.net> 62A344C2\r" +
             PID + SPLIT + "01/02 +++++++++++\r\001CHRS: CP866 2\r\001TZUTC: 0200\r" +
             "\x01JUNKMAIL: imp/exp\r\x01JUNKMAIL-TO: All\r\x01JUNKMAIL: OwnOrg\r\x01JUNKMAIL-TO: All\r"},
    // The Date header's zone as TZUTC: no "+", an obsolete name as its
    // offset, nothing for a zone its writer did not know.
    {.name = "tzutcwest", .setup = [] { curmsg.tzinfo = "-0500"; },
     .text = INTL + REPLYKLUDGES + PID + "\x01TZUTC: -0500\r"},
    {.name = "tzutcobsoletename", .setup = [] { curmsg.tzinfo = "EDT"; },
     .text = INTL + REPLYKLUDGES + PID + "\x01TZUTC: -0400\r"},
    {.name = "tzutcunknown", .setup = [] { curmsg.tzinfo = "-0000"; }},
    {.name = "tzutcnozone", .setup = [] { curmsg.tzinfo = "(CEST)"; }},
};
// clang-format on

// Writes the packed message header and ends the text right after it.
std::function<void(std::FILE*)> header(int kind = CAT_EMAIL, const char* attachsubject = "",
                                       int junkcategory = 0, int ownorg = 0) {
    return [=](std::FILE* f) {
        EXPECT_EQ(writepktmsgheader(kind, f, attachsubject, junkcategory, ownorg), 0);
        EXPECT_EQ(writeall(f, "", 1), 0);
    };
}

class msgheadertest : public pkttest, public ::testing::WithParamInterface<headercase> {};

// The whole message as it stands in the packet, read by the independent
// checker: packed header, date, names, subject, kludges.
TEST_P(msgheadertest, fields) {
    const headercase& c = GetParam();
    setmessage();
    c.setup();
    checkedmessage m = messageof(header(c.kind, c.attachsubject, c.junkcategory, c.ownorg));
    EXPECT_EQ(m.orignode, 1042);
    EXPECT_EQ(m.orignet, 5020);
    EXPECT_EQ(m.destnode, 100);
    EXPECT_EQ(m.destnet, 5020);
    EXPECT_EQ(m.attribute, c.attr);
    EXPECT_EQ(m.cost, 0);
    EXPECT_EQ(m.datetime, c.date);
    EXPECT_EQ(m.toname, c.to);
    EXPECT_EQ(m.fromname, c.from);
    EXPECT_EQ(m.subject, c.subject);
    EXPECT_EQ(m.text, c.text) << describediff(c.text, m.text);
}

INSTANTIATE_TEST_SUITE_P(pkt, msgheadertest, ::testing::ValuesIn(cases),
                         [](const auto& p) { return std::string(p.param.name); });

using msgheader = pkttest;

// A serial computed for an Internet id is kept for the log and the
// replies; one read from a FidoNet id stays as read.
TEST_F(msgheader, computedserialsarestoredback) {
    setmessage();
    curmsg.msgid = "123@example.com";
    curmsg.replyid = "f3.n2.z1.fidonet.org";
    curmsg.validreplyid = 1;
    curmsg.fidoreplyid = 0xDEADBEEF;
    messageof(header());
    EXPECT_EQ(curmsg.fidomsgid, 0xBF9A3083u);
    EXPECT_EQ(curmsg.fidoreplyid, 0xDEADBEEFu);
}

}  // namespace
