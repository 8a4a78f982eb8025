#include "gamewindow/core/caption_geometry.h"

#include <gtest/gtest.h>

TEST(FrameHitTest, EdgesWinOverCornersAndWorkLeftOfThePrimaryMonitor)
{
    const Box w = {100, 100, 900, 700};
    EXPECT_EQ(FrameHitTest(103, 103, w), kHitLeft); // 3 inside the left edge, even in the corner
    EXPECT_EQ(FrameHitTest(104, 103, w), kHitTop);
    EXPECT_EQ(FrameHitTest(105, 105, w), kHitTopLeft);
    EXPECT_EQ(FrameHitTest(111, 111, w), kHitClient);
    EXPECT_EQ(FrameHitTest(895, 105, w), kHitTopRight);
    EXPECT_EQ(FrameHitTest(105, 695, w), kHitBottomLeft);
    EXPECT_EQ(FrameHitTest(895, 695, w), kHitBottomRight);
    EXPECT_EQ(FrameHitTest(500, 697, w), kHitBottom);
    EXPECT_EQ(FrameHitTest(897, 500, w), kHitRight);
    const Box left = {-1700, 50, -100, 800};
    EXPECT_EQ(FrameHitTest(-1698, 400, left), kHitLeft);
    EXPECT_EQ(FrameHitTest(-102, 400, left), kHitRight);
    EXPECT_EQ(FrameHitTest(-900, 400, left), kHitClient);
}

TEST(CaptionBand, DragAndDoubleClickRows)
{
    EXPECT_FALSE(InCaptionDragBand(3));
    EXPECT_TRUE(InCaptionDragBand(4));
    EXPECT_TRUE(InCaptionDragBand(26));
    EXPECT_FALSE(InCaptionDragBand(27));
    EXPECT_TRUE(InCaptionDoubleClickBand(0));
    EXPECT_FALSE(InCaptionDoubleClickBand(27));
}

TEST(FollowResize, ShareOfTheChangeTruncatedTowardZero)
{
    const ControlPlace p = FollowResize(LayoutEntry{1, 2, 50}, -7, 9, ControlPlace{10, 20, 30, 40});
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, 24);
    EXPECT_EQ(FollowResize(LayoutEntry{1, 0, -1}, 5, 6, p).x, p.x); // a share over 100 (unsigned) is skipped
    EXPECT_EQ(CappedClientHeight(2000, 800), 826);
}
