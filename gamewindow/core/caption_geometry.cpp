#include "gamewindow/core/caption_geometry.h"

int FrameHitTest(int x, int y, const Box& w)
{
    if (x <= w.left + 3)
        return kHitLeft;
    if (x >= w.right - 3)
        return kHitRight;
    if (y <= w.top + 3)
        return kHitTop;
    if (y >= w.bottom - 3)
        return kHitBottom;
    if (x <= w.left + 10 && y <= w.top + 10)
        return kHitTopLeft;
    if (x >= w.right - 10 && y <= w.top + 10)
        return kHitTopRight;
    if (x <= w.left + 10 && y >= w.bottom - 10)
        return kHitBottomLeft;
    if (x >= w.right - 10 && y >= w.bottom - 10)
        return kHitBottomRight;
    return kHitClient;
}

bool InCaptionDragBand(unsigned y)
{
    return y >= 4 && y <= 26;
}

bool InCaptionDoubleClickBand(unsigned y)
{
    return y <= 26;
}

ControlPlace FollowResize(const LayoutEntry& row, int dx, int dy, ControlPlace place)
{
    // Unsigned, so a negative share counts as too large and is skipped.
    if (static_cast<unsigned>(row.percent) > 100)
        return place;
    const int shareX = row.percent * dx / 100;
    const int shareY = row.percent * dy / 100;
    switch (row.mode) {
    case 0:
        place.x += shareX;
        break;
    case 1:
        place.y += shareY;
        break;
    case 2:
        place.x += shareX;
        place.y += shareY;
        break;
    case 3:
        place.width += shareX;
        break;
    case 4:
        place.height += shareY;
        break;
    case 5:
        place.width += shareX;
        place.height += shareY;
        break;
    default:
        break;
    }
    return place;
}

int CappedClientHeight(int height, int fullScreenClientHeight)
{
    const int cap = fullScreenClientHeight + 26;
    return height < cap ? height : cap;
}
