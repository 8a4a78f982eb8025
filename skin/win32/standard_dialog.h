// The control dialog that lies over a translucent window: the interface the
// translucent window drives it through, and the colour key that makes its
// background invisible.
#pragma once

#include "framework/handles.h"

#include <windows.h>

#include <memory>

class IStandardDialog {
public:
    // Creates the window as a popup owned by the translucent window and shows it.
    virtual bool Create() = 0;
    virtual HWND GetHwnd() = 0;
    virtual void Destroy() = 0;
    // Destroys the object itself.
    virtual void Delete() = 0;

protected:
    ~IStandardDialog() = default;
};

// Control dialogs are freed through their own Delete().
struct StandardDialogDeleter {
    void operator()(IStandardDialog* dialog) const { dialog->Delete(); }
};
using StandardDialogPtr = std::unique_ptr<IStandardDialog, StandardDialogDeleter>;

struct BrushTraits {
    using Type = HBRUSH;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};

// Embedded in each control dialog: every pixel it paints in pure green is
// invisible and lets mouse input through to the picture beneath.
class CStandardDialogHelper {
public:
    explicit CStandardDialogHelper(IStandardDialog* dialogOwner) : owner(dialogOwner) {}
    virtual ~CStandardDialogHelper() = default;
    CStandardDialogHelper(const CStandardDialogHelper&) = delete;
    CStandardDialogHelper& operator=(const CStandardDialogHelper&) = delete;

    // Makes hwnd layered with the key colour; the dialog must answer
    // WM_CTLCOLORDLG with BackgroundBrush().
    void ApplyColorKey(HWND hwnd);
    HBRUSH BackgroundBrush() const { return backgroundBrush.Get(); }

    static constexpr COLORREF kTransparentColor = RGB(0, 255, 0);

    IStandardDialog* owner;
    COLORREF transparentColor = kTransparentColor;

private:
    UniqueHandle<BrushTraits> backgroundBrush;
};
