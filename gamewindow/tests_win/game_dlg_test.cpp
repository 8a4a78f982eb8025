// The game window driven by real messages: what the end-to-end test of the
// game window cannot see (the painted title, the player's exit question).
#include "framework/com/bstr_variant.h"
#include "gamewindow/win32/client_command.h"
#include "gamewindow/win32/game_dlg.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Answers the next message box of this process with `button`.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button)
        : m_thread([this, button] {
            for (int i = 0; i < 200 && !answered; ++i) {
                m_button = button;
                EnumWindows(Answer, reinterpret_cast<LPARAM>(this));
                Sleep(25);
            }
        })
    {
    }
    ~BoxAnswerer() { m_thread.join(); }
    std::atomic<bool> answered{false};

private:
    static BOOL CALLBACK Answer(HWND hwnd, LPARAM self)
    {
        BoxAnswerer* me = reinterpret_cast<BoxAnswerer*>(self);
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(hwnd) || !GetDlgItem(hwnd, 0xFFFF))
            return TRUE;
        PostMessageW(hwnd, WM_COMMAND, me->m_button, 0);
        me->answered = true;
        return FALSE;
    }
    int m_button = IDOK;
    std::thread m_thread;
};

class GameWindow : public ::testing::Test {
protected:
    void Open()
    {
        GameWindowSettings settings;
        settings.loginPageUrl = L"about:blank";
        settings.pageTitleChanged = [this](const wchar_t* title) { pageTitle = title; };
        window = std::make_unique<WindowObject<CGameDlg>>(settings);
        ASSERT_TRUE(window->Create(nullptr));
        hwnd = window->Hwnd();
    }
    void TearDown() override
    {
        window.reset();
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    HWND Item(int id) const { return GetDlgItem(hwnd, id); }
    void Command(int id, HWND from = nullptr)
    {
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(from));
    }

    std::unique_ptr<WindowObject<CGameDlg>> window;
    HWND hwnd = nullptr;
    std::wstring pageTitle = L"unset";
};

} // namespace

TEST_F(GameWindow, PageTitleIsPaintedInYellowAndPassedOn)
{
    Open();
    const std::wstring title = L"WWWWWWWWWWWWWWWWWWWW";
    CVariant text(title.c_str());
    DISPPARAMS params = {text.Get(), nullptr, 1, 0};
    window->EventSink().Invoke(DISPID_TITLECHANGE, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    EXPECT_EQ(window->Title(), title);
    EXPECT_EQ(pageTitle, title);

    ScopedGdiObject shot = CaptureClientArea(hwnd);
    ASSERT_TRUE(shot);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = 200;
    info.biHeight = -30; // top-down
    info.biPlanes = 1;
    info.biBitCount = 32;
    std::vector<uint32_t> pixels(200 * 30);
    ScopedWindowDc screen(nullptr);
    ASSERT_EQ(GetDIBits(screen.Get(), static_cast<HBITMAP>(shot.Get()), 0, 30, pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS),
              30);
    int yellow = 0;
    for (uint32_t p : pixels)
        yellow += (p & 0xFFFFFF) == 0xFFFF00;
    EXPECT_GT(yellow, 20);

    const std::wstring longTitle(40000, L'T');
    window->SetTitleText(longTitle.c_str());
    EXPECT_EQ(window->Title().size(), kTitleMaxUnits);
}

TEST_F(GameWindow, ExitAsksThePlayer)
{
    Open();
    {
        BoxAnswerer cancel(IDCANCEL);
        Command(IDC_GAME_CLOSE, Item(IDC_GAME_CLOSE));
        ASSERT_TRUE(cancel.answered);
    }
    EXPECT_TRUE(IsWindow(hwnd));
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    {
        BoxAnswerer ok(IDOK);
        Command(ID_TRAY_EXIT);
    }
    EXPECT_FALSE(IsWindow(hwnd));
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 1u);
}

