#include "import/headerlines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fileio.h"
#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

// All logical header lines of the range, up to and including the empty one
// that ends the header.
std::vector<std::string> headerlines(const std::string& path, msgrange r) {
    fileptr f = openfile(path, "rb");
    EXPECT_TRUE(f);
    rangereader in(f.get(), r);
    std::vector<std::string> out;
    std::string line;
    while (readheaderline(in, line)) {
        out.push_back(line);
        if (line.empty()) break;
    }
    return out;
}

struct foldcase {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
};

class folding : public ::testing::TestWithParam<foldcase> {};

TEST_P(folding, lines) {
    const foldcase& c = GetParam();
    scratchdir dir;
    writefile(dir / "m", c.text);
    EXPECT_EQ(headerlines(dir / "m", {0, static_cast<long>(c.text.size())}), c.lines);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(headerlines, folding, ::testing::Values(
    foldcase{"simple", "From: a@b\nTo: c@d\n\nbody\n", {"From: a@b", "To: c@d", ""}},
    foldcase{"foldedsubject", "Subject: a long\n\tfolded subject\n   and more  \nX: y\n\n",
             {"Subject: a long folded subject and more", "X: y", ""}},
    foldcase{"whitespaceruns", "To:   x@y \t (X  Y)  \n\n", {"To: x@y (X Y)", ""}},
    foldcase{"crlfheader", "Subject: x\r\n\r\n indented body\r\n", {"Subject: x", ""}},
    foldcase{"crlffolded", "Subject: x\r\n y\r\n\r\n", {"Subject: x y", ""}},
    foldcase{"noemptyline", "A: 1\nB: 2", {"A: 1", "B: 2"}},
    foldcase{"continuationatend", "A: 1\n 2", {"A: 1 2"}}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

// A continuation line past the end of the range belongs to the next one and
// is never read; a line too long for the buffer comes in pieces.
TEST(headerlines, rangeendsandoverlonglines) {
    scratchdir dir;
    std::string first = "Subject: one\n";
    writefile(dir / "m", first + " not mine\n\nSubject: two\n");
    EXPECT_EQ(headerlines(dir / "m", {0, static_cast<long>(first.size())}),
              (std::vector<std::string>{"Subject: one"}));

    std::string text = "X: " + std::string(40000, 'a') + "\n\tb\n\n";
    writefile(dir / "m", text);
    std::vector<std::string> lines = headerlines(dir / "m", {0, static_cast<long>(text.size())});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), MAXLOGICALLINE);
    EXPECT_EQ(lines[1], std::string(40003 - MAXLOGICALLINE, 'a') + " b");
    EXPECT_EQ(lines[2], "");
}

// ------------------------------------------------------- the field table

// Parses the header of text into curmsg as the parse pass does.
void parseheader(const std::string& text) {
    scratchdir dir;
    writefile(dir / "m", text);
    fileptr f = openfile(dir / "m", "rb");
    rangereader in(f.get(), {0, static_cast<long>(text.size())});
    resetmessage();
    std::string line;
    while (readheaderline(in, line) && !line.empty()) parseheaderline(line);
}

// The everyday fields are run end to end by the golden import cases; here
// a recipient list folded over lines and References folded after its first id.
TEST_F(statetest, foldedlistsandreferences) {
    parseheader(
        "To: Bob Jones <bob@z.org>,\n"
        "    carol@c.org (Carol C),\n"
        "\t\"Doe, John\" <john@d.org>\n"
        "Cc: dan@e.org\n"
        "References: <1@a.org>\n"
        "\t<2@b.org> <3@c.org>\n"
        "Content-Type: text/plain\n"
        "\n"
        "From: not a header\n");
    EXPECT_EQ(curmsg.msgtoemail.str(), "bob@z.org");
    EXPECT_EQ(curmsg.msgtoname.str(), "Bob Jones");
    EXPECT_EQ(curmsg.emaillist, (std::vector<emailentry>{{EMAIL_TO, "carol@c.org", "Carol C"},
                                                         {EMAIL_TO, "john@d.org", "Doe, John"},
                                                         {EMAIL_CC, "dan@e.org", ""}}));
    EXPECT_EQ(curmsg.replyid.str(), "3@c.org");
    EXPECT_TRUE(curmsg.msgfromemail.empty());  // the body is not read
    EXPECT_TRUE(curmsg.mimetype.empty());       // MIME lines are not this table's
}

struct tablecase {
    const char* name;
    std::string header;
    const char* replyid;
    const char* toname;
    const char* subject;
};

class fieldtable : public statetest, public ::testing::WithParamInterface<tablecase> {};

TEST_P(fieldtable, rules) {
    const tablecase& c = GetParam();
    parseheader(c.header + "\n");
    EXPECT_EQ(curmsg.replyid.str(), c.replyid);
    EXPECT_EQ(curmsg.msgtoname.str(), c.toname);
    EXPECT_EQ(curmsg.msgsubj.str(), c.subject);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(headerlines, fieldtable, ::testing::Values(
    tablecase{"referenceskeepsthelast", "References: <1@a> <2@b>\n", "2@b", "", ""},
    tablecase{"inreplytoreplacesreferences", "References: <1@a> <2@b>\nIn-Reply-To: <9@z>\n", "9@z", "", ""},
    tablecase{"referencesdoesnotreplaceinreplyto", "In-Reply-To: <9@z>\nReferences: <1@a> <2@b>\n", "9@z", "", ""},
    tablecase{"referenceswithoutat", "References: <nothing>\nReferences: <2@b>\n", "2@b", "", ""},
    tablecase{"commenttonamesrecipient", "X-Comment-To: Some Body\n", "", "Some Body", ""},
    tablecase{"commenttoafterto", "To: Joe <j@x>\nX-Comment-To: Other\n", "", "Joe", ""},
    tablecase{"toaddressonlyletscommentto", "To: j@x\nX-Comment-To: Other\n", "", "Other", ""},
    tablecase{"laterheaderwins", "Subject: one\nSubject: two\n", "", "", "two"},
    tablecase{"namesignorecase", "SUBJECT: loud\nin-reply-to: <1@a>\n", "1@a", "", "loud"}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

TEST_F(statetest, hostileheaderlinesoverrunnothing) {
    const char* names[] = {"From:",        "Reply-To:",     "To:",         "Cc:",
                           "Bcc:",         "X-Comment-To:", "X-From:",     "Sender:",
                           "Subject:",     "Date:",         "Message-ID:", "Organization:",
                           "In-Reply-To:", "References:",   "Newsgroups:", "X-MailPassword:"};
    const std::string fillers[] = {std::string(MAXLOGICALLINE, 'x'),
                                   "<" + std::string(20000, 'a') + "@" + std::string(12000, 'b'),
                                   std::string(16000, '\\') + std::string(16000, ' '),
                                   std::string(32000, ',') + "a@b",
                                   std::string(30000, '<') + "@" + std::string(2000, '>'),
                                   std::string(30000, '"') + "a@b"};
    for (const std::string& fill : fillers) {
        for (const char* n : names) {
            resetmessage();
            std::string line = std::string(n) + " " + fill;
            line.resize(std::min(line.size(), MAXLOGICALLINE));
            parseheaderline(line);
            for (const text128* f :
                 {&curmsg.msgfromemail, &curmsg.msgfromname, &curmsg.msgtoemail, &curmsg.msgtoname,
                  &curmsg.msgreplyemail, &curmsg.msgreplyname, &curmsg.xfrom, &curmsg.sender,
                  &curmsg.msgsubj, &curmsg.msgorganization, &curmsg.msgid, &curmsg.replyid,
                  &curmsg.tzinfo}) {
                EXPECT_LE(f->size(), 127u) << n;
            }
            EXPECT_LE(curmsg.routemailpwd.size(), 63u);
            EXPECT_LE(curmsg.emaillist.size(), MAXEMAILLIST);
            for (const emailentry& e : curmsg.emaillist) {
                EXPECT_LE(e.email.size(), 127u);
                EXPECT_LE(e.name.size(), 127u);
            }
            EXPECT_LE(curmsg.xpost.size(), MAXXPOST);
            for (const std::string& g : curmsg.xpost) EXPECT_LE(g.size(), 127u);
            EXPECT_LE(curmsg.msgtime.day, 31);
            EXPECT_LE(curmsg.msgtime.month, 11);
        }
    }
}

}  // namespace
