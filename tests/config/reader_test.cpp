#include "config/reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "config/configtest.h"
#include "config/keywords.h"
#include "config/settings.h"
#include "driver/resetall.h"
#include "driver/runstate.h"

namespace {

TEST_F(configtest, linesyntax) {
    // Comment, keyword case, tab separator, leading space, no final newline.
    std::string err = read(
        ";FidoAddr 2:2/2\n"
        "FIDOADDR 2:280/100\n"
        "Origin\tx\n"
        " Origin x\n"
        "\n"
        "Organization Pond ; not a comment   \r\n"
        "SoupDir");
    // The keyword is named, with the one that was meant; "SoupDir" without
    // a folder is an error and sets nothing (it used to name the root).
    EXPECT_EQ(err, "Warning: unknown keyword Origin\\tx in line 3 of " + path +
                       ": did you mean Origin followed by a space? (a tab does not separate a "
                       "keyword from its value)\n\n" +
                       unknown("(the line begins with a space)", 4) +
                       error("SoupDir has no value", 7));
    EXPECT_EQ(cfg.gateaddr, (fidoaddr{2, 280, 100, 0}));
    EXPECT_EQ(cfg.organization, "Pond ; not a comment   ");
    EXPECT_EQ(cfg.soupdir, "");
    EXPECT_EQ(run.configerrors, 1);
    EXPECT_EQ(run.configwarnings, 2);
}

TEST_F(configtest, longlinesarereadinpieces) {
    std::string err = read("Origin " + std::string(293, 'o') + "\nFidoAddr 1:2/3\n");
    // 254 characters, then the remaining 46 as the next line.
    const std::string rest(46, 'o');
    EXPECT_EQ(err, "Warning: unknown keyword " + rest + " in line 2 of " + path + ": " + rest + "\n\n");
    EXPECT_EQ(cfg.origin.size(), 63u);
    EXPECT_EQ(cfg.gateaddr, (fidoaddr{1, 2, 3, 0}));
}

TEST_F(configtest, addressandnumberscanners) {
    std::string err = read(
        "FidoAddr 2:280\n"
        "BaseZone 12abc\n"
        "LineWidth abc\n"
        "UseQP yes\n"
        "SeparateMSG YES\n"
        "QuickScan y\n"
        "ExportAllMail Yes \n");
    EXPECT_EQ(err, error("invalid FTN address", 1) + warning("invalid number", 3) +
                       warning("line width too small", 3) +
                       warning("invalid Yes/No parameter", 6) +
                       warning("invalid Yes/No parameter", 7));
    EXPECT_EQ(cfg.gateaddr, (fidoaddr{2, 280, 0, 0}));
    EXPECT_EQ(cfg.basezone, 12);
    EXPECT_EQ(cfg.souplinewidth, 20);
    EXPECT_EQ(cfg.useqp, 1);
    EXPECT_EQ(cfg.separatemsg, 1);
    EXPECT_EQ(cfg.quickscan, 0);
    EXPECT_EQ(cfg.exportallmail, 0);
    read("FidoAddr 2:280/100.7\n");
    EXPECT_EQ(cfg.gateaddr.point, 7);
}

// Values cut to their bounds, refused values and what stays then. The
// everyday values are read by the golden cases' configurations.
TEST_F(configtest, limitsandfallbacks) {
    struct {
        std::string line;
        const char* warning;
        std::function<bool()> check;
    } cases[] = {
        {"LineWidth 19", "line width too small", [] { return cfg.souplinewidth == 20; }},
        {"LineWidth 20", nullptr, [] { return cfg.souplinewidth == 20; }},
        {"LineWidth 199", nullptr, [] { return cfg.souplinewidth == 199; }},
        {"LineWidth 200", "line width too large", [] { return cfg.souplinewidth == 199; }},
        {"ImportLimit 1023", "limit too small", [] { return cfg.importlimit == 2048; }},
        {"ImportLimit 1024", nullptr, [] { return cfg.importlimit == 1024; }},
        {"ImportLimit 0", nullptr, [] { return cfg.importlimit == 0; }},
        {"MaxPKTSize 3", "limit too small", [] { return cfg.maxpktsize == 4; }},
        {"MaxPKTSize 4", nullptr, [] { return cfg.maxpktsize == 4; }},
        {"ImportMaxFiles 5", nullptr, [] { return cfg.importmaxfiles == 5; }},
        {"ImportMaxFiles 0", "ImportMaxFiles must be at least 1", [] { return cfg.importmaxfiles == 1; }},
        {"ImportMaxParts 20", nullptr, [] { return cfg.importmaxparts == 20; }},
        {"ImportMaxParts 0", "ImportMaxParts must be at least 1", [] { return cfg.importmaxparts == 1; }},
        {"AttachMail delete", "invalid action", [] { return cfg.attach[0] == 1; }},
        {"AttachNews delete", "invalid action", [] { return cfg.attach[1] == 0; }},
        {"OwnOrgAction nuke", "invalid action", [] { return cfg.ownorgaction == 0; }},
        {"EmailArea", nullptr, [] { return cfg.emailarea == "NETMAIL"; }},
        {"EmailArea netmail", nullptr, [] { return cfg.emailarea == "NETMAIL"; }},
        {"JunkArea spam", nullptr, [] { return cfg.junkarea == "SPAM"; }},
        {"PacketPwd abcdefghijkl", nullptr, [] { return cfg.packetpwd == "ABCDEFGH"; }},
        {"MailerType FrontDoor", "invalid mailer type", [] { return cfg.mailertype == 0; }},
        {"EncodeFormat yenc", "invalid format", [] { return cfg.encodeformat == 0; }},
        {"TimeZone " + std::string(40, 'z'), "unknown time zone",
         [] { return cfg.timezonestr.size() == 31; }},
        {"TimeZone Europe/Berlin", nullptr, [] { return cfg.timezonestr == "Europe/Berlin"; }},
        {"TimeZone +0100", nullptr, [] { return cfg.timezonestr == "+0100"; }},
        {"TimeZone Europe/Berln", "unknown time zone",
         [] { return cfg.timezonestr == "Europe/Berln"; }},
        {"InternetCharSet iso-8859-15", nullptr,
         [] { return cfg.internetcharset == "iso-8859-15"; }},
        {"InternetCharSet klingon-8", "unknown character set",
         [] { return cfg.internetcharset == "utf-8"; }},
        {"InboundDir /var/in", nullptr, [] { return cfg.indir == "/var/in/"; }},
        {"InboundDir /var/in/", nullptr, [] { return cfg.indir == "/var/in/"; }},
        {"DecodeDir /var/decode/ all", nullptr,
         [] { return cfg.decodedir == "/var/decode/" && cfg.decodedirall == 1; }},
        {"DecodeDir /var/decode every", "invalid DecodeDir parameter",
         [] { return cfg.decodedir == "/var/decode/" && cfg.decodedirall == 0; }},
        {"LogFile gate.log", "LogFile folder /opt/gw does not exist",
         [] { return cfg.logfile == "/opt/gw/gate.log"; }},
    };
    for (const auto& c : cases) {
        resetall();
        std::string err = read(c.line + "\n");
        EXPECT_EQ(err, c.warning ? warning(c.warning, 1) : "") << c.line;
        EXPECT_TRUE(c.check()) << c.line;
    }
    resetall();
    read("KillOrigin Yes\nKillOrigin Maybe\n");
    EXPECT_EQ(cfg.killorigin, 1);
}

TEST_F(configtest, headerinfoandstripkludges) {
    struct {
        const char* line;
        int header, insert;
        const char* warning;
    } hi[] = {
        {"HeaderInfo Name Yes", 0, 1, nullptr},   {"HeaderInfo Name No", 0, 2, nullptr},
        {"HeaderInfo Email Yes", 1, 0, nullptr},  {"HeaderInfo Email No", 1, 2, nullptr},
        {"HeaderInfo Email", 0, 2, "HeaderInfo misses parameter"},
        {"HeaderInfo Both Yes", 0, 2, "HeaderInfo has invalid parameter"},
        {"HeaderInfo Email maybe", 1, 2, "invalid Yes/No parameter"},
    };
    for (const auto& c : hi) {
        resetall();
        std::string err = read(std::string(c.line) + "\n");
        EXPECT_EQ(err, c.warning ? warning(c.warning, 1) : "") << c.line;
        EXPECT_EQ(cfg.infoheader, c.header) << c.line;
        EXPECT_EQ(cfg.infoinsert, c.insert) << c.line;
    }
    resetall();
    read("StripKludges Some News\n");
    EXPECT_EQ(cfg.stripkludges[0], 0);
    EXPECT_EQ(cfg.stripkludges[1], 2);
    EXPECT_EQ(cfg.stripkludges[2], 0);
    read("StripKludges Yes\n");
    EXPECT_EQ(cfg.stripkludges[0] + cfg.stripkludges[1] + cfg.stripkludges[2], 3);
    std::string err = read("StripKludges Often List\nStripKludges Yes Mail\n");
    EXPECT_EQ(err, warning("unknown StripKludges setting", 1) +
                       warning("unknown StripKludges category", 2));
    EXPECT_EQ(cfg.stripkludges[2], 0);
    EXPECT_EQ(cfg.stripkludges[0], 1);
}

TEST_F(configtest, includeresolvesbesidetheprogram) {
    scratchdir prog;
    writefile(prog / "other.cfg", "FidoAddr 3:3/3\nBogus\n");
    writefile(dir / "sub.cfg", "Origin included\nBogus line\n");
    path = dir / "main.cfg";
    writefile(path, "Include other.cfg\nInclude " + dir.path + "sub.cfg\nInclude " +
                        dir.path + "missing.cfg\nBogus\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readconfigfile(path, prog.path + "pondlark"), 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Warning: unknown keyword Bogus in line 2 of " + prog.path + "other.cfg: Bogus\n\n" +
                       "Warning: unknown keyword Bogus in line 2 of " + dir.path + "sub.cfg: Bogus line\n\n" +
                       "Error: can't read " + dir.path + "missing.cfg\n" +
                       "Warning: unknown keyword Bogus in line 4 of " + path + ": Bogus\n\n");
    EXPECT_EQ(cfg.gateaddr, (fidoaddr{3, 3, 3, 0}));
    EXPECT_EQ(cfg.origin, "included");
}

TEST_F(configtest, includecyclesandnestingarebounded) {
    path = dir / "loop.cfg";
    text = "Include " + path + "\nInclude " + path + "\n";
    writefile(path, text);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readconfigfile(path, "pondlark"), 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, warning("Include of a file that is already being read", 1) +
                       warning("Include of a file that is already being read", 2));

    // A chain of 20 distinct files stops at the nesting bound.
    for (int i = 0; i < 20; ++i) {
        writefile(dir / ("n" + std::to_string(i) + ".cfg"),
                  "Include " + dir.path + "n" + std::to_string(i + 1) + ".cfg\n");
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readconfigfile(dir / "n0.cfg", "pondlark"), 0);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Warning: Include nesting too deep in line 1 of " + dir.path + "n16.cfg: Include " +
                       dir.path + "n17.cfg\n\n");
}

// A bare name not found beside the program is looked for in the
// configuration folder of the build (/etc/pondlark for the package).
TEST_F(configtest, barenamesarefoundbesidetheprogramtheninthefolder) {
    scratchdir prog, etc;
    writefile(prog / "here.cfg", "");
    writefile(etc / "here.cfg", "");
    writefile(etc / "there.cfg", "");
    struct {
        const char* name;
        std::string folder;
        std::string found;
    } cases[] = {
        {"here.cfg", etc.path, prog / "here.cfg"},
        {"there.cfg", etc.path, etc / "there.cfg"},
        {"there.cfg", etc.path.substr(0, etc.path.size() - 1), etc / "there.cfg"},
        {"nowhere.cfg", etc.path, prog / "nowhere.cfg"},
        {"there.cfg", "", prog / "there.cfg"},
        {"./there.cfg", etc.path, "./there.cfg"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(findconfigfile(c.name, prog / "pondlark", c.folder, out));
        EXPECT_EQ(out, c.found) << c.name << " with " << c.folder;
    }
}

TEST_F(configtest, mainfilemissing) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readconfigfile(dir / "none.cfg", "pondlark"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: can't read " + dir.path + "none.cfg\n");
    // Bare names are looked for beside the program.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readconfigfile("none.cfg", "/opt/gw/pondlark"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: can't read /opt/gw/none.cfg\n");
    std::string out;
    EXPECT_FALSE(expandfname(std::string(5000, 'x'), "/opt/gw/pondlark", out));
}

}  // namespace

namespace {

TEST(configreader, ftnaddressesarewholeandinrange) {
    for (const char* good : {"2:280/100", "2:280/100.7", "1:1/0", "65535:65535/65535.65535",
                             "2:280/100@fidonet", "2:280/100.1@fido-net.org"}) {
        EXPECT_TRUE(ftnaddresswellformed(good)) << good;
    }
    for (const char* bad : {"2:280/1O1", "2:280", "2:280/", "2:280/100.", "0:280/100", "2:280/65536",
                            "2:280/100 ", " 2:280/100", "2:280/100@", "2:280/-1", "2:280/+1",
                            "2:280/100.7.8", "2:280/0000000001", "2:280/100@a b", ""}) {
        EXPECT_FALSE(ftnaddresswellformed(bad)) << bad;
    }
}

TEST(configreader, thekeywordmeantbyatypo) {
    EXPECT_EQ(nearestkeyword("FidoCharst"), "FidoCharSet");
    EXPECT_EQ(nearestkeyword("fidoadr"), "FidoAddr");
    EXPECT_EQ(nearestkeyword("SoupDri"), "SoupDir");           // two letters swapped
    EXPECT_EQ(nearestkeyword("InbondDir"), "InboundDir");
    EXPECT_EQ(nearestkeyword("ImportMailDirs"), "ImportMaildir");
    EXPECT_EQ(nearestkeyword("Bogus"), "");
    EXPECT_EQ(nearestkeyword("Xy"), "");
    EXPECT_EQ(nearestkeyword(""), "");
}

}  // namespace
