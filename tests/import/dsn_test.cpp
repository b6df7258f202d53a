// Delivery status notifications as the servers write them: the report
// Postfix wrote in the tests, and the plain-text forms of Exim and Gmail.
// What a person needs comes out of each: who failed, why, and which
// message it was; and a message that is no report is not taken for one.
#include "import/dsn.h"

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace {

std::string sample(const std::string& name) {
    return readfile(std::string(PONDLARK_SOURCE_DIR) + "/tests/import/dsn/" + name);
}

TEST(dsn, thereportsofpostfixeximandgmail) {
    const struct {
        const char* file;
        const char* recipient;
        const char* status;
        const char* diagnostic;
        const char* id;
        const char* subject;
        const char* human;
    } cases[] = {
        {"postfix.eml", "nosuchuser@fido.test", "5.1.1", "unknown user: \"nosuchuser\"",
         "<4075657260@f100.n280.z2.fidonet.org>", "Lost in the mail", "This is the mail system at host mx.pond.test."},
        {"exim.eml", "nobody@example.net", "5.1.1",
         "550 5.1.1 <nobody@example.net>: Recipient address rejected: User unknown",
         "<1111@f100.n280.z2.fidonet.org>", "Meeting on Friday",
         "This message was created automatically by mail delivery software."},
        {"gmail.eml", "nobody@example.com", "5.1.1",
         "550 5.1.1 The email account that you tried to reach does not exist. Please try double-checking the "
         "recipient's email address for typos.",
         "<2222@f100.n280.z2.fidonet.org>", "Gr\xc3\xbc\xc3\x9f" "e", "Delivery to the following recipient failed permanently:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string m = sample(c.file);
        ASSERT_FALSE(m.empty());
        dsnreport d;
        parsedsn(m, d);
        EXPECT_TRUE(d.isreport);
        ASSERT_EQ(d.recipients.size(), 1u);
        EXPECT_EQ(d.recipients[0].recipient, c.recipient);
        EXPECT_EQ(d.recipients[0].action, "failed");
        EXPECT_EQ(d.recipients[0].status, c.status);
        EXPECT_EQ(d.recipients[0].diagnostic, c.diagnostic);
        EXPECT_EQ(d.returnedid, c.id);
        EXPECT_EQ(d.returnedsubject, c.subject);
        EXPECT_NE(d.humantext.find(c.human), std::string::npos) << d.humantext;
        // The explanation stops where the copy of the message begins.
        EXPECT_EQ(d.humantext.find("X-MailConverter"), std::string::npos) << d.humantext;
        EXPECT_NE(dsnsummary(d).find(std::string("Recipient:  ") + c.recipient + "\n"), std::string::npos);
    }
}

TEST(dsn, whatisnoreport) {
    EXPECT_TRUE(maybereport(" multipart/report; report-type=delivery-status", "x@y", ""));
    EXPECT_TRUE(maybereport("text/plain", "MAILER-DAEMON@mx.example", "Hello"));
    EXPECT_TRUE(maybereport("", "bounce@x", "Undelivered Mail Returned to Sender"));
    EXPECT_FALSE(maybereport("text/plain", "bob@net.example", "Re: Mail delivery failed for me?"));
    EXPECT_FALSE(maybereport("multipart/mixed", "bob@net.example", "Hello"));
    // A person's mail that only talks about failures.
    dsnreport d;
    parsedsn("From: bob@net.example\nSubject: Mail delivery failed\n\nIt failed again, did it not?\n", d);
    EXPECT_FALSE(d.isreport);
}

// Hostile reports: nothing read beyond the bounds, no recipients beyond
// the limit, nesting cut off.
TEST(dsn, hostilereportsstaybounded) {
    std::string many = "Content-Type: multipart/report; boundary=b\n\n--b\n\nhi\n--b\nContent-Type: message/delivery-status\n\n";
    for (int i = 0; i < 500; ++i) many += "Final-Recipient: rfc822; r" + std::to_string(i) + "@x.test\nAction: failed\n\n";
    dsnreport d;
    parsedsn(many, d);
    EXPECT_LE(d.recipients.size(), MAXDSNRECIPIENTS);
    std::string deep = "Content-Type: multipart/report; boundary=b0\n\n";
    for (int i = 0; i < 50; ++i) deep += "--b" + std::to_string(i) + "\nContent-Type: multipart/mixed; boundary=b" + std::to_string(i + 1) + "\n\n";
    parsedsn(deep, d);
    EXPECT_TRUE(d.isreport);
    parsedsn("", d);
    EXPECT_FALSE(d.isreport);
    parsedsn("Content-Type: multipart/report\n\n--\n--\n", d);
    // Status fields in a mail that declares no report: a code is taken out
    // of its comment, words that hold none are no status.
    parsedsn("Content-Type: multipart/mixed; boundary=m\n\n--m\nContent-Type: message/delivery-status\n\n"
             "Final-Recipient: rfc822; a@x.test\nStatus: 5.1.1 (no such user)\n\n"
             "Final-Recipient: rfc822; b@x.test\nStatus: all is lost\n--m--\n",
             d);
    ASSERT_EQ(d.recipients.size(), 2u);
    EXPECT_EQ(d.recipients[0].status, "5.1.1");
    EXPECT_EQ(d.recipients[1].status, "");
}

}  // namespace
