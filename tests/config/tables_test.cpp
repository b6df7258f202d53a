#include "config/tables.h"

#include <gtest/gtest.h>

#include "config/reader.h"
#include "support/testutil.h"

namespace {

class tabletest : public statetest {
protected:
    scratchdir dir;
    std::string path;

    std::string read(const std::string& text) {
        path = dir / "t.cfg";
        writefile(path, text);
        ::testing::internal::CaptureStderr();
        readconfigfile(path, "pondlark");
        return ::testing::internal::GetCapturedStderr();
    }
    std::string warning(const std::string& msg, int line) {
        return "Warning: " + msg + " in line " + std::to_string(line) + " of " + path + "\n\n";
    }
};

TEST_F(tabletest, addrmapandpersonal) {
    std::string err = read(
        "AddrMap 2:280/100.1 john@host,replies@host John Doe\n"
        "AddrMap 2:280/100 john@host\n"
        "AddrMap 2:280/101\n"
        "AddrMap 2:280 nobody John\n"
        "Personal 2:280/7 Sysop Name\n"
        "Personal 2:280/8\n");
    EXPECT_EQ(err, warning("AddrMap misses parameter", 3) + warning("invalid FTN address", 4) +
                       warning("invalid email address", 4) +
                       warning("obsolete keyword Personal", 5) +
                       warning("obsolete keyword Personal", 6) +
                       warning("Personal misses parameter", 6));
    ASSERT_EQ(tables.addrmap.size(), 4u);
    const auto& a = tables.addrmap[0];
    EXPECT_EQ(a.ftnaddr, (fidoaddr{2, 280, 100, 1}));
    EXPECT_EQ(a.email, "john@host");
    EXPECT_EQ(a.replyemail, "replies@host");
    EXPECT_EQ(a.name, "John Doe");
    EXPECT_EQ(tables.addrmap[1].replyemail, "");
    EXPECT_EQ(tables.addrmap[1].name, "");
    EXPECT_EQ(tables.addrmap[2].email, "nobody");
    EXPECT_EQ(tables.addrmap[3].name, "Sysop Name");
    EXPECT_EQ(tables.addrmap[3].email, "");
}

TEST_F(tabletest, tablefullrefusesthenextline) {
    std::string text;
    for (int i = 0; i < 1025; ++i) text += "AddrMap 2:2/" + std::to_string(i) + " a@b\n";
    text += "Personal 2:2/2 Name\n";
    std::string err = read(text);
    EXPECT_EQ(err, warning("too many AddrMap keywords", 1025) +
                       warning("obsolete keyword Personal", 1026) +
                       warning("too many AddrMap/Personal keywords", 1026));
    EXPECT_EQ(tables.addrmap.size(), 1024u);
    EXPECT_EQ(tables.addrmap.back().ftnaddr.node, 1023);
}

TEST_F(tabletest, areamapdirections) {
    std::string err = read(
        "AreaMap c_echo comp.lang.c import\n"
        "AreaMap C_ECHO comp.lang.c both\n"
        "AreaMap OUT alt.out EXPORT\n"
        "AreaMap LONELY\n");
    EXPECT_EQ(err, warning("unknown direction", 2) + warning("AreaMap misses parameter", 4));
    ASSERT_EQ(tables.areamap.size(), 3u);
    EXPECT_EQ(tables.areamap[0].fidoarea, "C_ECHO");
    EXPECT_EQ(tables.areamap[0].newsgroup, "comp.lang.c");
    EXPECT_EQ(tables.areamap[0].direction, DIR_IMPORT);
    EXPECT_EQ(tables.areamap[1].direction, DIR_BOTH);
    EXPECT_EQ(tables.areamap[2].direction, DIR_EXPORT);
}

TEST_F(tabletest, routeparameters) {
    std::string err = read(
        "Route 2:2/2 gw@host SUBJ=hello\n"
        "Route 2:2/3 gw@host pass SUBJ=hello world\n"
        "Route 2:2/4 gw@host SUBJ=hello world\n"
        "Route 2:2/5 gw@host pass hello\n"
        "Route 2:2/6\n"
        "Route 2:2/7 gw@host pw\n");
    EXPECT_EQ(err, warning("Route has too many parameters", 3) +
                       warning("Route has invalid parameter", 4) +
                       warning("Route misses parameter", 5));
    ASSERT_EQ(tables.route.size(), 3u);
    EXPECT_EQ(tables.route[0].subject, "hello");
    EXPECT_EQ(tables.route[0].password, "");
    EXPECT_EQ(tables.route[1].password, "pass");
    EXPECT_EQ(tables.route[1].subject, "hello world");
    EXPECT_EQ(tables.route[2].password, "pw");
    EXPECT_EQ(tables.route[2].subject, "");
}

TEST_F(tabletest, mailinglisttruncateandsubject) {
    std::string err = read(
        "MailingList LISTAREA list@host [list] TRUNCATE=--footer ;SUBJ:[list]\n"
        "MailingList LISTAREA list@host,me@host [list]   TRUNCATE=;SUBJ:[list]\n"
        "MailingList LISTAREA list@host plain ;SUBJ:text\n"
        "MailingList LISTAREA list@host\n");
    EXPECT_EQ(err, warning("MailingList misses parameter", 4));
    ASSERT_EQ(tables.maillist.size(), 3u);
    EXPECT_EQ(tables.maillist[0].match, "[list]");
    EXPECT_EQ(tables.maillist[0].truncate, "--footer");
    EXPECT_EQ(tables.maillist[0].subjstrip, "[list]");
    EXPECT_EQ(tables.maillist[1].senderaddr, "me@host");
    EXPECT_EQ(tables.maillist[1].match, "[list]");
    EXPECT_EQ(tables.maillist[1].truncate, "");
    EXPECT_EQ(tables.maillist[1].subjstrip, "[list]");
    EXPECT_EQ(tables.maillist[2].match, "plain ;SUBJ:text");
    EXPECT_EQ(tables.maillist[2].subjstrip, "");
}

TEST_F(tabletest, charsetdomainsandquotes) {
    std::string err = read(
        "CharSetMap IBMPC#2 ibm437 Import\n"
        "CharSetMap LATIN-1#2 iso-8859-1\n"
        "CharSetMap CP850#2 ibm850   export\n"
        "CharSetMap ALONE\n"
        "FidoDomain 1-6 #zonedomain\n"
        "FidoDomain 7 x\n"
        "FidoDomain 1- x\n"
        "FidoDomain 8\n"
        "QuoteChar > 0-5 0-3\n"
        "QuoteChar > 5-2\n"
        "QuoteChar > 0-300\n"
        "QuoteChar |\n"
        "QuoteChar : 0-9\n");
    EXPECT_EQ(err, warning("CharSetMap misses parameter", 4) +
                       warning("FidoDomain has invalid parameter", 7) +
                       warning("FidoDomain misses parameter", 8) +
                       warning("QuoteChar has invalid parameter", 10) +
                       warning("QuoteChar has invalid parameter", 11) +
                       warning("QuoteChar misses parameter", 12));
    ASSERT_EQ(tables.charsetmap.size(), 3u);
    EXPECT_EQ(tables.charsetmap[0].rfcname, "ibm437");
    EXPECT_EQ(tables.charsetmap[0].direction, DIR_IMPORT);
    EXPECT_EQ(tables.charsetmap[1].rfcname, "iso-8859-1");
    EXPECT_EQ(tables.charsetmap[1].direction, DIR_BOTH);
    EXPECT_EQ(tables.charsetmap[2].rfcname, "ibm850");
    EXPECT_EQ(tables.charsetmap[2].direction, DIR_EXPORT);
    ASSERT_EQ(tables.fidodomain.size(), 2u);
    EXPECT_EQ(tables.fidodomain[0].zonefrom, 1);
    EXPECT_EQ(tables.fidodomain[0].zoneto, 6);
    EXPECT_EQ(tables.fidodomain[0].domain, "#zonedomain");
    EXPECT_EQ(tables.fidodomain[1].zonefrom, 7);
    EXPECT_EQ(tables.fidodomain[1].zoneto, 7);
    ASSERT_EQ(tables.quotechar.size(), 2u);
    EXPECT_EQ(tables.quotechar[0].poshi, 5);
    EXPECT_EQ(tables.quotechar[0].lettershi, 3);
    EXPECT_EQ(tables.quotechar[1].quote, ':');
    EXPECT_EQ(tables.quotechar[1].lettershi, 0);
}

TEST_F(tabletest, junkcategoriescarryon) {
    std::string err = read(
        "JunkSubj early\n"
        "JunkCategory News\n"
        "JunkSubj free\n"
        "JunkCategory Sometimes\n"
        "JunkStr cheap pills\n"
        "JunkCategory All\n"
        "JunkSubj win\n"
        "JunkFrom *@spam.example\n"
        "JunkGroup alt.spam\n"
        "IgnoreMessageText *Bob\n"
        "QuoteMask wrote\n");
    EXPECT_EQ(err, warning("invalid category", 4));
    ASSERT_EQ(tables.junksubj.size(), 3u);
    EXPECT_EQ(tables.junksubj[0].category, JUNKCAT_ALL);
    EXPECT_EQ(tables.junksubj[1].category, JUNKCAT_NEWS);
    EXPECT_EQ(tables.junksubj[2].category, JUNKCAT_ALL);
    ASSERT_EQ(tables.junkstr.size(), 1u);
    EXPECT_EQ(tables.junkstr[0].category, JUNKCAT_NEWS);
    EXPECT_EQ(tables.junkstr[0].text, "cheap pills");
    EXPECT_EQ(tables.junkfrom.size(), 1u);
    EXPECT_EQ(tables.junkgroup.size(), 1u);
    EXPECT_EQ(tables.ignoretext[0], "*Bob");
    EXPECT_EQ(tables.quotemask[0], "wrote");
}

}  // namespace
