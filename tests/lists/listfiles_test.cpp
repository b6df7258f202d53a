#include "lists/listfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "driver/runstate.h"
#include "lists/listtestutil.h"

namespace {

using listfiles = listtest;

// Keywords in any letter case, the later value winning; template names
// without a directory are looked for beside the program, not beside the
// list file. The golden check case covers the warnings of a whole file.
TEST_F(listfiles, keywordsection) {
    int added = 0;
    std::string err = readtext(
        "; a comment line\n\nlistname First\nListName Pond  Talk \r\n"
        "LISTADDRESS pond@lists.example\nListArea POND.TALK\nListPassword Sesame\n"
        "KeeperName Kim Keeper\nKeeperAddress\nSubscribeInfo sub.txt\n"
        "Welcome ./tpl/welcome.txt\nGoodBye bye.txt\nPasswordInfo pw.txt\nNewPassword newpw.txt\n"
        "ReadOnly   ro.txt\nBlackList\n ListArea X\nListAreaX\tY\n",
        "members.lst", &added);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(err, warning("invalid list configuration keyword", 17) +
                       warning("invalid list configuration keyword", 18));
    const listrecord& l = last();
    EXPECT_EQ(l.listname, "Pond  Talk ");  // inner and trailing spaces kept
    EXPECT_EQ(l.listaddress, "pond@lists.example");
    EXPECT_EQ(l.listarea, "POND.TALK");
    EXPECT_EQ(l.listpassword, "Sesame");
    EXPECT_EQ(l.keepername, "Kim Keeper");
    EXPECT_EQ(l.keeperaddress, "");  // given, empty: not absent
    EXPECT_EQ(l.subscribeinfo, "/opt/gw/sub.txt");
    EXPECT_EQ(l.welcome, "./tpl/welcome.txt");
    EXPECT_EQ(l.goodbye, "/opt/gw/bye.txt");
    EXPECT_EQ(l.passwordinfo, "/opt/gw/pw.txt");
    EXPECT_EQ(l.newpassword, "/opt/gw/newpw.txt");
    EXPECT_EQ(l.readonly, "/opt/gw/ro.txt");
    EXPECT_EQ(l.blacklist, "/opt/gw/");  // given without a value
    EXPECT_EQ(l.hasuserlist, 0);
    // Templates not named stay absent, so that no reply is sent for them.
    readtext("ListName N\nListAddress a@b\n");
    EXPECT_FALSE(last().welcome.has_value());
    EXPECT_FALSE(last().listpassword.has_value());
}

TEST_F(listfiles, newstatus) {
    // clang-format off
    const std::pair<const char*, int> cases[] = {{"", 1}, {"NewStatus 0\n", 0}, {"NewStatus 3\n", 3},
        {"NewStatus 4\n", 1}, {"NewStatus 99\n", 1}, {"NewStatus -2\n", -2}, {"NewStatus abc\n", 0},
        {"NewStatus  2x\n", 2}};
    // clang-format on
    for (const auto& [line, status] : cases) {
        resetall();
        readtext(std::string("ListName N\nListAddress a@b\n") + line);
        ASSERT_EQ(lists.listconfig.size(), 1u) << line;
        EXPECT_EQ(last().newstatus, status) << line;
    }
}

TEST_F(listfiles, longkeywordlinesarereadinpieces) {
    std::string err = readtext("ListName " + std::string(300, 'n') + "\nListAddress a@b\n");
    // 254 characters, then the remaining 55 (with the line feed) as the next line.
    EXPECT_EQ(err, warning("invalid list configuration keyword", 2));
    EXPECT_EQ(last().listname, std::string(245, 'n'));
}

TEST_F(listfiles, requiredkeywordsmissing) {
    const std::pair<const char*, long> cases[] = {
        {"ListName N\n", 1},
        {"; nothing\nListAddress a@b\nListUsers\n+\nx@y\n\n1\n\n", 3},
        {"", 0}};
    for (const auto& [text, line] : cases) {
        int added = 1;
        std::string err = readtext(text, "members.lst", &added);
        EXPECT_EQ(added, 0) << text;
        EXPECT_EQ(err, warning("required list keyword ListName or ListAddress missing", line))
            << text;
        EXPECT_TRUE(lists.listconfig.empty()) << text;
    }
}

// Any line starting "ListUsers" in any case, also with a carriage return,
// ends the keywords; one indented is an invalid keyword.
TEST_F(listfiles, listuserslineendsthekeywords) {
    const char* variants[] = {"LISTUSERS", "listusers and more", "ListUsersX", "ListUsers\r",
                              " ListUsers"};
    for (const char* v : variants) {
        resetall();
        bool ends = v[0] != ' ';
        std::string err = readtext(std::string("ListName N\nListAddress a@b\n") + v + "\n" +
                                   (ends ? record("amy@x") : ""));
        EXPECT_EQ(err, ends ? "" : warning("invalid list configuration keyword", 3)) << v;
        EXPECT_EQ(last().usercount, ends ? 1 : 0) << v;
        EXPECT_EQ(last().hasuserlist, ends ? 1 : 0) << v;
    }
}

// Line numbers run on from the keyword section; a record cut off or a
// stray line is reported and the rest still indexed.
TEST_F(listfiles, usersection) {
    path = dir / "members.lst";
    auto stray = [&](long line) { return warning("user list contains erroneous line", line); };
    auto cutoff = [&](long line) { return warning("user list ends in incomplete record", line); };
    struct {
        const char* name;
        std::string users, warnings;
        long usercount;
        std::size_t chainsize[3];  // chains 0 ('1...'), 1 (a) and 2 (b)
    } cases[] = {
        // clang-format off
        {"live and deleted", record("amy@x") + record("bob@x", "", 1, "", "*") + record("Al@x"), "", 2, {0, 2, 0}},
        {"stray lines", record("amy@x") + "stray text\n\n" + record("1up@x"), stray(9) + stray(10), 2, {1, 1, 0}},
        {"plus with text is indexed", "+ kept\nbob@x\n\n1\n\n", "", 1, {0, 0, 1}},
        {"incomplete live", record("amy@x") + "+\nbob@x\n", cutoff(10), 2, {0, 1, 1}},
        {"incomplete deleted", "*\nbob@x\nBob\n", cutoff(6), 0, {0, 0, 0}},
        {"ends after marker", "+\n", cutoff(4), 0, {0, 0, 0}},
        {"last line without newline", "+\nbob@x\nBob\n1\npw", "", 1, {0, 0, 1}},
        // clang-format on
    };
    for (const auto& c : cases) {
        resetall();
        EXPECT_EQ(readtext(std::string(LISTHEAD) + c.users), c.warnings) << c.name;
        ASSERT_EQ(lists.listconfig.size(), 1u) << c.name;
        EXPECT_EQ(last().usercount, c.usercount) << c.name;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(last().userindex[k].size(), c.chainsize[k]) << c.name;
    }
}

// A bare list file name is looked for beside the program; a name that
// would not fit is refused, not cut.
TEST_F(listfiles, filenames) {
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
    // A dot in a folder name is no extension; the copy is never the list file itself.
    const std::pair<const char*, const char*> cases[] = {
        {"a.b.c", "a.b.~LC"},
        {"/etc/fido.d/members", "/etc/fido.d/members.~LC"},
        {"./members", "./members.~LC"},
        {"/fido/members.~LC", "/fido/members.~LC.~LC"}};
    for (const auto& [path, dup] : cases) EXPECT_EQ(listduplicatename(path), dup) << path;
}

// Under /test a list whose copy cannot be made is not used at all, so
// that no change reaches the real file. (The golden test-mode pack case
// covers copies that can be made.)
TEST_F(listfiles, testmodewithoutduplicate) {
    run.testmode = 1;
    makedirs(dir / "members.~LC");
    int added = 1;
    std::string err = readtext(LISTHEAD, "members.cfg", &added);
    EXPECT_EQ(added, 0);
    path = dir / "members.~LC";
    EXPECT_EQ(err, warning("unable to create list configuration file duplicate", 0));
    EXPECT_TRUE(lists.listconfig.empty());
}

}  // namespace
