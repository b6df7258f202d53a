// The start-up of the real program: command line, validation, directories
// and the log, seen from outside as a scheduler would see them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "support/testutil.h"

namespace {

const char* const BANNER = "PondLark-Linux v1.05 - FidoNet <-> Internet gateway for SOUP packets\n\n";
const char* const GOODCONFIG =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@example.org Sysop\n"
    "MailerType Binkley\n"
    "InboundDir in\n"
    "OutboundDir out\n"
    "SoupDir soup\n"
    "TempDir tmp\n"
    "LogFile ./gate.log\n";
// A gateway that says every node may use it draws no warning for that;
// added after the lines a test adds, so that their line numbers stay.
const char* const OPENGATE = "ExportAllow *\n";

class startup : public ::testing::Test {
protected:
    scratchdir dir;
    void SetUp() override {
        for (const char* d : {"in", "out", "soup", "tmp"}) makedirs(dir / d);
        writefile(dir / "gate.cfg", std::string(GOODCONFIG) + OPENGATE);
    }
    runresult check(const std::string& extra = "", std::vector<std::string> env = {}) {
        writefile(dir / "gate.cfg", std::string(GOODCONFIG) + extra + OPENGATE);
        return runpondlark({"check", "/config=./gate.cfg"}, dir.path, env);
    }
};

TEST_F(startup, commandwordsandoptions) {
    struct {
        std::vector<std::string> args;
        bool usage;
    } cases[] = {
        {{"imp"}, true},
        {{}, true},
        {{"check", "/pkt=/x"}, true},
        {{"check", "/bogus"}, true},
        {{"check", "extra"}, true},
        {{"/test", "/v", "-g"}, true},  // no command word
        {{"c", "/c=./gate.cfg"}, false},
        {{"CHECK", "-CONFIG=./gate.cfg", "/t", "/verbose", "/GLOBAL"}, false},
        {{"export", "check", "/config=./gate.cfg"}, false},  // the last command word counts
        {{"check", "/config=./nothere.cfg", "/config=./gate.cfg"}, false},
    };
    for (const auto& c : cases) {
        runresult r = runpondlark(c.args, dir.path);
        std::string what = c.args.empty() ? "(none)" : c.args[0];
        if (c.usage) {
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_EQ(r.out.rfind(std::string(BANNER) + "Usage:", 0), 0u) << what;
            EXPECT_EQ(r.err, "") << what;
        } else {
            EXPECT_EQ(r.status, 0) << what << r.err;
            EXPECT_EQ(r.out, BANNER) << what;
            EXPECT_EQ(r.err, "Configuration checked. Nothing more to do.\n") << what;
        }
    }
}

TEST_F(startup, configurationnamekeepsitscase) {
    runresult r = runpondlark({"check", "/CONFIG=./My.Cfg"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: can't read ./My.Cfg\n");
    // A bare name is looked for beside the program itself.
    r = runpondlark({"check", "/c=My.Cfg"}, dir.path);
    std::string bin = PONDLARK_FIXED_BIN;
    EXPECT_EQ(r.err, "Error: can't read " + bin.substr(0, bin.rfind('/') + 1) + "My.Cfg\n");
}

// Started by its bare name through PATH (as a scheduler does), the program
// still finds its configuration beside itself, not in the working folder.
TEST_F(startup, abarenamefromthepathfindstheconfigurationbesidetheprogram) {
    makedirs(dir / "bin");
    makedirs(dir / "work");
    ASSERT_EQ(symlink(PONDLARK_FIXED_BIN, (dir / "bin/pondlark").c_str()), 0);
    // Absolute folders: the configuration is read from outside them.
    std::string config = GOODCONFIG;
    for (const char* d : {"in", "out", "soup", "tmp"}) {
        std::string key = std::string(" ") + d + "\n";
        config.replace(config.find(key), key.size(), " " + dir / d + "\n");
    }
    writefile(dir / "bin/pondlark.cfg", config.substr(0, config.find("LogFile")) + OPENGATE);
    runresult r = runprogram("/bin/sh", {"-c", "PATH=" + dir / "bin" + " exec pondlark check"},
                             dir / "work");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Configuration checked. Nothing more to do.\n");
}

TEST_F(startup, validationstopsatthefirstmissingessential) {
    struct {
        const char* config;
        const char* error;
    } cases[] = {
        {"AddrMap 2:2/2 a@b\nMailerType Binkley\n",
         "Error: no valid gateway Fido-address defined in ./v.cfg\n"},
        {"FidoAddr 2:2/2\nMailerType Binkley\nInboundDir in\n",
         "Error: no address mappings defined in ./v.cfg\n"},
        {"FidoAddr 2:2/2\nPersonal 2:2/2 Sysop\nMailerType Fido\n",
         "Error: no valid mailer type defined in ./v.cfg\n"},
        // The folders missing are named.
        {"FidoAddr 2:2/2\nAddrMap 2:2/2 a@b\nMailerType Binkley\nInboundDir in\nSoupDir soup\n",
         "Error: required directories not defined in ./v.cfg\n- missing: OutboundDir\n"},
        {"FidoAddr 2:2/2\nAddrMap 2:2/2 a@b\nMailerType ArcMail\nOutboundDir out\n",
         "Error: required directories not defined in ./v.cfg\n"
         "- missing: InboundDir, SoupDir, NetmailDir\n"},
    };
    for (const auto& c : cases) {
        writefile(dir / "v.cfg", c.config);
        runresult r = runpondlark({"pack", "/config=./v.cfg"}, dir.path);
        EXPECT_EQ(r.status, 1) << c.error;
        EXPECT_TRUE(r.err.size() >= std::string(c.error).size() &&
                    r.err.substr(r.err.size() - std::string(c.error).size()) == c.error)
            << r.err;
    }
}

TEST_F(startup, directorieschecked) {
    // ArcMail needs no outbound; a missing netmail folder stops the run.
    runresult r = check("MailerType ArcMail\nNetmailDir net/\nOutboundDir nothere\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FATAL ERROR: subdirectory net does not exist\n"
                     "- NetmailDir net/ in line 10 of ./gate.cfg\n");
    makedirs(dir / "net");
    EXPECT_EQ(check("MailerType ArcMail\nNetmailDir net/\nOutboundDir nothere\n").status, 0);

    // Without TEMP or TempDir the empty temporary directory stops the run.
    writefile(dir / "t.cfg", "FidoAddr 2:2/2\nAddrMap 2:2/2 a@b\nMailerType Binkley\n"
                             "InboundDir in\nSoupDir soup\nOutboundDir out\n");
    r = runpondlark({"check", "/config=./t.cfg"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "FATAL ERROR: no folder for temporary files\n"
              "- missing: TempDir, and TEMP is not set\n");
    r = runpondlark({"check", "/config=./t.cfg"}, dir.path, {"TEMP=" + dir.path + "tmp"});
    EXPECT_EQ(r.status, 0) << r.err;

    // A file where a directory belongs is refused like a missing one.
    writefile(dir / "afile", "x");
    r = check("DecodeDir afile\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FATAL ERROR: subdirectory afile does not exist\n"
                     "- DecodeDir afile in line 9 of ./gate.cfg\n");

    // The packet folder of an export is one too: a name mistyped must not
    // pass for a folder with nothing to export.
    writefile(dir / "gate.cfg", GOODCONFIG);
    r = runpondlark({"export", "/config=./gate.cfg", "/pkt=nothere"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FATAL ERROR: subdirectory nothere does not exist\n");
    r = runpondlark({"export", "/config=./gate.cfg", "/pkt=afile"}, dir.path);
    EXPECT_EQ(r.status, 1);
    makedirs(dir / "pkt");
    r = runpondlark({"export", "/config=./gate.cfg", "/pkt=pkt"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
}

// Warnings go to standard error only, never into the log.
TEST_F(startup, logrunheaderlinesandwarnings) {
    runresult r = check("Bogus keyword\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "Warning: unknown keyword Bogus in line 9 of ./gate.cfg: Bogus keyword\n\n"
              "1 warning in the configuration\n"
              "Configuration checked. Nothing more to do.\n");
    const std::string run =
        "--- PondLark-Linux v1.05  Tue 14-Sep-1999 20:16:10\n"
        "Configuration checked. Nothing more to do.\n";
    EXPECT_EQ(readfile(dir / "gate.log"),
              "--- PondLark-Linux v1.05  Tue 14-Sep-1999 20:16:10\n"
              "1 warning in the configuration\n"
              "Configuration checked. Nothing more to do.\n");
    std::remove((dir / "gate.log").c_str());
    check();
    EXPECT_EQ(readfile(dir / "gate.log"), run);
    // A log that already holds text gets an empty line before the next run.
    check();
    EXPECT_EQ(readfile(dir / "gate.log"), run + "\n" + run);
    // A log that cannot be opened is no error.
    EXPECT_EQ(check("LogFile ./nodir/gate.log\n").status, 0);
}

// check warns, in the usual form, about what would only go wrong later,
// counts its warnings in the line before its last, and still succeeds.
TEST_F(startup, checkwarnsaboutwhatgoeswronglater) {
    struct {
        const char* extra;
        std::vector<std::string> warnings;  // "message@line"
    } cases[] = {
        {"DefCharSet utf-9\n", {"unknown character set@9"}},
        {"DefCharSet UTF-8\nCharSetMap LATIN-1#2 latin1 Import\n", {}},
        {"CharSetMap LATIN-1#2 iso-8859-99\n", {"unknown character set@9"}},
        {"AreaMap A a.b\nAreaMap A c.d\n",
         {"area A already mapped to a.b; export uses the first mapping@10"}},
        {"AreaMap A a.b\nAreaMap B a.b\n",
         {"newsgroup a.b already mapped to A; import uses the first mapping@10"}},
        {"AreaMap A a.b import\nAreaMap A c.d export\n",
         {"area A already mapped to a.b (import only); export uses the first mapping@10"}},
        {"AreaMap A a.b export\nAreaMap C a.b\n",
         {"newsgroup a.b already mapped to A (export only); import uses the first mapping@10"}},
        {"AreaMap A a.b\nAreaMap a A.B\n", {"AreaMap A A.B given twice@10"}},
        // One area sent to one group, another group read into it: no conflict.
        {"AreaMap B a.b import\nAreaMap A a.b export\nAreaMap A c.d import\n", {}},
        {"Include ./in/\n", {"Include names a folder@9"}},
        {"LogFile ./nodir/gate.log\n", {"LogFile folder ./nodir does not exist@9"}},
        {"LogFile ./in\n", {"LogFile names a folder@9"}},
        {"Route 2:280/5556 a@x.example\nRoute 2:280/5556 b@x.example\n",
         {"FTN address 2:280/5556 already routed to a@x.example@10"}},
        {"Route 2:280/5556 a@x.example\nRoute 2:280/5557 a@x.example\n",
         {"e-mail address a@x.example already routed from 2:280/5556@10"}},
        {"AddrMap 2:280/5555.1 jane@example.org\nAddrMap 2:280/5555.2 JANE@example.org\n",
         {"e-mail address JANE@example.org already mapped to 2:280/5555.1; import sends its mail "
          "there@10"}},
        {"AddrMap 2:280/5555 other@example.org Other\n",
         {"FTN address 2:280/5555 already mapped to sysop@example.org; export gives its senders "
          "that address@9"}},
        {"AddrMap 2:280/5555 sysop@example.org Sysop\n",
         {"AddrMap 2:280/5555 sysop@example.org given twice@9"}},
        // Users told apart by name at one address are no conflict.
        {"Personal 2:280/5555 Jane Doe\n", {"obsolete keyword Personal@9"}},
        {"DefCharSet utf-9\nAreaMap A a.b\nAreaMap A c.d\n",
         {"unknown character set@9", "area A already mapped to a.b; export uses the first "
                                     "mapping@11"}},
    };
    for (const auto& c : cases) {
        runresult r = check(c.extra);
        std::string want;
        for (const std::string& w : c.warnings) {
            // The message shows its line, which stands after GOODCONFIG's 8.
            std::size_t at = w.rfind('@');
            int line = std::stoi(w.substr(at + 1));
            std::string extra = c.extra, shown;
            for (int i = 9; i <= line; ++i) {
                shown = extra.substr(0, extra.find('\n'));
                extra.erase(0, extra.find('\n') + 1);
            }
            want += "Warning: " + w.substr(0, at) + " in line " + w.substr(at + 1) +
                    " of ./gate.cfg: " + shown + "\n\n";
        }
        if (!c.warnings.empty()) {
            want += std::to_string(c.warnings.size()) +
                    (c.warnings.size() == 1 ? " warning" : " warnings") + " in the configuration\n";
        }
        want += "Configuration checked. Nothing more to do.\n";
        EXPECT_EQ(r.status, 0) << c.extra;
        EXPECT_EQ(r.err, want) << c.extra;
    }
    // The log keeps the count (the warnings themselves go to the screen).
    std::remove((dir / "gate.log").c_str());
    check("DefCharSet utf-9\n");
    EXPECT_EQ(readfile(dir / "gate.log"),
              "--- PondLark-Linux v1.05  Tue 14-Sep-1999 20:16:10\n"
              "1 warning in the configuration\n"
              "Configuration checked. Nothing more to do.\n");
}

// A main configuration that names nothing or a folder stops the run: read
// as an empty file it would only draw a misleading error.
TEST_F(startup, configurationfilethatisnofile) {
    runresult r = runpondlark({"check", "/config="}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: /config= names no file\n");
    r = runpondlark({"check", "/config=./in"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: can't read ./in: it is a folder\n");
}

}  // namespace

namespace {

// What would break a gateway is an error: check says where and exits 1,
// and the other commands stop before they touch anything.
TEST_F(startup, checkstopswhatwouldbreakagateway) {
    struct {
        const char* extra;
        const char* message;  // after the common prefix, up to the line
        int status;
    } cases[] = {
        {"SoupDir\n", "Error: SoupDir has no value in line 9 of ./gate.cfg: SoupDir", 1},
        {"AddrMap 2:280/1O1 jane@example.org Jane\n",
         "Error: invalid FTN address in line 9 of ./gate.cfg: AddrMap 2:280/1O1 jane@example.org Jane", 1},
        {"Route 2:280/70000 node@uplink.example\n",
         "Error: invalid FTN address in line 9 of ./gate.cfg: Route 2:280/70000 node@uplink.example", 1},
        {"FidoAddr 2:280/5555.\n", "Error: invalid FTN address in line 9 of ./gate.cfg: FidoAddr 2:280/5555.", 1},
        {"UseQP\n", "Error: UseQP has no value in line 9 of ./gate.cfg: UseQP", 1},
        {"Include\n", "Error: Include names no file in line 9 of ./gate.cfg: Include", 1},
        {"FidoCharst CP437 2\n",
         "Warning: unknown keyword FidoCharst in line 9 of ./gate.cfg: did you mean FidoCharSet?", 0},
        {"FidoAddr 2:280/5555@fidonet\n", nullptr, 0},
        {"Origin\n", nullptr, 0},
    };
    for (const auto& c : cases) {
        runresult r = check(c.extra);
        EXPECT_EQ(r.status, c.status) << c.extra << r.err;
        if (!c.message) {
            EXPECT_EQ(r.err, "Configuration checked. Nothing more to do.\n") << c.extra;
            continue;
        }
        std::string tail = c.status ? "1 error in the configuration: import, export and pack do "
                                      "nothing until it is mended\n"
                                    : "1 warning in the configuration\n";
        EXPECT_EQ(r.err, std::string(c.message) + "\n\n" + tail +
                             "Configuration checked. Nothing more to do.\n")
            << c.extra;
    }

    // import finds a SOUP packet and a broken line: it stops before it
    // takes anything, and the log says why.
    writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
    writefile(dir / "soup/0000001.MSG", "From bob@example.org Tue Sep 14 10:00:00 1999\n"
                                        "From: bob@example.org\nTo: sysop@example.org\n"
                                        "Subject: hello\n\nText\n");
    writefile(dir / "gate.cfg", std::string(GOODCONFIG) + "AddrMap 2:280/1O1 jane@example.org\n");
    std::remove((dir / "gate.log").c_str());
    for (const char* command : {"import", "export", "pack"}) {
        runresult r = runpondlark({command, "/config=./gate.cfg"}, dir.path);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("1 error in the configuration"), std::string::npos) << r.err;
        EXPECT_EQ(listtree(dir / "soup"), (std::vector<std::string>{"0000001.MSG", "AREAS"}))
            << command;
        EXPECT_TRUE(listtree(dir / "in").empty()) << command;
    }
    EXPECT_NE(readfile(dir / "gate.log").find("1 error in the configuration"), std::string::npos);
}

}  // namespace
