#include "lists/listjournal.h"

#include <gtest/gtest.h>

#include "lists/listtestutil.h"
#include "lists/memberfile.h"
#include "lists/memberindex.h"

namespace {

using listjournaltest = listtest;

memberdata member(const char* address, const char* password) {
    memberdata d;
    d.address = address;
    d.status = 1;
    d.password = password;
    return d;
}

// Every kind of change, also a record added and deleted again, is put back:
// the file byte for byte, the index entry by entry.
TEST_F(listjournaltest, undoputsfileandindexbackastheystood) {
    const std::string before = std::string("ListName N\nListAddress a@b\n") + "ListUsers\n" +
                               record("amy@x", "", 1, "a1") + record("bob@x", "", 1, "b1");
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
    ASSERT_EQ(replaceuserrecord(l, entry->pos, member("bob@x", "b2"), pos), USERFILE_OK);
    movemember(l, link, pos);
    ASSERT_EQ(appenduserrecord(l, member("cid@x", ""), pos), USERFILE_OK);
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
}

// Kept changes stay; with the journal closed nothing is noted.
TEST_F(listjournaltest, closedjournalkeepseverything) {
    readtext(std::string(LISTHEAD) + record("amy@x"));
    listrecord& l = last();
    openjournal();
    long pos = 0;
    ASSERT_EQ(appenduserrecord(l, member("bob@x", ""), pos), USERFILE_OK);
    closejournal();
    std::string after = readfile(path);
    ASSERT_EQ(appenduserrecord(l, member("cid@x", ""), pos), USERFILE_OK);
    EXPECT_TRUE(journal.changed.empty());
    EXPECT_EQ(undojournal(), 0);
    EXPECT_EQ(readfile(path), after + record("cid@x", "", 1, ""));
}

}  // namespace
