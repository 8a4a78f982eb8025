// A dialog from a template of this module, modal or modeless, driven by its
// message map. Made as WindowObject<YourDialog> (see window_base.h).
#pragma once

#include "framework/win32/window_base.h"

#include <windows.h>

class CDialog : public CWindowOwner {
public:
    explicit CDialog(UINT templateId) : CWindowOwner(DWLP_USER), m_templateId(templateId) {}

    // Runs the dialog modally; the EndDialog result, or -1 if it could not
    // be created.
    INT_PTR DoModal(HWND owner);
    // Creates the dialog modelessly; its handle or null.
    HWND Create(HWND owner);
    BOOL EndDialog(INT_PTR result) const { return ::EndDialog(m_hWnd, result); }
    BOOL DestroyWindow() const { return ::DestroyWindow(m_hWnd); }

    // For message loops that want the dialog's keyboard handling.
    virtual BOOL PreTranslateMessage(MSG* msg) { return ::IsDialogMessageW(m_hWnd, msg); }
    virtual BOOL OnIdle() { return FALSE; }

    UINT TemplateId() const { return m_templateId; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
};
