#include "import/attachname.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

TEST(attachname, namesfromthenetworkaremadesafe) {
    struct {
        std::string given, safe;
    } cases[] = {
        {"report.zip", "report.zip"},
        {"../../etc/passwd", "passwd"},
        {"C:\\DOS\\X.EXE", "X.EXE"},
        {"/abs/dir/", ""},
        {".", ""},
        {"..", ""},
        {"a/..", ""},
        {"", ""},
        {"two\nlines\x01.txt", "two_lines_.txt"},
        {std::string(251, 'n'), std::string(251, 'n')},
        {std::string(252, 'n'), ""},
        {"...", "..."},
    };
    for (const auto& c : cases) EXPECT_EQ(safeattachname(c.given), c.safe) << c.given;
}

class attachfiles : public statetest {
   protected:
    void SetUp() override {
        statetest::SetUp();
        makedirs(dir / "in");
        makedirs(dir / "dec");
        cfg.indir = dir / "in/";
        cfg.decodedir = dir / "dec/";
        curmsg.msgtype = MSGTYPE_MAIL;
    }
    scratchdir dir;
};

TEST_F(attachfiles, directoryandname) {
    writefile(dir / "in/taken.txt", "x");
    writefile(dir / "in/9", "x");
    writefile(dir / "dec/00000000.ZIP", "x");
    struct {
        const char* name;
        int msgtype, all;
        std::string given, path, shown;
        int renamed;
    } cases[] = {
        {"mailtoinbound", MSGTYPE_MAIL, 0, "a.txt", "in/a.txt", "a.txt", 0},
        {"newstodecode", MSGTYPE_NEWS, 0, "a.txt", "dec/a.txt", "a.txt", 0},
        {"allsendsmailtodecode", MSGTYPE_MAIL, 1, "a.txt", "dec/a.txt", "a.txt", 0},
        {"allkeepsfidomailininbound", MSGTYPE_MAIL, 1, "0000FFFF.MO1", "in/0000FFFF.MO1",
         "0000FFFF.MO1", 0},
        {"directorystripped", MSGTYPE_MAIL, 0, "../../x/a.txt", "in/a.txt", "a.txt", 0},
        {"takennameischanged", MSGTYPE_MAIL, 0, "taken.txt", "in/taken.tx0", "taken.tx0", 1},
        {"wildcard", MSGTYPE_NEWS, 0, "*.ZIP", "dec/00000001.ZIP", "00000001.ZIP", 1},
        {"noname", MSGTYPE_MAIL, 0, "", "in/00000000.ATT", "00000000.ATT", 0},
        {"nonamewithall", MSGTYPE_MAIL, 1, "", "dec/00000000.ATT", "00000000.ATT", 0},
        {"dotdot", MSGTYPE_MAIL, 0, "..", "in/00000000.ATT", "00000000.ATT", 1},
        {"nofreechangedname", MSGTYPE_MAIL, 0, "9", "in/00000000.ATT", "00000000.ATT", 1},
    };
    for (const auto& c : cases) {
        curmsg.msgtype = c.msgtype;
        cfg.decodedirall = c.all;
        attachfile f = chooseattachfile(c.given);
        EXPECT_EQ(f.path, dir.path + c.path) << c.name;
        EXPECT_EQ(f.name, c.shown) << c.name;
        EXPECT_EQ(f.renamed, c.renamed) << c.name;
    }
}

TEST_F(attachfiles, subjectlistholdsnamesthatfit) {
    listattachment("a.txt");
    listattachment("b.txt");
    EXPECT_EQ(curmsg.fname.str(), "a.txt b.txt");
    EXPECT_EQ(curmsg.isfattach, 1);
    listattachment(std::string(60, 'x'));  // 11 + 1 + 60 > 71
    EXPECT_EQ(curmsg.fname.str(), "a.txt b.txt");
    listattachment(std::string(59, 'y'));  // exactly 71
    EXPECT_EQ(curmsg.fname.size(), 71u);
}

}  // namespace

namespace {

TEST(asciifilename, safefornetmailtools) {
    const struct {
        const char* given;
        const char* safe;
    } cases[] = {
        {"\xc3\x9c" "bersicht M\xc3\xa4rz 2026.pdf", "Ubersicht_Marz_2026.pdf"},
        {"report.zip", "report.zip"},
        {"../../etc/passwd", "passwd"},
        {"C:\\WINDOWS\\evil.exe", "evil.exe"},
        {".profile", "profile"},
        {"...", ""},
        {"a\x01" "b\tc.txt", "a_b_c.txt"},
        {"\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82.doc", "Otcet.doc"},
        {"x  &  y?.txt", "x_y_.txt"},
        {"*.pkt", "*.pkt"},
        {"M\xe4rz.txt", "Marz.txt"},  // raw Latin-1
        {"\xe2\x9c\x93", ""},          // nothing Latin in it
    };
    for (const auto& c : cases) EXPECT_EQ(asciifilename(c.given), c.safe) << c.given;
    // Long names keep their extension.
    std::string longname = std::string(100, 'n') + ".tar.gz";
    std::string safe = asciifilename(longname);
    EXPECT_EQ(safe.size(), MAXASCIINAME);
    EXPECT_EQ(safe.substr(safe.size() - 3), ".gz");
}

}  // namespace
