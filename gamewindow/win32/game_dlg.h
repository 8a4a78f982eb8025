// CGameDlg: the game window. A resizable popup without a system caption:
// a home-made caption strip with the page title and seven skinned buttons,
// the game's browser below it, a tray icon with its menu, the main menu,
// the F9 hot key and the exit confirmation. Made as WindowObject<CGameDlg>.
#pragma once

#include "framework/com/com_ptr.h"
#include "framework/win32/window.h"
#include "gamewindow/core/caption_geometry.h"
#include "gamewindow/win32/game_window.h"
#include "gamewindow/win32/invoke_event.h"
#include "widgets/win32/my_button.h"
#include "widgets/win32/skin_bitmap.h"

#include <exdisp.h>
#include <ocidl.h>
#include <shellapi.h>

#include <string>

// The tray icon's callback message and the hot key's id.
constexpr UINT kTrayCallbackMessage = WM_USER + 5;
constexpr int kToggleHotKeyId = 120;
// The timer of a self-test's page check.
constexpr UINT_PTR kPageCheckTimerId = 121;
// The longest caption title kept (a 32768-unit buffer with its terminator).
constexpr size_t kTitleMaxUnits = 32767;

class CGameDlg : public CDialog, private IGameEventOwner {
public:
    explicit CGameDlg(const GameWindowSettings& settings);

    HWND BrowserHost() const { return m_browserHost; }
    IWebBrowser2* WebBrowser() const { return m_webBrowser.Get(); }
    // 2 while the window fills the work area; otherwise the last WM_SIZE type.
    int SizeState() const { return m_sizeState; }
    const std::wstring& Title() const { return m_titleText; }
    CInvokeEvent& EventSink() { return m_eventSink; }

    void RefreshPage();
    void ToggleVisible();
    void ToggleWindowSize();
    void ConfirmExit();
    void ShowPopupMenu(UINT menuId);
    void SetTitleText(const wchar_t* text) override;

    static constexpr int kButtonCount = 7;

private:
    void OnInitDialog();
    bool CreateBrowser();
    void OnSize(UINT type, int width, int height);
    void PaintCaption();
    LRESULT OnNcLButtonDown(WindowMessage& msg);
    void OnDestroy();
    void OnPageCheckTick();

    // IGameEventOwner
    HWND GameWindow() const override { return m_hWnd; }
    const wchar_t* TitleText() const override { return m_titleText.c_str(); }
    bool IsTopLevel(IDispatch* browser) const override;
    std::wstring TopLevelUrl() const override;
    void InstallPageUi() override;
    void HidePageScrollBars() override;

    GameWindowSettings m_settings;
    HWND m_browserHost = nullptr;
    ComPtr<IWebBrowser2> m_webBrowser;
    CInvokeEvent m_eventSink;
    ComPtr<IConnectionPoint> m_eventConnection;
    DWORD m_eventCookie = 0;
    MyButton m_buttons[kButtonCount];
    MyImage m_captionImage;
    const LayoutEntry* m_layout = nullptr;
    int m_layoutCount = 0;
    int m_lastWidth = 0;
    int m_lastHeight = 0;
    int m_sizeState = 0;
    RECT m_restoreRect = {};
    RECT m_workArea = {};
    NOTIFYICONDATAW m_trayIcon = {};
    std::wstring m_titleText;
    ScopedIcon m_bigIcon;
    ScopedIcon m_smallIcon;
    int m_loopFilter = 0;
    int m_loopIdle = 0;
    // What the last trusted game page's completion did (self-test ticks).
    bool m_pageCompleted = false;
    bool m_uiHandlerInstalled = false;
};
