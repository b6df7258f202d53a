// Member records changed in place, and the journal that takes such
// changes back when the SOUP message file that caused them is kept.
#include "lists/memberfile.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "lists/listjournal.h"
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

// A record always starts on a line of its own below a ListUsers line, and
// the file reads back the same at the next start.
TEST_F(memberfile, appendedrecordscanbefound) {
    // The case, the list file, what the append puts before the record.
    // clang-format off
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"plain", std::string(LISTHEAD) + record("amy@x"), ""},
        {"unterminated last line", std::string(LISTHEAD) + "+\namy@x\n\n1\npw", "\n"},
        {"no ListUsers line", "ListName N\nListAddress a@b\n", "ListUsers\n"},
        {"crlf", "ListName N\r\nListAddress a@b\r\nListUsers\r\n", ""},
        // A cut last record is completed first, or it would take the new
        // record's lines as its own and the new member would be lost.
        {"record cut after the name", std::string(LISTHEAD) + "+\namy@x\nAmy\n", "1\n\n"},
        {"record cut after the marker", std::string(LISTHEAD) + "*\n", "\n\n1\n\n"}};
    // clang-format on
    for (const auto& [name, before, between] : cases) {
        resetall();
        readtext(before);
        listrecord& l = last();
        long pos = -1;
        ASSERT_EQ(appenduserrecord(l, member("Joe@x", "Joe", 2, "9f"), pos), USERFILE_OK) << name;
        addmember(l, "Joe@x", pos);
        EXPECT_EQ(pos, static_cast<long>(before.size() + between.size())) << name;
        EXPECT_EQ(readfile(path), before + between + "+\nJoe@x\nJoe\n2\n9f\n") << name;
        memberdata d;
        ASSERT_EQ(finduserdata(l, "joe@x", &d), 1) << name;
        EXPECT_EQ(d.password, "9f") << name;
        resetall();
        EXPECT_EQ(readtext(readfile(path)), "") << name;
        EXPECT_EQ(finduserdata(last(), "joe@x", &d), 1) << name;
    }
}

// Delete and replace touch nothing unless a live record of that address
// (in any letter case) starts at the position the index gives.
TEST_F(memberfile, onlyalivematchingrecordischanged) {
    std::string head = LISTHEAD;
    std::string text = head + record("amy@x", "Amy", 1, "old") + record("bob@x");
    readtext(text);
    listrecord& l = last();
    const long amy = static_cast<long>(head.size());
    const long bob = amy + static_cast<long>(record("amy@x", "Amy", 1, "old").size());
    long newpos = 0;
    EXPECT_EQ(deleteuserrecord(l, amy, "bob@x"), USERFILE_MISMATCH);
    EXPECT_EQ(deleteuserrecord(l, amy + 2, "amy@x"), USERFILE_MISMATCH);
    EXPECT_EQ(deleteuserrecord(l, 99999, "amy@x"), USERFILE_MISMATCH);
    EXPECT_EQ(replaceuserrecord(l, bob, member("amy@x", "", 1, ""), newpos), USERFILE_MISMATCH);
    EXPECT_EQ(readfile(path), text);

    EXPECT_EQ(deleteuserrecord(l, bob, "BOB@x"), USERFILE_OK);
    EXPECT_EQ(deleteuserrecord(l, bob, "bob@x"), USERFILE_MISMATCH);  // deleted already
    ASSERT_EQ(replaceuserrecord(l, amy, member("amy@x", "Amy", 1, "new"), newpos), USERFILE_OK);
    const std::string want = head + record("amy@x", "Amy", 1, "old", "*") +
                             record("bob@x", "", 1, "", "*") + record("amy@x", "Amy", 1, "new");
    EXPECT_EQ(newpos, static_cast<long>(want.size() - record("amy@x", "Amy", 1, "new").size()));
    EXPECT_EQ(readfile(path), want);
    EXPECT_EQ(replaceuserrecord(l, amy, member("amy@x", "", 1, ""), newpos), USERFILE_MISMATCH);
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

// Every kind of change, also a record added and deleted again, is put back:
// the file byte for byte, the index entry by entry. Once the journal is
// closed, changes are kept and nothing more is noted.
TEST_F(memberfile, journalundoputsfileandindexback) {
    const std::string before =
        std::string(LISTHEAD) + record("amy@x", "", 1, "a1") + record("bob@x", "", 1, "b1");
    readtext(before);
    listrecord& l = last();
    const auto index = l.userindex;
    openjournal();
    memberlink link;
    const memberentry* entry = nullptr;
    ASSERT_EQ(finduserdata(l, "amy@x", nullptr, &link, &entry), 1);
    ASSERT_EQ(deleteuserrecord(l, entry->pos, "amy@x"), USERFILE_OK);
    removemember(l, link);
    ASSERT_EQ(finduserdata(l, "bob@x", nullptr, &link, &entry), 1);
    long pos = 0;
    ASSERT_EQ(replaceuserrecord(l, entry->pos, member("bob@x", "", 1, "b2"), pos), USERFILE_OK);
    movemember(l, link, pos);
    ASSERT_EQ(appenduserrecord(l, member("cid@x", "", 1, ""), pos), USERFILE_OK);
    addmember(l, "cid@x", pos);
    ASSERT_EQ(finduserdata(l, "cid@x", nullptr, &link, &entry), 1);
    ASSERT_EQ(deleteuserrecord(l, entry->pos, "cid@x"), USERFILE_OK);
    removemember(l, link);
    ASSERT_NE(readfile(path), before);

    EXPECT_EQ(undojournal(), 0);
    EXPECT_EQ(readfile(path), before);
    EXPECT_EQ(l.usercount, 2);
    for (int c = 0; c < USERCHAINS; ++c) {
        ASSERT_EQ(l.userindex[c].size(), index[c].size()) << c;
        for (std::size_t i = 0; i < index[c].size(); ++i)
            EXPECT_EQ(l.userindex[c][i].pos, index[c][i].pos);
    }
    memberdata d;
    EXPECT_EQ(finduserdata(l, "bob@x", &d), 1);
    EXPECT_EQ(d.password.str(), "b1");

    openjournal();
    ASSERT_EQ(appenduserrecord(l, member("dan@x", "", 1, ""), pos), USERFILE_OK);
    closejournal();
    ASSERT_EQ(appenduserrecord(l, member("eve@x", "", 1, ""), pos), USERFILE_OK);
    EXPECT_TRUE(journal.changed.empty());
    EXPECT_EQ(undojournal(), 0);
    EXPECT_EQ(readfile(path), before + record("dan@x") + record("eve@x"));
}

}  // namespace
