// The envelope of a reply: the addresses of its To, Cc and Bcc fields as
// the many forms of RFC 5322 write them, and the header as it leaves.
#include "transport/envelope.h"

#include <gtest/gtest.h>

namespace {

struct listcase {
    const char* name;
    const char* value;
    std::vector<std::string> want;
};

const listcase listcases[] = {
    {"bare", "jane@pond.test", {"jane@pond.test"}},
    {"comment name as export writes it", "jane@pond.test (Jane Doe)", {"jane@pond.test"}},
    {"angle address", "Jane Doe <jane@pond.test>", {"jane@pond.test"}},
    {"quoted name with comma and at", "\"Doe, Jane @ home\" <jane@pond.test>", {"jane@pond.test"}},
    {"several, folded", "a@x.test,\n    b@y.test (B), C <c@z.test>", {"a@x.test", "b@y.test", "c@z.test"}},
    {"group", "friends: a@x.test, b@y.test;, c@z.test", {"a@x.test", "b@y.test", "c@z.test"}},
    {"empty group", "undisclosed-recipients:;", {}},
    {"source route", "<@relay.test,@other.test:jane@pond.test>", {"jane@pond.test"}},
    {"comment holding brackets", "jane@pond.test (not <evil@x.test>, really)", {"jane@pond.test"}},
    {"nested comment", "jane@pond.test (a (b) c)", {"jane@pond.test"}},
    {"display name only", "Jane Doe", {}},
    {"spaces around the at", "jane @ pond.test", {"jane@pond.test"}},
    {"angle brackets in an address are never passed on", "<a>b@x.test>", {}},
    {"empty", "", {}},
    {"no local part or no domain", "@pond.test, jane@, joe@pond.test", {"joe@pond.test"}},
};

class addresslisttest : public ::testing::TestWithParam<listcase> {};

TEST_P(addresslisttest, findsthemailboxes) {
    EXPECT_EQ(addresslist(GetParam().value), GetParam().want) << GetParam().value;
}

std::string listcasename(const ::testing::TestParamInfo<listcase>& p) {
    std::string n = p.param.name;
    for (char& ch : n) ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(forms, addresslisttest, ::testing::ValuesIn(listcases), listcasename);

TEST(envelope, sendersandrecipientsofareply) {
    const std::string header =
        "Bcc: <m1@list.test>, <m2@list.test>,\n   <m3@list.test>\n"
        "From: Bob <bob@pond.test>\n"
        "Sender: birds@lists.test\n"
        "To: Jane <jane@pond.test>, JANE@POND.TEST\n"
        "Cc: m1@LIST.test\n"
        "Message-ID: <x1@pond.test>\n"
        "\n";
    envelope e;
    std::string problem;
    ASSERT_EQ(readenvelope(header, e, problem), 0) << problem;
    // The list's address takes the bounces; a mailbox named twice gets one
    // copy (the domain ignores case, the local part does not).
    EXPECT_EQ(e.sender, "birds@lists.test");
    EXPECT_EQ(e.recipients, (std::vector<std::string>{"m1@list.test", "m2@list.test", "m3@list.test",
                                                      "jane@pond.test", "JANE@POND.TEST"}));
    EXPECT_EQ(e.messageid, "<x1@pond.test>");

    EXPECT_NE(readenvelope("To: a@x.test\n\n", e, problem), 0);
    EXPECT_EQ(problem, "no sender");
    EXPECT_NE(readenvelope("From: a@x.test\nTo: Jane Doe\n\n", e, problem), 0);
    EXPECT_EQ(problem, "no recipients");
}

TEST(envelope, whatisleftofapartlydeliveredreply) {
    const std::string header = "From: a@x.test\nTo: b@y.test\nBcc: c@z.test,\n d@z.test\n\n";
    std::string kept = withsentto(header, {"b@y.test", "c@z.test"});
    EXPECT_EQ(kept, "From: a@x.test\nTo: b@y.test\nBcc: c@z.test,\n d@z.test\n"
                    "X-PondLark-Sent-To: <b@y.test>, <c@z.test>\n\n");
    envelope e;
    std::string problem;
    ASSERT_EQ(readenvelope(kept, e, problem), 0);
    EXPECT_EQ(e.recipients, std::vector<std::string>{"d@z.test"});
    // A later round names both rounds' recipients, in one line.
    std::string again = withsentto(kept, {"b@y.test", "c@z.test", "d@z.test"});
    EXPECT_NE(again.find(SENTTOFIELD), std::string::npos);
    EXPECT_EQ(again.find(SENTTOFIELD, again.find(SENTTOFIELD) + 1), std::string::npos);
    // A header that opens with a continuation line cannot swallow it.
    envelope odd;
    ASSERT_EQ(readenvelope(withsentto(" junk\nFrom: a@x.test\nTo: b@y.test\n\n", {"b@y.test"}), odd, problem), 0);
    EXPECT_TRUE(odd.recipients.empty());
    // What leaves has neither the Bcc nor the note; a command reading its
    // recipients from the header keeps the Bcc.
    EXPECT_EQ(outgoingheader(kept, false), "From: a@x.test\nTo: b@y.test\n\n");
    EXPECT_EQ(outgoingheader(kept, true), header);
}

TEST(envelope, headerlength) {
    EXPECT_EQ(headerlength("A: b\n\nbody\n"), 6u);
    EXPECT_EQ(headerlength("A: b\r\n\r\nbody\r\n"), 8u);
    EXPECT_EQ(headerlength("A: b\nC: d\n"), 10u);  // no body: the whole is header
    EXPECT_EQ(headerlength("\nbody"), 1u);
}

}  // namespace
