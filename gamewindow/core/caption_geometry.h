// Geometry of the game window's home-made frame: which border a point is
// on, the caption band, and how the caption buttons follow a resize.
#pragma once

// Hit-test codes, with the platform's values.
enum HitCode : int {
    kHitClient = 1,
    kHitLeft = 10,
    kHitRight = 11,
    kHitTop = 12,
    kHitTopLeft = 13,
    kHitTopRight = 14,
    kHitBottom = 15,
    kHitBottomLeft = 16,
    kHitBottomRight = 17,
};

struct Box {
    int left, top, right, bottom;
};

// The border under screen point (x, y) of a window at `window`: 4-pixel
// edge strips first, then 10-pixel corner squares, else the client.
int FrameHitTest(int x, int y, const Box& window);

// The caption band in client coordinates: a press at 4..26 drags the window,
// a double click at 0..26 toggles its size.
bool InCaptionDragBand(unsigned y);
bool InCaptionDoubleClickBand(unsigned y);

// One row of the caption-button layout table.
struct LayoutEntry {
    int controlId;
    int mode;    // 0 move right, 1 move down, 2 both, 3 widen, 4 heighten, 5 both
    int percent; // share of the size change, at most 100
};

struct ControlPlace {
    int x, y, width, height;
};

// Where a control goes when the client grew by dx, dy.
ControlPlace FollowResize(const LayoutEntry& row, int dx, int dy, ControlPlace place);

// The client height the browser is laid out for: at most the full-screen
// client height plus 26.
int CappedClientHeight(int height, int fullScreenClientHeight);
