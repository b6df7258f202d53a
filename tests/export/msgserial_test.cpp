// Message-IDs of FidoNet messages without MSGID: the same message gets the
// same one in every run, whatever the clock says; a message that differs
// in what identifies it gets another.
#include "export/msgserial.h"

#include <gtest/gtest.h>

#include "base/fileio.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "export/sourcetest.h"
#include "import/curmsg.h"
#include "import/replies.h"

namespace {

const fidoaddr GATE{2, 280, 5555, 0};

class serialtest : public sourcetest {
   protected:
    // The Message-ID export gives m, read from a packet of its own.
    std::string messageid(const testmsg& m) {
        writefile(dir / "p.pkt", testpacket(GATE, {m}));
        fileptr f = openfile(dir / "p.pkt", "rb");
        curmsg.routing = ROUTING_GATEWAY;
        std::string before = fileexists(replyfile(REPLY_MAIL)) ? readfile(replyfile(REPLY_MAIL)) : "";
        if (exportpkt(f.get(), 0) != PKT_EXPORTED) return "not exported";
        std::string after = readfile(replyfile(REPLY_MAIL)).substr(before.size());
        std::size_t at = after.find("\nMessage-ID: ");
        if (at == std::string::npos) return "no Message-ID";
        at += 13;
        return after.substr(at, after.find('\n', at) - at);
    }
};

testmsg withtext(const std::string& text) {
    testmsg m;
    m.text = text;
    return m;
}

TEST_F(serialtest, samemessagesameidinanyrun) {
    const std::string body = "Hello.\rSecond line.\r--- \r * Origin: Pond (2:280/100)\r";
    std::string first = messageid(withtext(body));
    ASSERT_EQ(first.front(), '<');
    EXPECT_NE(first.find("@f100.n280.z2.fidonet.org>"), std::string::npos) << first;
    setfixedclock(FIXEDNOW + 86400 * 30);
    EXPECT_EQ(messageid(withtext(body)), first);
    setfixedclock(FIXEDNOW);

    struct {
        const char* what;
        testmsg m;
        bool same;
    } cases[] = {
        // What the systems on the way add or change does not count.
        {"a kludge added at the top", withtext("\x01PID: Other 1.0\r" + body), true},
        {"SEEN-BY and PATH after the origin",
         withtext(body + "SEEN-BY: 280/100 5555\r\x01PATH: 280/100\r"), true},
        {"a Via line", withtext(body + "\x01Via 2:280/100 @19990913.070809\r"), true},
        // What the writer wrote does.
        {"another text", withtext("Hello!\rSecond line.\r--- \r * Origin: Pond (2:280/100)\r"),
         false},
        {"an address line", withtext("To: joe@example.com\r\r" + body), false},
        {"an origin point", withtext("\x01" "FMPT 3\r" + body), false},
    };
    for (const auto& c : cases) {
        std::string id = messageid(c.m);
        if (c.same) {
            EXPECT_EQ(id, first) << c.what;
        } else {
            EXPECT_NE(id, first) << c.what;
        }
    }
    testmsg subject = withtext(body);
    subject.subject = "Hello again";
    EXPECT_NE(messageid(subject), first);
    testmsg to = withtext(body);
    to.to = "other@example.com";
    EXPECT_NE(messageid(to), first);
    // Bytes beyond the first ones never count: these two differ only there.
    std::string lead(SERIALTEXTBYTES + 10, 'y');
    EXPECT_EQ(messageid(withtext(lead + "a\r")), messageid(withtext(lead + "b\r")));
}

// A MSGID gives the serial; the hash is for messages without one.
TEST_F(serialtest, amsgidserialstands) {
    EXPECT_EQ(messageid(withtext("\x01MSGID: 2:280/100 1a2b3c4d\rHello.\r")),
              "<439041101@f100.n280.z2.fidonet.org>");
}

}  // namespace
