// The parse pass counts the parts that the write pass will write, for the
// SPLIT kludge and the " (n/m)" subjects; whatever classification decides
// in between (the StripKludges entry of the message's category, a
// MailingList truncation, junk that keeps its files as text), the two
// agree. And other faults of the text conversion found on the way.
#include <gtest/gtest.h>

#include <string>

#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

const char GATEWAY[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop Pond\n"
    "MailerType Binkley\n"
    "InboundDir ./in\nOutboundDir ./out\nSoupDir ./soup\nTempDir ./tmp\n"
    "ImportLimit 4000\n";

checkedpacket importarea(const std::string& more, const std::string& area, const std::string& text,
                         const scratchdir& dir) {
    for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
    writefile(dir / "gate.cfg", GATEWAY + more);
    writefile(dir / "soup/AREAS", area + "\n");
    writefile(dir / "soup/0000001.MSG", text);
    runresult r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    checkedpacket p = checkpacket(readfile(dir / "in/00000000.PKT"));
    EXPECT_EQ(p.error, "");
    return p;
}

// Every part names the number of parts there are, in its subject and its
// SPLIT kludge; one part names none.
void expectagreement(const checkedpacket& p, const std::string& where) {
    std::size_t n = p.messages.size();
    ASSERT_GT(n, 0u) << where;
    for (std::size_t i = 0; i < n; ++i) {
        const checkedmessage& m = p.messages[i];
        std::string k = std::to_string(i + 1), total = std::to_string(n);
        if (n == 1) {
            EXPECT_EQ(m.text.find("\x01SPLIT:"), std::string::npos) << where;
            EXPECT_EQ(m.subject.find(" (1/"), std::string::npos) << where << ": " << m.subject;
            continue;
        }
        EXPECT_NE(m.subject.find("(" + k + "/" + total + ")"), std::string::npos)
            << where << ": part " << k << " is " << m.subject;
        char split[64];
        std::snprintf(split, sizeof split, " %02zu/%02zu ", i + 1, n);
        EXPECT_NE(m.text.find(split), std::string::npos) << where << ": part " << k;
    }
}

std::string lines(int n, const std::string& text) {
    std::string s;
    for (int i = 0; i < n; ++i) s += text + " " + std::to_string(i) + "\n";
    return s;
}

TEST(passagreement, stripkludgesofthecategorywritten) {
    std::string refs = "References:";
    for (int i = 0; i < 200; ++i) refs += " <ref" + std::to_string(i) + "@news.example>";
    const std::string article = "From: Ann <ann@x.example>\nNewsgroups: alt.test\n"
                                "Subject: long thread\n" + refs + "\n\n" + lines(20, "text") ;
    const std::string rnews = "#! rnews " + std::to_string(article.size()) + "\n" + article;
    for (const char* strip : {"StripKludges Some News\n", "StripKludges Some\nStripKludges No News\n",
                              "StripKludges Yes Email\n"}) {
        scratchdir dir;
        expectagreement(importarea(strip, "0000001\talt.test\tun", rnews, dir), strip);
    }
}

TEST(passagreement, truncatedlisttextcountsonlywhatstays) {
    const std::string mail = "From x Tue Sep 14 10:00:00 1999\nFrom: Ann <ann@lists.example>\n"
                             "To: birds@lists.example\nSubject: [birds] herons\n\n" +
                             lines(3, "kept") + "-- footer\n" + lines(600, "dropped");
    scratchdir dir;
    checkedpacket p = importarea("MailingList BIRDS birds@lists.example [birds] TRUNCATE=-- footer\n",
                                 "0000001\tEmail\tmn", mail, dir);
    expectagreement(p, "truncate");
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text.find("dropped"), std::string::npos);
}

TEST(passagreement, junkkeepsitsfilesastextandcountsthem) {
    std::string data;
    for (int i = 0; i < 120; ++i) data += std::string(76, 'Q') + "\n";
    const std::string mail =
        "From x Tue Sep 14 10:00:00 1999\nFrom: Deals <deals@spam.example>\n"
        "To: sysop@pond.example\nSubject: offer\nMIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nBuy.\n"
        "--b\nContent-Type: application/octet-stream; name=offer.bin\n"
        "Content-Transfer-Encoding: base64\n\n" + data + "--b--\n";
    scratchdir dir;
    checkedpacket p = importarea("JunkFrom *@spam.example\n", "0000001\tEmail\tmn", mail, dir);
    expectagreement(p, "junk");
    EXPECT_GT(p.messages.size(), 1u);
    EXPECT_FALSE(fileexists(dir / "in/offer.bin"));
}

// A header field named like a FidoNet kludge never becomes one: the
// message keeps one MSGID, the gateway's own.
TEST(passagreement, fieldsnamedlikekludgesareprefixed) {
    const std::string mail =
        "From x Tue Sep 14 10:00:00 1999\nFrom: Eve <eve@evil.example>\nTo: sysop@pond.example\n"
        "Subject: hi\nMessage-ID: <1@evil.example>\nMSGID: 1:2/3 deadbeef\nintl: 1:2/3 1:2/4\n"
        "Via: 1:2/3\nCHRS: UTF-8 4\nPath: news.example!not-for-mail\nSEEN-BY: 1/1\n"
        "INTL\x01" "1:2/3 1:2/4\nTOPT\x1b: 7\nX-Other: kept\n\nbody\n";
    scratchdir dir;
    checkedpacket p = importarea("", "0000001\tEmail\tmn", mail, dir);
    ASSERT_EQ(p.messages.size(), 1u);
    const std::string& t = p.messages[0].text;
    std::size_t first = t.find("\x01MSGID:");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(t.find("\x01MSGID:", first + 1), std::string::npos);
    EXPECT_NE(t.find("\x01RFC-MSGID: 1:2/3 deadbeef\r"), std::string::npos);
    EXPECT_NE(t.find("\x01RFC-intl: 1:2/3 1:2/4\r"), std::string::npos);
    EXPECT_NE(t.find("\x01RFC-Via: 1:2/3\r"), std::string::npos);
    EXPECT_NE(t.find("\x01RFC-CHRS: UTF-8 4\r"), std::string::npos);
    EXPECT_EQ(t.find("\x01" "CHRS"), std::string::npos);
    // Echomail's own lines in any case: a news Path is no FidoNet PATH.
    EXPECT_NE(t.find("\x01RFC-Path: news.example!not-for-mail\r"), std::string::npos);
    EXPECT_NE(t.find("\x01RFC-SEEN-BY: 1/1\r"), std::string::npos);
    // A control byte in a field's name makes it no field: once blanked it
    // would read "INTL 1:2/3 1:2/4".
    EXPECT_EQ(t.find("INTL 1:2/3"), std::string::npos);
    EXPECT_EQ(t.find("TOPT"), std::string::npos);
    EXPECT_NE(t.find("\x01X-Other: kept\r"), std::string::npos);
}

// Padding of one "=" ends a Base64 part as "==" does: the text after it
// stays text and the file keeps its 17 bytes.
TEST(passagreement, singlepaddingendsabase64part) {
    const std::string mail =
        "From x Tue Sep 14 10:00:00 1999\nFrom: Bob <bob@net.example>\nTo: sysop@pond.example\n"
        "Subject: data\nContent-Type: application/octet-stream; name=\"d.bin\"\n"
        "Content-Transfer-Encoding: base64\n\nAAECAwQFBgcICQoLDA0ODxA=\nRegards\n";
    scratchdir dir;
    checkedpacket p = importarea("", "0000001\tEmail\tmn", mail, dir);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(readfile(dir / "in/d.bin").size(), 17u);
    EXPECT_NE(p.messages[0].text.find("d.bin (17 bytes)"), std::string::npos);
    EXPECT_NE(p.messages[0].text.find("Regards\r"), std::string::npos);
}

}  // namespace

namespace {

// Read as a tree, the parse pass learns which alternative is shown only at
// the end of the alternatives (here the HTML one comes first); the parts
// written still agree with the parts counted, and only the plain text is
// there.
TEST(passagreement, alternativechosenafteritwasread) {
    std::string html = "<p>" + lines(300, "html line") + "</p>";
    const std::string mail =
        "From x Tue Sep 14 10:00:00 1999\nFrom: Ann <ann@x.example>\nTo: sysop@pond.example\n"
        "Subject: alternatives\nMIME-Version: 1.0\n"
        "Content-Type: multipart/alternative; boundary=alt\n\n--alt\n"
        "Content-Type: text/html; charset=utf-8\n\n" + html + "\n--alt\n"
        "Content-Type: text/plain; charset=utf-8\n\n" + lines(400, "plain line") + "--alt--\n";
    scratchdir dir;
    checkedpacket p = importarea("FidoCharSet CP437 2\n", "0000001\tEmail\tmn", mail, dir);
    expectagreement(p, "alternatives");
    EXPECT_GT(p.messages.size(), 1u);
    for (const checkedmessage& m : p.messages) EXPECT_EQ(m.text.find("html line"), std::string::npos);
    EXPECT_NE(p.messages.back().text.find("plain line 399"), std::string::npos);
}

// Text converted into the FidoNet character set may be shorter or longer
// than the parse pass counted it: UTF-8 into CP437.
TEST(passagreement, convertedtextcountsasitiswritten) {
    std::string body;
    for (int i = 0; i < 300; ++i) body += "\xc3\xa4\xc3\xb6\xc3\xbc \xe2\x82\xac line " + std::to_string(i) + "\n";
    const std::string mail =
        "From x Tue Sep 14 10:00:00 1999\nFrom: Ann <ann@x.example>\nTo: sysop@pond.example\n"
        "Subject: umlauts\nContent-Type: text/plain; charset=utf-8\n\n" + body;
    for (const char* cs : {"FidoCharSet CP437 2\n", "FidoCharSet UTF-8 4\n"}) {
        scratchdir dir;
        expectagreement(importarea(cs, "0000001\tEmail\tmn", mail, dir), cs);
    }
}

}  // namespace
