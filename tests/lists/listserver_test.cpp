#include "lists/listserver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "driver/counters.h"
#include "driver/runstate.h"
#include "faults/faultkit.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "lists/listtestutil.h"
#include "lists/memberindex.h"

namespace {

std::string bodyof(const std::string& msg) {
    std::size_t at = msg.find("\n\n");
    return at == std::string::npos ? "" : msg.substr(at + 2);
}

// The value of the header line field ("Subject: ") of msg.
std::string headerof(const std::string& msg, const std::string& field) {
    const std::string head = "\n" + msg.substr(0, msg.find("\n\n") + 1);
    std::size_t at = head.find("\n" + field);
    if (at == std::string::npos) return "(none)";
    at += field.size() + 1;
    return head.substr(at, head.find('\n', at) - at);
}

const char* const TEMPLATES[][2] = {
    {"subinfo.txt", "To join @LISTNAME@ write to @LISTADDRESS@.\n"},
    {"welcome.txt",
     "Welcome, @YOURNAME@ <@YOURADDRESS@>, to @LISTNAME@ (@LISTAREA@).\n"
     "Keeper: @KEEPERNAME@ <@KEEPERADDRESS@>\n"},
    {"goodbye.txt", "Goodbye, @YOURADDRESS@.\n"},
    {"pwinfo.txt", "Your password is @PASSWORD@.\n"},
    {"newpw.txt", "New password: @PASSWORD@\n"},
    {"readonly.txt", "@YOURADDRESS@ may only read.\n"},
    {"black.txt", "Go away, @YOURADDRESS@.\n"},
};

const std::string JOEPW = "30be6fcd";  // the password of joe@example.com under "secret"

class listserver : public listtest {
   protected:
    void SetUp() override {
        listtest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        cfg.soupdir = dir.path;
        cfg.organization = "Pond Gateway";
        cfg.timezonestr = "+0000";
        std::remove((dir / "MAIL0000.MSG").c_str());  // left by an earlier table case
        genreplyfile(REPLY_MAIL);
        genreplyfile(REPLY_NEWS);
        for (const auto& t : TEMPLATES) writefile(dir / t[0], t[1]);
        sender("joe@example.com", "Joe Bloggs", "subscribe");
    }
    // The list file: every template, the keyword lines extra, then users.
    void makelist(const std::string& users, const std::string& extra = "ListPassword secret\n") {
        std::string text =
            "ListName Pond Talk\nListAddress pond@lists.example\n"
            "ListArea POND.TALK\nKeeperName Kim Keeper\n"
            "KeeperAddress kim@example.org\n" +
            extra;
        const char* keys[] = {"SubscribeInfo", "Welcome",  "GoodBye",  "PasswordInfo",
                              "NewPassword",   "ReadOnly", "BlackList"};
        for (int i = 0; i < 7; ++i)
            text += std::string(keys[i]) + " " + dir / TEMPLATES[i][0] + "\n";
        ASSERT_EQ(readtext(text + "ListUsers\n" + users), "");
    }
    void sender(const char* email, const char* name, const char* subject) {
        curmsg.msgfromemail = email;
        curmsg.msgfromname = name;
        curmsg.msgsubj = subject;
        curmsg.msgid = "1234@mail.example.com";
    }
    std::string head() const {
        return readfile(path).substr(0, readfile(path).find("ListUsers\n") + 10);
    }
    std::vector<std::string> sent() {
        return fileexists(dir / "MAIL0000.MSG") ? souprecords(dir / "MAIL0000.MSG")
                                                : std::vector<std::string>{};
    }
    int command(int cmd, const char* subject) {
        curmsg.msgsubj = subject;
        return processlistcommand(0, cmd);
    }
};

// A reply whole: a newcomer without the password learns it from
// PasswordInfo. Replies in one second get different Message-IDs, and one
// to a message without an id refers to nothing.
TEST_F(listserver, replies) {
    makelist("");
    EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe"), 0);
    curmsg.msgid.clear();
    EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe"), 0);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0],
              "To: joe@example.com (Joe Bloggs)\n"
              "From: pond@lists.example (Pond Talk)\n"
              "Reply-to: pond@lists.example\n"
              "Subject: Re: subscribe\n"
              "Date: Tue, 14 Sep 1999 20:16:10 +0000\n"
              "Message-ID: <admin-2961489870-pond@lists.example>\n"
              "In-Reply-To: <1234@mail.example.com>\n"
              "Organization: Pond Gateway\n"
              "X-MailServer: PondLark-Linux v1.05\n"
              "\n"
              "Your password is 30be6fcd.\n");
    EXPECT_EQ(headerof(sent()[1], "Message-ID: "), "<admin-4196010671-pond@lists.example>");
    EXPECT_EQ(headerof(sent()[1], "In-Reply-To: "), "(none)");
    EXPECT_EQ(stats.listreplycount, 2);
}

// Each command from joe@example.com is answered with one template, by his
// status and password, and changes the user section as given. The index
// in memory then agrees with a fresh reading of the file, so that a later
// command of the same run sees the change (a second unsubscribe comes
// from a newcomer, an old password no longer passes).
TEST_F(listserver, commands) {
    const int SUB = LISTCMD_SUBSCRIBE, UNSUB = LISTCMD_UNSUBSCRIBE, PASS = LISTCMD_CHANGEPASS;
    const std::string amy = record("amy@example.com");
    const std::string joe = record("joe@example.com", "Joe Bloggs", 1, JOEPW);
    const std::string black = record("joe@example.com", "", 3, JOEPW);
    const std::string joe2 = record("joe@example.com", "Joe", 2, JOEPW);
    const std::string newpass = record("joe@example.com", "Joe", 2, JOEPW, "*") + amy +
                                record("joe@example.com", "Joe", 2, "n3w");
    const std::string gone = record("joe@example.com", "Joe Bloggs", 1, JOEPW, "*") + amy;
    const std::string subinfo = "To join Pond Talk write to pond@lists.example.\n";
    const std::string pwinfo = "Your password is 30be6fcd.\n";
    const std::string welcome =
        "Welcome, Joe Bloggs <joe@example.com>, to Pond Talk (POND.TALK).\n"
        "Keeper: Kim Keeper <kim@example.org>\n";
    struct {
        const char* name;
        std::string users;
        int cmd;
        const char* subject;
        std::string body;
        std::string after;  // the user section afterwards
        const char* extra = "ListPassword secret\n";
    } cases[] = {
        {"subscribe without the password", amy, SUB, "subscribe", pwinfo, amy},
        {"subscribe", amy, SUB, "Subscribe   30be6fcd", welcome, amy + joe},
        {"subscribe as a member", joe, SUB, "subscribe 30be6fcd", welcome, joe},
        {"unsubscribe from a newcomer", amy, UNSUB, "unsubscribe 30be6fcd", subinfo, amy},
        {"changepass from a newcomer", amy, PASS, "changepass 30be6fcd x", subinfo, amy},
        {"black-listed", black, SUB, "subscribe 30be6fcd", "Go away, joe@example.com.\n", black},
        {"wrong password", joe, UNSUB, "unsubscribe 30BE6FCD", pwinfo, joe},
        {"changepass without a new password", joe, PASS, "changepass 30be6fcd", pwinfo, joe},
        {"unsubscribe", joe + amy, UNSUB, "unsubscribe 30be6fcd", "Goodbye, joe@example.com.\n",
         gone},
        {"changepass", joe2 + amy, PASS, "ChangePassword 30be6fcd n3w", "New password: n3w\n",
         newpass},
        // Without a ListPassword the new password is the first word.
        {"changepass, no ListPassword", joe2 + amy, PASS, "changepass n3w", "New password: n3w\n",
         newpass, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetall();
        SetUp();
        makelist(c.users, c.extra);
        EXPECT_EQ(command(c.cmd, c.subject), 0);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(bodyof(sent()[0]), c.body);
        EXPECT_EQ(stats.listreplycount, 1);
        EXPECT_EQ(readfile(path), head() + c.after);
        memberdata now, fresh;
        const int found = finduserdata(last(), "joe@example.com", &now);
        const long count = last().usercount;
        readtext(readfile(path), "again.lst");
        EXPECT_EQ(finduserdata(last(), "joe@example.com", &fresh), found);
        EXPECT_EQ(last().usercount, count);
        EXPECT_EQ(now.password, fresh.password);
    }
}

class listposting : public listserver {
   protected:
    std::string msgpath;
    long bodystart = 0, msgend = 0;
    void SetUp() override {
        listserver::SetUp();
        // Five who receive (chain order 7up, amy, joe, rob, zed), one who does not.
        makelist(record("zed@example.org") + record("amy@example.com") +
                 record("bad@example.com", "", 3) + record("7up@example.net") +
                 record("joe@example.com", "Joe", 1, JOEPW) + record("rob@example.com", "", 2));
        // The body's last line has no line feed; the next message follows at once.
        const std::string head = "Subject: hello\n\n", body = "Hi all,\n\nbye", next = "From: x@y";
        msgpath = dir / "0000001.MSG";
        writefile(msgpath, head + body + next);
        bodystart = static_cast<long>(head.size());
        msgend = bodystart + static_cast<long>(body.size());
        sender("joe@example.com", "Joe Bloggs", "hello");
        curmsg.msgtime = msgtimes{14, 8, 1998, 20, 16, 10};
        curmsg.tzinfo = "+0200";
        curmsg.replyid = "99@mail.example.com";
        curmsg.rfccharset = "iso-8859-1";
        curmsg.mimecte = "8bit";
    }
    int post() {
        fileptr f = openfile(msgpath, "rb");
        return sendlistmessage(0, f.get(), bodystart, msgend);
    }
};

TEST_F(listposting, onlyamemberpostinggoestoeverymember) {
    EXPECT_EQ(post(), 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0],
              "Bcc: <7up@example.net>, <amy@example.com>,\n"
              "   <joe@example.com>, <rob@example.com>,\n"
              "   <zed@example.org>\n"
              "From: joe@example.com (Joe Bloggs)\n"
              "Reply-to: pond@lists.example\n"
              "Sender: pond@lists.example\n"
              "List-Id: Pond Talk <pond.lists.example>\n"
              "List-Post: <mailto:pond@lists.example>\n"
              "List-Unsubscribe: <mailto:pond@lists.example?subject=unsubscribe>\n"
              "Subject: hello\n"
              "Date: Mon, 14 Sep 1998 20:16:10 +0200\n"
              "Message-ID: <1234.mail.example.com-pond@lists.example>\n"
              "In-Reply-To: <99@mail.example.com>\n"
              "Organization: Pond Gateway\n"
              "X-MailServer: PondLark-Linux v1.05\n"
              "Mime-version: 1.0\n"
              "Content-Type: text/plain; charset=iso-8859-1\n"
              "Content-Transfer-Encoding: 8bit\n"
              "\n"
              "Hi all,\n\nbye");
    EXPECT_EQ(stats.listreplycount, 0);
    // Without an id of its own each posting gets a unique one, else
    // receivers would drop all but the first.
    curmsg.msgid.clear();
    curmsg.mimetype = "multipart/mixed; boundary=xyz";
    EXPECT_EQ(post(), 1);
    EXPECT_EQ(headerof(sent()[1], "Message-ID: "), "<post-3995944566-pond@lists.example>");
    EXPECT_EQ(headerof(sent()[1], "Content-Type: "), "multipart/mixed; boundary=xyz");
    // Anyone else is answered with the template of their status instead.
    for (const auto& [from, body] : std::vector<std::pair<const char*, const char*>>{
             {"new@example.com", "To join Pond Talk write to pond@lists.example.\n"},
             {"bad@example.com", "Go away, bad@example.com.\n"},
             {"rob@example.com", "rob@example.com may only read.\n"}}) {
        curmsg.msgfromemail = from;
        EXPECT_EQ(post(), 0) << from;
        EXPECT_EQ(bodyof(sent().back()), body) << from;
    }
    EXPECT_EQ(sent().size(), 5u);
}

// A posting keeps its own zone, or takes the gateway's on its date, and
// its Message-ID holds one "@" whatever the posting's id looked like.
TEST_F(listposting, datezonesandmessageids) {
    cfg.timezonestr = "Europe/Berlin";
    struct {
        const char* tzinfo;
        msgtimes time;
        const char* msgid;
        const char* date;
        const char* id;
    } cases[] = {
        {"+0200 (CEST)", {14, 8, 1998, 20, 16, 10}, "1234@mail.example.com",
         "Mon, 14 Sep 1998 20:16:10 +0200", "<1234.mail.example.com-pond@lists.example>"},
        {"GMT", {14, 8, 1998, 20, 16, 10}, "a.b@c@d", "Mon, 14 Sep 1998 20:16:10 +0000",
         "<a.b.c.d-pond@lists.example>"},
        {"", {14, 0, 1999, 8, 0, 0}, "x@y", "Thu, 14 Jan 1999 08:00:00 +0100",
         "<x.y-pond@lists.example>"},
        {"(no zone)", {14, 6, 1999, 8, 0, 0}, "x@y", "Wed, 14 Jul 1999 08:00:00 +0200",
         "<x.y-pond@lists.example>"},
    };
    for (const auto& c : cases) {
        curmsg.tzinfo = c.tzinfo;
        curmsg.msgtime = c.time;
        curmsg.msgid = c.msgid;
        EXPECT_EQ(post(), 1);
        EXPECT_EQ(headerof(sent().back(), "Date: "), c.date) << c.tzinfo;
        EXPECT_EQ(headerof(sent().back(), "Message-ID: "), c.id) << c.msgid;
    }
}

// A template reply is dated now, in the gateway's zone.
TEST_F(listserver, replydateinthegatewayszone) {
    makelist("");
    for (const auto& [zone, date] : std::vector<std::pair<const char*, const char*>>{
             {"Europe/Berlin", "Tue, 14 Sep 1999 22:16:10 +0200"},
             {"-0330", "Tue, 14 Sep 1999 16:46:10 -0330"},
             {"", "Tue, 14 Sep 1999 20:16:10 +0000"}}) {
        cfg.timezonestr = zone;
        EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe"), 0);
        EXPECT_EQ(headerof(sent().back(), "Date: "), date) << zone;
    }
}

// Names and subjects that are not ASCII go out as encoded words, in the
// charset import left them in (or as their bytes look); ASCII stays.
TEST_F(listposting, eightbitheadersareencoded) {
    curmsg.msgfromname = "J\xc3\xb6rg M\xc3\xbcller";
    curmsg.msgsubj = "Gr\xc3\xbc\xc3\x9f" "e";
    curmsg.outcharset = "UTF-8";
    EXPECT_EQ(post(), 1);
    EXPECT_EQ(headerof(sent().back(), "From: "),
              "=?UTF-8?B?SsO2cmcgTcO8bGxlcg==?= <joe@example.com>");
    EXPECT_EQ(headerof(sent().back(), "Subject: "), "=?UTF-8?B?R3LDvMOfZQ==?=");
    curmsg.msgfromname = "\x88\xa2\xa0\xad";  // Иван in CP866
    curmsg.msgsubj = "Re: \x8f\xe0\xa8\xa2\xa5\xe2 all";
    curmsg.outcharset = "ibm-866_P100-1995";
    EXPECT_EQ(post(), 1);
    EXPECT_EQ(headerof(sent().back(), "From: "), "=?IBM866?B?iKKgrQ==?= <joe@example.com>");
    EXPECT_EQ(headerof(sent().back(), "Subject: "), "Re: =?IBM866?B?j+CooqXi?= all");
    curmsg.msgfromname = "Joe Bloggs";
    EXPECT_EQ(post(), 1);
    EXPECT_EQ(headerof(sent().back(), "From: "), "joe@example.com (Joe Bloggs)");
}

TEST_F(listposting, failedwritesleaveeverythingasitwas) {
    EXPECT_EQ(post(), 1);  // one good record to keep
    const std::string replyfile = readfile(dir / "MAIL0000.MSG"), list = readfile(path);
    ::testing::internal::CaptureStderr();
    {
        filesizelimit limit(replyfile.size() + 40);
        curmsg.msgfromemail = "joe@example.com";
        EXPECT_EQ(post(), -1);
        EXPECT_EQ(command(LISTCMD_UNSUBSCRIBE, "unsubscribe 30be6fcd"), -1);
        curmsg.msgfromemail = "new@example.com";
        EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe"), -1);
    }
    const std::string cant = "Error: can't write reply file " + dir / "MAIL0000.MSG" + "\n";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), cant + cant + cant);
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), replyfile);
    EXPECT_EQ(readfile(path), list);
    EXPECT_EQ(lists.listconfig[0].usercount, 6);
    EXPECT_EQ(stats.listreplycount, 0);
    // A reply file that cannot be opened at all.
    replies[REPLY_MAIL].replyfile = dir / "missing/MAIL0000.MSG";
    curmsg.msgfromemail = "joe@example.com";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(post(), -1);
    EXPECT_EQ(command(LISTCMD_UNSUBSCRIBE, "unsubscribe 30be6fcd"), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readfile(path), list);
}

TEST_F(listserver, listfilethatcannotgrowkeepsthecommand) {
    // A list file larger than the limit: replies fit, new records do not.
    std::string padding;
    for (int i = 0; i < 6; ++i) padding += ";" + std::string(100, 'x') + "\n";
    makelist(record("joe@example.com", "Joe", 1, JOEPW), "ListPassword secret\n" + padding);
    const std::string list = readfile(path);
    {
        filesizelimit limit(list.size() + 5);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(command(LISTCMD_CHANGEPASS, "changepass 30be6fcd n3w"), -1);
        curmsg.msgfromemail = "new@example.com";
        EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe"), 0);  // PasswordInfo only
        EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe bcaec3a4"), -1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "! unable to change user data in " + path + "\n! unable to add new user to " +
                      path + "\n");
    }
    EXPECT_EQ(readfile(path), list);
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(listserver, templatesfillmacrosinwholelinesandnoheaderbreaks) {
    // No ListArea and no keeper: "[unknown]". A macro across byte 127.
    std::string longline = std::string(120, '.') + "@YOURADDRESS@ " + std::string(200, '-') + "\n";
    writefile(dir / "welcome.txt", "@LISTAREA@ @KEEPERNAME@ @YOURNAME@!\n" + longline);
    readtext("ListName Pond Talk\nListAddress pond@lists.example\nWelcome " + dir / "welcome.txt" +
             "\nListUsers\n" + record("joe@example.com", "Joe\rBcc: evil@x", 1));
    sender("joe@example.com", "Joe", "subscribe\nBcc: evil@y");
    curmsg.msgorganization = "Joe's Shop";
    run.verbose = 1;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(processlistcommand(0, LISTCMD_SUBSCRIBE), 0);
    EXPECT_EQ(
        ::testing::internal::GetCapturedStderr(),
        "+ reply from pond@lists.example (Pond Talk) to joe@example.com (Joe Bcc: evil@x): " +
            dir / "welcome.txt" + "\n");
    ASSERT_EQ(sent().size(), 1u);
    const std::string m = sent()[0];
    EXPECT_EQ(headerof(m, "To: "), "joe@example.com (Joe Bcc: evil@x)");
    EXPECT_EQ(headerof(m, "Subject: "), "Re: subscribe Bcc: evil@y");
    EXPECT_EQ(headerof(m, "Bcc: "), "(none)");
    EXPECT_EQ(headerof(m, "Organization: "), "Joe's Shop");
    EXPECT_EQ(headerof(m, "X-MailListOrg: "), "Pond Gateway");
    EXPECT_EQ(bodyof(m), "[unknown] [unknown] Joe\rBcc: evil@x!\n" + std::string(120, '.') +
                             "joe@example.com " + std::string(200, '-') + "\n");
}

TEST_F(listserver, missingtemplatessendnothing) {
    makelist("");
    std::remove((dir / "pwinfo.txt").c_str());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(command(LISTCMD_SUBSCRIBE, "subscribe"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "! unable to open template " + dir / "pwinfo.txt" + "\n");
    EXPECT_FALSE(fileexists(dir / "MAIL0000.MSG"));
    EXPECT_EQ(stats.listreplycount, 0);
}

}  // namespace

namespace {

// Mail that passes the providers' rules for lists: an Internet author's
// posting goes out from the list (ListFromRewrite), the author in Reply-to.
TEST_F(listposting, fromrewrittentothelist) {
    last().fromrewrite = 1;
    EXPECT_EQ(post(), 1);
    const std::string m = sent().back();
    EXPECT_EQ(headerof(m, "From: "), "Joe Bloggs via Pond Talk <pond@lists.example>");
    EXPECT_EQ(headerof(m, "Reply-to: "), "joe@example.com (Joe Bloggs)");
    EXPECT_EQ(headerof(m, "Sender: "), "pond@lists.example");
    EXPECT_EQ(headerof(m, "List-Id: "), "Pond Talk <pond.lists.example>");
    EXPECT_EQ(headerof(m, "List-Unsubscribe-Post: "), "(none)");
    struct {
        const char* name;
        const char* outcharset;
        const char* from;
    } cases[] = {
        {"", "", "\"joe@example.com via Pond Talk\" <pond@lists.example>"},
        {"Doe, John (JD)", "", "\"Doe, John (JD) via Pond Talk\" <pond@lists.example>"},
        {"Say \"hi\"", "", "\"Say \\\"hi\\\" via Pond Talk\" <pond@lists.example>"},
        {"J\xc3\xb6rg", "UTF-8", "=?UTF-8?Q?J=C3=B6rg_via_Pond_Talk?= <pond@lists.example>"},
    };
    for (const auto& c : cases) {
        curmsg.msgfromname = c.name;
        curmsg.outcharset = c.outcharset;
        EXPECT_EQ(post(), 1);
        EXPECT_EQ(headerof(sent().back(), "From: "), c.from) << c.name;
    }
}

// A page that unsubscribes in one click comes first, with the line that
// says so; a URL that could break the header is not used.
TEST_F(listposting, oneclickunsubscribe) {
    last().unsubscribeurl = "https://pond.example/leave?l=pond";
    EXPECT_EQ(post(), 1);
    EXPECT_EQ(headerof(sent().back(), "List-Unsubscribe: "),
              "<https://pond.example/leave?l=pond>, <mailto:pond@lists.example?subject=unsubscribe>");
    EXPECT_EQ(headerof(sent().back(), "List-Unsubscribe-Post: "), "List-Unsubscribe=One-Click");
    for (const char* bad : {"http://pond.example/leave", "https://x>, <mailto:evil@x"}) {
        last().unsubscribeurl = bad;
        EXPECT_EQ(post(), 1);
        EXPECT_EQ(headerof(sent().back(), "List-Unsubscribe: "), "<mailto:pond@lists.example?subject=unsubscribe>");
        EXPECT_EQ(headerof(sent().back(), "List-Unsubscribe-Post: "), "(none)");
    }
}

// A sender whose address is several would become a member that receives,
// and a reply that goes to, all of them: nothing is done or sent.
TEST_F(listserver, asenderthatisnoonemailboxgetsnothing) {
    makelist(record("amy@example.com"));
    const std::string before = readfile(path);
    for (int cmd : {LISTCMD_SUBSCRIBE, LISTCMD_UNSUBSCRIBE}) {
        curmsg.msgfromemail = "x@evil;v1@a.example;v2@b.example";
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(command(cmd, "subscribe 30be6fcd"), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "! mail to list Pond Talk from x@evil;v1@a.example;v2@b.example, which is no single Internet "
                  "address: not handled\n");
    }
    EXPECT_EQ(sent().size(), 0u);
    EXPECT_EQ(readfile(path), before);
    EXPECT_EQ(last().usercount, 1);
}

// A member record that older runs let in is left out of every distribution.
TEST_F(listserver, amemberthatisnoonemailboxisleftout) {
    makelist(record("amy@example.com") + record("x@evil;v1@a.example") + record("joe@example.com", "", 1, JOEPW));
    const std::string head = "Subject: hi\n\n", body = "text\n";
    writefile(dir / "0000001.MSG", head + body);
    fileptr f = openfile(dir / "0000001.MSG", "rb");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(sendlistmessage(0, f.get(), static_cast<long>(head.size()), static_cast<long>(head.size() + body.size())),
              1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "! member x@evil;v1@a.example of list Pond Talk is no single Internet address: left out\n");
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].substr(0, sent()[0].find('\n')), "Bcc: <amy@example.com>, <joe@example.com>");
}

// A list file that does not say: a list without members is new and keeps
// the rewriting once import wrote it into its file; a list with members
// keeps its old way.
TEST_F(listserver, newlistsgetfromrewritingwrittenin) {
    makelist("", "");
    EXPECT_EQ(last().fromrewrite, 1);
    EXPECT_TRUE(last().fromrewritenew);
    ::testing::internal::CaptureStderr();
    settlenewlists();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "New list Pond Talk: \"ListFromRewrite Yes\" written into " + path + "\n");
    EXPECT_NE(readfile(path).find("\nListFromRewrite Yes\nListUsers\n"), std::string::npos);
    EXPECT_FALSE(last().fromrewritenew);
    // The member who joins later finds it there.
    EXPECT_EQ(readtext(readfile(path) + record("amy@example.com"), "again.lst"), "");
    EXPECT_EQ(last().fromrewrite, 1);
    EXPECT_FALSE(last().fromrewritenew);

    makelist(record("amy@example.com"), "");
    EXPECT_EQ(last().fromrewrite, 0);
    EXPECT_FALSE(last().fromrewritenew);
    makelist("", "ListFromRewrite No\n");
    EXPECT_EQ(last().fromrewrite, 0);
    EXPECT_FALSE(last().fromrewritenew);
    makelist(record("amy@example.com"), "ListFromRewrite yes\n");
    EXPECT_EQ(last().fromrewrite, 1);
}

}  // namespace
