#include "import/importtext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/headerlines.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

TEST(importtext, chunksendafterthelastnonalphanumeric) {
    std::string words = std::string(40, 'a') + " " + std::string(300, 'b');
    std::string at33 = std::string(32, 'a') + "," + std::string(300, 'b');
    std::string at32 = std::string(31, 'a') + "," + std::string(300, 'b');
    std::string tail = std::string(250, 'a') + "-" + std::string(10, 'b');
    struct {
        const char* name;
        std::string rest;
        std::size_t width, chunk;
    } cases[] = {
        {"fits", "short line", BODYWIDTH, 10},
        {"exactlyfits", std::string(255, 'x'), BODYWIDTH, 255},
        {"nobreak", std::string(600, 'x'), BODYWIDTH, 255},
        {"afterblank", words, BODYWIDTH, 41},
        {"breakatthe33rd", at33, BODYWIDTH, 33},
        {"notbeforethe33rd", at32, BODYWIDTH, 255},
        {"lastbreakwins", tail, BODYWIDTH, 251},
        {"kludge", std::string(70, 'k') + " " + std::string(20, 'k'), KLUDGEWIDTH, 71},
        {"eightbitbreaks", std::string(50, 'a') + "\xe9" + std::string(300, 'a'), BODYWIDTH, 51},
    };
    for (const auto& c : cases) EXPECT_EQ(chunklength(c.rest, c.width), c.chunk) << c.name;
}

// ------------------------------------------- whole messages through import

const char GATEWAY[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop Pond\n"
    "MailerType Binkley\n"
    "InboundDir ./in\nOutboundDir ./out\nSoupDir ./soup\nTempDir ./tmp\n";

// Imports one mbox message file of the Email area with the gateway's
// configuration and more; returns the one packet made. dir receives the
// gateway.
checkedpacket importmbox(const scratchdir& dir, const std::string& more, const std::string& text) {
    for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
    writefile(dir / "gate.cfg", GATEWAY + more);
    writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
    writefile(dir / "soup/0000001.MSG", text);
    runresult r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    checkedpacket p = checkpacket(readfile(dir / "in/00000000.PKT"));
    EXPECT_EQ(p.error, "");
    return p;
}

// The one message that one mail makes, with the gateway's configuration.
checkedmessage importone(const scratchdir& dir, const std::string& text) {
    checkedpacket p = importmbox(dir, "", text);
    EXPECT_EQ(p.messages.size(), 1u);
    return p.messages.empty() ? checkedmessage{} : p.messages[0];
}

// A line that fills the line buffer to its last byte has its line end just
// behind the buffer, and a CR LF may be split by the buffer's end: that
// line end belongs to the line and is never read as an empty line of its
// own, which would end the header early (From, To and Subject lost) or add
// a blank line to the body. Header, body and quoted-printable lines joined
// by a soft line break, of lengths around the buffer's size, with LF and
// CR LF line ends.
TEST(importtext, linesatthebuffersizekeeptheirlineends) {
    for (const std::string e : {"\n", "\r\n"}) {
        for (std::size_t n = MAXLOGICALLINE - 2; n <= MAXLOGICALLINE + 1; ++n) {
            const std::string text =
                "From x Tue Sep 14 10:00:00 1999\n" + ("X-Long: " + std::string(n - 8, 'h')) + e +
                "From: Bob <bob@net.example>" + e + "To: Sysop Pond <sysop@pond.example>" + e +
                "Subject: hello" + e + e + "first" + e + std::string(n, 'b') + e + "second" + e +
                "Content-Transfer-Encoding: quoted-printable" + e + "qq=" + e +
                std::string(n - 2, 'q') + e + "third" + e;
            scratchdir dir;
            checkedpacket p = importmbox(dir, "", text);
            ASSERT_EQ(p.messages.size(), 1u);
            const checkedmessage& m = p.messages[0];
            const std::string where =
                "lines of " + std::to_string(n) + (e.size() == 2 ? " + CR LF" : " + LF");
            EXPECT_EQ(m.subject, "hello") << where;
            EXPECT_EQ(m.fromname, "Bob") << where;
            EXPECT_EQ(m.toname, "Sysop Pond") << where;
            // Long body lines are cut into chunks, but from "first" to
            // "third" no line is empty.
            std::size_t first = m.text.find("\rfirst\r"), third = m.text.find("\rthird\r");
            ASSERT_NE(first, std::string::npos) << where;
            ASSERT_NE(third, std::string::npos) << where;
            EXPECT_NE(m.text.find("\rsecond\r"), std::string::npos) << where;
            EXPECT_EQ(m.text.find("\r\r", first), m.text.find("\r\r", third)) << where;
        }
    }
}

// Junk keeps its encoded files as text, also when it is found to be junk
// only after its files were seen: by its sender, or by a junk text further
// down. Its message then names no file attachment - the tosser would send
// whatever file of that name lies in the inbound - and keeps its subject.
TEST(importtext, junkfoundlateclaimsnofileattachment) {
    const std::string head =
        "From x Tue Sep 14 10:00:00 1999\n"
        "From: Deals <deals@spam.example>\nTo: Sysop Pond <sysop@pond.example>\n"
        "Subject: cheap ponds\nMIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=b1\n\n";
    const std::string file =
        "--b1\nContent-Type: application/octet-stream; name=\"offer.txt\"\n"
        "Content-Transfer-Encoding: base64\n\nT2ZmZXIK\n\n";
    const std::string text = "--b1\nContent-Type: text/plain\n\nClick here to unsubscribe.\n\n";
    const struct {
        const char* name;
        std::string rule, message;
    } cases[] = {
        {"bysender", "JunkFrom *@spam.example\n", head + file + "--b1--\n"},
        {"bytextafterthefile", "JunkStr click here to unsubscribe\n", head + file + text + "--b1--\n"},
    };
    for (const auto& c : cases) {
        for (const char* action : {"junk", "move", "ignore"}) {
            scratchdir dir;
            const std::string more =
                std::string("JunkAction ") + action + "\nJunkArea Spam.Area\n" + c.rule;
            checkedpacket p = importmbox(dir, more, c.message);
            ASSERT_EQ(p.messages.size(), 1u) << c.name << " " << action;
            const checkedmessage& m = p.messages[0];
            EXPECT_EQ(m.attribute & 0x10, 0) << c.name << " " << action;
            EXPECT_EQ(m.subject, "cheap ponds") << c.name << " " << action;
            EXPECT_NE(m.text.find("T2ZmZXIK"), std::string::npos) << c.name << " " << action;
            EXPECT_FALSE(fileexists(dir / "in/offer.txt")) << c.name << " " << action;
        }
    }
}

// The information block (further recipients, crossposted groups, a wrong
// route password) follows the header also when no body
// line follows: a message with an empty body, or one that ends with its
// header, still shows its copy recipients.
TEST(importtext, amessagewithoutbodykeepsitsinformationblock) {
    const std::string head =
        "From x Tue Sep 14 10:00:00 1999\n"
        "From: Bob <bob@net.example>\nTo: Sysop Pond <sysop@pond.example>\n"
        "Cc: Carl <carl@x.example>\nSubject: note\n";
    const std::string info = "Copy: carl@x.example (Carl)\r\r";
    const struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"emptybody", head + "\n"},
        {"headeronly", head},
        {"onebodyline", head + "\nhi\n"},
    };
    for (const auto& c : cases) {
        scratchdir dir;
        checkedpacket p = importmbox(dir, "StripKludges Yes\n", c.message);
        ASSERT_EQ(p.messages.size(), 1u) << c.name;
        EXPECT_NE(p.messages[0].text.find("UUCP\r\x01PID: PondLark-Linux v1.05\r" + info),
                  std::string::npos)
            << c.name << ": " << p.messages[0].text;
    }
}

// A quoted-printable part may end with a soft line break (its text has no
// line end of its own). The boundary line after it ends the part and is
// never joined to that last line: the parts after it are read as parts,
// their files decoded.
TEST(importtext, asoftlinebreakneverjoinsaboundary) {
    const std::string message =
        "From x Tue Sep 14 10:00:00 1999\n"
        "From: Bob <bob@net.example>\nTo: Sysop Pond <sysop@pond.example>\n"
        "Subject: menu\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b1\n\n"
        "--b1\nContent-Type: text/plain; charset=iso-8859-1\n"
        "Content-Transfer-Encoding: quoted-printable\n\n"
        "Caf=E9 is=\n open, see the file=\n"
        "--b1\nContent-Type: application/octet-stream; name=\"menu.txt\"\n"
        "Content-Transfer-Encoding: base64\n\nT2ZmZXIK\n\n--b1--\n";
    scratchdir dir;
    const std::string text = importone(dir, message).text;
    EXPECT_NE(text.find("\rCaf\xe9 is open, see the file\r"), std::string::npos) << text;
    EXPECT_EQ(text.find("--b1"), std::string::npos) << text;
    EXPECT_EQ(text.find("T2ZmZXIK"), std::string::npos) << text;
    EXPECT_EQ(readfile(dir / "in/menu.txt"), "Offer\n");
}

// Quoted-printable encodes the body only: the header lines that follow a
// "Content-Transfer-Encoding: quoted-printable" field - of the message or of
// a part - keep their "=" as it stands, and so the Message-ID, its MSGID and
// the subject stay as they were sent.
TEST(importtext, quotedprintableleavestheheaderasitis) {
    const std::string message =
        "From x Tue Sep 14 10:00:00 1999\n"
        "From: Bob <bob@net.example>\nTo: Sysop Pond <sysop@pond.example>\n"
        "MIME-Version: 1.0\nContent-Transfer-Encoding: quoted-printable\n"
        "Subject: 2+2=3D4\nMessage-ID: <CA=41B=00@mail.example>\n\n"
        "four=3D4\n";
    scratchdir dir;
    checkedmessage m = importone(dir, message);
    const std::string& text = m.text;
    EXPECT_EQ(m.subject, "2+2=3D4");
    EXPECT_NE(text.find("\x01MSGID: <CA=41B=00@mail.example> "), std::string::npos) << text;
    EXPECT_NE(text.find("\x01Message-ID: <CA=41B=00@mail.example>\r"), std::string::npos) << text;
    EXPECT_NE(text.find("\rfour=4\r"), std::string::npos) << text;
}

// Control lines of FidoNet (kludges: a line beginning with 0x01) come from
// the gateway only. Body text cannot make one - not at the start of a line,
// nor after a lone CR inside a line, nor at the start of a chunk of a long
// line, nor through quoted-printable - where it would pass for the
// message's routing (INTL, TOPT, FLAGS) or identity (MSGID). The header
// lines that are kept as kludges are the gateway's own.
TEST(importtext, bodytextmakesnokludgelines) {
    const std::string message =
        "From x Tue Sep 14 10:00:00 1999\n"
        "From: Bob <bob@net.example>\nTo: Sysop Pond <sysop@pond.example>\n"
        "Subject: forged\n\n"
        "\x01INTL 1:2/3 2:280/5555\n"
        "text\r\x01TOPT 7\n" +
        std::string(255, 'x') + "\x01" + "FLAGS KFS\n"
        "Content-Transfer-Encoding: quoted-printable\n"
        "=01MSGID: 1:2/3 12345678\n";
    scratchdir dir;
    std::string text = "\r" + importone(dir, message).text;
    std::vector<std::string> kludges;
    for (std::size_t at = text.find("\r\x01"); at != std::string::npos;
         at = text.find("\r\x01", at + 1)) {
        kludges.push_back(text.substr(at + 2, text.find_first_of("\r ", at + 2) - at - 2));
    }
    EXPECT_EQ(kludges, (std::vector<std::string>{"INTL", "REPLYADDR", "REPLYTO", "PID:", "From:",
                                                 "To:", "Subject:", "Via"}))
        << text;
    EXPECT_NE(text.find("INTL 1:2/3 2:280/5555\r"), std::string::npos);
}

// The header lines kept as kludges are header fields ("Name: value"). A
// line of the header that is no field - its name holds a blank, or it has
// no colon - would, as a kludge, pass for one of FidoNet's own ("INTL",
// "TOPT", "FLAGS") and route the message: it is not kept.
TEST(importtext, headerlinesthatarenofieldsarenotkeptaskludges) {
    const std::string message =
        "From x Tue Sep 14 10:00:00 1999\n"
        "From: Bob <bob@net.example>\nINTL 1:2/3 2:280/5555\n"
        "To: Sysop Pond <sysop@pond.example>\nFLAGS KFS\nTOPT 7\nX-Odd Name: v\n"
        "Subject: forged\nX-Fine:no blank\n\nbody\n";
    scratchdir dir;
    checkedmessage m = importone(dir, message);
    const std::string& text = m.text;
    EXPECT_NE(text.find("\x01PID: PondLark-Linux v1.05\r\001From: Bob <bob@net.example>\r"
                        "\x01To: Sysop Pond <sysop@pond.example>\r\x01Subject: forged\r"
                        "\x01X-Fine:no blank\r"),
              std::string::npos)
        << text;
    for (const char* forged : {"1:2/3", "FLAGS", "TOPT", "Odd"})
        EXPECT_EQ(text.find(forged), std::string::npos) << forged;
    EXPECT_EQ(m.subject, "forged");
}

}  // namespace
