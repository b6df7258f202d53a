// The run journal and its recovery: records survive any content, a torn or
// damaged tail ends the journal, a unit that committed is finished and one
// that did not is taken back, nothing is touched whose identity changed,
// and recovering twice changes nothing more.
#include "durable/journal.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "durable/pathscope.h"
#include "durable/recovery.h"
#include "faults/faultkit.h"
#include "support/testutil.h"

namespace {

class journaltest : public statetest {
   protected:
    scratchdir dir;
    std::string jpath;
    void SetUp() override {
        statetest::SetUp();
        jpath = dir / "pondlark.jnl";
        scope = pathscope{};
        scopefolder(dir.path);
    }
    std::string header(const char* sync = "0") {
        return encoderecord('H', {"PondLark journal", "1", "import", "4242", sync});
    }
    std::string ino(const std::string& name) { return std::to_string(identify(dir / name).ino); }
    std::string idtext(const std::string& name) {
        fileid id = identify(dir / name);
        return std::to_string(id.ino) + ":" + std::to_string(id.size) + ":" + std::to_string(id.mtime);
    }
    std::string recover(const std::string& journal) {
        writefile(jpath, journal);
        recoveryinfo info;
        testing::internal::CaptureStderr();
        EXPECT_EQ(recoverjournal(jpath, info), 0);
        return testing::internal::GetCapturedStderr();
    }
};

TEST(journalrecords, roundtripandtornorbadtailsend) {
    std::string a = encoderecord('S', {"dir/with\ttab", "12", "x\\y\nz\r"});
    std::string b = encoderecord('C', {"7"});
    std::vector<journalrecord> r = decoderecords(a + b);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].type, 'S');
    EXPECT_EQ(r[0].fields, (std::vector<std::string>{"dir/with\ttab", "12", "x\\y\nz\r"}));
    EXPECT_EQ(r[1].fields, (std::vector<std::string>{"7"}));
    struct {
        const char* name;
        std::string data;
        std::size_t records;
    } cases[] = {
        {"last line without its line end", a + b.substr(0, b.size() - 1), 1},
        {"last line cut in the middle", a + b.substr(0, 5), 1},
        {"a byte changed", a + "D" + b.substr(1), 1},
        {"damage in the first line ends it all", "X" + a.substr(1) + b, 0},
        {"nothing", "", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(decoderecords(c.data).size(), c.records) << c.name;
}

// A unit that did not commit: everything it made or changed goes back.
TEST_F(journaltest, anuncommittedunitistakenback) {
    writefile(dir / "MAIL0000.MSG", "committed");
    writefile(dir / "list.cfg", "ListUsers\n+\na@b\n");
    std::string mailino = ino("MAIL0000.MSG"), listino = ino("list.cfg");
    std::string j = header() + encoderecord('B', {"1", "import", dir / "0000001.MSG", "1:2:3"}) +
                    encoderecord('S', {dir / "MAIL0000.MSG", "9", mailino}) +
                    encoderecord('S', {dir / "REPLIES", "-1", "-1"}) +
                    encoderecord('P', {dir / "list.cfg", "10", "2B", listino}) +
                    encoderecord('O', {dir / "00000000.PKT.tmp", dir / "00000000.PKT", "p"}) +
                    encoderecord('T', {dir / "AREAS.NEW"}) +
                    encoderecord('X', {dir / "0000001.MSG", idtext("0000001.MSG")});
    writefile(dir / "MAIL0000.MSG", "committed and more");
    writefile(dir / "REPLIES", "MAIL0000\tmail\tbn\n");
    writefile(dir / "list.cfg", "ListUsers\n*\na@b\n");
    writefile(dir / "00000000.PKT.tmp", "half a packet");
    writefile(dir / "AREAS.NEW", "half");
    writefile(dir / "0000001.MSG", "input");
    std::string log = recover(j);
    EXPECT_NE(log.find("recovered from an interrupted run: 1 unit taken back"), std::string::npos)
        << log;
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), "committed");
    EXPECT_FALSE(fileexists(dir / "REPLIES"));
    EXPECT_EQ(readfile(dir / "list.cfg"), "ListUsers\n+\na@b\n");
    EXPECT_FALSE(fileexists(dir / "00000000.PKT.tmp"));
    EXPECT_FALSE(fileexists(dir / "AREAS.NEW"));
    // An action of a unit that did not commit is never done.
    EXPECT_TRUE(fileexists(dir / "0000001.MSG"));
    // Again: nothing changes.
    std::string again = recover(j);
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), "committed");
    EXPECT_EQ(readfile(dir / "list.cfg"), "ListUsers\n+\na@b\n");
}

// A unit that committed: its outputs are published, its input settled.
TEST_F(journaltest, acommittedunitisfinished) {
    writefile(dir / "0000001.MSG", "input");
    writefile(dir / "bad.MSG", "damaged input");
    writefile(dir / "stored.msg", std::string(190, '\0'));
    writefile(dir / "attached.zip", "sent file");
    writefile(dir / "00000000.PKT", "another program's packet");
    std::string j = header() + encoderecord('B', {"1", "import", dir / "0000001.MSG", "1:2:3"}) +
                    encoderecord('O', {dir / "00000000.PKT.tmp", dir / "00000000.PKT", "p"}) +
                    encoderecord('O', {dir / "file.zip.tmp", dir / "file.zip", "f"}) +
                    encoderecord('X', {dir / "0000001.MSG", idtext("0000001.MSG")}) +
                    encoderecord('M', {dir / "bad.MSG", dir / "bad.BAD", idtext("bad.MSG")}) +
                    encoderecord('W', {dir / "stored.msg", "186", "0800", ino("stored.msg")}) +
                    encoderecord('Z', {dir / "attached.zip", "0", ino("attached.zip")}) +
                    encoderecord('C', {"1"});
    writefile(dir / "00000000.PKT.tmp", "our packet");
    writefile(dir / "file.zip.tmp", "decoded");
    std::string log = recover(j);
    EXPECT_NE(log.find("1 unit finished"), std::string::npos) << log;
    // The name was taken meanwhile: the packet gets the next free one.
    EXPECT_EQ(readfile(dir / "00000000.PKT"), "another program's packet");
    EXPECT_EQ(readfile(dir / "00000001.PKT"), "our packet");
    EXPECT_EQ(readfile(dir / "file.zip"), "decoded");
    EXPECT_FALSE(fileexists(dir / "0000001.MSG"));
    EXPECT_EQ(readfile(dir / "bad.BAD"), "damaged input");
    EXPECT_EQ(readfile(dir / "stored.msg").substr(186, 2), std::string("\x08\0", 2));
    EXPECT_EQ(readfile(dir / "attached.zip"), "");
    // Again: the outputs are not published twice, nothing else moves.
    recover(j);
    EXPECT_EQ(listtree(dir.path), (std::vector<std::string>{"00000000.PKT", "00000001.PKT",
                                                            "attached.zip", "bad.BAD", "file.zip",
                                                            "pondlark.jnl", "stored.msg"}));
}

// Recovery acts only on the files it recorded: one replaced or changed
// since is left alone.
TEST_F(journaltest, filesreplacedsincearenottouched) {
    writefile(dir / "MAIL0000.MSG", "old file");
    std::string oldino = "999999999";
    writefile(dir / "0000001.MSG", "new input of the same name");
    // Unit 1 committed, its removal recorded for another identity; unit 2
    // did not commit.
    std::string j = header() + encoderecord('B', {"1", "import", dir / "0000001.MSG", "1:2:3"}) +
        encoderecord('X', {dir / "0000001.MSG", "1:26:5"}) + encoderecord('C', {"1"}) +
        encoderecord('B', {"2", "import", dir / "0000002.MSG", "1:2:3"}) +
        encoderecord('S', {dir / "MAIL0000.MSG", "3", oldino}) +
        encoderecord('P', {dir / "MAIL0000.MSG", "0", "2B", oldino});
    recover(j);
    EXPECT_EQ(readfile(dir / "0000001.MSG"), "new input of the same name");
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), "old file");
}

// With SyncWrites a commit counts only once a checkpoint has made it
// durable: later units are all taken back, in reverse order, and their
// inputs (never removed before a checkpoint) are imported again.
TEST_F(journaltest, withsynccommitsafterthelastcheckpointaretakenback) {
    writefile(dir / "MAIL0000.MSG", std::string(30, 'r'));
    std::string m = ino("MAIL0000.MSG");
    writefile(dir / "1.MSG", "one");
    writefile(dir / "2.MSG", "two");
    std::string j = header("1") +
                    encoderecord('B', {"1", "import", dir / "1.MSG", "x"}) +
                    encoderecord('S', {dir / "MAIL0000.MSG", "10", m}) +
                    encoderecord('X', {dir / "1.MSG", idtext("1.MSG")}) + encoderecord('C', {"1"}) +
                    encoderecord('K', {}) +
                    encoderecord('B', {"2", "import", dir / "2.MSG", "x"}) +
                    encoderecord('S', {dir / "MAIL0000.MSG", "20", m}) +
                    encoderecord('O', {dir / "a.PKT.tmp", dir / "a.PKT", "p"}) +
                    encoderecord('X', {dir / "2.MSG", idtext("2.MSG")}) + encoderecord('C', {"2"}) +
                    encoderecord('B', {"3", "import", dir / "3.MSG", "x"}) +
                    encoderecord('S', {dir / "MAIL0000.MSG", "25", m});
    writefile(dir / "a.PKT.tmp", "packet of unit 2");
    std::string log = recover(j);
    EXPECT_NE(log.find("1 unit finished"), std::string::npos) << log;
    EXPECT_NE(log.find("2 units taken back"), std::string::npos) << log;
    EXPECT_FALSE(fileexists(dir / "1.MSG"));
    EXPECT_TRUE(fileexists(dir / "2.MSG"));
    EXPECT_FALSE(fileexists(dir / "a.PKT.tmp"));
    EXPECT_FALSE(fileexists(dir / "a.PKT"));
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG").size(), 20u);
}

// Busy flags: only the one holding the interrupted run's own mark goes.
TEST_F(journaltest, onlytherunsownbusyflagsgo) {
    writefile(dir / "ours.BSY", "PondLark 4242\n");
    writefile(dir / "mailers.BSY", "binkd 77\n");
    writefile(dir / "empty.BSY", "");
    std::string j = header() + encoderecord('Y', {dir / "ours.BSY"}) +
                    encoderecord('Y', {dir / "mailers.BSY"}) + encoderecord('Y', {dir / "empty.BSY"});
    std::string log = recover(j);
    EXPECT_NE(log.find("1 busy flag removed"), std::string::npos) << log;
    EXPECT_FALSE(fileexists(dir / "ours.BSY"));
    EXPECT_TRUE(fileexists(dir / "mailers.BSY"));
    EXPECT_TRUE(fileexists(dir / "empty.BSY"));
}

// A run outside any unit, as the unit tests of the modules make: outputs
// are published as soon as they are complete; within a unit only at its
// commit, and a unit taken back never publishes them.
TEST_F(journaltest, outputswaitfortheircommit) {
    std::string a = dir / "a.PKT", b = dir / "b.PKT", c = dir / "c.PKT";
    ASSERT_EQ(unitoutput(a, PUBLISH_PACKET), 0);
    writefile(tempname(a), "a");
    ASSERT_EQ(outputcomplete(a), 0);
    EXPECT_TRUE(fileexists(a));
    unitbegin("import", "");
    ASSERT_EQ(unitoutput(b, PUBLISH_PACKET), 0);
    writefile(tempname(b), "b");
    ASSERT_EQ(outputcomplete(b), 0);
    EXPECT_FALSE(fileexists(b));
    ASSERT_EQ(unitcommit(), 0);
    EXPECT_EQ(readfile(b), "b");
    unitbegin("import", "");
    ASSERT_EQ(unitoutput(c, PUBLISH_PACKET), 0);
    writefile(tempname(c), "c");
    unitabandon();
    ASSERT_EQ(unitcommit(), 0);
    EXPECT_FALSE(fileexists(c));
}

// A whole command: the journal is kept while it runs and gone after it;
// a second start recovers what the first left.
TEST_F(journaltest, acommandkeepsthejournalwhileitruns) {
    cfg.soupdir = dir.path;
    recoveryinfo info;
    testing::internal::CaptureStderr();
    ASSERT_EQ(journalstart("import", 0, info), 0);
    unitbegin("import", dir / "in.MSG");
    ASSERT_EQ(unitoutput(dir / "p.PKT", PUBLISH_PACKET), 0);
    writefile(dir / "p.PKT.tmp", "p");
    std::vector<journalrecord> r = decoderecords(readfile(jpath));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].type, 'H');
    EXPECT_EQ(r[1].type, 'B');
    EXPECT_EQ(r[2].type, 'O');
    // Killed here: the next start takes the unit back.
    close(jnl.fd);
    close(jnl.lockfd);
    jnl = runjournal{};
    ASSERT_EQ(journalstart("import", 0, info), 0);
    EXPECT_TRUE(info.recovered);
    EXPECT_FALSE(fileexists(dir / "p.PKT.tmp"));
    journalfinish();
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("recovered from an interrupted run: 1 unit taken back (1 unfinished output removed)"),
              std::string::npos)
        << log;
    EXPECT_FALSE(fileexists(jpath));
}

}  // namespace

namespace {

// The real program: a second run waits while another holds the SOUP
// folder; check tells of a journal left behind and changes nothing.
TEST(journalrun, asecondrunwaitsandcheckonlytells) {
    scratchdir dir;
    writegate(dir.path);
    writefile(dir / "soup/AREAS", "");
    int fd = open((dir / "soup").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    runresult r = runprogram("/usr/bin/timeout",
                             {"-s", "KILL", "1", PONDLARK_FIXED_BIN, "import", "/config=./gate.cfg"},
                             dir.path);
    EXPECT_EQ(r.status, 128 + 9) << r.err;
    EXPECT_NE(r.err.find("Waiting for another PondLark run to finish"), std::string::npos) << r.err;
    EXPECT_TRUE(fileexists(dir / "soup/AREAS"));
    close(fd);
    std::string journal =
        encoderecord('H', {"PondLark journal", "1", "export", "1", "0"}) +
        encoderecord('B', {"1", "packet", dir / "pkt/1.PKT", "1:2:3"}) +
        encoderecord('S', {dir / "soup/MAIL0000.MSG", "0", "1"});
    writefile(dir / "soup/pondlark.jnl", journal);
    r = runpondlark({"check", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Note: an interrupted export run left 0 units to finish and 1 unit to take "
                         "back; the next command finishes it"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readfile(dir / "soup/pondlark.jnl"), journal);
    r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("recovered from an interrupted run: 1 unit taken back"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fileexists(dir / "soup/pondlark.jnl"));
    EXPECT_FALSE(fileexists(dir / "soup/AREAS"));
}

}  // namespace
