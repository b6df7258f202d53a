#include "driver/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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

TEST(codec, digits) {
    EXPECT_EQ(tohexdigit(0), '0');
    EXPECT_EQ(tohexdigit(11), 'B');
    EXPECT_EQ(hexdigit('f'), 15);
    EXPECT_EQ(hexdigit('G'), 0);
    EXPECT_EQ(hexbyte("3D"), '=');
    EXPECT_EQ(hexbyte("e9"), 0xE9);
    EXPECT_EQ(mimevalue('A'), 0);
    EXPECT_EQ(mimevalue('z'), 51);
    EXPECT_EQ(mimevalue('+'), 62);
    EXPECT_EQ(mimevalue('/'), 63);
    EXPECT_EQ(mimevalue('-'), 63);
    EXPECT_EQ(mimevalue(','), -1);
    EXPECT_EQ(mimevalue(200), -1);
    EXPECT_EQ(mimevalue(10), -1);
    EXPECT_EQ(uuenc(0), '`');
    EXPECT_EQ(uuenc(1), '!');
    EXPECT_EQ(uuenc(63), '_');
}
