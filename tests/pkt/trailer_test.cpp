#include "pkt/trailer.h"

#include <string>

#include "base/fileio.h"
#include "config/settings.h"
#include "driver/counters.h"
#include "import/curmsg.h"
#include "pkt/msgheader.h"
#include "pkt/pkttest.h"

namespace {

const std::string VIA = "\x01Via 2:5020/1042 @19990914.201610 PondLark-Linux v1.05\r";
const std::string ECHO = "SEEN-BY: 5020/1042\r\x01PATH: 5020/1042\r";
const std::string BODY = "Body text\r";

// Tear line and origin line.
std::string origin(const std::string& org, const std::string& addr = "2:5020/1042") {
    return "\r--- PondLark-Linux v1.05\r * Origin: " + org + " (" + addr + ")\r";
}

struct bottomcase {
    const char* name;
    void (*setup)();
    int kind;
    std::string trailer;  // without the terminating zero byte
};

void PrintTo(const bottomcase& c, std::ostream* os) {
    *os << c.name;
}

// The golden import cases show the trailers kept whole and a configured
// origin; these rows are what KillOrigin leaves of each kind, a point
// gateway, and origin lines cut to fit their 79 characters.
// clang-format off
const bottomcase bottomcases[] = {
    {"killyesnetmail", [] { cfg.killorigin = 1; }, CAT_EMAIL, VIA},
    {"killyeslistecho", [] { cfg.killorigin = 1; }, CAT_LIST, ECHO},
    {"killemailnetmail", [] { cfg.killorigin = 2; }, CAT_EMAIL, VIA},
    {"killemailnews", [] { cfg.killorigin = 2; }, CAT_NEWS, origin("Example Org") + ECHO},
    {"killemaillistecho", [] { cfg.killorigin = 2; }, CAT_LIST, origin("Example Org") + ECHO},
    {"pointgatewaynetmail", [] { cfg.gateaddr.point = 7; }, CAT_EMAIL,
     origin("Example Org", "2:5020/1042.7") + VIA},
    {"senderwithoutorganization", [] { curmsg.msgorganization.clear(); }, CAT_NEWS,
     origin("john@example.com") + ECHO},
    // 11 + 54 + 2 + 11 + 1 = 79 characters: fits exactly, one more is cut.
    {"originfitsexactly", [] { curmsg.msgorganization = std::string(54, 'o'); }, CAT_NEWS,
     origin(std::string(54, 'o')) + ECHO},
    {"origincutat79", [] { curmsg.msgorganization = std::string(55, 'o'); }, CAT_NEWS,
     origin(std::string(54, 'o')) + ECHO},
    {"longestoriginsetting",
     [] { cfg.gateaddr = {2, 5, 7, 0}; cfg.origin = std::string(63, 'g'); }, CAT_NEWS,
     origin(std::string(60, 'g'), "2:5/7") + "SEEN-BY: 5/7\r\x01PATH: 5/7\r"},
    {"longestaddress",
     [] { cfg.gateaddr = {32767, 32767, 32767, 32767};
          curmsg.msgorganization = std::string(127, 'o'); }, CAT_NEWS,
     origin(std::string(42, 'o'), "32767:32767/32767.32767") +
         "SEEN-BY: 32767/32767\r\x01PATH: 32767/32767\r"},
};
// clang-format on

class bottomtest : public pkttest, public ::testing::WithParamInterface<bottomcase> {};

TEST_P(bottomtest, trailer) {
    const bottomcase& c = GetParam();
    setmessage();
    curmsg.msgorganization = "Example Org";
    if (c.kind != CAT_EMAIL) curmsg.fidoareaname = "SOME.AREA";
    c.setup();
    std::string text = messageof([&](std::FILE* f) {
                           EXPECT_EQ(writepktmsgheader(c.kind, f, "", 0, 0), 0);
                           EXPECT_EQ(writeall(f, BODY.data(), BODY.size()), 0);
                           EXPECT_EQ(writemsgbottom(c.kind, f), 0);
                       }).text;
    std::size_t body = text.find(BODY);
    ASSERT_NE(body, std::string::npos);
    std::string trailer = text.substr(body + BODY.size());
    EXPECT_EQ(trailer, c.trailer) << describediff(c.trailer, trailer);
}

INSTANTIATE_TEST_SUITE_P(pkt, bottomtest, ::testing::ValuesIn(bottomcases),
                         [](const auto& p) { return std::string(p.param.name); });

struct fileinfocase {
    const char* name;
    int msgtype, attachsetting, action, encoding;
    long size;
    int noinline;
    std::string log;   // on the screen and in the log
    std::string note;  // in the message text
    long count;
    bool filestays;
};

void PrintTo(const fileinfocase& c, std::ostream* os) {
    *os << c.name;
}

// Files decoded, killed and renamed are shown by the golden import cases;
// these rows are the ones that write no note, or write one for no file.
// clang-format off
const fileinfocase fileinfocases[] = {
    {"killedemptystillreported", MSGTYPE_MAIL, ATTACH_KILL, FILEACT_KILLED, FILEENC_MIME, 0, 0,
     "* killed MIME-encoded file FILE.ZIP (0 bytes)\n",
     "[PondLark killed MIME-encoded file FILE.ZIP (0 bytes)]\r\n", 1, true},
    {"leftintext", MSGTYPE_MAIL, ATTACH_DECODE, FILEACT_IGNORED, FILEENC_MIME, 99, 0,
     "* ignored MIME-encoded file FILE.ZIP (99 bytes)\n", "", 1, true},
    {"noinline", MSGTYPE_MAIL, ATTACH_DECODE, FILEACT_DECODED, FILEENC_UU, 10, 1,
     "* decoded UU-encoded file FILE.ZIP (10 bytes)\n", "", 1, true},
    {"emptydecodeddeleted", MSGTYPE_MAIL, ATTACH_DECODE, FILEACT_DECODED, FILEENC_MIME, 0, 0,
     "", "", 0, false},
    {"newsignored", MSGTYPE_NEWS, ATTACH_IGNORE, FILEACT_DECODED, FILEENC_UU, 0, 0, "", "", 0, true},
};
// clang-format on

class fileinfotest : public pkttest, public ::testing::WithParamInterface<fileinfocase> {};

TEST_P(fileinfotest, reportandnote) {
    const fileinfocase& c = GetParam();
    setmessage();
    curmsg.msgtype = c.msgtype;
    cfg.attach[c.msgtype] = c.attachsetting;
    std::string path = dir / "decoded/FILE.ZIP";
    writefile(path, std::string(static_cast<std::size_t>(c.size), 'z'));
    std::string log;
    std::string text =
        messageof([&](std::FILE* f) {
            EXPECT_EQ(writepktmsgheader(CAT_EMAIL, f, "", 0, 0), 0);
            testing::internal::CaptureStderr();
            EXPECT_EQ(
                writefileinfo(path, "FILE.ZIP", 0, c.encoding, c.action, c.size, c.noinline, f), 0);
            log = testing::internal::GetCapturedStderr();
            EXPECT_EQ(writeall(f, "", 1), 0);
        }).text;
    EXPECT_EQ(log, c.log);
    const std::string pid = "\x01PID: PondLark-Linux v1.05\r";
    std::size_t after = text.find(pid);
    ASSERT_NE(after, std::string::npos);
    EXPECT_EQ(text.substr(after + pid.size()), c.note);
    EXPECT_EQ(stats.filecount, c.count);
    EXPECT_EQ(fileexists(path), c.filestays);
}

INSTANTIATE_TEST_SUITE_P(pkt, fileinfotest, ::testing::ValuesIn(fileinfocases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
