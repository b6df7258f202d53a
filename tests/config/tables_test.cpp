#include "config/tables.h"

#include <gtest/gtest.h>

#include <string>

#include "config/configtest.h"
#include "config/settings.h"

// The everyday forms of the table keywords are read by the golden cases'
// configurations and checked through what the runs do with them; here the
// lines that are refused or read in a less common form.

namespace {

TEST_F(configtest, addrmapandpersonal) {
    std::string err = read(
        "AddrMap 2:280/100.1 john@host,replies@host John Doe\n"
        "AddrMap 2:280/100 john@host\n"
        "AddrMap 2:280/101\n"
        "AddrMap 2:280 nobody John\n"
        "Personal 2:280/7 Sysop Name\n"
        "Personal 2:280/8\n");
    EXPECT_EQ(err, warning("e-mail address john@host already mapped to 2:280/100.1; import sends "
                           "its mail there",
                           2) +
                       warning("AddrMap misses parameter", 3) + error("invalid FTN address", 4) +
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
    EXPECT_EQ(tables.addrmap[2].email, "nobody");
    // Personal gives a name without an address.
    EXPECT_EQ(tables.addrmap[3].name, "Sysop Name");
    EXPECT_EQ(tables.addrmap[3].email, "");
}

TEST_F(configtest, tablefullrefusesthenextline) {
    std::string lines;
    for (int i = 0; i < 1025; ++i) {
        std::string n = std::to_string(i);
        lines += "AddrMap 2:2/" + n + " a" + n + "@b\n";
    }
    lines += "Personal 2:2/2 Name\n";
    std::string err = read(lines);
    EXPECT_EQ(err, warning("too many AddrMap keywords", 1025) +
                       warning("obsolete keyword Personal", 1026) +
                       warning("too many AddrMap/Personal keywords", 1026));
    EXPECT_EQ(tables.addrmap.size(), 1024u);
    EXPECT_EQ(tables.addrmap.back().ftnaddr.node, 1023);
}

TEST_F(configtest, areamaproutesandmailinglists) {
    std::string err = read(
        "AreaMap c_echo comp.lang.c import\n"
        "AreaMap C_ECHO comp.lang.c both\n"
        "AreaMap LONELY\n"
        "Route 2:2/3 gw@host pass SUBJ=hello world\n"
        "Route 2:2/4 gw@host SUBJ=hello world\n"
        "Route 2:2/5 gw@host pass hello\n"
        "Route 2:2/6\n"
        "MailingList LISTAREA list@host,me@host [list]   TRUNCATE=;SUBJ:[list]\n"
        "MailingList LISTAREA list@host plain ;SUBJ:text\n"
        "MailingList LISTAREA list@host\n");
    EXPECT_EQ(err, warning("unknown direction", 2) +
                       warning("area C_ECHO already mapped to comp.lang.c (import only); export "
                               "uses the first mapping",
                               2) +
                       warning("AreaMap misses parameter", 3) +
                       warning("Route has too many parameters", 5) +
                       // The route's password is not shown.
                       "Warning: Route has invalid parameter in line 6 of " + path +
                       ": Route 2:2/5 gw@host *** hello\n\n" +
                       warning("Route misses parameter", 7) +
                       warning("MailingList misses parameter", 10));
    ASSERT_EQ(tables.areamap.size(), 2u);
    EXPECT_EQ(tables.areamap[0].fidoarea, "C_ECHO");
    EXPECT_EQ(tables.areamap[1].direction, DIR_BOTH);
    ASSERT_EQ(tables.route.size(), 1u);
    EXPECT_EQ(tables.route[0].subject, "hello world");
    ASSERT_EQ(tables.maillist.size(), 2u);
    EXPECT_EQ(tables.maillist[0].senderaddr, "me@host");
    EXPECT_EQ(tables.maillist[0].match, "[list]");
    EXPECT_EQ(tables.maillist[0].truncate, "");
    EXPECT_EQ(tables.maillist[0].subjstrip, "[list]");
    // ";SUBJ:" counts only after a blank.
    EXPECT_EQ(tables.maillist[1].match, "plain ;SUBJ:text");
    EXPECT_EQ(tables.maillist[1].subjstrip, "");
}

TEST_F(configtest, charsetdomainsandquotes) {
    std::string err = read(
        "CharSetMap CP850#2 ibm850   export\n"
        "CharSetMap ALONE\n"
        "FidoDomain 7 x\n"
        "FidoDomain 1- x\n"
        "FidoDomain 8\n"
        "QuoteChar > 5-2\n"
        "QuoteChar > 0-300\n"
        "QuoteChar |\n"
        "QuoteChar : 0-9\n");
    EXPECT_EQ(err, warning("CharSetMap misses parameter", 2) +
                       warning("FidoDomain has invalid parameter", 4) +
                       warning("FidoDomain misses parameter", 5) +
                       warning("QuoteChar has invalid parameter", 6) +
                       warning("QuoteChar has invalid parameter", 7) +
                       warning("QuoteChar misses parameter", 8));
    ASSERT_EQ(tables.charsetmap.size(), 1u);
    EXPECT_EQ(tables.charsetmap[0].rfcname, "ibm850");
    EXPECT_EQ(tables.charsetmap[0].direction, DIR_EXPORT);
    ASSERT_EQ(tables.fidodomain.size(), 1u);
    EXPECT_EQ(tables.fidodomain[0].zonefrom, 7);
    EXPECT_EQ(tables.fidodomain[0].zoneto, 7);
    ASSERT_EQ(tables.quotechar.size(), 1u);
    EXPECT_EQ(tables.quotechar[0].quote, ':');
    EXPECT_EQ(tables.quotechar[0].lettershi, 0);
}

TEST_F(configtest, junkcategoriescarryon) {
    std::string err = read(
        "JunkSubj early\n"
        "JunkCategory News\n"
        "JunkSubj free\n"
        "JunkCategory Sometimes\n"
        "JunkStr cheap pills\n"
        "JunkCategory All\n"
        "JunkSubj win\n");
    EXPECT_EQ(err, warning("invalid category", 4));
    ASSERT_EQ(tables.junksubj.size(), 3u);
    EXPECT_EQ(tables.junksubj[0].category, JUNKCAT_ALL);
    EXPECT_EQ(tables.junksubj[1].category, JUNKCAT_NEWS);
    EXPECT_EQ(tables.junksubj[2].category, JUNKCAT_ALL);
    ASSERT_EQ(tables.junkstr.size(), 1u);
    EXPECT_EQ(tables.junkstr[0].category, JUNKCAT_NEWS);
    EXPECT_EQ(tables.junkstr[0].text, "cheap pills");
}

}  // namespace

namespace {

TEST_F(configtest, fidocharsetsandkeepheader) {
    std::string err = read(
        "FidoCharSet cp437\n"
        "AreaCharSet RU.* CP866 2\n"
        "AreaCharSet ru.fido.chat KOI8-R\n"
        "AreaCharSet NETMAIL UTF-8 4\n"
        "AreaCharSet BAD.AREA MARTIAN 2\n"
        "AreaCharSet LONELY\n"
        "FidoCharSet LATIN-1 7\n"
        "FidoCharSet\n"
        "KeepHeader List-Id:\n"
        "KeepHeader X-Spam-*\n"
        "KeepHeader\n");
    EXPECT_EQ(err, warning("unknown character set", 5) + warning("AreaCharSet misses parameter", 6) +
                       warning("invalid character set level", 7) +
                       error("FidoCharSet misses parameter", 8) +
                       error("KeepHeader misses parameter", 11));
    // The later FidoCharSet wins, with its usual level after a bad one.
    EXPECT_EQ(cfg.fidocharset.chrs(), "LATIN-1 2");
    ASSERT_EQ(tables.areacharset.size(), 3u);
    EXPECT_EQ(tables.areacharset[1].area, "RU.FIDO.CHAT");
    EXPECT_EQ(tables.keepheader, (std::vector<std::string>{"List-Id", "X-Spam-*"}));

    // The area named exactly, else the longest prefix, else the default.
    EXPECT_EQ(fidocharsetfor("ru.fido.chat")->chrs(), "KOI8-R 2");
    EXPECT_EQ(fidocharsetfor("RU.PHOTO")->chrs(), "CP866 2");
    EXPECT_EQ(fidocharsetfor("NETMAIL")->chrs(), "UTF-8 4");
    EXPECT_EQ(fidocharsetfor("NETMAIL")->icuname, fidocharsetfor("NETMAIL")->icuname);
    EXPECT_EQ(fidocharsetfor("FIDO.GER")->chrs(), "LATIN-1 2");
    EXPECT_TRUE(fidocharsetsconfigured());
}

// FidoNet text is never written in a set in which chosen characters are
// any bytes: those sets are refused, whatever ICU knows of them.
TEST_F(configtest, widecharsetsarenofidonetcharsets) {
    std::string err = read(
        "FidoCharSet UTF-16BE\n"
        "AreaCharSet A.* UTF-7\n"
        "AreaCharSet B.* ISO-2022-JP\n"
        "AreaCharSet C.* IBM037\n"
        "AreaCharSet D.* UTF-32\n");
    EXPECT_EQ(err, warning("character set not usable for FidoNet text", 1) +
                       warning("character set not usable for FidoNet text", 2) +
                       warning("character set not usable for FidoNet text", 3) +
                       warning("character set not usable for FidoNet text", 4) +
                       warning("character set not usable for FidoNet text", 5));
    EXPECT_FALSE(fidocharsetsconfigured());
}

TEST_F(configtest, withoutfidocharsetnothingconverts) {
    std::string err = read("AreaCharSet RU.* NOSUCH\n");
    EXPECT_EQ(err, warning("unknown character set", 1));
    EXPECT_EQ(fidocharsetfor("RU.X"), nullptr);
    EXPECT_EQ(fidocharsetfor("NETMAIL"), nullptr);
    EXPECT_FALSE(fidocharsetsconfigured());
}

}  // namespace
