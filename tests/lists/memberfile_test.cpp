#include "lists/memberfile.h"

#include <gtest/gtest.h>

#include "lists/listtestutil.h"

namespace {

using memberfile = listtest;

memberdata member(const char* address, const char* name, int status, const char* password) {
    memberdata d;
    d.address = address;
    d.name = name;
    d.status = status;
    d.password = password;
    return d;
}

TEST_F(memberfile, appendedrecordscanbefound) {
    struct {
        const char* name;
        std::string before;
        std::string between;  // what the append puts before the record
    } cases[] = {
        {"plain", std::string(LISTHEAD) + record("amy@x"), ""},
        {"unterminated last line", std::string(LISTHEAD) + "+\namy@x\n\n1\npw", "\n"},
        {"no ListUsers line", "ListName N\nListAddress a@b\n", "ListUsers\n"},
        {"crlf", "ListName N\r\nListAddress a@b\r\nListUsers\r\n", ""},
    };
    for (const auto& c : cases) {
        resetall();
        readtext(c.before);
        listrecord& l = last();
        long pos = -1;
        ASSERT_EQ(appenduserrecord(l, member("Joe@x", "Joe", 2, "9f"), pos), USERFILE_OK) << c.name;
        addmember(l, "Joe@x", pos);
        EXPECT_EQ(pos, static_cast<long>(c.before.size() + c.between.size())) << c.name;
        EXPECT_EQ(readfile(path), c.before + c.between + "+\nJoe@x\nJoe\n2\n9f\n") << c.name;
        memberdata d;
        ASSERT_EQ(finduserdata(l, "joe@x", &d), 1) << c.name;
        EXPECT_EQ(d.password, "9f") << c.name;
        // The file reads back the same at the next start.
        resetall();
        EXPECT_EQ(readtext(readfile(path)), "") << c.name;
        EXPECT_EQ(finduserdata(last(), "joe@x", &d), 1) << c.name;
    }
}

TEST_F(memberfile, deletemarksthelivemarker) {
    std::string head = LISTHEAD;
    std::string text = head + record("amy@x") + record("bob@x");
    readtext(text);
    const long amy = static_cast<long>(head.size());
    const long bob = amy + static_cast<long>(record("amy@x").size());
    // Wrong address, not a record start, no record at all: nothing changes.
    EXPECT_EQ(deleteuserrecord(last(), amy, "bob@x"), USERFILE_MISMATCH);
    EXPECT_EQ(deleteuserrecord(last(), amy + 2, "amy@x"), USERFILE_MISMATCH);
    EXPECT_EQ(deleteuserrecord(last(), 99999, "amy@x"), USERFILE_MISMATCH);
    EXPECT_EQ(readfile(path), text);
    EXPECT_EQ(deleteuserrecord(last(), bob, "BOB@x"), USERFILE_OK);
    EXPECT_EQ(readfile(path), head + record("amy@x") + record("bob@x", "", 1, "", "*"));
    // A deleted record cannot be deleted again.
    EXPECT_EQ(deleteuserrecord(last(), bob, "bob@x"), USERFILE_MISMATCH);
}

TEST_F(memberfile, replaceappendsandmarks) {
    std::string head = LISTHEAD;
    readtext(head + record("amy@x", "Amy", 1, "old") + record("bob@x"));
    listrecord& l = last();
    memberlink link;
    const memberentry* entry = nullptr;
    memberdata d;
    ASSERT_EQ(finduserdata(l, "amy@x", &d, &link, &entry), 1);
    d.password = "new";
    long newpos = 0;
    ASSERT_EQ(replaceuserrecord(l, entry->pos, d, newpos), USERFILE_OK);
    movemember(l, link, newpos);
    std::string want = head + record("amy@x", "Amy", 1, "old", "*") + record("bob@x") +
                       record("amy@x", "Amy", 1, "new");
    EXPECT_EQ(readfile(path), want);
    ASSERT_EQ(finduserdata(l, "amy@x", &d), 1);
    EXPECT_EQ(d.password, "new");
    // The old position no longer holds a live record.
    EXPECT_EQ(replaceuserrecord(l, static_cast<long>(head.size()), d, newpos), USERFILE_MISMATCH);
    EXPECT_EQ(readfile(path), want);
}

TEST_F(memberfile, failures) {
    readtext(LISTHEAD);
    listrecord& l = last();
    std::string text = readfile(path);
    long pos = 0;
    {
        // Writes past the limit fail; nothing of the record may stay behind.
        filesizelimit limit(text.size() + 3);
        EXPECT_EQ(appenduserrecord(l, member("joe@x", "", 1, ""), pos), USERFILE_WRITE);
    }
    EXPECT_EQ(readfile(path), text);
    std::remove(path.c_str());
    EXPECT_EQ(appenduserrecord(l, member("joe@x", "", 1, ""), pos), USERFILE_NOOPEN);
    EXPECT_EQ(deleteuserrecord(l, 0, "joe@x"), USERFILE_NOOPEN);
    EXPECT_FALSE(fileexists(path));
}

}  // namespace
