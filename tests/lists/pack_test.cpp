#include "lists/pack.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/runstate.h"
#include "lists/listtestutil.h"

namespace {

class packtest : public listtest {
   protected:
    // Packs all lists read so far; returns what was logged.
    std::string pack(int* status = nullptr) {
        ::testing::internal::CaptureStderr();
        int s = packlists();
        if (status) *status = s;
        return ::testing::internal::GetCapturedStderr();
    }
    // The scratch folder holds no temporary file.
    bool notemporary() const {
        for (const auto& f : listtree(dir.path)) {
            if (f.find(".tmp") != std::string::npos) return false;
        }
        return true;
    }
};

const std::string PACKHEAD =
    "; Pond Talk\nListName Pond Talk\nListAddress pond@lists.example\nNewStatus 2\nlistusers\n";

// Every kind of line the user section can hold, in one file.
const std::string MIXED = PACKHEAD + record("amy@x", "Amy", 1, "pw") +  // lines 6-10
                          record("bob@x", "Bob", 1, "", "*") +          // 11-15
                          "stray\n" +                                   // 16
                          "+ old marker text\ncat@x\nCat\n2\ncpw\n" +   // 17-21
                          "*\r\ndan@x\r\n\r\n1\r\n\r\n" +               // 22-26
                          "\n" +                                        // 27
                          "+\neve@x\n";                                 // 28-29, cut short
const std::string MIXEDPACKED =
    PACKHEAD + record("amy@x", "Amy", 1, "pw") + "+\ncat@x\nCat\n2\ncpw\n" + "+\neve@x\n\n2\n\n";

// The golden pack cases cover the verbose log and test mode; these are
// the edges of the user section, each packed on its own.
TEST_F(packtest, cases) {
    const std::string head = "ListName N\nListAddress a@b\n";
    const std::string users = head + "ListUsers\n";
    const char* const NOTHING = "--> nothing to do\n";
    const char* const EXTENDED = "* extended partial user record at end of file\n";
    struct {
        const char* name;
        std::string before;
        std::string after;
        std::string log;  // between the "Packing" line and the end
    } cases[] = {
        {"no ListUsers line", head + "stray\n", head + "stray\n", NOTHING},
        // The list reader takes these lines as ListUsers, so pack must too.
        {"ListUsers with a trailing space", head + "ListUsers \n*\nbob@x\n\n1\n\n+\namy@x\n\n1\n\n",
         head + "ListUsers \n+\namy@x\n\n1\n\n", "--> removed 1 deleted user records\n    + 0 erroneous lines\n"},
        {"carriage returns", head + "ListUsers\r\n*\r\nbob@x\r\n\r\n1\r\n\r\n",
         head + "ListUsers\r\n", "--> removed 1 deleted user records\n    + 0 erroneous lines\n"},
        {"nothing to remove", users + record("amy@x") + record("bob@x", "Bob", 3, "p"),
         users + record("amy@x") + record("bob@x", "Bob", 3, "p"), NOTHING},
        {"ends after a plus line", users + record("amy@x") + "+\n", users + record("amy@x"),
         NOTHING},
        {"cut after the status", users + "+\namy@x\nAmy\n3\n", users + "+\namy@x\nAmy\n3\n\n",
         std::string(EXTENDED) + NOTHING},
        {"unterminated last line", users + "+\namy@x\nAmy\n1\npw",
         users + record("amy@x", "Amy", 1, "pw"), NOTHING},
        {"deleted record cut short", users + "*\nbob@x\n", users,
         "--> removed 1 deleted user records\n    + 0 erroneous lines\n"},
        {"markers normalised", users + "+++\namy@x\n\n1\n\n+\r\nbob@x\n\n1\n\n",
         users + record("amy@x") + "+\nbob@x\n\n1\n\n", NOTHING},
        {"every kind of line", MIXED, MIXEDPACKED,
         std::string(EXTENDED) + "--> removed 2 deleted user records\n    + 2 erroneous lines\n"},
    };
    for (const auto& c : cases) {
        resetall();
        readtext(c.before);
        ASSERT_EQ(lists.listconfig.size(), 1u) << c.name;
        int status = -1;
        EXPECT_EQ(pack(&status), "Packing list #1: " + last().listname.value() + "\n" + c.log)
            << c.name;
        EXPECT_EQ(status, 0) << c.name;
        std::string got = readfile(path);
        EXPECT_EQ(got, c.after) << c.name << ": " << describediff(c.after, got);
        EXPECT_TRUE(notemporary()) << c.name;
    }
}

// A list that cannot be packed does not stop the others.
TEST_F(packtest, everylistinturn) {
    int status = -1;
    EXPECT_EQ(pack(&status), "No lists are configured; cannot PACK\n");
    EXPECT_EQ(status, 0);
    readtext(std::string(LISTHEAD) + record("a@x", "", 1, "", "*"), "one.lst");
    std::string one = path;
    readtext("ListName Second\nListAddress s@x\nListUsers\n", "two.lst");
    std::remove(one.c_str());
    EXPECT_EQ(pack(), "Packing list #1: Pond Talk\n! error opening " + one +
                          " for reading\nPacking list #2: Second\n--> nothing to do\n");
}

TEST_F(packtest, keepsaccessrightsandfreetemporarynames) {
    readtext(MIXED);
    chmod(path.c_str(), 0640);
    writefile(dir / "list0000.tmp", "someone else's");
    pack();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readfile(path), MIXEDPACKED);
    EXPECT_EQ(readfile(dir / "list0000.tmp"), "someone else's");
    EXPECT_FALSE(fileexists(dir / "list0001.tmp"));
}

TEST_F(packtest, failedwritekeepsthelistfile) {
    std::string text = LISTHEAD;
    for (int i = 0; i < 300; ++i) {
        text += record("member" + std::to_string(i) + "@x", "", 1, "", i % 2 ? "+" : "*");
    }
    readtext(text);
    std::string log;
    {
        filesizelimit limit(text.size() / 2);
        log = pack();
    }
    EXPECT_EQ(log, "Packing list #1: Pond Talk\n! error writing " + dir / "list0000.tmp" +
                       "; list file left unchanged\n");
    EXPECT_EQ(readfile(path), text);
    EXPECT_TRUE(notemporary());
}

TEST_F(packtest, failedreadkeepsthelistfile) {
    readtext(MIXED);
    // The list file's place is taken by a directory: it opens, but reads fail.
    std::remove(path.c_str());
    makedirs(path);
    writefile(path + "/inside", "x");
    EXPECT_EQ(pack(), "Packing list #1: Pond Talk\n! error reading " + path +
                          "; list file left unchanged\n");
    EXPECT_EQ(readfile(path + "/inside"), "x");
    EXPECT_TRUE(notemporary());
}

TEST_F(packtest, failedrenamekeepsthelistfile) {
    // A file cannot replace a directory that holds something.
    makedirs(dir / "members.lst");
    writefile(dir / "members.lst/inside", "x");
    writefile(dir / "list0000.tmp", "packed");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(replacelistfile(dir / "list0000.tmp", dir / "members.lst"), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "! error renaming " + dir / "list0000.tmp" +
                                                            " to " + dir / "members.lst" +
                                                            "; list file left unchanged\n");
    EXPECT_EQ(readfile(dir / "members.lst/inside"), "x");
    EXPECT_FALSE(fileexists(dir / "list0000.tmp"));
    // The good case replaces in one step.
    writefile(dir / "list0000.tmp", "packed");
    writefile(dir / "other.lst", "old");
    EXPECT_EQ(replacelistfile(dir / "list0000.tmp", dir / "other.lst"), 0);
    EXPECT_EQ(readfile(dir / "other.lst"), "packed");
    EXPECT_FALSE(fileexists(dir / "list0000.tmp"));
}

TEST_F(packtest, readonlydirectorykeepsthelistfile) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: directory permissions stop no write";
    makedirs(dir / "ro");
    readtext(MIXED, "ro/members.lst");
    chmod((dir / "ro").c_str(), 0555);
    EXPECT_EQ(pack(), "Packing list #1: Pond Talk\n! error opening " + dir / "ro/list0000.tmp" +
                          " for writing\n");
    chmod((dir / "ro").c_str(), 0755);
    EXPECT_EQ(readfile(path), MIXED);
    EXPECT_TRUE(notemporary());
}

}  // namespace
