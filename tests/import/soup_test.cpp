#include "import/soup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

// ------------------------------------------------------------------ AREAS

struct areacase {
    const char* name;
    std::string line;
    int result;
    std::string prefix, area;
    int format, type;
};

class arealines : public ::testing::TestWithParam<areacase> {};

TEST_P(arealines, parse) {
    const areacase& c = GetParam();
    souparea a;
    ASSERT_EQ(parsearealine(c.line, a), c.result);
    if (c.result != AREA_OK) return;
    EXPECT_EQ(a.prefix, c.prefix);
    EXPECT_EQ(a.areaname.str(), c.area);
    EXPECT_EQ(a.msgformat, c.format);
    EXPECT_EQ(a.msgtype, c.type);
}

// The common lines are also read end to end by the golden soup_formats case.
// clang-format off
INSTANTIATE_TEST_SUITE_P(soup, arealines, ::testing::Values(
    areacase{"rnewsnews", "0000001\tcomp.lang.c\tun", AREA_OK, "0000001", "comp.lang.c", FORMAT_RNEWS, 1},
    areacase{"binarynews", "X\tgroup\tBn", AREA_OK, "X", "group", FORMAT_BINARY, 1},
    areacase{"thirdletteroverridesmail", "X\tbox\tmxn", AREA_OK, "X", "box", FORMAT_MBOX, 1},
    areacase{"secondletterignored", "X\tgroup\tBm", AREA_OK, "X", "group", FORMAT_BINARY, 1},
    areacase{"mmdf", "X\tbox\tM", AREA_OK, "X", "box", FORMAT_MMDF, 0},
    areacase{"descriptionignored", "X\tg\tu\tn-letters", AREA_OK, "X", "g", FORMAT_RNEWS, 1},
    areacase{"longareanamecut", "X\t" + std::string(300, 'a') + "\tun", AREA_OK, "X", std::string(127, 'a'), FORMAT_RNEWS, 1},
    areacase{"unknownletter", "X\tbox\tzn", AREA_UNKNOWN, "", "", 0, 0},
    areacase{"emptyencoding", "X\tbox\t", AREA_UNKNOWN, "", "", 0, 0},
    areacase{"twofields", "X\tbox", AREA_ERROR, "", "", 0, 0},
    areacase{"emptyline", "", AREA_ERROR, "", "", 0, 0},
    areacase{"prefixwithdirectory", "../../etc/x\tEmail\tbn", AREA_ERROR, "", "", 0, 0},
    areacase{"emptyprefix", "\tEmail\tbn", AREA_ERROR, "", "", 0, 0},
    // Cut at its zero byte, the path would name "REPLIES" itself, which
    // would be imported and deleted.
    areacase{"prefixwithzerobyte", std::string("REPLIES\0\tEmail\tMn", 17), AREA_ERROR, "", "", 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

// An area name becomes the FidoNet area of news, written after "AREA:": a
// name with a control, a blank or an 8-bit byte could add lines of its
// own. Such a name is marked (its messages are junk) and never kept as it
// came.
TEST(soup, areanamesareprintableasciiwords) {
    const struct {
        std::string line, area;
        bool unusable;
    } cases[] = {
        {"X\tcomp.lang.c\tun", "comp.lang.c", false},
        {"X\tEmail\tbn", "Email", false},
        {"X\tEVIL\r\x01INTL 1:1/1 9:9/9\tun", "EVIL__INTL_1:1/1_9:9/9", true},
        {"X\tde.talk \xfc\tun", "de.talk__", true},
        {"X\tPersonal Mail\tbn", "Personal_Mail", true},
        {"X\t\tun", "", true},
    };
    for (const auto& c : cases) {
        souparea a;
        ASSERT_EQ(parsearealine(c.line, a), AREA_OK) << c.line;
        EXPECT_EQ(a.areaname.str(), c.area) << c.line;
        EXPECT_EQ(a.unusablename, c.unusable) << c.line;
    }
}

// Reads AREAS to its end: the result of every line, the prefixes of the
// good ones, and the text of each line.
std::vector<int> readareas(const std::string& path, std::vector<std::string>& prefixes,
                           std::vector<std::string>& texts, std::string& err) {
    fileptr f = openfile(path, "r");
    EXPECT_TRUE(f);
    areasreader r(f.get());
    souparea a;
    std::vector<int> seen;
    testing::internal::CaptureStderr();
    for (int res; (res = r.next(a)) != AREA_END && res != AREA_FAILED;) {
        seen.push_back(res);
        texts.push_back(r.text());
        if (res == AREA_OK) prefixes.push_back(a.prefix);
    }
    err = testing::internal::GetCapturedStderr();
    return seen;
}

TEST(soup, areasreaderreportsandprocessesalastlinewithoutlinefeed) {
    scratchdir dir;
    writefile(dir / "AREAS", "A\tcomp.a\tun\r\nnot an area\nB\tb\tzn\n\nC\tEmail\tbn");
    std::vector<std::string> prefixes, texts;
    std::string err;
    EXPECT_EQ(readareas(dir / "AREAS", prefixes, texts, err),
              (std::vector<int>{AREA_OK, AREA_ERROR, AREA_UNKNOWN, AREA_ERROR, AREA_OK}));
    EXPECT_EQ(prefixes, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(texts, (std::vector<std::string>{"A\tcomp.a\tun", "not an area", "B\tb\tzn", "",
                                               "C\tEmail\tbn"}));
    EXPECT_EQ(err,
              "Error in line 2 in AREAS\n"
              "Unknown message format in line 3 in AREAS\n"
              "Error in line 4 in AREAS\n");
}

TEST(soup, areasreaderkeepsanoverlonglineasoneline) {
    // A description far beyond any buffer must not turn into lines of its own.
    scratchdir dir;
    writefile(dir / "AREAS", "A\tg\tun\t" + std::string(20000, 'd') + "\tX\tY\tun\nB\th\tbn\n");
    std::vector<std::string> prefixes, texts;
    std::string err;
    EXPECT_EQ(readareas(dir / "AREAS", prefixes, texts, err), (std::vector<int>{AREA_OK, AREA_OK}));
    EXPECT_EQ(prefixes, (std::vector<std::string>{"A", "B"}));
}

// ---------------------------------------------------------------- cutting

std::string be32(std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string record(const std::string& text) {
    return be32(static_cast<std::uint32_t>(text.size())) + text;
}
const std::string SEP = "\x01\x01\x01\x01\n";
const std::string X254 = std::string(254, 'x');

struct cutcase {
    const char* name;
    int format;
    std::string content;
    std::vector<std::string> messages;
    int last;
};

// Cuts a whole file into message texts; last gets the final result. With
// wander, the file position is moved between calls as the conversion does.
std::vector<std::string> cutall(const std::string& path, int format, int& last, bool wander) {
    fileptr f = openmessagefile(path);
    EXPECT_TRUE(f);
    soupcutter cut(f.get(), format);
    std::string content = readfile(path);
    std::vector<std::string> out;
    msgrange r;
    while ((last = cut.next(r)) == CUT_MESSAGE && out.size() < 100) {
        EXPECT_LE(r.start, r.end);
        EXPECT_LE(r.end, static_cast<long>(content.size()));
        out.push_back(content.substr(static_cast<std::size_t>(r.start),
                                     static_cast<std::size_t>(r.end - r.start)));
        if (wander) std::fseek(f.get(), 3, SEEK_SET);
    }
    return out;
}

class cutting : public ::testing::TestWithParam<cutcase> {};

TEST_P(cutting, messages) {
    const cutcase& c = GetParam();
    scratchdir dir;
    writefile(dir / "0000001.MSG", c.content);
    for (bool wander : {false, true}) {
        int last = -1;
        EXPECT_EQ(cutall(dir / "0000001.MSG", c.format, last, wander), c.messages);
        EXPECT_EQ(last, c.last);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(soup, cutting, ::testing::Values(
    cutcase{"rnewstwoarticles", FORMAT_RNEWS, "#! rnews 5\nabcde#! rnews 3\nxyz", {"abcde", "xyz"}, CUT_NOMORE},
    cutcase{"rnewsblanksandtrailingtext", FORMAT_RNEWS, "#! rnews   4 bytes\nabcd#! rnews 0\n", {"abcd", ""}, CUT_NOMORE},
    cutcase{"rnewscountpastend", FORMAT_RNEWS, "#! rnews 2\nab#! rnews 9\nxy", {"ab"}, CUT_BADFILE},
    cutcase{"rnewshugecount", FORMAT_RNEWS, "#! rnews 99999999999999999999999\nab", {}, CUT_BADFILE},
    cutcase{"rnewsnegativecount", FORMAT_RNEWS, "#! rnews -1\nab", {}, CUT_BADFILE},
    cutcase{"rnewsnotabatch", FORMAT_RNEWS, "Path: x\n\nbody\n", {}, CUT_BADFILE},
    cutcase{"rnewsgarbageafterarticle", FORMAT_RNEWS, "#! rnews 2\nab\n#! rnews 1\nc", {"ab"}, CUT_BADFILE},
    cutcase{"rnewsunfinishedcountline", FORMAT_RNEWS, "#! rnews 2\nab#! rnews 1", {"ab"}, CUT_NOMORE},
    cutcase{"rnewsempty", FORMAT_RNEWS, "", {}, CUT_NOMORE},
    cutcase{"mboxtwomessages", FORMAT_MBOX, "From a Tue Sep 14 1999\nX: 1\n\nbody\nFrom b\nY: 2\n", {"X: 1\n\nbody\n", "Y: 2\n"}, CUT_NOMORE},
    cutcase{"mboxfrominsidebodylines", FORMAT_MBOX, "From a\nsaid From here\n>From x\n From y\nFromage\nFrom b\n", {"said From here\n>From x\n From y\nFromage\n", ""}, CUT_NOMORE},
    cutcase{"mboxfromfurtherinsidealongline", FORMAT_MBOX, "From a\n" + X254 + "From y\nend\n", {X254 + "From y\nend\n"}, CUT_NOMORE},
    cutcase{"mboxfirstlinenotfrom", FORMAT_MBOX, "X: 1\nFrom a\n", {}, CUT_BADFILE},
    cutcase{"mboxleadingemptyline", FORMAT_MBOX, "\nFrom a\nb\n", {}, CUT_BADFILE},
    cutcase{"mboxlastlinewithoutlinefeed", FORMAT_MBOX, "From a\nbody", {"body"}, CUT_NOMORE},
    cutcase{"mboxonlyanunfinishedfromline", FORMAT_MBOX, "From a", {}, CUT_NOMORE},
    cutcase{"mboxempty", FORMAT_MBOX, "", {}, CUT_NOMORE},
    cutcase{"mmdfdoubleseparators", FORMAT_MMDF, SEP + "A: 1\n\nb\n" + SEP + SEP + "C: 2\n\nd\n" + SEP, {"A: 1\n\nb\n", "C: 2\n\nd\n"}, CUT_NOMORE},
    cutcase{"mmdfwithoutseparators", FORMAT_MMDF, "A: 1\n\nb\n", {"A: 1\n\nb\n"}, CUT_NOMORE},
    cutcase{"mmdfseparatorsonly", FORMAT_MMDF, SEP + SEP + SEP, {}, CUT_NOMORE},
    cutcase{"mmdfseparatorinsidealine", FORMAT_MMDF, SEP + "A\nxx" + SEP + "B\n", {"A\nxx", "B\n"}, CUT_NOMORE},
    cutcase{"mmdfthreeonesdonotseparate", FORMAT_MMDF, SEP + "a\x01\x01\x01z\n" + SEP, {"a\x01\x01\x01z\n"}, CUT_NOMORE},
    cutcase{"mmdflastseparatorwithoutlinefeed", FORMAT_MMDF, SEP + "A\n\x01\x01\x01\x01", {"A\n"}, CUT_NOMORE},
    cutcase{"mmdfseparatoracrosslongline", FORMAT_MMDF, SEP + std::string(252, 'x') + SEP + "B\n", {std::string(252, 'x'), "B\n"}, CUT_NOMORE},
    cutcase{"mmdfempty", FORMAT_MMDF, "", {}, CUT_NOMORE},
    // Separator lines ended by CR LF, as the other formats' lines may be:
    // the CR LF is no line of the message, which would end its header at once.
    cutcase{"mmdfcrlfseparators", FORMAT_MMDF, "\x01\x01\x01\x01\r\nA: 1\r\n\r\nb\r\n\x01\x01\x01\x01\r\n\x01\x01\x01\x01\r\nC: 2\r\n\x01\x01\x01\x01\r\n", {"A: 1\r\n\r\nb\r\n", "C: 2\r\n"}, CUT_NOMORE},
    cutcase{"mmdfcrinsidetheseparatorrun", FORMAT_MMDF, SEP + "A\n\x01\x01\x01\x01\rB\n", {"A\n", "\rB\n"}, CUT_NOMORE},
    cutcase{"binarytworecords", FORMAT_BINARY, record("Subject: a\n\nx\n") + record(""), {"Subject: a\n\nx\n", ""}, CUT_NOMORE},
    cutcase{"binarylengthpastend", FORMAT_BINARY, record("a") + be32(5) + "abcd", {"a"}, CUT_BADFILE},
    cutcase{"binarynegativelength", FORMAT_BINARY, be32(0x80000000u) + "abcd", {}, CUT_BADFILE},
    cutcase{"binaryunfinishedlength", FORMAT_BINARY, record("a") + std::string(2, '\0'), {"a"}, CUT_NOMORE},
    cutcase{"binaryempty", FORMAT_BINARY, "", {}, CUT_NOMORE}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

// Reading a directory fails: AREAS must not be taken as finished, a message
// file must be set aside, never taken as fully imported.
TEST(soup, anunreadablefilefailsandisnottakenasfinished) {
    scratchdir dir;
    makedirs(dir / "AREAS");
    fileptr f = openfile(dir / "AREAS", "r");
    ASSERT_TRUE(f);
    areasreader r(f.get());
    souparea a;
    testing::internal::CaptureStderr();
    EXPECT_EQ(r.next(a), AREA_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error reading AREAS\n");
    for (int format : {FORMAT_RNEWS, FORMAT_MBOX, FORMAT_MMDF, FORMAT_BINARY}) {
        fileptr m = openfile(dir / "AREAS", "rb");
        ASSERT_TRUE(m);
        soupcutter cut(m.get(), format);
        msgrange range;
        EXPECT_EQ(cut.next(range), CUT_BADFILE) << format;
    }
}

}  // namespace
