#include "gamewindow/core/bmp_layout.h"

#include <gtest/gtest.h>

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
