// The game window driven by real messages: layout, size toggling, title,
// commands and the exit.
#include "framework/com/bstr_variant.h"
#include "gamewindow/win32/client_command.h"
#include "gamewindow/win32/game_dlg.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

RECT WorkArea()
{
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child)
{
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

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
    void Open(bool testMode = false)
    {
        GameWindowSettings settings;
        settings.loginPageUrl = L"about:blank";
        settings.testMode = testMode;
        settings.clearCaches = [this](HWND owner) { clearedFor = owner; };
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
    HWND clearedFor = nullptr;
    std::wstring pageTitle = L"unset";
};

} // namespace

TEST_F(GameWindow, OpensFillingTheWorkAreaWithTheBrowserInset)
{
    Open();
    ASSERT_TRUE(window->WebBrowser());
    RECT r = {};
    GetWindowRect(hwnd, &r);
    const RECT work = WorkArea();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.bottom, work.bottom);
    EXPECT_EQ(window->SizeState(), SIZE_MAXIMIZED);
    // The size toggle put the restore button up.
    EXPECT_TRUE(IsWindowVisible(Item(IDC_GAME_RESTORE)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_GAME_MAXIMISE)));

    RECT client = {};
    GetClientRect(hwnd, &client);
    const int height = std::min<int>(client.bottom, GetSystemMetrics(SM_CYFULLSCREEN) + 26);
    const RECT host = ChildRect(hwnd, window->BrowserHost());
    EXPECT_EQ(host.left, 3);
    EXPECT_EQ(host.top, 29);
    EXPECT_EQ(host.right, client.right - 3);
    EXPECT_EQ(host.bottom, height - 3);
}

TEST_F(GameWindow, ResetSizeAlternatesAndAnyResizeForgetsTheFill)
{
    Open();
    Command(ID_MAIN_RESET_SIZE);
    RECT r = {};
    GetWindowRect(hwnd, &r);
    RECT initial = {};
    ASSERT_TRUE(GetClientRect(hwnd, &initial));
    EXPECT_EQ(window->SizeState(), SIZE_RESTORED);
    const RECT work = WorkArea();
    if (r.right - r.left < work.right - work.left) { // centred where it fits
        EXPECT_EQ(r.left - work.left, work.right - r.right);
    }
    Command(ID_MAIN_RESET_SIZE);
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(window->SizeState(), SIZE_MAXIMIZED);

    // A border resize is a WM_SIZE like any other: the next reset fills
    // the work area again rather than restoring the first size.
    const RECT closeBefore = ChildRect(hwnd, Item(IDC_GAME_CLOSE));
    const RECT iconBefore = ChildRect(hwnd, Item(IDC_GAME_MENU_ICON));
    SetWindowPos(hwnd, nullptr, 0, 0, work.right - 100, work.bottom - 50, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(window->SizeState(), SIZE_RESTORED);
    EXPECT_EQ(ChildRect(hwnd, Item(IDC_GAME_CLOSE)).left, closeBefore.left - 100);
    EXPECT_EQ(ChildRect(hwnd, Item(IDC_GAME_MENU_ICON)).left, iconBefore.left);
    Command(ID_MAIN_RESET_SIZE);
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right, work.right);

    // Minimising leaves the caption buttons where they are.
    const RECT closeNow = ChildRect(hwnd, Item(IDC_GAME_CLOSE));
    SendMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(ChildRect(hwnd, Item(IDC_GAME_CLOSE)).left, closeNow.left);
}

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

// Command entries come before the reflection entry: a button's click is the
// window's command, not a notification handed back to the button.
TEST_F(GameWindow, CommandsFromButtonsMenusTrayAndHotKey)
{
    Open();
    Command(IDC_GAME_TRAY, Item(IDC_GAME_TRAY));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    SendMessageW(hwnd, kTrayCallbackMessage, IDI_KESTRUN, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    SendMessageW(hwnd, WM_HOTKEY, kToggleHotKeyId, MAKELPARAM(0, VK_F9));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    Command(ID_TRAY_TOGGLE);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    Command(ID_MAIN_CLEAR_CACHE);
    EXPECT_EQ(clearedFor, hwnd);
    EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(2, 400)), HTLEFT);
    EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(400, 400)), HTCLIENT);
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

TEST_F(GameWindow, TestModeExitSavesALoginErrorCaptureWithoutAsking)
{
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring work = std::wstring(temp) + L"kestrun_exit_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(work.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryW(work.c_str()));
    Open(true);
    window->SetTitleText(L"Game");
    Command(ID_MAIN_EXIT);
    EXPECT_FALSE(IsWindow(hwnd));
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    const wchar_t* capture = L"yw_test\\login_error_Game_.bmp";
    EXPECT_NE(GetFileAttributesW(capture), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(capture);
    RemoveDirectoryW(L"yw_test");
    SetCurrentDirectoryW(previous);
    RemoveDirectoryW(work.c_str());
}
