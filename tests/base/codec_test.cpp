#include "base/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// The digit tables (hex, Base64, uuencode) are checked through the decoders
// that use them, in tests/import/decode_test.cpp and mime_test.cpp.

TEST(codec, crc32isthestandardone) {
    EXPECT_EQ(crc32("abc"), 0x352441C2u);
    EXPECT_EQ(crc32(""), 0u);
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    // Every length, so that whole steps of eight bytes and the rest meet:
    // against the CRC computed bit by bit.
    std::string text;
    for (int n = 0; n < 40; ++n) {
        std::uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char c : text) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        EXPECT_EQ(crc32(text), ~crc) << n;
        text += static_cast<char>(0x80 + n * 37 % 128);
    }
}

TEST(codec, dayoftheweek) {
    EXPECT_EQ(dow(1999, 9, 14), 2);
    EXPECT_EQ(dow(2000, 3, 1), 3);
    EXPECT_EQ(dow(2000, 2, 29), 2);
    EXPECT_EQ(dow(2026, 12, 7), 1);
    EXPECT_EQ(dow(1970, 1, 1), 4);
}
