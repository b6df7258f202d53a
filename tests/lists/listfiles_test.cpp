#include "lists/listfiles.h"

#include <gtest/gtest.h>

#include "driver/runstate.h"
#include "lists/listtestutil.h"
#include "lists/memberindex.h"

namespace {

using listfiles = listtest;

TEST_F(listfiles, keywordsection) {
    int added = 0;
    std::string err = readtext(
        "; a comment line\n"
        "\n"
        "listname First\n"
        "ListName Pond  Talk \r\n"
        "LISTADDRESS pond@lists.example\n"
        "ListArea POND.TALK\n"
        "ListPassword Sesame\n"
        "NewStatus 2x\n"
        "KeeperName Kim Keeper\n"
        "KeeperAddress kim@example.org\n"
        "SubscribeInfo sub.txt\n"
        "Welcome ./tpl/welcome.txt\n"
        "GoodBye bye.txt\n"
        "PasswordInfo pw.txt\n"
        "NewPassword newpw.txt\n"
        "ReadOnly   ro.txt\n"
        "BlackList\n"
        " ListArea X\n"
        "ListAreaX\tY\n",
        "members.lst", &added);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(err, warning("invalid list configuration keyword", 18) +
                       warning("invalid list configuration keyword", 19));
    ASSERT_EQ(lists.listconfig.size(), 1u);
    const listrecord& l = last();
    EXPECT_EQ(l.listfile, path);
    EXPECT_EQ(l.listname, "Pond  Talk ");  // the later value; inner and trailing spaces kept
    EXPECT_EQ(l.listaddress, "pond@lists.example");
    EXPECT_EQ(l.listarea, "POND.TALK");
    EXPECT_EQ(l.listpassword, "Sesame");
    EXPECT_EQ(l.newstatus, 2);
    EXPECT_EQ(l.keepername, "Kim Keeper");
    EXPECT_EQ(l.keeperaddress, "kim@example.org");
    // Bare template names live beside the program, not beside the list file.
    EXPECT_EQ(l.subscribeinfo, "/opt/gw/sub.txt");
    EXPECT_EQ(l.welcome, "./tpl/welcome.txt");
    EXPECT_EQ(l.goodbye, "/opt/gw/bye.txt");
    EXPECT_EQ(l.passwordinfo, "/opt/gw/pw.txt");
    EXPECT_EQ(l.newpassword, "/opt/gw/newpw.txt");
    EXPECT_EQ(l.readonly, "/opt/gw/ro.txt");
    EXPECT_EQ(l.blacklist, "/opt/gw/");  // given without a value
    EXPECT_EQ(l.usercount, 0);
    EXPECT_EQ(l.hasuserlist, 0);
}

TEST_F(listfiles, keywordsnotgivenstayabsent) {
    readtext("ListName N\nListAddress a@b\nKeeperName\n");
    const listrecord& l = last();
    EXPECT_FALSE(l.listarea.has_value());
    EXPECT_FALSE(l.listpassword.has_value());
    EXPECT_FALSE(l.welcome.has_value());
    EXPECT_EQ(l.keepername, "");  // given, empty
    EXPECT_EQ(textornull(l.keeperaddress), nullptr);
    EXPECT_EQ(l.newstatus, 1);
}

TEST_F(listfiles, newstatus) {
    struct {
        const char* value;
        int status;
    } cases[] = {{"0", 0}, {"3", 3}, {"4", 1}, {"99", 1}, {"-2", -2}, {"abc", 0}, {" 2", 2}};
    for (const auto& c : cases) {
        resetall();
        readtext(std::string("ListName N\nListAddress a@b\nNewStatus ") + c.value + "\n");
        ASSERT_EQ(lists.listconfig.size(), 1u) << c.value;
        EXPECT_EQ(last().newstatus, c.status) << c.value;
    }
}

TEST_F(listfiles, longkeywordlinesarereadinpieces) {
    std::string err = readtext("ListName " + std::string(300, 'n') + "\nListAddress a@b\n");
    // 254 characters, then the remaining 55 (with the line feed) as the next line.
    EXPECT_EQ(err, warning("invalid list configuration keyword", 2));
    EXPECT_EQ(last().listname, std::string(245, 'n'));
}

TEST_F(listfiles, requiredkeywordsmissing) {
    struct {
        const char* text;
        long line;
    } cases[] = {
        {"ListName N\n", 1},
        {"ListAddress a@b\nListArea X\n", 2},
        {"; nothing\nListAddress a@b\nListUsers\n+\nx@y\n\n1\n\n", 3},
        {"", 0},
    };
    for (const auto& c : cases) {
        int added = 1;
        std::string err = readtext(c.text, "members.lst", &added);
        EXPECT_EQ(added, 0) << c.text;
        EXPECT_EQ(err, warning("required list keyword ListName or ListAddress missing", c.line))
            << c.text;
        EXPECT_TRUE(lists.listconfig.empty()) << c.text;
    }
}

TEST_F(listfiles, listuserslineendsthekeywords) {
    const char* variants[] = {"ListUsers", "LISTUSERS", "listusers and more", "ListUsersX",
                              "ListUsers\r"};
    for (const char* v : variants) {
        resetall();
        std::string err = readtext(std::string("ListName N\nListAddress a@b\n") + v + "\n" +
                                   record("amy@pond.example"));
        EXPECT_EQ(err, "") << v;
        ASSERT_EQ(lists.listconfig.size(), 1u) << v;
        EXPECT_EQ(last().usercount, 1) << v;
        EXPECT_EQ(last().hasuserlist, 1) << v;
    }
    // Without the line everything is keywords.
    resetall();
    std::string err = readtext("ListName N\nListAddress a@b\n ListUsers\n");
    EXPECT_EQ(err, warning("invalid list configuration keyword", 3));
    EXPECT_EQ(last().hasuserlist, 0);
}

TEST_F(listfiles, usersection) {
    // Line numbers run on from the keyword section.
    struct {
        const char* name;
        std::string users;
        std::string warnings;  // with @N for "line N"
        long usercount;
        std::size_t chainsize[3];  // chains 0 ('1...'), 1 (a) and 2 (b)
    } cases[] = {
        {"live and deleted",
         record("amy@x") + record("bob@x", "", 1, "", "*") + record("Al@x"),
         "",
         2,
         {0, 2, 0}},
        {"stray line",
         record("amy@x") + "stray text\n\n" + record("1up@x"),
         "erroneous@9 erroneous@10 ",
         2,
         {1, 1, 0}},
        {"plus with text is indexed", "+ kept\nbob@x\n\n1\n\n", "", 1, {0, 0, 1}},
        {"incomplete live", record("amy@x") + "+\nbob@x\n", "incomplete@10 ", 2, {0, 1, 1}},
        {"incomplete deleted", "*\nbob@x\nBob\n", "incomplete@6 ", 0, {0, 0, 0}},
        {"ends after marker", "+\n", "incomplete@4 ", 0, {0, 0, 0}},
        {"last line without newline", "+\nbob@x\nBob\n1\npw", "", 1, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        resetall();
        std::string err = readtext(std::string(LISTHEAD) + c.users);
        std::string want;
        for (std::size_t p = 0; p < c.warnings.size();) {
            std::size_t at = c.warnings.find('@', p), end = c.warnings.find(' ', p);
            std::string kind = c.warnings.substr(p, at - p);
            long line = std::stol(c.warnings.substr(at + 1, end - at - 1));
            want += warning(kind == "erroneous" ? "user list contains erroneous line"
                                                : "user list ends in incomplete record",
                            line);
            p = end + 1;
        }
        EXPECT_EQ(err, want) << c.name;
        ASSERT_EQ(lists.listconfig.size(), 1u) << c.name;
        EXPECT_EQ(last().usercount, c.usercount) << c.name;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(last().userindex[k].size(), c.chainsize[k]) << c.name;
    }
}

TEST_F(listfiles, entriesholdpositionandcrc) {
    std::string head = LISTHEAD;
    readtext(head + record("amy@x") + record("Ann@X", "Ann") + record("amos@x"));
    const memberchain& a = last().userindex[1];
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0].pos, static_cast<long>(head.size()));
    EXPECT_EQ(a[1].pos, static_cast<long>(head.size() + record("amy@x").size()));
    EXPECT_EQ(a[1].crc, membercrc("ann@x"));
    EXPECT_EQ(a[1].crc, membercrc("ANN@X"));
    EXPECT_LT(a[1].pos, a[2].pos);
}

TEST_F(listfiles, unopenablefile) {
    path = dir / "missing.lst";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readlist(path, 3, "/etc/gate.cfg", "/opt/gw/pondlark"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              warning("unable to open list configuration file", 0));
    // A bare name is looked for beside the program.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readlist("m.lst", 3, "/etc/gate.cfg", dir / "pondlark"), 0);
    path = dir / "m.lst";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              warning("unable to open list configuration file", 0));
    EXPECT_TRUE(lists.listconfig.empty());
}

TEST_F(listfiles, bareandlongnames) {
    writefile(dir / "m.lst", LISTHEAD);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readlist("m.lst", 3, "/etc/gate.cfg", dir / "pondlark"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(last().listfile, dir / "m.lst");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readlist("m.lst", 3, "/etc/gate.cfg", "/" + std::string(4090, 'd') + "/pondlark"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Warning: file name too long in line 3 of /etc/gate.cfg\n\n");
}

TEST(listduplicatename, replacesthefilenameextension) {
    struct {
        const char* path;
        const char* dup;
    } cases[] = {
        {"/fido/members.cfg", "/fido/members.~LC"},
        {"/fido/members", "/fido/members.~LC"},
        {"members.cfg", "members.~LC"},
        {"a.b.c", "a.b.~LC"},
        {"/etc/fido.d/members", "/etc/fido.d/members.~LC"},
        {"./members", "./members.~LC"},
        {"/fido/members.~LC", "/fido/members.~LC.~LC"},
    };
    for (const auto& c : cases) EXPECT_EQ(listduplicatename(c.path), c.dup) << c.path;
}

TEST_F(listfiles, testmodeworksonduplicates) {
    run.testmode = 1;
    std::string text = std::string(LISTHEAD) + record("amy@x");
    std::string err = readtext(text, "members.cfg");
    EXPECT_EQ(err, "[Test mode: using list config file duplicates *.~LC]\n\n");
    EXPECT_EQ(last().listfile, dir / "members.~LC");
    EXPECT_EQ(readfile(dir / "members.~LC"), text);
    // The notice comes once, for the first list.
    err = readtext(text, "other");
    EXPECT_EQ(err, "");
    EXPECT_EQ(last().listfile, dir / "other.~LC");
    EXPECT_EQ(lists.listconfig.size(), 2u);
    EXPECT_EQ(readfile(dir / "members.cfg"), text);
}

TEST_F(listfiles, testmodewithoutduplicate) {
    run.testmode = 1;
    makedirs(dir / "members.~LC");  // the copy cannot be written
    int added = 1;
    std::string err = readtext(LISTHEAD, "members.cfg", &added);
    EXPECT_EQ(added, 0);
    path = dir / "members.~LC";
    EXPECT_EQ(err, warning("unable to create list configuration file duplicate", 0));
    EXPECT_TRUE(lists.listconfig.empty());
}

}  // namespace
