// The translucent login window: a layered popup showing skin picture 271
// with per-pixel alpha, with a colour-keyed control dialog kept exactly over
// it on every move and size.
#pragma once

#include "framework/win32/window.h"
#include "skin/win32/login_events.h"
#include "skin/win32/standard_dialog.h"
#include "widgets/win32/skin_bitmap.h"

#include <windows.h>

#include <functional>
#include <memory>

// Puts a premultiplied 32-bit bitmap on screen as the window's whole look.
bool UpdateLayeredFromBitmap(HWND hwnd, HBITMAP bitmap);

// Top-left corner that centres a w by h window on the work area; each
// halving drops its fraction towards zero.
POINT CentreOnWorkArea(const RECT& work, int w, int h);

// Owns the picture and the control dialog, and keeps the two windows together.
class CTranslucentDialogHelper {
public:
    CTranslucentDialogHelper();
    virtual ~CTranslucentDialogHelper() = default;
    CTranslucentDialogHelper(const CTranslucentDialogHelper&) = delete;
    CTranslucentDialogHelper& operator=(const CTranslucentDialogHelper&) = delete;

    // Takes the control dialog (a previous one is freed) and creates its
    // window, takes away hwnd's caption and centres hwnd on the work area
    // at the picture's size.
    void Setup(StandardDialogPtr dialog, HWND hwnd);
    void ApplyLayered(HWND hwnd);
    void FollowMove(int x, int y);
    void FollowSize(int cx, int cy);

    BLENDFUNCTION blend = {};
    std::unique_ptr<SkinBitmap> background;
    StandardDialogPtr standardDialog;
};

// Makes the control dialog for a translucent window (its owner).
using ControlDialogFactory = std::function<StandardDialogPtr(HWND owner)>;

class CTranslucentDlg : public CDialog {
public:
    // Decodes the background picture now; the control dialog is made by
    // `makeControlDialog` when the window opens, and `keyboardHook` is
    // installed for the thread at the first opening in the process. The
    // window's end is reported to `events` (LoginWindowClosed).
    CTranslucentDlg(ILoginEvents& events, ControlDialogFactory makeControlDialog, HOOKPROC keyboardHook);

    CTranslucentDialogHelper layer;

private:
    void OnInitDialog();
    void OnDestroy();

    ILoginEvents& m_events;
    ControlDialogFactory m_makeControlDialog;
    HOOKPROC m_keyboardHook;
    CWindowIcons m_icons;
};
