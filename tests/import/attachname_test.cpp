#include "import/attachname.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "config/tables.h"
#include "import/classify.h"
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
        // FidoNet mail from a sender who is no Route node: a file like any other.
        {"fidomailfromanyone", MSGTYPE_MAIL, 1, "0000FFFF.MO1", "dec/0000FFFF.MO1.ATT",
         "0000FFFF.MO1.ATT", 1},
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

// A packet or bundle decoded into the inbound is tossed as it claims to
// be: only a Route node (its address, and its password where one is set)
// may send one. From anyone else it is a file under a name no tosser or
// mailer takes.
TEST_F(attachfiles, fidonetmailonlyfromaroutenode) {
    routeentry r;
    r.ftnaddr = fidoaddr{2, 280, 5556, 0};
    r.email = "node@uplink.example";
    r.password = "secret";
    tables.route.push_back(r);
    curmsg.msgfromemail = "NODE@uplink.example";
    curmsg.routemailpwd = "secret";
    EXPECT_TRUE(fromroutenode());
    attachfile f = chooseattachfile("DEADBEEF.PKT");
    EXPECT_EQ(f.path, dir.path + "in/DEADBEEF.PKT");
    EXPECT_EQ(f.untrusted, 0);

    curmsg.routemailpwd = "guess";
    EXPECT_FALSE(fromroutenode());
    f = chooseattachfile("DEADBEEF.PKT");
    EXPECT_EQ(f.path, dir.path + "dec/DEADBEEF.PKT.ATT");
    EXPECT_EQ(f.untrusted, 1);
    EXPECT_EQ(f.renamed, 1);

    curmsg.msgfromemail = "eve@example.org";
    for (const char* name : {"0000FFFF.MO1", "x.su9", "a.tua", "00010002.OUT", "00010002.flo",
                             "a.REQ", "a.bsy", "a.tic", "a.$$$", ".hidden", "*.pkt"}) {
        f = chooseattachfile(name);
        EXPECT_EQ(f.untrusted, 1) << name;
        EXPECT_EQ(f.path.rfind(dir.path + "dec/", 0), 0u) << name;
        EXPECT_FALSE(ismailerfile(f.name)) << name << " stored as " << f.name;
    }
    for (const char* name : {"report.pdf", "photo.jpg", "notes.txt", "pkt", "monday.txt"}) {
        EXPECT_FALSE(ismailerfile(name)) << name;
        EXPECT_EQ(chooseattachfile(name).untrusted, 0) << name;
    }
    // News never comes from a route.
    curmsg.msgtype = MSGTYPE_NEWS;
    curmsg.msgfromemail = "node@uplink.example";
    curmsg.routemailpwd = "secret";
    EXPECT_FALSE(fromroutenode());
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
