// The last step before a server: whatever a reply file holds, every line
// that leaves ends in CR LF (SMTP) or LF (sendmail, rnews) and no CR or LF
// stands anywhere else; the envelope sender is the gateway's.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>

#include "support/testutil.h"
#include "transport/mailfrom.h"
#include "transport/wirestream.h"

namespace {

// The message as a wirestream hands it out in pieces of step bytes.
std::string wire(const std::string& head, const std::string& body, bool crlf, std::size_t step = 7) {
    // The reply file's bytes around the record, in memory.
    int fd = memfd_create("reply", MFD_CLOEXEC);
    const std::string file = "junk" + body + "junk";
    EXPECT_EQ(write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    wirestream w(head, fd, 4, static_cast<long>(body.size()), crlf);
    std::string out;
    std::vector<char> buf(step);
    for (long n; (n = w.read(buf.data(), buf.size())) != 0;) {
        if (n < 0) break;
        out.append(buf.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(w.wiresize(), static_cast<long>(out.size()));
    close(fd);
    return out;
}

// Every CR is followed by a LF and every LF (with crlf) preceded by a CR;
// the text ends with a line end.
bool clean(const std::string& s, bool crlf) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && (!crlf || i + 1 >= s.size() || s[i + 1] != '\n')) return false;
        if (s[i] == '\n' && crlf && (i == 0 || s[i - 1] != '\r')) return false;
    }
    return s.empty() || s.back() == '\n';
}

}  // namespace

TEST(wirestream, everylineendsonewayandnowhereelse) {
    struct {
        std::string head, body, smtp, command;
    } cases[] = {
        {"To: a@b\n\n", "text\n", "To: a@b\r\n\r\ntext\r\n", "To: a@b\n\ntext\n"},
        {"To: a@b\r\n\r\n", "a\r\nb\r\n", "To: a@b\r\n\r\na\r\nb\r\n", "To: a@b\n\na\nb\n"},
        // The smuggling pattern: a lone CR ends a line, and the dot line
        // that follows is a line like any other (the SMTP client doubles it).
        {"S: x\n\n", "Hi\r.\r\nMAIL FROM:<e@vil>\r\n", "S: x\r\n\r\nHi\r\n.\r\nMAIL FROM:<e@vil>\r\n",
         "S: x\n\nHi\n.\nMAIL FROM:<e@vil>\n"},
        {"S: x\n\n", "a\n.\nb", "S: x\r\n\r\na\r\n.\r\nb\r\n", "S: x\n\na\n.\nb\n"},
        {"S: x\n\n", "a\r\r\nb\r", "S: x\r\n\r\na\r\nb\r\n", "S: x\n\na\nb\n"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wire(c.head, c.body, true), c.smtp) << ::testing::PrintToString(c.body);
        EXPECT_EQ(wire(c.head, c.body, false), c.command) << ::testing::PrintToString(c.body);
    }
    // A body that is nothing but CRs across the pieces read.
    EXPECT_EQ(wire("S: x\n\n", std::string(70000, '\r') + "z", true, 1 << 16),
              "S: x\r\n\r\n\r\nz\r\n");
}

TEST(wirestream, randomrepliesleavecleanandwhole) {
    std::mt19937 rng(2206);
    const char alphabet[] = {'\r', '\n', '.', 'a', ' ', '\r', '\n'};
    for (int round = 0; round < 300; ++round) {
        std::string body;
        for (std::size_t i = 0, n = rng() % 200; i < n; ++i) body += alphabet[rng() % sizeof alphabet];
        for (bool crlf : {true, false}) {
            std::string out = wire("X: y\n\n", body, crlf, 1 + rng() % 13);
            ASSERT_TRUE(clean(out, crlf)) << ::testing::PrintToString(body);
            // Nothing but line ends changed.
            std::string a, b;
            for (char ch : body) if (ch != '\r' && ch != '\n') a += ch;
            for (char ch : out.substr(crlf ? 8 : 6)) if (ch != '\r' && ch != '\n') b += ch;
            ASSERT_EQ(a, b);
        }
    }
}

TEST(mailfrom, theenvelopesenderisthegatewaysown) {
    const std::string bounce = "pondlark@f5555.n280.z2.fidonet.org";
    EXPECT_EQ(envelopesender("From: director@bank.example\nTo: x@y\n\n", bounce), bounce);
    EXPECT_EQ(envelopesender("From: a@b.example\nSender: talk@pond.example\n\n", bounce), "talk@pond.example");
    EXPECT_EQ(withsender("To: x@y\nFrom: jane@pond.example (Jane)\nSubject: s\n\n", bounce),
              "To: x@y\nFrom: jane@pond.example (Jane)\nSender: " + bounce + "\nSubject: s\n\n");
    EXPECT_EQ(withsender("From: =?UTF-8?B?SsO8cmdlbg==?=\n <j@pond.example>\r\nTo: x@y\r\n\r\n", bounce),
              "From: =?UTF-8?B?SsO8cmdlbg==?=\n <j@pond.example>\r\nSender: " + bounce + "\r\nTo: x@y\r\n\r\n");
    // A list's own Sender, and a From that is the bounce address, stay alone.
    const std::string list = "From: a@b.example\nSender: talk@pond.example\n\n";
    EXPECT_EQ(withsender(list, bounce), list);
    const std::string own = "From: " + bounce + "\n\n";
    EXPECT_EQ(withsender(own, bounce), own);
}
