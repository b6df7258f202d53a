#include "lists/memberindex.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "driver/text.h"
#include "import/curmsg.h"
#include "lists/listtestutil.h"

namespace {

using memberindex = listtest;

// Two addresses of the same chain whose CRC-32 is the same.
const char* const TWIN1 = "mkadtati@pond.example";
const char* const TWIN2 = "mhosdwbv@pond.example";

TEST_F(memberindex, lookups) {
    std::string head = LISTHEAD;
    std::string amy = record("amy@pond.example", "Amy Pond", 1, "pw1");
    std::string ann = record("Ann@Pond.Example", "Ann", 2, "");
    std::string gone = record("al@pond.example", "", 1, "", "*");
    std::string one = record("1st@pond.example", "", 3, "x");
    readtext(head + amy + gone + ann + one);
    const listrecord& l = last();
    struct {
        const char* address;
        int found;
        const char* stored;  // address as the record holds it
        int chain;
        std::size_t slot;
        long pos;
    } cases[] = {
        {"amy@pond.example", 1, "amy@pond.example", 1, 0, (long)head.size()},
        {"AMY@POND.EXAMPLE", 1, "amy@pond.example", 1, 0, (long)head.size()},
        {"ann@pond.example", 1, "Ann@Pond.Example", 1, 1,
         (long)(head.size() + amy.size() + gone.size())},
        {"1st@pond.example", 1, "1st@pond.example", 0, 0,
         (long)(head.size() + amy.size() + gone.size() + ann.size())},
        {"al@pond.example", 0, "", 1, 2, 0},  // deleted
        {"amy@pond.exampl", 0, "", 1, 2, 0},
        {"zed@pond.example", 0, "", 26, 0, 0},
        {"", 0, "", 0, 1, 0},
    };
    for (const auto& c : cases) {
        memberdata d;
        d.name = "untouched";
        memberlink link{-1, 99};
        static const memberentry dummy;
        const memberentry* entry = &dummy;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(finduserdata(l, c.address, &d, &link, &entry), c.found) << c.address;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.address;
        EXPECT_EQ(link.chain, c.chain) << c.address;
        EXPECT_EQ(link.slot, c.slot) << c.address;
        EXPECT_FALSE(lists.userfile) << "lookups close the list file";
        if (c.found) {
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->pos, c.pos) << c.address;
            EXPECT_EQ(d.address, c.stored);
        } else {
            EXPECT_EQ(entry, nullptr) << c.address;
            EXPECT_EQ(d.name, "untouched") << c.address;
        }
    }
    memberdata d;
    ASSERT_EQ(finduserdata(l, "amy@pond.example", &d), 1);
    EXPECT_EQ(d.name, "Amy Pond");
    EXPECT_EQ(d.status, 1);
    EXPECT_EQ(d.password, "pw1");
    ASSERT_EQ(finduserdata(l, "1st@pond.example", &d), 1);
    EXPECT_EQ(d.status, 3);
}

TEST_F(memberindex, crccollisionsaredecidedbytheaddress) {
    ASSERT_EQ(membercrc(TWIN1), membercrc(TWIN2));
    ASSERT_EQ(classifyuser(TWIN1), classifyuser(TWIN2));
    readtext(std::string(LISTHEAD) + record(TWIN1, "One") + record(TWIN2, "Two"));
    memberdata d;
    memberlink link;
    ASSERT_EQ(finduserdata(last(), TWIN2, &d, &link), 1);
    EXPECT_EQ(d.name, "Two");
    EXPECT_EQ(link.slot, 1u);
    ASSERT_EQ(finduserdata(last(), TWIN1, &d, &link), 1);
    EXPECT_EQ(d.name, "One");
    EXPECT_EQ(link.slot, 0u);
}

TEST_F(memberindex, afakeentrydoesnotmatch) {
    std::string head = LISTHEAD;
    readtext(head + record("alice@x", "Alice"));
    listrecord& l = last();
    // An entry that claims the CRC-32 of another address points at Alice.
    l.userindex[classifyuser("ghost@x")].push_back(
        memberentry{membercrc("ghost@x"), (long)head.size()});
    memberdata d;
    EXPECT_EQ(finduserdata(l, "ghost@x", &d), 0);
    EXPECT_EQ(finduserdata(l, "alice@x", &d), 1);
}

TEST_F(memberindex, unreadablerecords) {
    std::string head = LISTHEAD;
    readtext(head + "+ note\nbob@x\nBob\n1\n\n" + record("amy@x"));
    EXPECT_EQ(last().usercount, 2);
    memberdata d;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(finduserdata(last(), "bob@x", &d), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "! internal consistency error in file " + path + "\n");
    // A position past the end of the file.
    memberentry beyond{0, 100000};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(getuserdata(last(), &beyond, &d), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "! internal consistency error in file " + path + "\n");
    // The file is gone.
    std::remove(path.c_str());
    closeuserdata();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(finduserdata(last(), "amy@x", &d), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "! error obtaining user data from file " + path + "\n");
}

TEST_F(memberindex, carriagereturnsaretolerated) {
    std::string text =
        "ListName N\r\nListAddress pond@x\r\nListUsers\r\n"
        "+\r\namy@x\r\nAmy\r\n2\r\nsecret\r\n"
        "*\r\nbob@x\r\n\r\n1\r\n\r\n";
    std::string err = readtext(text);
    EXPECT_EQ(err, "");
    EXPECT_EQ(last().listaddress, "pond@x");
    EXPECT_EQ(last().usercount, 1);
    memberdata d;
    ASSERT_EQ(finduserdata(last(), "Amy@X", &d), 1);
    EXPECT_EQ(d.address, "amy@x");
    EXPECT_EQ(d.name, "Amy");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.password, "secret");
}

TEST_F(memberindex, longfieldsarecut) {
    std::string longname(300, 'n');
    readtext(std::string(LISTHEAD) + record("amy@x", longname, 1, std::string(200, 'p')) +
             record("bea@x"));
    memberdata d;
    ASSERT_EQ(finduserdata(last(), "amy@x", &d), 1);
    EXPECT_EQ(d.name, std::string(127, 'n'));
    EXPECT_EQ(d.password, std::string(127, 'p'));
    // A long line does not shift the records after it.
    EXPECT_EQ(finduserdata(last(), "bea@x", &d), 1);
}

TEST_F(memberindex, onefilestaysopenbetweenreads) {
    readtext(std::string(LISTHEAD) + record("amy@x") + record("bob@x"));
    const listrecord& l = last();
    memberdata d;
    ASSERT_EQ(getuserdata(l, &l.userindex[1][0], &d), 1);
    std::FILE* open = lists.userfile.get();
    ASSERT_NE(open, nullptr);
    ASSERT_EQ(getuserdata(l, &l.userindex[2][0], &d), 1);
    EXPECT_EQ(lists.userfile.get(), open);
    EXPECT_EQ(d.address, "bob@x");
    EXPECT_EQ(getuserdata(l, nullptr, nullptr), 1);
    EXPECT_FALSE(lists.userfile);
}

TEST_F(memberindex, readingswitchesbetweenlists) {
    readtext(std::string(LISTHEAD) + record("amy@x"), "one.lst");
    readtext(std::string(LISTHEAD) + record("amy@y"), "two.lst");
    memberdata d;
    ASSERT_EQ(getuserdata(lists.listconfig[0], &lists.listconfig[0].userindex[1][0], &d), 1);
    EXPECT_EQ(d.address, "amy@x");
    ASSERT_EQ(getuserdata(lists.listconfig[1], &lists.listconfig[1].userindex[1][0], &d), 1);
    EXPECT_EQ(d.address, "amy@y");
    closeuserdata();
}

TEST_F(memberindex, walkfollowsthechainsinorder) {
    readtext(std::string(LISTHEAD) + record("zed@x") + record("bob@x", "", 3) + record("9@x") +
             "+ broken\nann@x\n\n1\n\n" + record("Bea@x") + record("abe@x", "", 2));
    std::vector<std::string> seen;
    ::testing::internal::CaptureStderr();
    long n = walkmembers(last(), [&](const memberdata& m) {
        seen.push_back(std::string(m.address.sv()) + "/" + std::to_string(m.status));
    });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "! internal consistency error in file " + path + "\n");
    EXPECT_EQ(n, 5);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"9@x/1", "abe@x/2", "bob@x/3", "Bea@x/1", "zed@x/1"}));
    EXPECT_FALSE(lists.userfile);
}

TEST_F(memberindex, addremovemove) {
    readtext(std::string(LISTHEAD) + record("amy@x") + record("ann@x"));
    listrecord& l = last();
    addmember(l, "Abe@x", 500);
    EXPECT_EQ(l.usercount, 3);
    ASSERT_EQ(l.userindex[1].size(), 3u);
    EXPECT_EQ(l.userindex[1][2].pos, 500);
    EXPECT_EQ(l.userindex[1][2].crc, membercrc("abe@x"));
    memberlink link;
    ASSERT_EQ(finduserdata(l, "amy@x", nullptr, &link), 1);
    movemember(l, link, 700);
    EXPECT_EQ(l.userindex[1][0].pos, 700);
    removemember(l, link);
    EXPECT_EQ(l.usercount, 2);
    ASSERT_EQ(l.userindex[1].size(), 2u);
    EXPECT_EQ(l.userindex[1][1].pos, 500);
    EXPECT_EQ(finduserdata(l, "ann@x", nullptr), 1);
}

TEST_F(memberindex, calcpassword) {
    struct {
        const char* address;
        const char* key;
        const char* password;
    } cases[] = {
        {"joe@pond.example", "Sesame", "22f06fa4"},
        {"Joe@pond.example", "Sesame", "35cf14d9"},  // letter case counts
        {"joe@pond.example", "sesame", "daa0b837"},
        {"u22@x.org", "k", "5838bd"},  // no leading zeros
    };
    listrecord l;
    for (const auto& c : cases) {
        l.listpassword = c.key;
        text128 pw;
        calcpassword(l, c.address, pw);
        EXPECT_EQ(pw, c.password) << c.address;
        calcpassword(l, c.address, pw);
        EXPECT_EQ(pw, c.password) << "stable: " << c.address;
    }
    // Without a usable ListPassword nothing is computed.
    listrecord nokey, emptykey;
    emptykey.listpassword = std::string();
    for (const listrecord* r : {&nokey, &emptykey}) {
        text128 pw = "kept";
        calcpassword(*r, "joe@pond.example", pw);
        EXPECT_EQ(pw, "kept");
    }
}

TEST_F(memberindex, createuserdata) {
    listrecord l;
    l.newstatus = 2;
    l.listpassword = "Sesame";
    curmsg.msgfromemail = "joe@pond.example";
    curmsg.msgfromname = "Joe Pond";
    memberdata d;
    d.password = "old";
    createuserdata(l, d);
    EXPECT_EQ(d.address, "joe@pond.example");
    EXPECT_EQ(d.name, "Joe Pond");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.password, "22f06fa4");
    // A name that only repeats the address is no name; no ListPassword, no password.
    curmsg.msgfromname = "JOE@Pond.Example";
    l.listpassword.reset();
    createuserdata(l, d);
    EXPECT_EQ(d.name, "");
    EXPECT_EQ(d.password, "");
}

}  // namespace
