#include "lists/pack.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

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
    const std::string NOTHING = "--> nothing to do\n",
                      ONE = "--> removed 1 deleted user records\n    + 0 erroneous lines\n";
    const std::string EXTENDED = "* extended partial user record at end of file\n";
    struct {
        const char* name;
        std::string before, after;
        std::string log;  // between the "Packing" line and the end
    } cases[] = {
        // clang-format off
        {"no ListUsers line", head + "stray\n", head + "stray\n", NOTHING},
        // The list reader takes these lines as ListUsers, so pack must too.
        {"ListUsers with a trailing space", head + "ListUsers \n*\nbob@x\n\n1\n\n+\namy@x\n\n1\n\n", head + "ListUsers \n+\namy@x\n\n1\n\n", ONE},
        {"carriage returns", head + "ListUsers\r\n*\r\nbob@x\r\n\r\n1\r\n\r\n", head + "ListUsers\r\n", ONE},
        {"nothing to remove", users + record("amy@x") + record("bob@x", "Bob", 3, "p"), users + record("amy@x") + record("bob@x", "Bob", 3, "p"), NOTHING},
        {"ends after a plus line", users + record("amy@x") + "+\n", users + record("amy@x"), NOTHING},
        {"cut after the status", users + "+\namy@x\nAmy\n3\n", users + "+\namy@x\nAmy\n3\n\n", EXTENDED + NOTHING},
        {"unterminated last line", users + "+\namy@x\nAmy\n1\npw", users + record("amy@x", "Amy", 1, "pw"), NOTHING},
        {"deleted record cut short", users + "*\nbob@x\n", users, ONE},
        {"markers normalised", users + "+++\namy@x\n\n1\n\n+\r\nbob@x\n\n1\n\n", users + record("amy@x") + "+\nbob@x\n\n1\n\n", NOTHING},
        {"every kind of line", MIXED, MIXEDPACKED, EXTENDED + "--> removed 2 deleted user records\n    + 2 erroneous lines\n"},
        // clang-format on
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

// How a pack can fail: writing the packed list, reading the list file,
// putting the packed list in its place, making a temporary file.
enum packfaults { WRITE, READ, RENAME, READONLY };
const char* const PACKFAULTS[] = {"write", "read", "rename", "readonlydirectory"};

class packfault : public packtest, public ::testing::WithParamInterface<int> {};

// Whatever fails, the list file (or what took its place) stays as it was,
// the temporary file goes and a "! ..." line says why.
TEST_P(packfault, keepsthelistfile) {
    const int fault = GetParam();
    if (fault == READONLY && geteuid() == 0)
        GTEST_SKIP() << "running as root: directory permissions stop no write";
    // Longer than a write buffer, so that a write fails, not only the close.
    std::string text = LISTHEAD;
    for (int i = 0; i < 300; ++i)
        text += record("m" + std::to_string(i) + "@x", "", 1, "", i % 2 ? "+" : "*");
    const std::string sub = fault == READONLY ? "ro/" : "", tmp = dir / (sub + "list0000.tmp");
    makedirs(dir / "ro");
    readtext(text, sub + "members.lst");
    // A directory in the list file's place opens, but cannot be read, nor
    // replaced by a file while it holds something.
    if (fault == READ || fault == RENAME) {
        std::remove(path.c_str());
        writefile(path + "/inside", "x");
    }
    if (fault == RENAME) writefile(tmp, "packed");
    chmod((dir / "ro").c_str(), fault == READONLY ? 0555 : 0755);
    std::map<std::string, std::string> before;
    for (const std::string& f : listtree(dir.path))
        if (f.find(".tmp") == std::string::npos) before[f] = readfile(dir / f);

    std::string log = "Packing list #1: Pond Talk\n";
    if (fault == RENAME) {
        // The list file must read well and still not be replaceable: only
        // the last step of a pack can be given that.
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(replacelistfile(tmp, path), -1);
        log += ::testing::internal::GetCapturedStderr();
    } else {
        filesizelimit limit(fault == WRITE ? text.size() / 2
                                           : RLIM_INFINITY);  // none but for WRITE
        log = pack();
    }
    chmod((dir / "ro").c_str(), 0755);
    const std::string unchanged = "; list file left unchanged\n";
    const std::string why[] = {"! error writing " + tmp + unchanged,
                               "! error reading " + path + unchanged,
                               "! error renaming " + tmp + " to " + path + unchanged,
                               "! error opening " + tmp + " for writing\n"};
    EXPECT_EQ(log, "Packing list #1: Pond Talk\n" + why[fault]);
    for (const auto& [f, content] : before) EXPECT_EQ(readfile(dir / f), content) << f;
    EXPECT_TRUE(notemporary());
}

INSTANTIATE_TEST_SUITE_P(pack, packfault, ::testing::Range(0, 4),
                         [](const auto& i) { return std::string(PACKFAULTS[i.param]); });

}  // namespace
