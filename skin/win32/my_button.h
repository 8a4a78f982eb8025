// A push button from a dialog template (BS_OWNERDRAW) painted from four skin
// pictures: normal, hover, pressed and disabled. The parent must reflect
// WM_DRAWITEM so that the button sees it as kOcmDrawItem.
#pragma once

#include "framework/win32/window.h"
#include "skin/win32/skin_bitmap.h"

#include <windows.h>

class MyButton : public CSubclassedWindow {
public:
    MyButton();

    // Takes over the button and loads its pictures; false for a null window.
    bool Init(HWND hwnd, int normalId, int hoverId, int pressedId, int disabledId);

    virtual void DrawItem(DRAWITEMSTRUCT* item);

    // The picture the current state shows.
    const MyImage& CurrentImage() const;
    bool IsHover() const { return isHover != 0; }
    bool IsPressed() const { return isPressed != 0; }

    // The magenta that TransparentBlt leaves undrawn.
    static constexpr COLORREF kTransparentKey = RGB(255, 0, 255);

private:
    void Repaint() const;
    void MeasureItem(MEASUREITEMSTRUCT* item) const;

    MyImage normalImage;
    MyImage hoverImage;
    MyImage pressedImage;
    MyImage disabledImage;
    int isHover = 0;
    int isPressed = 0;
};
