#include "driver/text.h"

#include <gtest/gtest.h>

TEST(text, crcplaceholder) { EXPECT_EQ(substrcmp("abc", "xxABCxx"), 1); }
