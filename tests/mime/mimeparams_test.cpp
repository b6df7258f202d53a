#include "mime/mimeparams.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct paramcase {
    const char* name;
    const char* field;
    const char* value;
    const char* param;
    const char* expected;  // null: not there
};

TEST(mimeparams, readsvaluesandparameters) {
    const paramcase cases[] = {
        {"quoted", "text/plain; charset=\"utf-8\"", "text/plain", "charset", "utf-8"},
        {"token", "Text/HTML; Charset=ISO-8859-1", "text/html", "charset", "ISO-8859-1"},
        {"boundary with blanks quoted", "multipart/mixed;\tboundary=\"a b=c\"", "multipart/mixed",
         "boundary", "a b=c"},
        {"escaped quote", "attachment; filename=\"a\\\"b.txt\"", "attachment", "filename", "a\"b.txt"},
        {"comment skipped", "text/plain (a comment); format=flowed", "text/plain", "format", "flowed"},
        {"unquoted with blanks", "attachment; filename=My File.pdf", "attachment", "filename",
         "My File.pdf"},
        {"rfc 2231 charset", "attachment; filename*=utf-8''%C3%9Cbersicht%20M%C3%A4rz.pdf",
         "attachment", "filename", "\xc3\x9c" "bersicht M\xc3\xa4rz.pdf"},
        {"rfc 2231 language, latin-1", "attachment; filename*=iso-8859-1'de'Gr%FC%DFe.txt",
         "attachment", "filename", "Gr\xc3\xbc\xc3\x9f" "e.txt"},
        // mutt and Thunderbird: numbered pieces, the first with the charset.
        {"continuations", "attachment; filename*0*=utf-8''Sehr%20lang%C3;\n filename*1*=%A4.txt",
         "attachment", "filename", "Sehr lang\xc3\xa4.txt"},
        {"continuations out of order",
         "attachment; filename*1=\"b.txt\"; filename*0=\"a\"", "attachment", "filename", "ab.txt"},
        {"extended wins over plain",
         "attachment; filename=\"fallback.pdf\"; filename*=utf-8''echt.pdf", "attachment",
         "filename", "echt.pdf"},
        {"extended wins also when first",
         "attachment; filename*=utf-8''echt.pdf; filename=\"fallback.pdf\"", "attachment",
         "filename", "echt.pdf"},
        {"encoded word in quotes", "application/pdf; name=\"=?UTF-8?B?w5xiZXJzaWNodC5wZGY=?=\"",
         "application/pdf", "name", "\xc3\x9c" "bersicht.pdf"},
        {"raw utf-8", "attachment; filename=\"M\xc3\xa4rz.txt\"", "attachment", "filename",
         "M\xc3\xa4rz.txt"},
        {"unknown charset read as raw", "attachment; filename*=x-martian''a%E4.txt", "attachment",
         "filename", "a\xc3\xa4.txt"},
        {"missing value", "text/plain; charset", "text/plain", "charset", nullptr},
        {"spaced slash", "text / plain", "text/plain", "charset", nullptr},
        {"empty", "", "", "charset", nullptr},
    };
    for (const paramcase& c : cases) {
        SCOPED_TRACE(c.name);
        mimefield f = parsemimefield(c.field);
        EXPECT_EQ(f.value, c.value);
        const std::string* p = f.param(c.param);
        if (c.expected) {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(*p, c.expected);
        } else {
            EXPECT_EQ(p, nullptr);
        }
    }
}

TEST(mimeparams, boundedwhateverthevalue) {
    std::string many = "text/plain";
    for (int i = 0; i < 500; ++i) many += "; p" + std::to_string(i) + "=v";
    EXPECT_EQ(parsemimefield(many).params.size(), MAXMIMEPARAMS);
    std::string pieces = "attachment";
    for (int i = 0; i < 400; ++i) pieces += "; filename*" + std::to_string(i) + "=" + std::string(50, 'x');
    mimefield f = parsemimefield(pieces);
    const std::string* name = f.param("filename");
    ASSERT_NE(name, nullptr);
    EXPECT_LE(name->size(), MAXMIMEPARAMVALUE);
}

}  // namespace
