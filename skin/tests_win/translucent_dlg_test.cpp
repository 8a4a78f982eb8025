// The translucent login window run modally, inspected from a timer while its
// modal loop runs.
#include "resources/resource_ids.h"
#include "skin/tests_win/fake_login_events.h"
#include "skin/tests_win/run_modal.h"
#include "skin/win32/browser_key_hook.h"
#include "skin/win32/login_page_dlg.h"
#include "skin/win32/translucent_dlg.h"
#include "widgets/core/window_title.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

RECT WindowRect(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

LRESULT CALLBACK CountingHook(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A control dialog that only counts what is asked of it.
class FakeControl final : public IStandardDialog {
public:
    explicit FakeControl(int& deletes) : m_deletes(deletes) {}
    bool Create() override { return ++creates, true; }
    HWND GetHwnd() override { return nullptr; }
    void Destroy() override {}
    void Delete() override
    {
        ++m_deletes;
        delete this;
    }
    int creates = 0;

private:
    int& m_deletes;
};

} // namespace

TEST(TranslucentWindow, CentringHalvesTowardsZero)
{
    EXPECT_EQ(CentreOnWorkArea(RECT{0, 0, 1600, 900}, 1379, 702).x, 110);
    EXPECT_EQ(CentreOnWorkArea(RECT{0, 0, 1600, 900}, 1379, 702).y, 99);
    // Differences of 7 and -7 give 3 and -3.
    EXPECT_EQ(CentreOnWorkArea(RECT{10, 20, 117, 127}, 100, 100).x, 13);
    EXPECT_EQ(CentreOnWorkArea(RECT{10, 20, 117, 127}, 100, 100).y, 23);
    EXPECT_EQ(CentreOnWorkArea(RECT{10, 20, 103, 113}, 100, 100).x, 7);
    EXPECT_EQ(CentreOnWorkArea(RECT{10, 20, 103, 113}, 100, 100).y, 17);
    // An empty picture is centred as a point.
    EXPECT_EQ(CentreOnWorkArea(RECT{0, 40, 800, 600}, 0, 0).y, 320);
}

TEST(TranslucentWindow, ShowsCentredCarriesItsControlLayerAndEndsOnDestroy)
{
    FakeLoginEvents events;
    LoginPageSettings settings;
    settings.startUrl = L"about:blank";
    CMainDlg* control = nullptr;
    WindowObject<CTranslucentDlg> dialog(
        events,
        [&](HWND owner) {
            control = new WindowObject<CMainDlg>(owner, settings, events);
            return StandardDialogPtr(control);
        },
        CountingHook);
    ASSERT_EQ(dialog.layer.background->width, 1379);
    ASSERT_EQ(dialog.layer.background->height, 702);

    HHOOK installed = nullptr;
    const INT_PTR result = RunModal(dialog, [&] {
        HWND self = dialog.Hwnd();
        ASSERT_NE(control, nullptr);
        HWND layer = control->GetHwnd();
        ASSERT_NE(layer, nullptr);
        installed = g_keyboardHook;
        EXPECT_NE(installed, nullptr);

        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const POINT at = CentreOnWorkArea(work, 1379, 702);
        const RECT r = WindowRect(self);
        EXPECT_EQ(r.left, at.x);
        EXPECT_EQ(r.top, at.y);
        EXPECT_EQ(r.right - r.left, 1379);
        EXPECT_EQ(r.bottom - r.top, 702);
        const LONG_PTR style = GetWindowLongPtrW(self, GWL_STYLE);
        EXPECT_EQ(style & WS_CAPTION, 0);
        EXPECT_NE(style & WS_POPUP, 0);
        EXPECT_NE(GetWindowLongPtrW(self, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
        wchar_t title[64] = {};
        GetWindowTextW(self, title, 64);
        EXPECT_EQ(std::wstring(title), kWindowTitle);
        EXPECT_NE(SendMessageW(self, WM_GETICON, ICON_BIG, 0), 0);
        EXPECT_NE(SendMessageW(self, WM_GETICON, ICON_SMALL, 0), 0);

        // The control layer: owned, colour-keyed, exactly over the picture.
        EXPECT_EQ(GetWindow(layer, GW_OWNER), self);
        EXPECT_TRUE(IsWindowVisible(layer));
        EXPECT_NE(GetWindowLongPtrW(layer, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
        COLORREF key = 0;
        DWORD flags = 0;
        if (GetLayeredWindowAttributes(layer, &key, nullptr, &flags)) {
            EXPECT_EQ(key, RGB(0, 255, 0));
            EXPECT_EQ(flags & LWA_COLORKEY, static_cast<DWORD>(LWA_COLORKEY));
        }
        const RECT c = WindowRect(layer);
        EXPECT_EQ(c.left, r.left);
        EXPECT_EQ(c.top, r.top);
        EXPECT_EQ(c.right, r.right);
        EXPECT_EQ(c.bottom, r.bottom);
        // The two visible buttons took their pictures' size.
        RECT button;
        GetClientRect(GetDlgItem(layer, IDC_LOGIN_CLOSE), &button);
        EXPECT_EQ(button.right, 31);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(layer, IDC_LOGIN_MINIMISE)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(layer, IDC_LOGIN_ENTER)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(layer, IDC_LOGIN_FORUM)));

        // Moves (negative ones too) and sizes carry the layer along.
        SetWindowPos(self, nullptr, r.left + 37, r.top + 21, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(WindowRect(layer).left, r.left + 37);
        EXPECT_EQ(WindowRect(layer).top, r.top + 21);
        SetWindowPos(self, nullptr, -50, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(WindowRect(layer).left, -50);
        EXPECT_EQ(WindowRect(layer).top, -30);
        SetWindowPos(self, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(WindowRect(layer).right - WindowRect(layer).left, 800);
        EXPECT_EQ(WindowRect(layer).bottom - WindowRect(layer).top, 600);

        PostMessageW(self, WM_DESTROY, 0, 0);
    });
    EXPECT_EQ(result, 1);
    EXPECT_GE(events.closed, 1);
    // The hook was removed on the way out, but the handle is kept.
    EXPECT_EQ(g_keyboardHook, installed);
    EXPECT_FALSE(UnhookWindowsHookEx(g_keyboardHook));

    // A second opening makes a new control layer and installs no new hook.
    events.closed = 0;
    CMainDlg* first = control;
    // This time the layer's (hidden) enter button ends the login.
    EXPECT_EQ(RunModal(dialog, [&] {
                  ASSERT_NE(control, first);
                  HWND enter = GetDlgItem(control->GetHwnd(), IDC_LOGIN_ENTER);
                  SendMessageW(control->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_LOGIN_ENTER, BN_CLICKED),
                               reinterpret_cast<LPARAM>(enter));
                  EXPECT_EQ(events.closed, 1);
              }),
              1);
    EXPECT_EQ(g_keyboardHook, installed);
    EXPECT_GE(events.closed, 1);
}

TEST(TranslucentWindow, WithoutAControlLayerStillShowsAndEnds)
{
    FakeLoginEvents events;
    int deletes = 0;
    FakeControl* fake = nullptr;
    {
        WindowObject<CTranslucentDlg> dialog(
            events,
            [&](HWND) {
                fake = new FakeControl(deletes);
                return StandardDialogPtr(fake);
            },
            nullptr);
        EXPECT_EQ(RunModal(dialog, [&] {
                      ASSERT_NE(fake, nullptr);
                      EXPECT_EQ(fake->creates, 1);
                      // Moves go to no window and do no harm.
                      SetWindowPos(dialog.Hwnd(), nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                      EXPECT_EQ(WindowRect(dialog.Hwnd()).left, 5);
                      PostMessageW(dialog.Hwnd(), WM_DESTROY, 0, 0);
                  }),
                  1);
        EXPECT_EQ(deletes, 0);
    }
    // The helper owns the control dialog object.
    EXPECT_EQ(deletes, 1);

    // No factory at all: the picture alone.
    WindowObject<CTranslucentDlg> bare(events, nullptr, nullptr);
    EXPECT_EQ(RunModal(bare, [&] { PostMessageW(bare.Hwnd(), WM_DESTROY, 0, 0); }), 1);
}
