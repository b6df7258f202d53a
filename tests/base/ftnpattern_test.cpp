// Patterns of FidoNet addresses for TrustFrom, ExportAllow and ExportLimit.
#include "base/ftnpattern.h"

#include <gtest/gtest.h>

TEST(ftnpattern, readsthepatternsasysopwrites) {
    struct {
        const char* text;
        const char* full;  // "" when it is no pattern
    } cases[] = {
        {"*", "*:*/*.*"},
        {"2:*", "2:*/*.*"},
        {"2:280/*", "2:280/*.*"},
        {"2:280/5555", "2:280/5555.0"},
        {"2:280/5555.*", "2:280/5555.*"},
        {"2:280/5555.1", "2:280/5555.1"},
        {"*:280/5555", "*:280/5555.0"},
        {"2:*/5555.3", "2:*/5555.3"},
        {"2:280/*.0", "2:280/*.0"},
        {"65535:65535/65535.65535", "65535:65535/65535.65535"},
        {"2:280", ""},
        {"2:280/", ""},
        {"2:280/5555.", ""},
        {"2:280/65536", ""},
        {"2:280/-1", ""},
        {"2:280/5555 ", ""},
        {"", ""},
        {"**", ""},
        {"2:280/5555.1.2", ""},
    };
    for (const auto& c : cases) {
        ftnpattern p;
        bool ok = parseftnpattern(c.text, p);
        EXPECT_EQ(ok, *c.full != 0) << c.text;
        if (ok) {
            EXPECT_EQ(ftnpatterntext(p), c.full) << c.text;
        }
    }
}

TEST(ftnpattern, matches) {
    auto m = [](const char* pattern, fidoaddr a) {
        ftnpattern p;
        EXPECT_TRUE(parseftnpattern(pattern, p)) << pattern;
        return p.matches(a);
    };
    EXPECT_TRUE(m("*", {1, 2, 3, 4}));
    EXPECT_TRUE(m("2:280/5555", {2, 280, 5555, 0}));
    EXPECT_FALSE(m("2:280/5555", {2, 280, 5555, 1}));  // a node is not its points
    EXPECT_TRUE(m("2:280/5555.*", {2, 280, 5555, 1}));
    EXPECT_TRUE(m("2:280/*", {2, 280, 1, 7}));
    EXPECT_FALSE(m("2:280/*", {2, 281, 1, 0}));
    EXPECT_FALSE(m("2:*", {1, 280, 5555, 0}));
    EXPECT_TRUE(m("*:280/5555", {3, 280, 5555, 0}));
}
