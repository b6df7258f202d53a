#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

// The search skips ahead by the last character of each window; none of
// these may be skipped over.
TEST(text, substrcmpfindsanywhereignoringcase) {
    std::string longneedle = std::string(300, 'a') + "b";
    struct {
        std::string needle, hay;
        int found;
    } cases[] = {
        {"abc", "xxABCxx", 1},
        {"", "anything", 0},
        {"longer", "long", 0},
        {"xyz", "xxABCxx", 0},
        {"aab", "aaab", 1},
        {"ABAB", "xabaabab", 1},
        {"end", "the END", 1},
        {"whole", "WHOLE", 1},
        {"x", "abcX", 1},
        {"\xe9t\xe9", "caf\xe9t\xe9", 1},
        {"Wrote:", "he wrote wrote:", 1},
        {"abcd", "abcabcabdabc", 0},
        {longneedle, std::string(400, 'a') + "b", 1},
        {longneedle, std::string(400, 'a'), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(substrcmp(c.needle, c.hay), c.found) << c.needle;
}

TEST(text, comparisonsignoringcase) {
    EXPECT_EQ(memicmp("HeLLo", "hello", 5), 0);
    EXPECT_LT(memicmp("abc", "abd", 3), 0);
    // A shorter text differs at its terminator.
    EXPECT_NE(memicmp("ab", "abc", 3), 0);
    // fncmp compares only the names after the last "/".
    EXPECT_EQ(fncmp("/a/b/FILE.ZIP", "file.zip"), 0);
    EXPECT_GT(fncmp("dir/bb", "other/ba"), 0);
    EXPECT_LT(fncmp("abc", "abcd"), 0);
}

TEST(text, wordfindneedswholewords) {
    EXPECT_EQ(wordfind("Export", "latin1 export"), 7u);
    EXPECT_EQ(wordfind("Export", "latin1 exports"), std::string_view::npos);
    EXPECT_EQ(wordfind("Export", "latin1 x.export"), std::string_view::npos);
    EXPECT_EQ(wordfind("Export", "latin1,EXPORT"), 7u);
    // A later whole occurrence is found after a partial one.
    EXPECT_EQ(wordfind("wrote", "wrotes wrote"), 7u);
    EXPECT_EQ(wordfind("", "text"), std::string_view::npos);
    EXPECT_EQ(wordfind("toolongword", "short"), std::string_view::npos);
}

TEST(text, emailcmpwildcards) {
    struct {
        const char* pattern;
        const char* address;
        int result;
    } cases[] = {
        {"*@*", "joe@host", 1},
        {"*@*", "joe", 0},
        {"*sales@*host", "bigsales@mailhost", 1},
        {"info@*", "INFO@anything", 1},
        {"postmaster", "Postmaster", 1},
        {"postmaster", "postmaster@host", 0},
        {"*", "joe", 1},
        {"joe@*", "joe", 0},
        {"j*@host", "jim@HOST", 1},
        {"*m@host", "m@host", 1},
        {"*abc*", "xabc*", 1},  // only one star rule applies
        {"*abc*", "xabcx", 0},
        {"jim@host", "jim@hostx", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(emailcmp(c.pattern, c.address), c.result) << c.pattern << " ~ " << c.address;
    }
}

TEST(text, ismailrecognisespacketsandbundles) {
    struct {
        const char* name;
        int result;
    } cases[] = {
        {"0000FFFF.MO0", 1}, {"0000ffff.su9", 1}, {"0000FFFF.MOX", 0}, {"0000FFFG.MO0", 0},
        {"x.pkt", 1},        {"ABC.PKX", 1},      {"*.MO0", 1},        {"README.TXT", 0},
        {"A.PK", 0},         {"12AB34CD.th9", 1}, {"12AB34CD.XX9", 0}, {"/in/12AB34CD.FR1", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ismail(c.name), c.result) << c.name;
}

TEST(text, trimandmemberchains) {
    std::string s = " \t  hello world \r\n";
    trim(s);
    EXPECT_EQ(s, "hello world");
    s = "   \t ";
    trim(s);
    EXPECT_EQ(s, "");
    EXPECT_EQ(classifyuser("Zed"), 26);
    EXPECT_EQ(classifyuser("a"), 1);
    EXPECT_EQ(classifyuser("1abc"), 0);
    EXPECT_EQ(classifyuser(""), 0);
}

TEST(text, replacemacrostopsbeforecapacity) {
    std::string t = "@M@M@M12";  // 8 characters, three 2-character macros
    replacemacro(t, 20, "@M", "1234567");
    EXPECT_EQ(t, "12345671234567@M12");  // 13, then 18; 23 would not fit

    t = "Hello @NAME@!";
    replacemacro(t, 255, "@NAME@", nullptr);
    EXPECT_EQ(t, "Hello [unknown]!");

    // The inserted value is never searched again.
    t = "@X@";
    replacemacro(t, 255, "@X@", "@X@@X@");
    EXPECT_EQ(t, "@X@@X@");
}
