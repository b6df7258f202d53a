#include "lists/memberindex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "base/text.h"
#include "import/curmsg.h"
#include "lists/listtestutil.h"

namespace {

using memberindex = listtest;

// Two addresses of the same chain whose CRC-32 is the same.
const char* const TWIN1 = "mkadtati@pond.example";
const char* const TWIN2 = "mhosdwbv@pond.example";

// Lookups ignore letter case and deleted records. Two addresses of one
// CRC-32 (and chain) are told apart by the address in the record.
TEST_F(memberindex, lookups) {
    std::string head = LISTHEAD;
    std::string amy = record("amy@pond.example", "Amy Pond", 1, "pw1");
    std::string gone = record("al@pond.example", "", 1, "", "*");
    std::string ann = record("Ann@Pond.Example", "Ann", 2, "");
    std::string first = record("1st@pond.example", "", 3, "x");
    std::string twin1 = record(TWIN1, "One");
    readtext(head + amy + gone + ann + first + twin1 + record(TWIN2, "Two"));
    ASSERT_EQ(membercrc(TWIN1), membercrc(TWIN2));
    const long annpos = static_cast<long>(head.size() + amy.size() + gone.size());
    const long twinpos = annpos + static_cast<long>(ann.size() + first.size());
    struct {
        const char* address;
        const char* stored;  // address as the record holds it; "" when not found
        int status;
        long pos;
    } cases[] = {
        {"AMY@POND.EXAMPLE", "amy@pond.example", 1, (long)head.size()},
        {"ann@pond.example", "Ann@Pond.Example", 2, annpos},
        {"1st@pond.example", "1st@pond.example", 3, annpos + (long)ann.size()},
        {TWIN2, TWIN2, 1, twinpos + (long)twin1.size()},
        {TWIN1, TWIN1, 1, twinpos},
        {"al@pond.example", "", 0, 0},
        {"amy@pond.exampl", "", 0, 0},
        {"", "", 0, 0},
    };
    for (const auto& c : cases) {
        memberdata d;
        d.name = "untouched";
        static const memberentry dummy;
        const memberentry* entry = &dummy;
        const bool found = *c.stored != 0;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(finduserdata(last(), c.address, &d, nullptr, &entry), found ? 1 : 0) << c.address;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.address;
        EXPECT_FALSE(lists.userfile) << "lookups close the list file";
        if (!found) {
            EXPECT_EQ(entry, nullptr) << c.address;
            EXPECT_EQ(d.name, "untouched") << c.address;
            continue;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->pos, c.pos) << c.address;
        EXPECT_EQ(d.address, c.stored);
        EXPECT_EQ(d.status, c.status);
    }
    memberdata d;
    ASSERT_EQ(finduserdata(last(), "amy@pond.example", &d), 1);
    EXPECT_EQ(d.name, "Amy Pond");
    EXPECT_EQ(d.password, "pw1");
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

// A carriage return before a line feed is no part of a field; fields are
// cut at 127 characters, and a long line does not shift the records after it.
TEST_F(memberindex, recordsreadback) {
    std::string text =
        "ListName N\r\nListAddress pond@x\r\nListUsers\r\n"
        "+\r\namy@x\r\nAmy\r\n2\r\nsecret\r\n"
        "*\r\nbob@x\r\n\r\n1\r\n\r\n" +
        record("cy@x", std::string(300, 'n'), 1, std::string(200, 'p')) + record("bea@x");
    EXPECT_EQ(readtext(text), "");
    EXPECT_EQ(last().listaddress, "pond@x");
    EXPECT_EQ(last().usercount, 3);
    memberdata d;
    ASSERT_EQ(finduserdata(last(), "Amy@X", &d), 1);
    EXPECT_EQ(d.address, "amy@x");
    EXPECT_EQ(d.name, "Amy");
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.password, "secret");
    ASSERT_EQ(finduserdata(last(), "cy@x", &d), 1);
    EXPECT_EQ(d.name, std::string(127, 'n'));
    EXPECT_EQ(d.password, std::string(127, 'p'));
    EXPECT_EQ(finduserdata(last(), "bea@x", &d), 1);
}

// The list file kept open between reads is the one of the list asked for.
TEST_F(memberindex, readingswitchesbetweenlists) {
    readtext(std::string(LISTHEAD) + record("amy@x"), "one.lst");
    readtext(std::string(LISTHEAD) + record("amy@y"), "two.lst");
    memberdata d;
    for (const char* want : {"amy@x", "amy@y", "amy@x"}) {
        const listrecord& l = lists.listconfig[want[4] == 'y' ? 1 : 0];
        ASSERT_EQ(getuserdata(l, &l.userindex[1][0], &d), 1);
        EXPECT_EQ(d.address, want);
    }
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

// Letter case counts and no leading zeros are written; nothing is
// computed without a usable ListPassword (nullptr: none).
TEST_F(memberindex, calcpassword) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"joe@pond.example", "Sesame", "22f06fa4"}, {"Joe@pond.example", "Sesame", "35cf14d9"},
        {"joe@pond.example", "sesame", "daa0b837"}, {"u22@x.org", "k", "5838bd"},
        {"joe@pond.example", "", "kept"}, {"joe@pond.example", nullptr, "kept"}};
    // clang-format on
    for (const auto& [address, key, password] : cases) {
        listrecord l;
        if (key) l.listpassword = key;
        text128 pw = "kept";
        calcpassword(l, address, pw);
        EXPECT_EQ(pw, password) << address << " " << (key ? key : "(none)");
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
