#include "import/rfc822.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/curmsg.h"
#include "support/testutil.h"

void PrintTo(const emailentry& e, std::ostream* os) {
    *os << "{" << e.kind << ", " << e.email << ", " << e.name << "}";
}

namespace {

// ---------------------------------------------------------- escapes, quotes

struct editcase {
    const char* in;
    const char* unescaped;
    const char* unquoted;
};

TEST(rfc822, escapesandquotes) {
    const editcase cases[] = {
        {"plain", "plain", "plain"},
        {"a\\ b",
         "a\xff"
         "b",
         "a\\ b"},
        {"a\\\\b", "a\\b", "a\\\\b"},
        {"\\\"x\\\"", "\"x\"", "\\\"x\\\""},
        {"trailing\\", "trailing", "trailing\\"},
        {"\"quoted\"", "\"quoted\"", "quoted"},
        {"'\"layers\"'", "'\"layers\"'", "layers"},
        {"\"mixed'", "\"mixed'", "\"mixed'"},
        {"\"", "\"", "\""},
        {"\"\"", "\"\"", ""},
    };
    for (const editcase& c : cases) {
        std::string s = c.in;
        unescape(s);
        EXPECT_EQ(s, c.unescaped) << c.in;
        s = c.in;
        unquote(s);
        EXPECT_EQ(s, c.unquoted) << c.in;
    }
    std::string s =
        "a\xff"
        "b\xff";
    unfixed(s);
    EXPECT_EQ(s, "a b ");
}

// ---------------------------------------------------------- address lists

struct emailcase {
    const char* name;
    std::string value;
    int kind;
    bool fields;  // address and name fields given
    std::string email;
    std::string displayname;
    std::vector<emailentry> list;
};

class addresslists : public statetest, public ::testing::WithParamInterface<emailcase> {};

TEST_P(addresslists, parse) {
    const emailcase& c = GetParam();
    text128 email = "unchanged", name = "unchanged";
    std::string v = c.value;
    processemail(v, c.fields ? &email : nullptr, c.fields ? &name : nullptr, c.kind);
    EXPECT_EQ(email.str(), c.email);
    EXPECT_EQ(name.str(), c.displayname);
    EXPECT_EQ(curmsg.emaillist, c.list);
}

const std::string U = "unchanged";

INSTANTIATE_TEST_SUITE_P(
    rfc822, addresslists,
    ::testing::Values(
        emailcase{"bareaddress", " joe@example.com", HEADER_FROM, true, "joe@example.com", U, {}},
        emailcase{"nameinangles",
                  " John Doe <john@example.com>",
                  HEADER_FROM,
                  true,
                  "john@example.com",
                  "John Doe",
                  {}},
        emailcase{"nameinparentheses",
                  " john@example.com (John Doe)",
                  HEADER_FROM,
                  true,
                  "john@example.com",
                  "John Doe",
                  {}},
        emailcase{"quotednamewithcomma",
                  " \"Doe, John\" <john@example.com>",
                  HEADER_TO,
                  true,
                  "john@example.com",
                  "Doe, John",
                  {}},
        emailcase{
            "addressfirstnameafter", " <j@x.org> Joe", HEADER_FROM, true, "j@x.org", "Joe", {}},
        emailcase{"commentinsidecomment",
                  " joe@x.org (Joe (the) Man)",
                  HEADER_FROM,
                  true,
                  "joe@x.org",
                  "Joe (the) Man",
                  {}},
        emailcase{"threerecipients",
                  " a@x.org, \"Smith, Ann\" <ann@y.org>, bob@z.org (Bob Z)",
                  HEADER_TO,
                  true,
                  "a@x.org",
                  U,
                  {{EMAIL_TO, "ann@y.org", "Smith, Ann"}, {EMAIL_TO, "bob@z.org", "Bob Z"}}},
        emailcase{"apostropheinname",
                  " Pat O'Brien <pat@x.ie>, joe@y.org",
                  HEADER_TO,
                  true,
                  "pat@x.ie",
                  "Pat O'Brien",
                  {{EMAIL_TO, "joe@y.org", ""}}},
        emailcase{"commainsideangles",
                  " <a,b@x.org>, c@y.org",
                  HEADER_TO,
                  true,
                  "a,b@x.org",
                  U,
                  {{EMAIL_TO, "c@y.org", ""}}},
        emailcase{
            "cconly", " carol@c.org", HEADER_CC, false, U, U, {{EMAIL_CC, "carol@c.org", ""}}},
        emailcase{"ccwithnames",
                  " Carol <carol@c.org>, Dan <dan@d.org>",
                  HEADER_CC,
                  false,
                  U,
                  U,
                  {{EMAIL_CC, "carol@c.org", "Carol"}, {EMAIL_CC, "dan@d.org", "Dan"}}},
        emailcase{"bccbare", " eve@e.org", HEADER_BCC, false, U, U, {{EMAIL_BCC, "eve@e.org", ""}}},
        emailcase{"fromkeepsfirstonly", " a@x.org, b@y.org", HEADER_FROM, true, "a@x.org", U, {}},
        emailcase{"replytokeepsfirstonly",
                  " a@x.org, B <b@y.org>",
                  HEADER_REPLYTO,
                  true,
                  "a@x.org",
                  U,
                  {}},
        emailcase{"escapedspacekeepsaddress",
                  " joe\\ smith@example.com",
                  HEADER_FROM,
                  true,
                  "joe smith@example.com",
                  U,
                  {}},
        emailcase{"escapedspaceinname",
                  " Joe\\ \\ Doe <j@x.org>",
                  HEADER_FROM,
                  true,
                  "j@x.org",
                  "Joe  Doe",
                  {}},
        emailcase{"quotedaddress", " \"j@x.org\"", HEADER_FROM, true, "j@x.org", U, {}},
        emailcase{"noaddressgivesnameonly",
                  " undisclosed-recipients:;",
                  HEADER_TO,
                  true,
                  U,
                  "undisclosed-recipients:;",
                  {}},
        emailcase{"firstwithoutaddress",
                  " John, joe@y.org",
                  HEADER_TO,
                  true,
                  U,
                  "John",
                  {{EMAIL_TO, "joe@y.org", ""}}},
        emailcase{
            "emptyquotednameisnoname", " \"\" <j@x.org>", HEADER_FROM, true, "j@x.org", U, {}},
        emailcase{"emptyvalue", "", HEADER_TO, true, U, U, {}},
        emailcase{"strayclosersdonotgluethelist",
                  " a@x.org), b@y.org",
                  HEADER_TO,
                  true,
                  "a@x.org",
                  U,
                  {{EMAIL_TO, "b@y.org", ""}}},
        emailcase{"tabsdelimit", "\tJoe\t<j@x.org>", HEADER_FROM, true, "j@x.org", "Joe", {}},
        emailcase{"quoteattribution",
                  " Joe Bloggs <joe@b.org>",
                  HEADER_QUOTE,
                  true,
                  "joe@b.org",
                  "Joe Bloggs",
                  {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(statetest, overlongaddressesandnamesarecut) {
    text128 email, name;
    std::string longlocal(5000, 'a');
    std::string v = " " + longlocal + "@example.com";
    processemail(v, &email, &name, HEADER_FROM);
    EXPECT_EQ(email.str(), std::string(127, 'a'));
    EXPECT_TRUE(name.empty());  // nothing of the address poses as a name

    std::string longname(5000, 'N');
    v = " \"" + longname + "\" <n@x.org>";
    processemail(v, &email, &name, HEADER_FROM);
    EXPECT_EQ(email.str(), "n@x.org");
    EXPECT_EQ(name.size(), 127u);
}

TEST_F(statetest, atmostmaxemaillistrecipientsarekept) {
    std::string v;
    for (int i = 0; i < 1500; ++i)
        v += "Person " + std::to_string(i) + " <p" + std::to_string(i) + "@x.org>, ";
    text128 email, name;
    processemail(v, &email, &name, HEADER_TO);
    EXPECT_EQ(email.str(), "p0@x.org");
    ASSERT_EQ(curmsg.emaillist.size(), MAXEMAILLIST);
    EXPECT_EQ(curmsg.emaillist.back().email, "p1024@x.org");
    EXPECT_EQ(curmsg.emaillist.back().name, "Person 1024");
}

TEST_F(statetest, hostilebracketsandquotesstaybounded) {
    const std::string hostile[] = {
        std::string(30000, '<') + "@" + std::string(2000, '>'),
        std::string(30000, '"') + "a@b",
        std::string(10000, '@'),
        std::string(16000, ',') + "@",
        "(" + std::string(30000, '\\'),
        std::string(20000, '\xff') + "@x",
    };
    for (const std::string& h : hostile) {
        for (int kind = HEADER_FROM; kind <= HEADER_QUOTE; ++kind) {
            curmsg.emaillist.clear();
            text128 email, name;
            std::string v = h;
            processemail(v, &email, &name, kind);
            EXPECT_LE(email.size(), 127u);
            EXPECT_LE(name.size(), 127u);
            EXPECT_LE(curmsg.emaillist.size(), MAXEMAILLIST);
            for (const emailentry& e : curmsg.emaillist) {
                EXPECT_LE(e.email.size(), 127u);
                EXPECT_LE(e.name.size(), 127u);
            }
        }
    }
}

// ------------------------------------------------------------ Message-IDs

TEST(rfc822, messageids) {
    struct {
        const char* value;
        int which;
        const char* want;
    } cases[] = {
        {" <1234.5678@host.example>", 0, "1234.5678@host.example"},
        {" <a@b.org> <c@d.org>", 0, "a@b.org"},
        {" <a@b.org> <c@d.org>", 1, "c@d.org"},
        {" <a@b.org>\t<c@d.org> (comment)", 1, "c@d.org"},
        {" \"x@y.org\"", 0, "x@y.org"},
        {" (x@y.org)", 0, "x@y.org"},
        {" bare@id", 0, "bare@id"},
        {" no at sign", 0, "unchanged"},
        {"", 1, "unchanged"},
        {" <a\\ b@c>", 0, "a b@c"},
    };
    for (const auto& c : cases) {
        text128 id = "unchanged";
        std::string v = c.value;
        processmsgid(v, id, c.which);
        EXPECT_EQ(id.str(), c.want) << c.value;
    }
    text128 id;
    std::string v = "<" + std::string(3000, 'x') + "@" + std::string(3000, 'y') + ">";
    processmsgid(v, id, 1);
    EXPECT_EQ(id.str(), std::string(127, 'x'));
}

// ----------------------------------------------------------- plain texts

TEST_F(statetest, textsaretrimmedandcut) {
    text128 subj;
    processtext("  \t Re: hello  world \t ", subj);
    EXPECT_EQ(subj.str(), "Re: hello  world");
    processtext(" \t ", subj);
    EXPECT_EQ(subj.str(), "");
    processtext(
        " a\xff"
        "b",
        subj);
    EXPECT_EQ(subj.str(), "a b");
    processtext(std::string(500, 's'), subj);
    EXPECT_EQ(subj.size(), 127u);
    text64 pwd;
    processtext(" " + std::string(500, 'p'), pwd);
    EXPECT_EQ(pwd.size(), 63u);
}

TEST_F(statetest, newsgroupsleaveoutthecurrentarea) {
    processnewsgroups(" comp.lang.c,alt.test", "comp.lang.c");
    EXPECT_EQ(curmsg.xpost, (std::vector<std::string>{"alt.test"}));

    curmsg.xpost.clear();
    processnewsgroups(" alt.a , COMP.LANG.C,,alt.b,", "comp.lang.c");
    EXPECT_EQ(curmsg.xpost, (std::vector<std::string>{"alt.a", "alt.b"}));

    curmsg.xpost.clear();
    std::string many;
    for (int i = 0; i < 1500; ++i) many += "g" + std::to_string(i) + ",";
    many += std::string(400, 'l');
    processnewsgroups(many, "comp.lang.c");
    ASSERT_EQ(curmsg.xpost.size(), MAXXPOST);
    EXPECT_EQ(curmsg.xpost.back(), "g1023");
}

// ------------------------------------------------------------------ dates

struct datecase {
    const char* value;
    msgtimes want;
    const char* zone;
};

bool sametime(const msgtimes& a, const msgtimes& b) {
    return a.day == b.day && a.month == b.month && a.year == b.year && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

TEST(rfc822, dates) {
    const datecase cases[] = {
        {" Mon, 14 Sep 1998 20:16:10 +0200", {14, 8, 1998, 20, 16, 10}, "+0200"},
        {" 14 Sep 98 20:16:10 GMT", {14, 8, 1998, 20, 16, 10}, "GMT"},
        {" 1 Feb 1999", {1, 1, 1970, 0, 0, 0}, ""},
        {" 14 Sep 1998 20:16:10", {14, 8, 1998, 20, 16, 10}, ""},
        {" Tue, 5 Jan 05 07:08 -0500 (EST)", {5, 0, 2005, 7, 8, 0}, "-0500 (EST)"},
        {" Wednesday, 01 Dec 1999 23:59:59 +0100", {1, 11, 1999, 23, 59, 59}, "+0100"},
        {" Thu,\t2 mar 69 1:2:3  UT", {2, 2, 2069, 1, 2, 3}, "UT"},
        {" 31 dec 70 00:00:00 Z", {31, 11, 1970, 0, 0, 0}, "Z"},
        {" 3 Jan 100 10:00:00 Z", {3, 0, 100, 10, 0, 0}, "Z"},
        {" 3 Xyz 1999 10:00:00 Z", {3, 0, 1999, 10, 0, 0}, "Z"},
        {" 99 Sep 1998 25:61:10 Z", {1, 8, 1998, 0, 0, 10}, "Z"},
        {" 14 Sep 99999 20:16:10", {14, 8, 1970, 20, 16, 10}, ""},
        {" x Sep y 20:16:10", {1, 8, 1970, 20, 16, 10}, ""},
        {" hello", {1, 0, 1970, 0, 0, 0}, ""},
        {"", {1, 0, 1970, 0, 0, 0}, ""},
        {" Sunday, 12 Sep 1999 12:00:00 ", {12, 8, 1999, 12, 0, 0}, ""},
    };
    for (const datecase& c : cases) {
        msgtimes t;
        t.day = 9;  // every call starts from the defaults
        text128 zone = "old";
        std::string v = c.value;
        processdate(v, t, &zone);
        EXPECT_TRUE(sametime(t, c.want))
            << c.value << " gave " << t.day << " " << t.month << " " << t.year << " " << t.hour
            << ":" << t.minute << ":" << t.second;
        EXPECT_EQ(zone.str(), c.zone) << c.value;
    }
    msgtimes t;
    std::string v = " 1 Jan 2000 00:00:00 " + std::string(500, 'z');
    text128 zone;
    processdate(v, t, &zone);
    EXPECT_EQ(zone.size(), 127u);
    v = " 1 Jan 2000 00:00:00 UTC";
    processdate(v, t, nullptr);  // no zone field wanted
    EXPECT_EQ(t.year, 2000);
}

}  // namespace
