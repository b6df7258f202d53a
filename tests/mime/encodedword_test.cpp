#include "mime/encodedword.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct wordcase {
    const char* name;
    const char* value;
    const char* decoded;
    int words;
};

TEST(encodedword, decodes) {
    const wordcase cases[] = {
        {"base64 utf-8", "=?utf-8?B?SsO8cmdlbiBNw7xsbGVy?=", "J\xc3\xbcrgen M\xc3\xbcller", 1},
        {"q latin-1 with underscore", "=?ISO-8859-1?Q?Caf=E9_au_lait?=", "Caf\xc3\xa9 au lait", 1},
        {"lower-case encoding letter", "=?iso-8859-1?q?=E9?=", "\xc3\xa9", 1},
        {"koi8-r", "=?koi8-r?B?8NLJ18XU?=", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", 1},
        {"text around kept", "Re: =?utf-8?Q?M=C3=A4rz?= report", "Re: M\xc3\xa4rz report", 1},
        {"adjacent words joined", "=?utf-8?Q?a?= =?utf-8?Q?b?=\t =?utf-8?Q?c?=", "abc", 3},
        {"blank inside a word kept", "=?utf-8?Q?a_?= =?utf-8?Q?b?=", "a b", 2},
        {"words of two charsets", "=?iso-8859-1?Q?=E9?= =?utf-8?Q?=C3=A9?=", "\xc3\xa9\xc3\xa9", 2},
        // A character whose bytes are split between two words survives.
        {"split character", "=?utf-8?B?w4Q=?= =?utf-8?Q?=C3?= =?utf-8?Q?=96?=", "\xc3\x84\xc3\x96",
         3},
        {"language suffix", "=?utf-8*de?Q?gr=C3=BC=C3=9F?=", "gr\xc3\xbc\xc3\x9f", 1},
        {"unpadded base64", "=?utf-8?B?w7w?=", "\xc3\xbc", 1},
        {"unknown charset stays", "=?x-martian?Q?abc?= ok", "=?x-martian?Q?abc?= ok", 0},
        {"bad syntax stays", "=?utf-8?X?abc?= =?utf-8?Q?a b?=", "=?utf-8?X?abc?= =?utf-8?Q?a b?=",
         0},
        {"raw utf-8", "Gr\xc3\xbc\xc3\x9f" "e", "Gr\xc3\xbc\xc3\x9f" "e", 0},
        {"raw latin-1", "Gr\xfc\xdf" "e", "Gr\xc3\xbc\xc3\x9f" "e", 0},
        {"controls become blanks", "=?utf-8?Q?a=0D=0A=01MSGID?=", "a   MSGID", 1},
        {"plain ascii", "just text =? not a word", "just text =? not a word", 0},
    };
    for (const wordcase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        EXPECT_EQ(decodeencodedwords(c.value, out), c.words);
        EXPECT_EQ(out, c.decoded);
    }
}

TEST(encodedword, appendstowhatisthere) {
    std::string out = "Subject: ";
    decodeencodedwords("=?utf-8?Q?x?=", out);
    EXPECT_EQ(out, "Subject: x");
    EXPECT_TRUE(hasencodedword("a =?b"));
    EXPECT_FALSE(hasencodedword("a = ?b"));
}

}  // namespace
