#include "mime/headerencode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mime/charsets.h"
#include "mime/encodedword.h"

namespace {

// A header line as the export writes it: the field name, then the value.
std::string field(const std::string& name, const std::string& value, const std::string& charset,
                  int spot = SPOT_TEXT) {
    std::string out = name + ": ";
    appendencoded(out, value, charset, spot);
    return out;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (;;) {
        std::size_t nl = s.find('\n', at);
        out.push_back(s.substr(at, nl - at));
        if (nl == std::string::npos) return out;
        at = nl + 1;
    }
}

std::vector<std::string> encodedwords(const std::string& s) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while ((at = s.find("=?", at)) != std::string::npos) {
        std::size_t q1 = s.find('?', at + 2), q2 = s.find('?', q1 + 1);
        std::size_t end = s.find("?=", q2 + 1);
        out.push_back(s.substr(at, end + 2 - at));
        at = end + 2;
    }
    return out;
}

// What a reader makes of a header line: unfolded and decoded into UTF-8.
std::string readback(const std::string& line) {
    std::string unfolded;
    for (char c : line) {
        if (c != '\n') unfolded += c;
    }
    std::string out;
    decodeencodedwords(unfolded.substr(unfolded.find(": ") + 2), out);
    return out;
}

// Every rule of the writing side at once: lines of at most 78 characters
// and none empty after the first, words of at most 75 characters, each
// word whole characters (decoded alone it holds no replacement
// character), and the value read back as it was meant.
void expectwellformed(const std::string& line, const std::string& utf8) {
    std::vector<std::string> ls = lines(line);
    for (std::size_t i = 0; i < ls.size(); ++i) {
        EXPECT_LE(ls[i].size(), HEADERLINEFOLD) << line;
        if (i > 0) {
            EXPECT_EQ(ls[i][0], ' ') << line;
            EXPECT_NE(ls[i].find_first_not_of(' '), std::string::npos) << "empty line in " << line;
        }
    }
    for (const std::string& w : encodedwords(line)) {
        EXPECT_LE(w.size(), ENCODEDWORDMAX) << w;
        std::string alone;
        EXPECT_EQ(decodeencodedwords(w, alone), 1) << w;
        EXPECT_EQ(alone.find("\xef\xbf\xbd"), std::string::npos) << "a split character in " << w;
    }
    EXPECT_EQ(readback(line), utf8) << line;
}

}  // namespace

// The writing choices, byte for byte: ASCII as it stands, the 8-bit words
// encoded with the ASCII around them left alone, B or Q by length.
TEST(headerencode, writes) {
    struct {
        const char* name;
        const char* value;
        const char* charset;
        int spot;
        const char* line;
    } cases[] = {
        {"ascii as it stands", "Hello  (world) =?x?", "utf-8", SPOT_TEXT,
         "Subject: Hello  (world) =?x?"},
        {"controls become blanks, a tab stays", "a\rBcc: x\x01y\tz", "utf-8", SPOT_TEXT,
         "Subject: a Bcc: x y\tz"},
        {"one latin-1 word, Q", "Caf\xe9 au lait", "iso-8859-1", SPOT_TEXT,
         "Subject: =?ISO-8859-1?Q?Caf=E9?= au lait"},
        {"ascii before and after stays", "Re: Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln, bye",
         "utf-8", SPOT_TEXT, "Subject: Re: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4s?= bye"},
        {"mostly ascii, Q", "Re: Caf\xc3\xa9-Restaurant au lait", "utf-8", SPOT_TEXT,
         "Subject: Re: =?UTF-8?Q?Caf=C3=A9-Restaurant?= au lait"},
        {"more 8-bit than not, B", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "utf-8",
         SPOT_TEXT, "Subject: =?UTF-8?B?0J/RgNC40LLQtdGC?="},
        {"a phrase is encoded whole, Q keeps fewer", "J\x81rgen M\x81ller (Pond)", "ibm437",
         SPOT_PHRASE, "Subject: =?IBM437?Q?J=81rgen_M=81ller_=28Pond=29?="},
        {"a literal that reads as an encoded word is encoded too", "=?a?q?b?= \xe9",
         "iso-8859-1", SPOT_TEXT, "Subject: =?ISO-8859-1?B?PT9hP3E/Yj89IOk=?="},
        {"blanks before the word are text", "Re:   \xe9", "iso-8859-1", SPOT_TEXT,
         "Subject: Re: =?ISO-8859-1?B?ICDp?="},
        {"us-ascii cannot name 8-bit text: the bytes' own charset", "M\xc3\xbcller", "us-ascii",
         SPOT_TEXT, "Subject: =?UTF-8?Q?M=C3=BCller?="},
        {"nor can a label that is no name", "M\xfcller", "latin one", SPOT_TEXT,
         "Subject: =?windows-1252?Q?M=FCller?="},
        {"a name ICU does not know is still named", "M\xfcller", "x-fido-pond", SPOT_TEXT,
         "Subject: =?x-fido-pond?Q?M=FCller?="},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(field("Subject", c.value, c.charset, c.spot), c.line) << c.name;
    }
}

// Long values in single-byte and multi-byte charsets fold into words of
// whole characters on lines of at most 78, wherever the line began.
TEST(headerencode, foldsatcharacterboundaries) {
    std::string cyrillic;  // "Привет, мир! " ten times: two bytes a letter
    for (int i = 0; i < 10; ++i) {
        cyrillic += "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82, \xd0\xbc\xd0\xb8\xd1\x80! ";
    }
    cyrillic.pop_back();
    std::string emoji;  // four bytes a character, no blanks at all
    for (int i = 0; i < 40; ++i) emoji += "\xf0\x9f\x90\xb8";
    std::string mixed = "Re: " + std::string(60, 'a') + " \xc3\xa9t\xc3\xa9 " + std::string(30, 'b');
    for (const std::string& v : {cyrillic, emoji, mixed}) {
        for (const char* name : {"Subject", "X-Comment-To", "From"}) {
            expectwellformed(field(name, v, "utf-8"), v);
            expectwellformed(field(name, v, "utf-8", SPOT_PHRASE), v);
        }
    }
    // Shift_JIS: two bytes a character, whose second byte may look like ASCII.
    std::string sjis, utf8;
    for (int i = 0; i < 30; ++i) sjis += "\x93\xfa\x96\x7b\x8c\xea";  // 日本語
    ASSERT_EQ(toutf8(sjis, "Shift_JIS", utf8), 0);
    expectwellformed(field("Subject", sjis, "Shift_JIS"), utf8);
    // A single-byte set may be cut after any byte.
    std::string latin(100, '\xe9'), latinutf8;
    ASSERT_EQ(toutf8(latin, "iso-8859-1", latinutf8), 0);
    expectwellformed(field("Subject", latin, "iso-8859-1"), latinutf8);
}

// The first word takes what is left of the line it starts on.
TEST(headerencode, thefirstwordfitsthelineitstartson) {
    std::string out = "X-Comment-To: " + std::string(50, 'x') + " ";
    appendencoded(out, "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", "utf-8");
    std::vector<std::string> ls = lines(out);
    ASSERT_EQ(ls.size(), 2u);
    EXPECT_LE(ls[0].size(), HEADERLINEFOLD);
    EXPECT_EQ(ls[1].substr(0, 3), " =?");
}
