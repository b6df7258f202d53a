#include "base/fixedtext.h"

#include <gtest/gtest.h>

#include <string_view>

// Texts are cut at the capacity. An empty view may hold a null pointer (a
// configuration value that is missing): assigning or appending it empties
// or keeps the field.
TEST(fixedtext, cutatcapacityandemptyviewwithoutstorage) {
    fixedtext<4> t = "abcdef";
    EXPECT_EQ(t, "abc");
    t = "a";
    t.append("bcdef");
    EXPECT_EQ(t, "abc");
    t.append(std::string_view());
    EXPECT_EQ(t, "abc");
    t = std::string_view();
    EXPECT_TRUE(t.empty());
    t = static_cast<const char*>(nullptr);
    EXPECT_TRUE(t.empty());
}
