#include "mime/charsets.h"

#include <gtest/gtest.h>
#include <unicode/umachine.h>

#include <string>

namespace {

std::string conv(const std::string& text, const char* from, const char* to) {
    std::string out;
    EXPECT_EQ(convertcharset(text, from, to, out), 0) << from << " -> " << to;
    return out;
}

TEST(charsets, namesicuknows) {
    EXPECT_TRUE(charsetknown("utf-8"));
    EXPECT_TRUE(charsetknown("\"ISO-8859-1\""));
    EXPECT_TRUE(charsetknown("cp437"));
    EXPECT_TRUE(charsetknown("koi8-r"));
    EXPECT_FALSE(charsetknown(""));
    EXPECT_FALSE(charsetknown("no-such-set"));
    EXPECT_EQ(canonicalcharset("IBM437"), canonicalcharset("cp437"));
    EXPECT_EQ(mimecharsetname("latin1"), "ISO-8859-1");
    EXPECT_EQ(mimecharsetname("utf8"), "UTF-8");
}

struct chrscase {
    const char* identifier;
    const char* internet;  // the MIME name of its set
    int level;
    const char* written;  // the identifier FidoNet writes for that set
};

TEST(charsets, fidonetidentifiers) {
    const chrscase cases[] = {
        {"IBMPC", "IBM437", 2, "CP437 2"},  {"CP437", "IBM437", 2, "CP437 2"},
        {"cp866", "IBM866", 2, "CP866 2"},  {"+7_FIDO", "IBM866", 2, "CP866 2"},
        {"LATIN-1", "ISO-8859-1", 2, "LATIN-1 2"}, {"LATIN-5", "ISO-8859-9", 2, "LATIN-5 2"},
        {"KOI8-R", "KOI8-R", 2, "KOI8-R 2"}, {"CP1251", "windows-1251", 2, "CP1251 2"},
        {"UTF-8", "UTF-8", 4, "UTF-8 4"},   {"ASCII", "US-ASCII", 1, "ASCII 1"},
        {"CP850 2", "IBM850", 2, "CP850 2"},
    };
    for (const chrscase& c : cases) {
        SCOPED_TRACE(c.identifier);
        EXPECT_EQ(fidotointernet(c.identifier), c.internet);
        EXPECT_EQ(fidocharsetlevel(c.identifier), c.level);
        EXPECT_EQ(chrsforcharset(fidotointernet(c.identifier)), c.written);
    }
    // A name ICU knows stands for itself; one nobody knows for nothing.
    EXPECT_EQ(fidoidentifier("iso-8859-5"), "ISO-8859-5");
    EXPECT_EQ(fidocharsetlevel("iso-8859-5"), 2);
    EXPECT_EQ(fidoidentifier("ibmpc"), "IBMPC");
    EXPECT_EQ(fidoidentifier("MARTIAN"), "");
    EXPECT_EQ(fidocharsetname("MARTIAN"), "");
    EXPECT_EQ(chrsforcharset("iso-8859-5"), "");
    EXPECT_EQ(chrsforcharset("latin1"), "LATIN-1 2");
}

TEST(charsets, utf8validity) {
    EXPECT_TRUE(isvalidutf8("plain"));
    EXPECT_TRUE(isvalidutf8("\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80"));
    EXPECT_FALSE(isvalidutf8("\xc3"));              // cut
    EXPECT_FALSE(isvalidutf8("\xc0\xaf"));          // overlong
    EXPECT_FALSE(isvalidutf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(isvalidutf8("\xf4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(isvalidutf8("M\xe4rz"));           // Latin-1
    EXPECT_EQ(guesscharset("M\xc3\xa4rz"), "UTF-8");
    EXPECT_EQ(guesscharset("M\xe4rz \x80"), "windows-1252");
}

TEST(charsets, convertswhatthetargetholds) {
    // German into CP437: the umlauts are there.
    EXPECT_EQ(conv("\xc3\x9c" "bersicht f\xc3\xbcr M\xc3\xa4rz", "utf-8", "cp437"),
              "\x9a" "bersicht f\x81r M\x84rz");
    // Russian into CP866 and KOI8-R.
    EXPECT_EQ(conv("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "utf-8", "ibm866"),
              "\x8f\xe0\xa8\xa2\xa5\xe2");
    EXPECT_EQ(conv("\xf0\xd2\xc9\xd7\xc5\xd4", "koi8-r", "ibm866"), "\x8f\xe0\xa8\xa2\xa5\xe2");
    // Back into UTF-8.
    EXPECT_EQ(conv("Caf\xe9", "iso-8859-1", "utf-8"), "Caf\xc3\xa9");
    EXPECT_EQ(conv("\x80", "windows-1252", "utf-8"), "\xe2\x82\xac");
    // ASCII passes as it is, also into a set that agrees with it.
    EXPECT_EQ(conv("plain text\t1", "utf-8", "cp866"), "plain text\t1");
}

TEST(charsets, transliterateswhatthetargetlacks) {
    // CP437 has no Polish L with stroke, no Cyrillic, no typographic quotes.
    EXPECT_EQ(conv("\xe2\x80\x9cok\xe2\x80\x9d \xe2\x84\xa2", "utf-8", "cp437"), "\"ok\" TM");
    EXPECT_EQ(conv("\xc5\x81\xc3\xb3""d\xc5\xba", "utf-8", "cp437"), "L\xa2" "dz");
    EXPECT_EQ(conv("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "utf-8", "cp437"),
              "Privet");
    // CP866 lacks the German letters.
    EXPECT_EQ(conv("M\xc3\xbcller", "utf-8", "ibm866"), "Muller");
    // What has no Latin form is still shown, as "?".
    EXPECT_EQ(conv("ok \xf0\x9f\x98\x80", "utf-8", "cp437"), "ok ?");
    EXPECT_EQ(conv("5 \xe2\x82\xac", "utf-8", "cp437"), "5 ?");
    // Invisible joiners may go.
    EXPECT_EQ(conv("a\xe2\x80\x8d" "b", "utf-8", "cp437"), "ab");
    // A letter and its accent sent apart meet the precomposed letter.
    EXPECT_EQ(conv("e\xcc\x81t\xc3\xa9", "utf-8", "iso-8859-1"), "\xe9t\xe9");
}

// The DOS code pages give the control bytes pictures, and ICU writes
// those pictures as the control bytes when asked to fall back: a smiley in
// a subject became 0x01, a note a carriage return. No character that is
// not a control ever becomes a control byte, and no character becomes more
// than four.
TEST(charsets, nocharacterbecomesacontrolbyte) {
    std::string all;
    // Every character up to U+2FFF (the symbols and pictures among them),
    // and some of each further block.
    for (UChar32 c = 0x20; c < 0x20000; c += c < 0x3000 ? 1 : 61) {
        if ((c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000)) continue;
        // Runs of characters of one script, as text has them, and blanks.
        if (c % 7 == 0) all += ' ';
        char buf[4];
        int n = 0;
        if (c < 0x800) {
            buf[n++] = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            buf[n++] = static_cast<char>(0xE0 | (c >> 12));
            buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            buf[n++] = static_cast<char>(0xF0 | (c >> 18));
            buf[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        if (c < 0x80) {
            all += static_cast<char>(c);
        } else {
            all.append(buf, static_cast<std::size_t>(n));
            all += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    ASSERT_TRUE(isvalidutf8(all));
    std::size_t characters = 0;
    for (unsigned char c : all) characters += (c & 0xC0) != 0x80;
    for (const char* target : {"ibm-437", "ibm-850", "ibm-866", "ibm-852", "ISO-8859-1", "KOI8-R",
                               "windows-1251", "macintosh", "US-ASCII"}) {
        SCOPED_TRACE(target);
        std::string out = conv(all, "utf-8", target);
        std::size_t controls = 0;
        for (unsigned char c : out) controls += c < 0x20 || c == 0x7F;
        EXPECT_EQ(controls, 0u);
        EXPECT_LE(out.size(), 4 * characters);
    }
    // The pictures the issue was found with.
    EXPECT_EQ(conv("\xe2\x98\xba\xe2\x99\xaa\xe2\x97\x99", "utf-8", "ibm-437"), "???");
    EXPECT_EQ(conv("\xe2\x98\xba", "utf-8", "ibm-866"), "?");
    // Controls stay controls (the packet writer blanks them) and the
    // pictures the code page holds as letters stay letters.
    EXPECT_EQ(conv("a\x01" "b", "utf-8", "ibm-437"), "a\x01" "b");
    EXPECT_EQ(conv("\xe2\x99\xa5", "utf-8", "ibm-437"), "?");
    EXPECT_EQ(conv("\xe2\x96\x91", "utf-8", "ibm-437"), "\xb0");
}

TEST(charsets, onlyasciisafesetsmaycarryfidonettext) {
    for (const char* name : {"UTF-8", "cp437", "ibm866", "windows-1252", "ISO-8859-5", "KOI8-R",
                             "Shift_JIS", "GB18030"})
        EXPECT_TRUE(asciisafecharset(name)) << name;
    for (const char* name : {"UTF-16BE", "UTF-16", "UTF-32", "UTF-7", "ISO-2022-JP", "HZ",
                             "IBM037", "SCSU", "no-such-set", ""})
        EXPECT_FALSE(asciisafecharset(name)) << name;
    EXPECT_EQ(charsetc1bytes("ISO-8859-1"), 0xFFFFFFFFu);
    EXPECT_EQ(charsetc1bytes("ISO-8859-5"), 0xFFFFFFFFu);
    EXPECT_EQ(charsetc1bytes("cp437"), 0u);
    EXPECT_EQ(charsetc1bytes("UTF-8"), 0u);
    EXPECT_TRUE(isutf8charset("utf8"));
    EXPECT_FALSE(isutf8charset("cp437"));
}

TEST(charsets, brokeninputbecomesreplacement) {
    // Invalid UTF-8 is never passed on into a UTF-8 text.
    std::string out = conv("a\xffz", "utf-8", "utf-8");
    EXPECT_TRUE(isvalidutf8(out));
    EXPECT_EQ(out, "a\xef\xbf\xbdz");
    std::string junk;
    EXPECT_EQ(convertcharset("x", "no-such-set", "utf-8", junk), -1);
    EXPECT_EQ(junk, "");
}

TEST(charsets, cutsatcharacterboundaries) {
    const std::string u = "ab\xc3\xbc\xe2\x82\xac";  // a b u-umlaut euro: 7 bytes
    EXPECT_EQ(charsetcut(u, 7, "utf-8"), 7u);
    EXPECT_EQ(charsetcut(u, 6, "utf-8"), 4u);
    EXPECT_EQ(charsetcut(u, 5, "utf-8"), 4u);
    EXPECT_EQ(charsetcut(u, 3, "utf-8"), 2u);
    EXPECT_EQ(charsetcut(u, 3, "cp437"), 3u);  // single bytes: anywhere
    EXPECT_EQ(charsetcut(u, 3, ""), 2u);       // unnamed, valid UTF-8: as UTF-8
    EXPECT_EQ(charsetcut("\xe4\xe4\xe4\xe4", 3, ""), 3u);
    // Shift_JIS: two-byte characters after one ASCII letter.
    const std::string sjis = "a\x93\xfa\x96\x7b";
    EXPECT_EQ(charsetcut(sjis, 4, "Shift_JIS"), 3u);
    EXPECT_FALSE(ischarboundary(sjis, 2, "Shift_JIS"));
    EXPECT_TRUE(ischarboundary(sjis, 3, "Shift_JIS"));
    EXPECT_FALSE(ischarboundary(u, 3, "utf-8"));
    EXPECT_TRUE(ischarboundary(u, 4, "utf-8"));
}

}  // namespace
