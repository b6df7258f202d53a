// Encoded words in the header of imported mail: decoded wherever the
// gateway uses the text, before it is cut, and written in the FidoNet
// character set of the area (or, where none is configured, in the one the
// message is labelled with).
#include "import/headertext.h"

#include <gtest/gtest.h>

#include <string>

#include "mime/charsets.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

const char GATEWAY[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop Pond\n"
    "MailerType Binkley\n"
    "InboundDir ./in\nOutboundDir ./out\nSoupDir ./soup\nTempDir ./tmp\n";

checkedmessage importmail(const std::string& more, const std::string& header,
                          const std::string& body = "text\n") {
    scratchdir dir;
    for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
    writefile(dir / "gate.cfg", GATEWAY + more);
    writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
    writefile(dir / "soup/0000001.MSG", "From x Tue Sep 14 10:00:00 1999\n" + header + "\n" + body);
    runresult r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    checkedpacket p = checkpacket(readfile(dir / "in/00000000.PKT"));
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.messages.size(), 1u);
    return p.messages.empty() ? checkedmessage{} : p.messages[0];
}

const std::string JUERGEN = "From: =?utf-8?B?SsO8cmdlbiBNw7xsbGVy?= <j@net.example>\n";
const std::string MAERZ = "Subject: =?utf-8?Q?=C3=9Cbersicht_f=C3=BCr?= =?utf-8?Q?_M=C3=A4rz?=\n";
const std::string TO = "To: sysop@pond.example\n";

TEST(headertext, decodedintothefidonetcharset) {
    checkedmessage m = importmail("FidoCharSet CP437 2\n", JUERGEN + TO + MAERZ);
    EXPECT_EQ(m.fromname, "J\x81rgen M\x81ller");
    EXPECT_EQ(m.subject, "\x9a" "bersicht f\x81r M\x84rz");
    EXPECT_NE(m.text.find("\x01" "CHRS: CP437 2\r"), std::string::npos);
    // The header lines kept as kludges are decoded and converted too.
    EXPECT_NE(m.text.find("\x01Subject: \x9a" "bersicht f\x81r M\x84rz\r"), std::string::npos);
    EXPECT_NE(m.text.find("\x01" "From: J\x81rgen M\x81ller <j@net.example>\r"), std::string::npos);
    EXPECT_EQ(m.text.find("=?"), std::string::npos);
}

TEST(headertext, cyrillicintocp866) {
    checkedmessage m = importmail("AreaCharSet NETMAIL CP866 2\n",
                                  "From: =?koi8-r?B?6dfBzg==?= <ivan@net.example>\n" + TO +
                                      "Subject: =?utf-8?B?0J/RgNC40LLQtdGC?=\n");
    EXPECT_EQ(m.fromname, "\x88\xa2\xa0\xad");
    EXPECT_EQ(m.subject, "\x8f\xe0\xa8\xa2\xa5\xe2");
    EXPECT_NE(m.text.find("\x01" "CHRS: CP866 2\r"), std::string::npos);
}

TEST(headertext, utf8cutbetweencharacters) {
    std::string word;
    for (int i = 0; i < 30; ++i) word += "=C3=A4";  // 30 a-umlauts, 60 bytes
    checkedmessage m = importmail("FidoCharSet UTF-8 4\n",
                                  "From: =?utf-8?Q?" + word + "?= <a@net.example>\n" + TO +
                                      "Subject: =?utf-8?Q?" + word + "?= =?utf-8?Q?" + word + "?=\n");
    EXPECT_EQ(m.fromname.size(), 34u);  // 17 characters, not 35 bytes
    EXPECT_TRUE(isvalidutf8(m.fromname));
    EXPECT_EQ(m.subject.size(), 70u);
    EXPECT_TRUE(isvalidutf8(m.subject));
    EXPECT_NE(m.text.find("\x01" "CHRS: UTF-8 4\r"), std::string::npos);
    EXPECT_TRUE(isvalidutf8(m.text));
}

TEST(headertext, labelledonlywithoutafidonetcharset) {
    // No charset named: decoded words are UTF-8, no CHRS kludge.
    checkedmessage m = importmail("", JUERGEN + TO + MAERZ);
    EXPECT_EQ(m.fromname, "J\xc3\xbcrgen M\xc3\xbcller");
    EXPECT_EQ(m.text.find("CHRS"), std::string::npos);
    // A message labelled ISO-8859-1 gets its decoded words in that set,
    // beside its raw Latin-1 body, both under the label CharSetMap gives.
    m = importmail("CharSetMap LATIN-1#2 iso-8859-1\n",
                   JUERGEN + TO + MAERZ + "Content-Type: text/plain; charset=iso-8859-1\n",
                   "Gr\xfc\xdf" "e\n");
    EXPECT_EQ(m.fromname, "J\xfcrgen M\xfcller");
    EXPECT_EQ(m.subject, "\xdc" "bersicht f\xfcr M\xe4rz");
    EXPECT_NE(m.text.find("\x01" "CHRS: LATIN-1 2\r"), std::string::npos);
    EXPECT_NE(m.text.find("\rGr\xfc\xdf" "e\r"), std::string::npos);
}

}  // namespace

namespace {

// A posting the list server passes on is Internet mail: its subject keeps
// its encoded words there, while the FidoNet copy in the list's area is
// decoded and converted.
TEST(headertext, listmailkeepsitsencodedwords) {
    scratchdir dir;
    for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
    writefile(dir / "gate.cfg", std::string(GATEWAY) + "FidoCharSet CP437 2\nListConfig ./birds.lst\n");
    writefile(dir / "birds.lst",
              "ListName Birds\nListAddress birds@lists.example\nListArea BIRDS\nListUsers\n"
              "+\namy@net.example\nAmy\n1\n\n");
    writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
    writefile(dir / "soup/0000001.MSG",
              "From x Tue Sep 14 10:00:00 1999\nFrom: Amy <amy@net.example>\n"
              "To: birds@lists.example\n" + MAERZ + "\nSeen: larks\n");
    runresult r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string reply = readfile(dir / "soup/MAIL0000.MSG");
    EXPECT_NE(reply.find("=?utf-8?Q?=C3=9Cbersicht_f=C3=BCr?="), std::string::npos) << reply;
    checkedpacket p = checkpacket(readfile(dir / "in/00000000.PKT"));
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].subject, "\x9a" "bersicht f\x81r M\x84rz");
}

}  // namespace
