#include "import/mime.h"

#include <gtest/gtest.h>

#include <string>

#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

TEST(mime, parametersquotedandunquoted) {
    struct {
        const char *text, *param;
        std::size_t max, used;
        const char* value;
    } cases[] = {
        {"name=\"report.zip\"; size=3", "name=", 4095, 17, "report.zip"},
        {"name=\"  spaced name.txt \"", "name=", 4095, 25, "spaced name.txt"},
        {"name=report.zip; size=3", "name=", 4095, 15, "report.zip"},
        {"NAME=report.zip", "name=", 4095, 15, "report.zip"},
        {"boundary=abc def", "boundary=", 128, 12, "abc"},
        {"boundary=\"----=_Part_1\"", "boundary=", 128, 23, "----=_Part_1"},
        {"name=\"unterminated", "name=", 4095, 18, "unterminated"},
        {"name=", "name=", 4095, 5, ""},
        {"name=\"abcdef\"", "name=", 3, 13, "abc"},
        {"nam=x", "name=", 4095, 0, ""},
    };
    for (const auto& c : cases) {
        std::string value;
        EXPECT_EQ(mimeparameter(c.text, c.param, c.max, value), c.used) << c.text;
        if (c.used) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(mime, boundarylines) {
    struct {
        const char *line, *boundary;
        bool is, closing;
    } cases[] = {
        {"--XyZ", "XyZ", true, false},          {"--XyZ--", "XyZ", true, true},
        {"--XyZ trailing", "XyZ", true, false}, {"--xyz", "XyZ", false, false},
        {"-XyZ", "XyZ", false, false},          {"--", "", false, false},
        {"--anything", "", false, false},
    };
    for (const auto& c : cases) {
        bool closing = true;
        EXPECT_EQ(isboundaryline(c.line, c.boundary, closing), c.is) << c.line;
        EXPECT_EQ(closing, c.closing) << c.line;
    }
}

TEST(mime, quotedprintable) {
    struct {
        const char *in, *out;
    } cases[] = {
        {"a=3Db", "a=b"}, {"Caf=E9", "Caf\xe9"}, {"nul=00byte", "nul byte"},
        {"end=", "end="}, {"=4", "=4"},          {"=G1x", "=G1x"},
        {"==3D", "=="},   {"=3d=3D", "=="},      {"plain", "plain"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        decodeqp(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST_F(statetest, mimeheaderlinesfillthestateandthemessage) {
    mimestate m;
    // Parameters count only after a content line.
    mimeheaderline("X-Note: name=early.txt; boundary=early", m);
    EXPECT_EQ(m.filename, "");
    EXPECT_EQ(m.boundary, "");
    mimeheaderline("Content-Type: multipart/mixed; boundary=XyZ", m);
    EXPECT_EQ(m.boundary, "XyZ");
    EXPECT_EQ(curmsg.mimetype, "multipart/mixed; boundary=XyZ");
    EXPECT_EQ(m.paramscan, 1);
    // Only the first boundary and the first Content-Type count.
    mimeheaderline("Content-Type: text/plain; boundary=\"other\"; charset=\"ISO-8859-1\" ; x=y", m);
    EXPECT_EQ(m.boundary, "XyZ");
    EXPECT_EQ(curmsg.mimetype, "multipart/mixed; boundary=XyZ");
    // The charset keeps its quotes, as it is passed on.
    EXPECT_EQ(curmsg.rfccharset.str(), "\"ISO-8859-1\"");
    mimeheaderline("Content-Disposition: attachment; filename=\"a name=b.zip\"", m);
    EXPECT_EQ(m.filename, "a name=b.zip");
    mimeheaderline("\tname=late.zip", m);
    EXPECT_EQ(m.filename, "late.zip");
    mimeheaderline("Content-Transfer-Encoding: BASE64", m);
    EXPECT_EQ(m.base64pending, 1);
    EXPECT_EQ(curmsg.mimecte.str(), "BASE64");
    mimeheaderline("Content-Transfer-Encoding: quoted-printable", m);
    EXPECT_EQ(m.qp, 1);
    EXPECT_EQ(curmsg.mimecte.str(), "BASE64");
    mimeheaderline("Content-Transfer-Encoding: 7bit", m);
    EXPECT_EQ(m.qp, 0);
}

// The first Content-Type goes whole into the header of a list posting: a
// value cut at some field size would lose the end of its parameters, the
// boundary of a multipart message among them, and every member would get
// a message that cannot be read.
TEST_F(statetest, alongcontenttypeiskeptwhole) {
    mimestate m;
    // A boundary may have 70 characters.
    const std::string boundary = "------------" + std::string(58, 'b');
    const std::string value =
        "multipart/signed; micalg=pgp-sha256; protocol=\"application/pgp-signature\"; "
        "boundary=\"" +
        boundary + "\"";
    mimeheaderline("Content-Type: " + value, m);
    EXPECT_EQ(std::string_view(curmsg.mimetype), value);
    EXPECT_EQ(m.boundary, boundary);
}

}  // namespace
