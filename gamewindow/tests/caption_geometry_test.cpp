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

TEST(FollowResize, ModesShareTheChange)
{
    const ControlPlace p = {10, 20, 30, 40};
    auto moved = [&](int mode, int percent, int dx, int dy) {
        const ControlPlace r = FollowResize(LayoutEntry{1, mode, percent}, dx, dy, p);
        return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
               std::to_string(r.height);
    };
    EXPECT_EQ(moved(0, 100, 100, 50), "110,20,30,40");
    EXPECT_EQ(moved(2, 50, -7, 9), "7,24,30,40"); // truncation toward zero
    EXPECT_EQ(moved(5, 100, 5, 6), "10,20,35,46");
    EXPECT_EQ(moved(9, 100, 5, 6), "10,20,30,40");
    EXPECT_EQ(moved(0, 101, 5, 6), "10,20,30,40");
    EXPECT_EQ(moved(0, -1, 5, 6), "10,20,30,40");
    EXPECT_EQ(CappedClientHeight(2000, 800), 826);
    EXPECT_EQ(CappedClientHeight(500, 800), 500);
}
