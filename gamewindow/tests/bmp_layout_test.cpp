#include "gamewindow/core/bmp_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint32_t Read32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

TEST(BmpLayout, SizesRowsAndPalettes)
{
    BmpLayout l;
    ASSERT_TRUE(ComputeBmpLayout(100, 10, BmpDepthForDisplay(32), &l));
    EXPECT_EQ(l.depth, 24);
    EXPECT_EQ(l.fileSize, 3054u);
    ASSERT_TRUE(ComputeBmpLayout(3, 2, 24, &l));
    EXPECT_EQ(l.rowBytes, 12u); // 9 padded to 12
    ASSERT_TRUE(ComputeBmpLayout(3, 2, 8, &l));
    EXPECT_EQ(l.paletteBytes, 1024u);
    EXPECT_EQ(l.offBits, 54u + 1024u);
    EXPECT_EQ(l.rowBytes, 4u);
    ASSERT_TRUE(ComputeBmpLayout(33, 1, 1, &l));
    EXPECT_EQ(l.rowBytes, 8u);
    EXPECT_EQ(BmpDepthForDisplay(1), 1);
    EXPECT_EQ(BmpDepthForDisplay(3), 4);
    EXPECT_EQ(BmpDepthForDisplay(16), 24);
}

TEST(BmpLayout, RefusesEmptyAndOversizedPictures)
{
    BmpLayout l;
    EXPECT_FALSE(ComputeBmpLayout(0, 10, 24, &l));
    EXPECT_FALSE(ComputeBmpLayout(10, -1, 24, &l));
    EXPECT_FALSE(ComputeBmpLayout(10, 10, 32, &l));
    EXPECT_FALSE(ComputeBmpLayout(70000, 70000, 24, &l)); // beyond the 32-bit size field
}

TEST(BmpLayout, Headers)
{
    BmpLayout l;
    ASSERT_TRUE(ComputeBmpLayout(100, 10, 24, &l));
    std::vector<uint8_t> h(kBmpFileHeaderBytes + kBmpInfoHeaderBytes, 0xEE);
    WriteBmpFileHeader(l, h.data());
    WriteBmpInfoHeader(l, h.data() + kBmpFileHeaderBytes);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(Read32(&h[2]), 3054u);
    EXPECT_EQ(Read32(&h[6]), 0u);
    EXPECT_EQ(Read32(&h[10]), 54u);
    EXPECT_EQ(Read32(&h[14]), 40u);
    EXPECT_EQ(Read32(&h[18]), 100u);
    EXPECT_EQ(Read32(&h[22]), 10u);
    EXPECT_EQ(h[26] | h[27] << 8, 1);
    EXPECT_EQ(h[28] | h[29] << 8, 24);
    for (size_t i = 30; i < h.size(); ++i)
        EXPECT_EQ(h[i], 0) << i;
}
