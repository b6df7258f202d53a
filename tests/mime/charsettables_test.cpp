// The byte tables that convert text without ICU must give exactly what
// ICU's own conversion gives: for every byte of every single-byte set the
// gateway names, and for every character written into each of them.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

#include <string>
#include <vector>

#include "mime/charsets.h"
#include "support/utf8.h"

namespace {

// The single-byte sets of the FidoNet identifiers and the usual Internet
// ones.
const char* const SINGLEBYTE[] = {
    "US-ASCII",     "ibm-437",      "ibm-850",      "ibm-852",      "ibm-855",
    "ibm-857",      "ibm-858",      "ibm-860",      "ibm-861",      "ibm-862",
    "ibm-863",      "ibm-864",      "ibm-865",      "ibm-866",      "ibm-869",
    "ibm-1125",     "windows-1250", "windows-1251", "windows-1252", "windows-1253",
    "windows-1254", "windows-1255", "windows-1256", "windows-1257", "windows-1258",
    "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-3",   "ISO-8859-4",   "ISO-8859-5",
    "ISO-8859-7",   "ISO-8859-9",   "ISO-8859-15",  "KOI8-R",       "KOI8-U",
    "macintosh",
};

struct bothways {
    std::string table, icu;
    int tablestatus = 0, icustatus = 0;
};

bothways convert(const std::string& text, const char* from, const char* to) {
    bothways r;
    allowcharsettables(true);
    r.tablestatus = convertcharset(text, from, to, r.table);
    allowcharsettables(false);
    r.icustatus = convertcharset(text, from, to, r.icu);
    allowcharsettables(true);
    return r;
}

TEST(charsettables, everybytereadsasicureadsit) {
    for (const char* cs : SINGLEBYTE) {
        ASSERT_TRUE(charsetknown(cs)) << cs;
        std::string all;
        for (int b = 0; b < 256; ++b) {
            // Alone, between letters, and after a letter an accent may join.
            std::string one(1, static_cast<char>(b));
            for (const std::string& text : {one, "a" + one + "b", "e" + one, one + one}) {
                for (const char* to : {"UTF-8", "ibm-437", "ISO-8859-1", "ibm-866"}) {
                    bothways r = convert(text, cs, to);
                    ASSERT_EQ(r.tablestatus, r.icustatus) << cs << " byte " << b << " -> " << to;
                    ASSERT_EQ(r.table, r.icu) << cs << " byte " << b << " -> " << to;
                }
            }
            all += static_cast<char>(b);
        }
        bothways r = convert(all, cs, "UTF-8");
        EXPECT_EQ(r.table, r.icu) << cs << ": all bytes";
    }
}

// Whether ICU writes c into the set as a byte of its own and reads that
// byte back as c, and the byte is no control byte standing for a picture.
int icubyte(const char* cs, char32_t c) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(cs, &err);
    if (U_FAILURE(err)) return -2;
    USet* set = uset_openEmpty();
    ucnv_getUnicodeSet(conv, set, UCNV_ROUNDTRIP_SET, &err);
    int byte = -1;
    if (uset_contains(set, static_cast<UChar32>(c))) {
        UChar wide[2];
        int32_t n = 0;
        U16_APPEND_UNSAFE(wide, n, c);
        char bytes[8];
        err = U_ZERO_ERROR;
        int32_t got = ucnv_fromUChars(conv, bytes, sizeof bytes, wide, n, &err);
        if (U_SUCCESS(err) && got == 1) byte = static_cast<unsigned char>(bytes[0]);
        bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        if (byte >= 0 && (byte < 0x20 || byte == 0x7F) && !control) byte = -1;
    }
    uset_close(set);
    ucnv_close(conv);
    return byte;
}

TEST(charsettables, everycharacteriswrittenasicuwritesit) {
    // The byte of every character that each set holds, and that it holds
    // no other: every code point of the Basic Multilingual Plane (where
    // single-byte sets have all their characters) and a sample beyond,
    // against ICU's converter asked directly.
    for (const char* cs : SINGLEBYTE) {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* conv = ucnv_open(cs, &err);
        ASSERT_TRUE(U_SUCCESS(err)) << cs;
        USet* set = uset_openEmpty();
        ucnv_getUnicodeSet(conv, set, UCNV_ROUNDTRIP_SET, &err);
        ucnv_close(conv);
        int held = 0;
        for (char32_t c = 0; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 0x101) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            int table = charsettablebyte(cs, c);
            ASSERT_NE(table, -2) << cs;
            // Outside ICU's set only the table's "not held" is right; inside
            // it ICU is asked for the byte.
            if (!uset_contains(set, static_cast<UChar32>(c))) {
                ASSERT_EQ(table, -1) << cs << " U+" << std::hex << static_cast<unsigned>(c);
                continue;
            }
            ASSERT_EQ(table, icubyte(cs, c)) << cs << " U+" << std::hex << static_cast<unsigned>(c);
            held += table >= 0;
        }
        uset_close(set);
        EXPECT_GE(held, 128) << cs;
    }
    // And the whole conversion of the scripts and signs the DOS and ISO
    // sets hold, each character between two letters so that what the
    // target lacks is a run of its own, both ways.
    std::string text;
    for (char32_t c = 0x80; c < 0x600; ++c) {
        appendutf8(text, c);
        text += 'x';
    }
    for (char32_t c = 0x2000; c < 0x2700; ++c) {
        appendutf8(text, c);
        text += 'x';
    }
    for (const char* cs : {"ibm-437", "ibm-866", "ISO-8859-1", "windows-1251"}) {
        bothways r = convert(text, "UTF-8", cs);
        ASSERT_EQ(r.tablestatus, r.icustatus) << cs;
        EXPECT_EQ(r.table, r.icu) << cs;
    }
}

TEST(charsettables, textthatneedsmorethanatablegoestoicu) {
    // Accents sent apart, characters composition changes, broken UTF-8,
    // text ICU transliterates as a run, and sets of more than one byte: the
    // same bytes either way.
    const std::string texts[] = {
        "cafe\xCC\x81 au lait",             // e + combining acute
        "\xE2\x84\xAB ngstr\xC3\xB6m",      // the Angstrom sign composes to U+00C5
        "\xCC\x81 leading accent",          // an accent with nothing before it
        "broken \xC3 utf-8 \xF0\x9F\x98",   // cut sequences
        "\xED\xA0\x80 surrogate, \xC0\xAF overlong",
        "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC 5",
        "\xE2\x84\xA2 \xEF\xAC\x81 \xE2\x80\x94 \xE2\x98\xBA \xE2\x99\xAA",
        "\x01\x02\x1A\x1C\x7F controls \t tab",
        std::string("nul \0 inside", 12),
    };
    for (const std::string& text : texts) {
        for (const char* to : {"ibm-437", "ibm-866", "ISO-8859-1", "windows-1258", "UTF-8",
                               "Shift_JIS", "UTF-16BE"}) {
            bothways r = convert(text, "UTF-8", to);
            EXPECT_EQ(r.tablestatus, r.icustatus) << to;
            EXPECT_EQ(r.table, r.icu) << to << ": " << text;
        }
        for (const char* from : {"windows-1258", "ibm-437", "Shift_JIS"}) {
            bothways r = convert(text, from, "UTF-8");
            EXPECT_EQ(r.table, r.icu) << from << ": " << text;
        }
    }
}

TEST(charsettables, nopictureofacontrolbecomesthecontrol) {
    // The smiley and the note that CP437 draws for 0x01 and 0x0D are no
    // characters it holds: they are transliterated or become "?", never the
    // control bytes, on the table path as on ICU's.
    std::string out;
    ASSERT_EQ(convertcharset("\xE2\x98\xBA \xE2\x99\xAA \xE2\x86\x90", "UTF-8", "ibm-437", out), 0);
    for (char c : out) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << out;
}

TEST(charsettables, plainasciiseeseverybyte) {
    // The test reads many bytes at a time: a byte above 127 is found at
    // every position of every length, and none is imagined beyond the end.
    for (std::size_t n = 0; n <= 80; ++n) {
        std::string text(n, 'a');
        std::string padded = text + "\xC3\xA4";
        EXPECT_TRUE(isplainascii(text)) << n;
        EXPECT_TRUE(isplainascii(std::string_view(padded).substr(0, n))) << n;
        for (std::size_t at = 0; at < n; ++at) {
            for (char high : {'\x80', '\xFF', '\xC3'}) {
                std::string t = text;
                t[at] = high;
                ASSERT_FALSE(isplainascii(t)) << n << " at " << at;
            }
        }
    }
}

}  // namespace
