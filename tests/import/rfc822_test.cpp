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

TEST(rfc822, escapesandquotes) {
    struct {
        const char* in;
        const char* unescaped;
        const char* unquoted;
    } cases[] = {
        {"a\\ b", "a\xff" "b", "a\\ b"},
        {"a\\\\b", "a\\b", "a\\\\b"},
        {"trailing\\", "trailing", "trailing\\"},
        {"\"quoted\"", "\"quoted\"", "quoted"},
        {"'\"layers\"'", "'\"layers\"'", "layers"},
        {"\"mixed'", "\"mixed'", "\"mixed'"},
        {"\"", "\"", "\""},
        {"\"\"", "\"\"", ""},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        unescape(s);
        EXPECT_EQ(s, c.unescaped) << c.in;
        s = c.in;
        unquote(s);
        EXPECT_EQ(s, c.unquoted) << c.in;
    }
    std::string s = "a\xff" "b";
    unfixed(s);
    EXPECT_EQ(s, "a b");
}

// ---------------------------------------------------------- address lists

struct emailcase {
    const char* name;
    std::string value;
    int kind;
    std::string email;  // "-": no fields given
    std::string displayname;
    std::vector<emailentry> list;
};

class addresslists : public statetest, public ::testing::WithParamInterface<emailcase> {};

TEST_P(addresslists, parse) {
    const emailcase& c = GetParam();
    bool fields = c.email != "-";
    text128 email = "unchanged", name = "unchanged";
    std::string v = c.value;
    processemail(v, fields ? &email : nullptr, fields ? &name : nullptr, c.kind);
    if (fields) {
        EXPECT_EQ(email.str(), c.email);
        EXPECT_EQ(name.str(), c.displayname);
    }
    EXPECT_EQ(curmsg.emaillist, c.list);
}

const std::string U = "unchanged";

// clang-format off
INSTANTIATE_TEST_SUITE_P(rfc822, addresslists, ::testing::Values(
    emailcase{"bareaddress", " joe@example.com", HEADER_FROM, "joe@example.com", U, {}},
    emailcase{"nameinangles", " John Doe <john@example.com>", HEADER_FROM, "john@example.com", "John Doe", {}},
    emailcase{"nameinparentheses", " john@example.com (John (the) Doe)", HEADER_FROM, "john@example.com", "John (the) Doe", {}},
    emailcase{"threerecipients", " a@x.org, \"Smith, Ann\" <ann@y.org>, bob@z.org (Bob Z)", HEADER_TO, "a@x.org", U,
              {{EMAIL_TO, "ann@y.org", "Smith, Ann"}, {EMAIL_TO, "bob@z.org", "Bob Z"}}},
    emailcase{"apostropheinname", " Pat O'Brien <pat@x.ie>, joe@y.org", HEADER_TO, "pat@x.ie", "Pat O'Brien", {{EMAIL_TO, "joe@y.org", ""}}},
    emailcase{"cconly", " Carol <carol@c.org>", HEADER_CC, "-", "", {{EMAIL_CC, "carol@c.org", "Carol"}}},
    emailcase{"bccbare", " eve@e.org", HEADER_BCC, "-", "", {{EMAIL_BCC, "eve@e.org", ""}}},
    emailcase{"fromkeepsfirstonly", " a@x.org, B <b@y.org>", HEADER_FROM, "a@x.org", U, {}},
    emailcase{"escapedspacekeepsaddress", " joe\\ smith@example.com", HEADER_FROM, "joe smith@example.com", U, {}},
    emailcase{"noaddressgivesnameonly", " undisclosed-recipients:;", HEADER_TO, U, "undisclosed-recipients:;", {}},
    emailcase{"firstwithoutaddress", " John, joe@y.org", HEADER_TO, U, "John", {{EMAIL_TO, "joe@y.org", ""}}},
    emailcase{"emptyquotednameisnoname", " \"\" <j@x.org>", HEADER_FROM, "j@x.org", U, {}},
    emailcase{"strayclosersdonotgluethelist", " a@x.org), b@y.org", HEADER_TO, "a@x.org", U, {{EMAIL_TO, "b@y.org", ""}}},
    // An "@" in the display name or a comment is not the sender's address:
    // the address in angle brackets is, else the first one outside them.
    emailcase{"atinquotednameisnotthesender", " \"ann@list.org\" <eve@evil.org>", HEADER_FROM, "eve@evil.org", "ann@list.org", {}},
    emailcase{"atinbarenameisnotthesender", " Ann@Home <ann@x.org>", HEADER_FROM, "ann@x.org", "Ann@Home", {}},
    emailcase{"atincommentisnotthesender", " (was bob@y.org) joe@x.org", HEADER_FROM, "joe@x.org", "was bob@y.org", {}},
    emailcase{"atinquotednameofrecipient", " a@x.org, \"b@y.org\" <c@z.org>", HEADER_TO, "a@x.org", U, {{EMAIL_TO, "c@z.org", "b@y.org"}}},
    emailcase{"quotedaddressalonestaystheaddress", " \"joe@x.org\"", HEADER_FROM, "joe@x.org", U, {}}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

TEST_F(statetest, overlongaddressesnamesandlistsarecut) {
    text128 email, name;
    std::string v = " " + std::string(5000, 'a') + "@example.com";
    processemail(v, &email, &name, HEADER_FROM);
    EXPECT_EQ(email.str(), std::string(127, 'a'));
    EXPECT_TRUE(name.empty());  // nothing of the address poses as a name

    v = " \"" + std::string(5000, 'N') + "\" <n@x.org>";
    processemail(v, &email, &name, HEADER_FROM);
    EXPECT_EQ(name.size(), 127u);

    v.clear();
    for (int i = 0; i < 1500; ++i)
        v += "P" + std::to_string(i) + " <p" + std::to_string(i) + "@x>,";
    processemail(v, &email, &name, HEADER_TO);
    EXPECT_EQ(email.str(), "p0@x");
    ASSERT_EQ(curmsg.emaillist.size(), MAXEMAILLIST);
    EXPECT_EQ(curmsg.emaillist.back(), (emailentry{EMAIL_TO, "p1024@x", "P1024"}));
}

// ------------------------------------------------- ids, texts, newsgroups

TEST(rfc822, messageids) {
    struct {
        const char* value;
        int which;
        const char* want;
    } cases[] = {
        {" <1234.5678@host.example>", 0, "1234.5678@host.example"},
        {" <a@b.org> <c@d.org>", 0, "a@b.org"},
        {" <a@b.org>\t<c@d.org> (comment)", 1, "c@d.org"},
        {" \"x@y.org\"", 0, "x@y.org"},
        {" no at sign", 0, "unchanged"},
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

TEST(rfc822, textsaretrimmedandcut) {
    text128 subj;
    processtext("  \t Re: hello  world \t ", subj);
    EXPECT_EQ(subj.str(), "Re: hello  world");
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
    processnewsgroups(many, "comp.lang.c");
    ASSERT_EQ(curmsg.xpost.size(), MAXXPOST);
    EXPECT_EQ(curmsg.xpost.back(), "g1023");
}

// ------------------------------------------------------------------ dates

TEST(rfc822, dates) {
    struct {
        const char* value;
        msgtimes want;
        const char* zone;
    } cases[] = {
        {" Mon, 14 Sep 1998 20:16:10 +0200", {14, 8, 1998, 20, 16, 10}, "+0200"},
        {" 14 Sep 98 20:16:10 GMT", {14, 8, 1998, 20, 16, 10}, "GMT"},
        {" 1 Feb 1999", {1, 1, 1970, 0, 0, 0}, ""},
        {" 14 Sep 1998 20:16:10", {14, 8, 1998, 20, 16, 10}, ""},
        {" Tue, 5 Jan 05 07:08 -0500 (EST)", {5, 0, 2005, 7, 8, 0}, "-0500 (EST)"},
        {" Wednesday, 01 dec 1999 23:59:59 +0100", {1, 11, 1999, 23, 59, 59}, "+0100"},
        {" 31 Dec 70 00:00:00 Z", {31, 11, 1970, 0, 0, 0}, "Z"},
        {" 3 Xyz 100 10:00:00 Z", {3, 0, 100, 10, 0, 0}, "Z"},
        {" 99 Sep 1998 25:61:10 Z", {1, 8, 1998, 0, 0, 10}, "Z"},  // out of range: not stored
        {" x Sep 99999 20:16:10", {1, 8, 1970, 20, 16, 10}, ""},
        {" hello", {1, 0, 1970, 0, 0, 0}, ""},
    };
    for (const auto& c : cases) {
        msgtimes t;
        t.day = 9;  // every call starts from the defaults
        text128 zone = "old";
        std::string v = c.value;
        processdate(v, t, &zone);
        EXPECT_TRUE(t.day == c.want.day && t.month == c.want.month && t.year == c.want.year &&
                    t.hour == c.want.hour && t.minute == c.want.minute && t.second == c.want.second)
            << c.value << " gave " << t.day << " " << t.month << " " << t.year << " " << t.hour
            << ":" << t.minute << ":" << t.second;
        EXPECT_EQ(zone.str(), c.zone) << c.value;
    }
}

}  // namespace
