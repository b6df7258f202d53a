// ExportAllow and ExportLimit seen from outside, over runs of the real
// program: the day's count of a node survives from one run to the next,
// and what is refused is logged and consumed, never sent.
#include <gtest/gtest.h>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

std::vector<testmsg> messages(const std::string& tag, int n) {
    std::vector<testmsg> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        out[static_cast<std::size_t>(i)].subject = tag + std::to_string(i);
        out[static_cast<std::size_t>(i)].text = "Text of " + tag + std::to_string(i) + "\r";
    }
    return out;
}

// The replies waiting in every mail reply file of the SOUP folder.
int mailreplies(scratchdir& d) {
    int n = 0;
    for (const std::string& f : listtree(d / "soup")) {
        if (f.rfind("MAIL", 0) == 0) n += replyrecords(d / ("soup/" + f));
    }
    return n;
}

// The subjects of the bounces in the inbound, to whom.
std::vector<std::string> bounces(scratchdir& d) {
    std::vector<std::string> out;
    for (const std::string& f : listtree(d / "in")) {
        if (!ispacketname(f)) continue;
        for (const checkedmessage& m : checkpacket(readfile(d / ("in/" + f))).messages) {
            if (m.fromname == "PondLark Gateway") out.push_back(m.toname + ": " + m.subject);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

runresult exportpackets(scratchdir& d, const std::string& name, const std::vector<testmsg>& msgs) {
    makedirs(d / "pkt");
    writefile(d / ("pkt/" + name), testpacket(GATE, msgs));
    return runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, d.path);
}

TEST(exportlimit, thecountsurvivestworuns) {
    scratchdir d;
    writegate(d.path, "ExportLimit 2:280/100 3\nExportLimit * 100\n");
    runresult r = exportpackets(d, "0001.PKT", messages("first", 2));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(mailreplies(d), 2);
    EXPECT_EQ(readfile(d / "soup/pondlark.lim"), "1999-09-14\t2:280/100\t1\n1999-09-14\t2:280/100\t1\n");

    // The next run knows the two: one more goes, the others are refused.
    r = exportpackets(d, "0002.PKT", messages("second", 3));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(mailreplies(d), 3) << r.err;
    EXPECT_EQ(countof(r.err, "the node has sent its 3 messages for today\n"), 2) << r.err;
    EXPECT_NE(r.err.find("! refused msg from 2:280/100 (Jim Node), subject \"second1\""), std::string::npos)
        << r.err;
    EXPECT_FALSE(fileexists(d / "pkt/0002.PKT"));  // consumed: nothing waits
    EXPECT_EQ(readfile(d / "soup/pondlark.lim"), "1999-09-14\t2:280/100\t2\n1999-09-14\t2:280/100\t1\n");
    EXPECT_NE(readfile(d / "pondlark.log").find("subject \"second2\": the node has sent its 3"), std::string::npos);
    // Each refused message is told to its sender, once.
    EXPECT_EQ(bounces(d), (std::vector<std::string>{"Jim Node: Mail not sent: second1", "Jim Node: Mail not sent: second2"}));

    // A run under /test reads the count but writes nothing.
    writefile(d / "pkt/0003.PKT", testpacket(GATE, messages("third", 1)));
    r = runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt", "/test"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countof(r.err, "for today"), 1) << r.err;
    EXPECT_EQ(readfile(d / "soup/pondlark.lim"), "1999-09-14\t2:280/100\t2\n1999-09-14\t2:280/100\t1\n");
}

// Without ExportAllow for its mail a node sends nothing, in any run, and
// the sysop's own system sends as before.
TEST(exportallow, anodenotallowedsendsnothing) {
    scratchdir d;
    writegate(d.path, "ExportAllow 2:280/5555.* mail\n");
    runresult r = exportpackets(d, "0001.PKT", messages("stranger", 2));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(mailreplies(d), 0);
    EXPECT_EQ(countof(r.err, "the node may not send mail through the gateway\n"), 2) << r.err;
    EXPECT_EQ(bounces(d), (std::vector<std::string>{"Jim Node: Mail not sent: stranger0",
                                                    "Jim Node: Mail not sent: stranger1"}));
    EXPECT_FALSE(fileexists(d / "soup/pondlark.lim"));
    EXPECT_NE(readfile(d / "pondlark.log").find("! refused msg from 2:280/100"), std::string::npos);
}

}  // namespace
