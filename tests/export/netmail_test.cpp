// The stored netmail source with what end-to-end data cannot show:
// modification times against the QuickScan date, reply files that refuse
// writes, and the header fields as read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>

#include "base/bytes.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/runstate.h"
#include "export/outbound.h"
#include "export/sourcetest.h"
#include "export/storedmsg.h"
#include "import/replies.h"

namespace {

class netmailtest : public sourcetest {
   protected:
    // A message to the gateway with the given modification time.
    std::string addmessage(const std::string& name, std::time_t mtime, testmsg m = {}) {
        std::string path = dir / ("net/" + name);
        writefile(path, storedmessage(280, 5555, m));
        settime(path, mtime);
        return path;
    }
    // A file attach with the given text that sends files/0001.PKT, a packet
    // of one news message.
    std::string addpacketattach(const std::string& text) {
        testmsg news;
        news.to = "All";
        news.text = "AREA:PONDLARK.TEST\rNews.\r";
        tables.areamap.push_back({"PONDLARK.TEST", "alt.test", DIR_BOTH, {}, 0, {}});
        writefile(dir / "files/0001.PKT", testpacket({2, 280, 5555, 0}, {news}));
        testmsg attach;
        attach.attr = 0x0111;  // written here (Local): names files by path
        attach.subject = dir / "files/0001.PKT";
        attach.text = text;
        return addmessage("1.MSG", FIXEDNOW, attach);
    }
    static void settime(const std::string& path, std::time_t t) {
        struct timeval tv[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(utimes(path.c_str(), tv), 0);
    }
    static std::time_t mtime(const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_mtime;
    }
    static std::uint16_t attr(const std::string& path) {
        return get16le(reinterpret_cast<const unsigned char*>(readfile(path).data()) + 186);
    }
    std::string scanfile() const { return dir / "net/pondlark.dat"; }
    static std::string scandate(std::uint32_t first, std::uint32_t date) {
        unsigned char raw[8];
        put32le(raw, first);
        put32le(raw + 4, date);
        return std::string(reinterpret_cast<char*>(raw), sizeof raw);
    }
};

TEST_F(netmailtest, quickscanskipsmessagesolderthanthelastscan) {
    const std::time_t last = FIXEDNOW - 50;
    struct {
        const char* name;
        int quickscan;
        const char* scanfile;  // nullptr: none
        std::string content;
        int exported;  // of an old and a new message
        std::string after;
    } cases[] = {
        {"lastscan", 1, "pondlark.dat", scandate(0, last), 1, scandate(0, FIXEDNOW)},
        {"nofile", 1, nullptr, "", 2, scandate(0, FIXEDNOW)},
        {"firstwordnotzero", 1, "pondlark.dat", scandate(1, last), 2, scandate(0, FIXEDNOW)},
        {"shortfile", 1, "pondlark.dat", std::string(6, '\0'), 2, scandate(0, FIXEDNOW)},
        {"noquickscan", 0, "pondlark.dat", scandate(0, last), 2, scandate(0, last)},
    };
    for (const auto& c : cases) {
        std::remove(scanfile().c_str());
        if (c.scanfile) writefile(scanfile(), c.content);
        cfg.quickscan = c.quickscan;
        std::string before = replyfile(REPLY_MAIL);
        int records = replyrecords(before);
        std::string oldmsg = addmessage("1.MSG", last - 1);
        std::string newmsg = addmessage("2.MSG", last);
        msgexport();
        EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)) - records, c.exported) << c.name;
        EXPECT_EQ(attr(newmsg), 0x0009) << c.name;
        EXPECT_EQ(attr(oldmsg), c.exported == 2 ? 0x0009 : 0x0001) << c.name;
        if (c.scanfile || c.quickscan) {
            EXPECT_EQ(readfile(scanfile()), c.after) << c.name;
        }
    }
}

TEST_F(netmailtest, testmoderewritesonlythescandate) {
    cfg.quickscan = 1;
    testmsg kill;
    kill.attr = 0x0081;
    std::string path = addmessage("1.MSG", FIXEDNOW - 10, kill);
    std::string bytes = readfile(path);
    run.testmode = 1;
    msgexport();
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
    EXPECT_EQ(readfile(path), bytes);
    EXPECT_EQ(mtime(path), FIXEDNOW - 10);
    EXPECT_EQ(readfile(scanfile()), scandate(0, FIXEDNOW));
}

// A message whose reply cannot be written stays unsent and is not killed;
// with QuickScan it is made as new as this run, so the next run, which
// scans from the start of this one, takes it again.
TEST_F(netmailtest, afailedreplykeepsthemessageforthenextrun) {
    cfg.quickscan = 1;
    writefile(scanfile(), scandate(0, FIXEDNOW - 50));
    testmsg kill;
    kill.attr = 0x0081;
    std::string path = addmessage("1.MSG", FIXEDNOW - 10, kill);
    std::string bytes = readfile(path);
    failreplies(REPLY_MAIL);
    msgexport();
    EXPECT_EQ(readfile(path), bytes);
    EXPECT_EQ(mtime(path), FIXEDNOW);
    healreplies(REPLY_MAIL);
    setfixedclock(FIXEDNOW + 60);
    msgexport();
    EXPECT_FALSE(fileexists(path));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
}

// A file attach whose packet cannot be exported waits with its packet;
// once the packet goes, the message is marked sent.
TEST_F(netmailtest, amessagewaitsforitspacket) {
    std::string path = addpacketattach("\x01PID: tosser\r");
    failreplies(REPLY_NEWS);
    msgexport();
    EXPECT_EQ(attr(path), 0x0111);
    EXPECT_TRUE(fileexists(dir / "files/0001.PKT"));
    healreplies(REPLY_NEWS);
    msgexport();
    EXPECT_EQ(attr(path), 0x0119);
    EXPECT_FALSE(fileexists(dir / "files/0001.PKT"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_NEWS)), 1);
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 0);
}

// A file attach whose text went out while its packet could not: the text
// is taken out of the message, which keeps only the waiting packet, so
// that the next run sends the packet and not the text a second time.
TEST_F(netmailtest, atextsentisnotsentagainwithitspacket) {
    std::string path = addpacketattach("A packet for you.\r");
    std::string header = readfile(path).substr(0, 190);
    failreplies(REPLY_NEWS);
    msgexport();
    EXPECT_EQ(readfile(path), header);
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
    healreplies(REPLY_NEWS);
    msgexport();
    EXPECT_EQ(attr(path), 0x0119);
    EXPECT_FALSE(fileexists(dir / "files/0001.PKT"));
    EXPECT_EQ(replyrecords(replyfile(REPLY_NEWS)), 1);
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
}

TEST_F(netmailtest, messagesareexportedinnumberorder) {
    for (const char* name : {"10.MSG", "9.msg", "2.Msg", "0001.MSG", "note.MSG", "3.TXT"}) {
        testmsg m;
        m.subject = name;
        addmessage(name, FIXEDNOW, m);
    }
    msgexport();
    std::string reply = readfile(replyfile(REPLY_MAIL));
    std::vector<std::size_t> at;
    for (const char* name : {"0001.MSG", "2.Msg", "9.msg", "10.MSG", "note.MSG"}) {
        at.push_back(reply.find(std::string("Subject: ") + name + "\n"));
        EXPECT_NE(at.back(), std::string::npos) << name;
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
    EXPECT_EQ(reply.find("3.TXT"), std::string::npos);
}

// The kludges that say where a message goes are read past a kludge line
// longer than one read: a message to another zone or to a point of the
// gateway's net and node is not the gateway's.
TEST_F(netmailtest, kludgesafteralongkludgestillchoosethedestination) {
    std::string longkludge = "\x01X-LONG: " + std::string(300, 'k') + "\r";
    testmsg otherzone;
    otherzone.subject = "Other zone";
    otherzone.text = longkludge + "\x01INTL 1:280/5555 2:280/100\rNot ours.\r";
    testmsg point;
    point.subject = "Point";
    point.text = longkludge + "\x01TOPT 7\rNot ours either.\r";
    testmsg ours;
    ours.subject = "Ours";
    ours.text = longkludge + "\x01INTL 2:280/5555 2:280/100\rOurs.\r";
    std::string p1 = addmessage("1.MSG", FIXEDNOW, otherzone);
    std::string p2 = addmessage("2.MSG", FIXEDNOW, point);
    std::string p3 = addmessage("3.MSG", FIXEDNOW, ours);
    msgexport();
    std::string reply = readfile(replyfile(REPLY_MAIL));
    EXPECT_EQ(replyrecords(replyfile(REPLY_MAIL)), 1);
    EXPECT_NE(reply.find("Subject: Ours\n"), std::string::npos);
    EXPECT_EQ(attr(p1), 0x0001);
    EXPECT_EQ(attr(p2), 0x0001);
    EXPECT_EQ(attr(p3), 0x0009);
}

TEST(storedheader, fieldsendattheirwidth) {
    unsigned char raw[MSGHDRSIZE];
    for (std::size_t i = 0; i < MSGHDRSIZE; ++i) raw[i] = static_cast<unsigned char>('a' + i % 26);
    put16le(raw + MSGHDR_ORIGNET, 280);
    put16le(raw + MSGHDR_ORIGNODE, 100);
    put16le(raw + MSGHDR_DESTNET, 281);
    put16le(raw + MSGHDR_DESTNODE, 5555);
    put16le(raw + MSGHDR_ATTR, 0x0291);
    storedheader h = decodestoredheader(raw);
    EXPECT_EQ(h.fromname.size(), 36u);
    EXPECT_EQ(h.toname.sv(), std::string_view(reinterpret_cast<char*>(raw) + 36, 36));
    EXPECT_EQ(h.subject.size(), 72u);
    EXPECT_EQ(h.date.sv(), std::string_view(reinterpret_cast<char*>(raw) + 144, 20));
    EXPECT_EQ(h.orignet, 280);
    EXPECT_EQ(h.orignode, 100);
    EXPECT_EQ(h.destnet, 281);
    EXPECT_EQ(h.destnode, 5555);
    EXPECT_EQ(h.attr, 0x0291);
    raw[MSGHDR_TONAME + 3] = 0;
    EXPECT_EQ(decodestoredheader(raw).toname.size(), 3u);
    setstoredattr(raw, 0x0299);
    EXPECT_EQ(get16le(raw + MSGHDR_ATTR), 0x0299);
    EXPECT_EQ(raw[MSGHDR_NEXTREPLY], 'a' + MSGHDR_NEXTREPLY % 26);
}

}  // namespace
