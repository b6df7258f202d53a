#include "import/soup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/curmsg.h"
#include "support/testutil.h"

namespace {

// ------------------------------------------------------------------ AREAS

struct areacase {
    const char* name;
    std::string line;
    int result;
    std::string prefix;
    std::string area;
    int format;
    int type;
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

INSTANTIATE_TEST_SUITE_P(
    soup, arealines,
    ::testing::Values(
        areacase{"rnewsnews", "0000001\tcomp.lang.c\tun", AREA_OK, "0000001", "comp.lang.c",
                 FORMAT_RNEWS, 1},
        areacase{"emailareaismail", "0000001\tEmail\tun", AREA_OK, "0000001", "Email", FORMAT_RNEWS,
                 0},
        areacase{"emailareaignorescase", "0000001\teMAIL\tBn", AREA_OK, "0000001", "eMAIL",
                 FORMAT_BINARY, 0},
        areacase{"binarymail", "X\tbox\tbn", AREA_OK, "X", "box", FORMAT_BINARY, 0},
        areacase{"binarynews", "X\tgroup\tBn", AREA_OK, "X", "group", FORMAT_BINARY, 1},
        areacase{"thirdletteroverridesnews", "X\tbox\tBnm", AREA_OK, "X", "box", FORMAT_BINARY, 0},
        areacase{"thirdletteroverridesmail", "X\tbox\tmxn", AREA_OK, "X", "box", FORMAT_MBOX, 1},
        areacase{"secondletterignored", "X\tgroup\tBm", AREA_OK, "X", "group", FORMAT_BINARY, 1},
        areacase{"mmdf", "X\tbox\tM", AREA_OK, "X", "box", FORMAT_MMDF, 0},
        areacase{"mbox", "X\tbox\tm", AREA_OK, "X", "box", FORMAT_MBOX, 0},
        areacase{"descriptionignored", "X\tg\tu\tn-letters", AREA_OK, "X", "g", FORMAT_RNEWS, 1},
        areacase{"emptyareaname", "X\t\tbn", AREA_OK, "X", "", FORMAT_BINARY, 0},
        areacase{"longareanamecut", "X\t" + std::string(300, 'a') + "\tun", AREA_OK, "X",
                 std::string(127, 'a'), FORMAT_RNEWS, 1},
        areacase{"unknownletter", "X\tbox\tzn", AREA_UNKNOWN, "", "", 0, 0},
        areacase{"emptyencoding", "X\tbox\t", AREA_UNKNOWN, "", "", 0, 0},
        areacase{"twofields", "X\tbox", AREA_ERROR, "", "", 0, 0},
        areacase{"emptyline", "", AREA_ERROR, "", "", 0, 0},
        areacase{"spacesarenotseparators", "X box un", AREA_ERROR, "", "", 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(soup, areasreaderreportsandprocessesalastlinewithoutlinefeed) {
    scratchdir dir;
    writefile(dir / "AREAS", "A\tcomp.a\tun\r\nnot an area\nB\tb\tzn\n\nC\tEmail\tbn");
    fileptr f = openfile(dir / "AREAS", "r");
    ASSERT_TRUE(f);
    areasreader r(f.get());
    souparea a;
    testing::internal::CaptureStderr();
    std::vector<std::pair<int, long>> seen;
    std::vector<std::string> prefixes;
    for (;;) {
        int res = r.next(a);
        if (res == AREA_END) break;
        seen.emplace_back(res, r.lineno());
        if (res == AREA_OK) prefixes.push_back(a.prefix);
    }
    std::string err = testing::internal::GetCapturedStderr();
    std::vector<std::pair<int, long>> want = {
        {AREA_OK, 1}, {AREA_ERROR, 2}, {AREA_UNKNOWN, 3}, {AREA_ERROR, 4}, {AREA_OK, 5}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(prefixes, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(err,
              "Error in line 2 in AREAS\n"
              "Unknown message format in line 3 in AREAS\n"
              "Error in line 4 in AREAS\n");
}

TEST(soup, areasreaderkeepsanoverlonglineasoneline) {
    scratchdir dir;
    // A description far beyond any buffer must not turn into lines of its own.
    writefile(dir / "AREAS", "A\tg\tun\t" + std::string(20000, 'd') + "\tX\tY\tun\nB\th\tbn\n");
    fileptr f = openfile(dir / "AREAS", "r");
    areasreader r(f.get());
    souparea a;
    ASSERT_EQ(r.next(a), AREA_OK);
    EXPECT_EQ(a.prefix, "A");
    ASSERT_EQ(r.next(a), AREA_OK);
    EXPECT_EQ(a.prefix, "B");
    EXPECT_EQ(r.lineno(), 2);
    EXPECT_EQ(r.next(a), AREA_END);
}

TEST(soup, anunreadableareasfailsandisnottakenasfinished) {
    scratchdir dir;
    makedirs(dir / "AREAS");
    fileptr f = openfile(dir / "AREAS", "r");
    ASSERT_TRUE(f);
    areasreader r(f.get());
    souparea a;
    testing::internal::CaptureStderr();
    EXPECT_EQ(r.next(a), AREA_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error reading AREAS\n");
}

TEST(soup, messagefilepathjoinsdirectoryprefixandextension) {
    EXPECT_EQ(messagefilepath("/soup/", "0000001"), "/soup/0000001.MSG");
}

// ---------------------------------------------------------------- cutting

struct cutcase {
    const char* name;
    int format;
    std::string content;
    std::vector<std::string> messages;
    int last;
};

std::string be32(std::uint32_t v) {
    std::string s(4, '\0');
    s[0] = static_cast<char>(v >> 24);
    s[1] = static_cast<char>(v >> 16);
    s[2] = static_cast<char>(v >> 8);
    s[3] = static_cast<char>(v);
    return s;
}

std::string record(const std::string& text) {
    return be32(static_cast<std::uint32_t>(text.size())) + text;
}

const std::string SEP = "\x01\x01\x01\x01\n";

// Cuts a whole file; returns the message texts and the final result.
std::vector<std::string> cutall(const std::string& path, int format, int& last,
                                bool wander = false) {
    fileptr f = openmessagefile(path);
    EXPECT_TRUE(f);
    soupcutter cut(f.get(), format);
    std::vector<std::string> out;
    std::string content = readfile(path);
    msgrange r;
    while ((last = cut.next(r)) == CUT_MESSAGE) {
        EXPECT_LE(r.start, r.end);
        EXPECT_LE(r.end, static_cast<long>(content.size()));
        out.push_back(content.substr(static_cast<std::size_t>(r.start),
                                     static_cast<std::size_t>(r.end - r.start)));
        // The conversion reads the message in between; the cutter must not care.
        if (wander) std::fseek(f.get(), 3, SEEK_SET);
        if (out.size() > 100) break;
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
        std::vector<std::string> got = cutall(dir / "0000001.MSG", c.format, last, wander);
        EXPECT_EQ(got, c.messages);
        EXPECT_EQ(last, c.last);
    }
}

INSTANTIATE_TEST_SUITE_P(
    soup, cutting,
    ::testing::Values(
        // USENET batches
        cutcase{"rnewstwoarticles",
                FORMAT_RNEWS,
                "#! rnews 5\nabcde#! rnews 3\nxyz",
                {"abcde", "xyz"},
                CUT_NOMORE},
        cutcase{"rnewsblanksandtrailingtext",
                FORMAT_RNEWS,
                "#! rnews   4 bytes\nabcd",
                {"abcd"},
                CUT_NOMORE},
        cutcase{"rnewszerocount", FORMAT_RNEWS, "#! rnews 0\n#! rnews 1\nx", {"", "x"}, CUT_NOMORE},
        cutcase{"rnewscountpastend", FORMAT_RNEWS, "#! rnews 10\nabc", {}, CUT_BADFILE},
        cutcase{"rnewssecondcountpastend",
                FORMAT_RNEWS,
                "#! rnews 2\nab#! rnews 9\nxy",
                {"ab"},
                CUT_BADFILE},
        cutcase{"rnewshugecount",
                FORMAT_RNEWS,
                "#! rnews 99999999999999999999999\nab",
                {},
                CUT_BADFILE},
        cutcase{"rnewsnegativecount", FORMAT_RNEWS, "#! rnews -1\nab", {}, CUT_BADFILE},
        cutcase{"rnewsnotabatch", FORMAT_RNEWS, "Path: x\n\nbody\n", {}, CUT_BADFILE},
        cutcase{"rnewsheaderiscasesensitive", FORMAT_RNEWS, "#! RNEWS 2\nab", {}, CUT_BADFILE},
        cutcase{"rnewsgarbageafterarticle",
                FORMAT_RNEWS,
                "#! rnews 2\nab\n#! rnews 1\nc",
                {"ab"},
                CUT_BADFILE},
        cutcase{"rnewsunfinishedcountline",
                FORMAT_RNEWS,
                "#! rnews 2\nab#! rnews 1",
                {"ab"},
                CUT_NOMORE},
        cutcase{"rnewsempty", FORMAT_RNEWS, "", {}, CUT_NOMORE},
        // mailboxes
        cutcase{"mboxtwomessages",
                FORMAT_MBOX,
                "From a Tue Sep 14 1999\nX: 1\n\nbody\nFrom b\nY: 2\n",
                {"X: 1\n\nbody\n", "Y: 2\n"},
                CUT_NOMORE},
        cutcase{"mboxfrominsidebodylines",
                FORMAT_MBOX,
                "From a\nhi\nsaid From here\n>From x\n From y\nFrom b\nz\n",
                {"hi\nsaid From here\n>From x\n From y\n", "z\n"},
                CUT_NOMORE},
        cutcase{"mboxfromfurtherinsidealongline",
                FORMAT_MBOX,
                "From a\n" + std::string(254, 'x') + "From y\nend\n",
                {std::string(254, 'x') + "From y\nend\n"},
                CUT_NOMORE},
        cutcase{
            "mboxfromneedsitsblank", FORMAT_MBOX, "From a\nFromage\n", {"Fromage\n"}, CUT_NOMORE},
        cutcase{"mboxfirstlinenotfrom", FORMAT_MBOX, "X: 1\nFrom a\n", {}, CUT_BADFILE},
        cutcase{"mboxleadingemptyline", FORMAT_MBOX, "\nFrom a\nb\n", {}, CUT_BADFILE},
        cutcase{"mboxfromiscasesensitive", FORMAT_MBOX, "from a\nb\n", {}, CUT_BADFILE},
        cutcase{"mboxlastlinewithoutlinefeed", FORMAT_MBOX, "From a\nbody", {"body"}, CUT_NOMORE},
        cutcase{"mboxemptymessages", FORMAT_MBOX, "From a\nFrom b\n", {"", ""}, CUT_NOMORE},
        cutcase{"mboxonlyanunfinishedfromline", FORMAT_MBOX, "From a", {}, CUT_NOMORE},
        cutcase{"mboxempty", FORMAT_MBOX, "", {}, CUT_NOMORE},
        // MMDF
        cutcase{"mmdfdoubleseparators",
                FORMAT_MMDF,
                SEP + "A: 1\n\nb\n" + SEP + SEP + "C: 2\n\nd\n" + SEP,
                {"A: 1\n\nb\n", "C: 2\n\nd\n"},
                CUT_NOMORE},
        cutcase{"mmdfwithoutseparators", FORMAT_MMDF, "A: 1\n\nb\n", {"A: 1\n\nb\n"}, CUT_NOMORE},
        cutcase{"mmdfseparatorsonly", FORMAT_MMDF, SEP + SEP + SEP, {}, CUT_NOMORE},
        cutcase{
            "mmdfemptylinebetweenseparators", FORMAT_MMDF, SEP + "\n" + SEP, {"\n"}, CUT_NOMORE},
        cutcase{"mmdfseparatorinsidealine",
                FORMAT_MMDF,
                SEP + "A\nxx" + SEP + "B\n",
                {"A\nxx", "B\n"},
                CUT_NOMORE},
        cutcase{"mmdfthreeonesdonotseparate",
                FORMAT_MMDF,
                SEP + "a\x01\x01\x01z\n" + SEP,
                {"a\x01\x01\x01z\n"},
                CUT_NOMORE},
        cutcase{"mmdflastseparatorwithoutlinefeed",
                FORMAT_MMDF,
                SEP + "A\n\x01\x01\x01\x01",
                {"A\n"},
                CUT_NOMORE},
        cutcase{"mmdfseparatoracrosslongline",
                FORMAT_MMDF,
                SEP + std::string(252, 'x') + SEP + "B\n",
                {std::string(252, 'x'), "B\n"},
                CUT_NOMORE},
        cutcase{"mmdfempty", FORMAT_MMDF, "", {}, CUT_NOMORE},
        // binary
        cutcase{"binarytworecords",
                FORMAT_BINARY,
                record("Subject: a\n\nx\n") + record("b"),
                {"Subject: a\n\nx\n", "b"},
                CUT_NOMORE},
        cutcase{
            "binaryemptyrecord", FORMAT_BINARY, record("") + record("b"), {"", "b"}, CUT_NOMORE},
        cutcase{"binarylengthpastend",
                FORMAT_BINARY,
                record("a") + be32(5) + "abcd",
                {"a"},
                CUT_BADFILE},
        cutcase{"binarynegativelength", FORMAT_BINARY, be32(0x80000000u) + "abcd", {}, CUT_BADFILE},
        cutcase{"binaryunfinishedlength",
                FORMAT_BINARY,
                record("a") + std::string(2, '\0'),
                {"a"},
                CUT_NOMORE},
        cutcase{"binaryempty", FORMAT_BINARY, "", {}, CUT_NOMORE}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(statetest, cutternotesthecountofcountedformats) {
    scratchdir dir;
    writefile(dir / "A.MSG", "#! rnews 3\nabc");
    fileptr f = openmessagefile(dir / "A.MSG");
    soupcutter cut(f.get(), FORMAT_RNEWS);
    msgrange r;
    ASSERT_EQ(cut.next(r), CUT_MESSAGE);
    EXPECT_EQ(curmsg.messagesize, 3);
    EXPECT_EQ(cut.size(), 14);
    EXPECT_EQ(cut.position(), 14);
}

TEST(soup, anunreadablefileisbadnotfinished) {
    // Reading a directory fails: the file must be set aside, never taken
    // as fully imported.
    scratchdir dir;
    makedirs(dir / "D.MSG");
    for (int format : {FORMAT_RNEWS, FORMAT_MBOX, FORMAT_MMDF, FORMAT_BINARY}) {
        fileptr f = openfile(dir / "D.MSG", "rb");
        ASSERT_TRUE(f);
        soupcutter cut(f.get(), format);
        msgrange r;
        EXPECT_EQ(cut.next(r), CUT_BADFILE) << format;
    }
}

}  // namespace
