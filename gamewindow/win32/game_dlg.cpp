#include "gamewindow/win32/game_dlg.h"

#include "browserhost/browser_host.h"
#include "framework/com/bstr_variant.h"
#include "framework/win32/message_loop.h"
#include "gamewindow/core/capture_name.h"
#include "gamewindow/win32/client_command.h"
#include "gamewindow/win32/ui_handler.h"
#include "resources/resource_ids.h"
#include "widgets/core/window_title.h"

#include <mshtml.h>

namespace {

constexpr wchar_t kExitQuestion[] = L"\u6B63\u5728\u6E38\u620F\u4E2D\uFF0C\u662F\u5426\u786E\u8BA4\u9000\u51FA\u6E38\u620F\uFF1F";
constexpr wchar_t kNoConnection[] = L"\u65E0\u6CD5\u8FDE\u63A5\u670D\u52A1\u5668";
constexpr wchar_t kNoticeCaption[] = L"\u63D0\u793A";

// The caption buttons in set-up order, with their four skins.
struct ButtonSetup {
    int id;
    int normal, hover, pressed, disabled;
};
const ButtonSetup kButtons[CGameDlg::kButtonCount] = {
    {IDC_GAME_CLOSE, 295, 294, 293, 293},    {IDC_GAME_MINIMISE, 314, 313, 312, 312},
    {IDC_GAME_MAXIMISE, 308, 307, 306, 306}, {IDC_GAME_RESTORE, 305, 304, 303, 303},
    {IDC_GAME_TRAY, 300, 299, 298, 298},     {IDC_GAME_MENU_ICON, 301, 301, 301, 301},
    {IDC_GAME_MENU, 311, 310, 309, 309},
};

// Every caption button but the menu icon keeps its distance from the right.
const LayoutEntry kCaptionLayout[] = {
    {IDC_GAME_CLOSE, 0, 100},   {IDC_GAME_MAXIMISE, 0, 100}, {IDC_GAME_RESTORE, 0, 100},
    {IDC_GAME_MINIMISE, 0, 100}, {IDC_GAME_MENU, 0, 100},    {IDC_GAME_TRAY, 0, 100},
};

// The browser sits inside the client area by these margins.
constexpr int kBrowserLeft = 3;
constexpr int kBrowserTop = 29;
constexpr int kBrowserRight = 3;
constexpr int kBrowserBottom = 3;

// The host takes the creation text as a URL (the 7th character is no ':')
// and navigates there first; the window then sends it to the game.
std::wstring CreationText(const std::wstring& loginPageUrl)
{
    return L"MSHTML<HTML><BODY><IFRAME scrolling='auto' src='" + loginPageUrl + L"'/></BODY></HTML>";
}

HICON LoadProgramIcon(int cxMetric, int cyMetric)
{
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_KESTRUN), IMAGE_ICON,
                                           ::GetSystemMetrics(cxMetric), ::GetSystemMetrics(cyMetric),
                                           LR_DEFAULTCOLOR));
}

bool SameObject(IUnknown* a, IUnknown* b)
{
    if (!a || !b)
        return false;
    ComPtr<IUnknown> ia, ib;
    a->QueryInterface(IID_IUnknown, ia.PutVoid());
    b->QueryInterface(IID_IUnknown, ib.PutVoid());
    return ia && ia.Get() == ib.Get();
}

} // namespace

CGameDlg::CGameDlg(const GameWindowSettings& settings)
    : CDialog(IDD_GAME)
    , m_settings(settings)
{
    RegisterBrowserHostClasses(::GetModuleHandleW(nullptr));
    m_eventSink.SetExternal(
        ExternalSettings{settings.localPort, settings.cdnBase, settings.setCdnBase, settings.builtInCdnBase});
    m_eventSink.SetTrustedSites(settings.trusted);
    m_eventSink.SetCaptureFolder(settings.testMode ? CaptureFolder::kCreate : CaptureFolder::kExisting);
    if (settings.pageCheck.report)
        m_eventSink.SetPageReport(settings.pageCheck.origin, settings.pageCheck.report);

    m_map.Handle(WM_INITDIALOG, [this](WindowMessage&) -> LRESULT {
        OnInitDialog();
        if (CreateBrowser()) {
            if (m_hWnd && m_settings.pageCheck.tick)
                ::SetTimer(m_hWnd, kPageCheckTimerId, kPageCheckTickMs, nullptr);
            return TRUE;
        }
        // A hidden window's caller reports the failure itself.
        if (!m_settings.hidden)
            ::MessageBoxW(m_hWnd, kNoConnection, kNoticeCaption, MB_OK);
        DestroyWindow();
        return FALSE;
    });
    // A hidden window refuses every attempt to show it, the dialog
    // manager's own after WM_INITDIALOG included.
    m_map.On(WM_WINDOWPOSCHANGING, [this](WindowMessage& msg) {
        if (m_settings.hidden)
            reinterpret_cast<WINDOWPOS*>(msg.lParam)->flags &= ~SWP_SHOWWINDOW;
        return false;
    });
    m_map.On(WM_TIMER, [this](WindowMessage& msg) {
        if (msg.wParam != kPageCheckTimerId)
            return false;
        OnPageCheckTick();
        return true;
    });
    m_map.Handle(WM_ERASEBKGND, [this](WindowMessage&) -> LRESULT {
        PaintCaption();
        return 1;
    });
    // Command entries come before the reflection entry at the end, which
    // would otherwise hand the buttons' clicks back to the buttons.
    m_map.On(WM_COMMAND, [](WindowMessage& msg) { return LOWORD(msg.wParam) == 0xE140; });
    m_map.OnCommand(IDC_GAME_CLOSE, BN_CLICKED, [this] { ConfirmExit(); });
    m_map.OnCommand(IDC_GAME_MAXIMISE, BN_CLICKED, [this] { ToggleWindowSize(); });
    m_map.OnCommand(IDC_GAME_MINIMISE, BN_CLICKED,
                    [this] { ::PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
    m_map.OnCommand(IDC_GAME_TRAY, BN_CLICKED, [this] { ::ShowWindow(m_hWnd, SW_HIDE); });
    m_map.OnCommand(IDC_GAME_MENU, BN_CLICKED, [this] { ShowPopupMenu(IDR_MAIN_MENU); });
    m_map.OnCommand(IDC_GAME_MENU_ICON, BN_CLICKED, [this] { ShowPopupMenu(IDR_MAIN_MENU); });
    m_map.On(WM_COMMAND, [this](WindowMessage& msg) {
        switch (LOWORD(msg.wParam)) {
        case ID_MAIN_REFRESH:
        case ID_TRAY_REFRESH:
            RefreshPage();
            return true;
        case ID_MAIN_TOGGLE:
        case ID_TRAY_TOGGLE:
            ToggleVisible();
            return true;
        case ID_MAIN_CLEAR_CACHE:
        case ID_TRAY_CLEAR_CACHE:
            if (m_settings.clearCaches)
                m_settings.clearCaches(m_hWnd);
            return true;
        case ID_MAIN_RESET_SIZE:
            ToggleWindowSize();
            return true;
        case ID_MAIN_EXIT:
        case ID_TRAY_EXIT:
            ConfirmExit();
            return true;
        default:
            return false;
        }
    });
    m_map.OnCommand(IDC_GAME_RESTORE, BN_CLICKED, [this] { ToggleWindowSize(); });
    m_map.Handle(WM_SIZE, [this](WindowMessage& msg) -> LRESULT {
        OnSize(static_cast<UINT>(msg.wParam), LOWORD(msg.lParam), HIWORD(msg.lParam));
        return 0;
    });
    m_map.Handle(WM_LBUTTONDOWN, [this](WindowMessage& msg) -> LRESULT {
        if (InCaptionDragBand(HIWORD(msg.lParam)))
            ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, msg.lParam);
        return 0;
    });
    m_map.Handle(WM_LBUTTONDBLCLK, [this](WindowMessage& msg) -> LRESULT {
        if (InCaptionDoubleClickBand(HIWORD(msg.lParam)))
            ToggleWindowSize();
        return 0;
    });
    m_map.Handle(WM_NCHITTEST, [this](WindowMessage& msg) -> LRESULT {
        RECT r = {};
        ::GetWindowRect(m_hWnd, &r);
        const int x = static_cast<short>(LOWORD(msg.lParam));
        const int y = static_cast<short>(HIWORD(msg.lParam));
        return FrameHitTest(x, y, Box{r.left, r.top, r.right, r.bottom});
    });
    m_map.Handle(WM_SETCURSOR, [](WindowMessage& msg) -> LRESULT {
        const wchar_t* cursor = IDC_ARROW;
        switch (LOWORD(msg.lParam)) {
        case HTTOP:
        case HTBOTTOM:
            cursor = IDC_SIZENS;
            break;
        case HTLEFT:
        case HTRIGHT:
            cursor = IDC_SIZEWE;
            break;
        case HTTOPLEFT:
        case HTBOTTOMRIGHT:
            cursor = IDC_SIZENWSE;
            break;
        case HTTOPRIGHT:
        case HTBOTTOMLEFT:
            cursor = IDC_SIZENESW;
            break;
        default:
            break;
        }
        ::SetCursor(::LoadCursorW(nullptr, cursor));
        return 0;
    });
    m_map.On(WM_NCLBUTTONDOWN, [this](WindowMessage& msg) {
        if (msg.wParam == HTCAPTION)
            return false; // the system's move loop
        msg.result = OnNcLButtonDown(msg);
        return true;
    });
    m_map.Handle(WM_DESTROY, [this](WindowMessage&) -> LRESULT {
        OnDestroy();
        return 0;
    });
    m_map.Handle(kTrayCallbackMessage, [this](WindowMessage& msg) -> LRESULT {
        switch (LOWORD(msg.lParam)) {
        case WM_LBUTTONDBLCLK:
            ::ShowWindow(m_hWnd, SW_SHOW);
            break;
        case WM_RBUTTONDOWN:
            ShowPopupMenu(IDR_TRAY_MENU);
            break;
        default:
            break;
        }
        return 0;
    });
    m_map.On(WM_HOTKEY, [this](WindowMessage& msg) {
        if (msg.wParam == kToggleHotKeyId)
            ToggleVisible();
        return false;
    });
    m_map.OnAny(ReflectNotification);
}

void CGameDlg::OnInitDialog()
{
    m_titleText.clear();
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    m_lastWidth = client.right - client.left;
    m_lastHeight = client.bottom - client.top;
    m_restoreRect = client;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &m_workArea, 0);
    ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    CenterWindow(m_hWnd);

    m_bigIcon.Reset(LoadProgramIcon(SM_CXICON, SM_CYICON));
    m_smallIcon.Reset(LoadProgramIcon(SM_CXSMICON, SM_CYSMICON));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.Get()));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.Get()));

    m_trayIcon.cbSize = sizeof m_trayIcon;
    m_trayIcon.hWnd = m_hWnd;
    m_trayIcon.uID = IDI_KESTRUN;
    m_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_trayIcon.uCallbackMessage = kTrayCallbackMessage;
    m_trayIcon.hIcon = m_smallIcon.Get();
    ::lstrcpynW(m_trayIcon.szTip, kWindowTitle, ARRAYSIZE(m_trayIcon.szTip));
    // A hidden window offers no way to show it: no tray icon, no hot key.
    if (!m_settings.hidden)
        ::Shell_NotifyIconW(NIM_ADD, &m_trayIcon);

    // The game loop does not consult them, but a loop that does finds the
    // dialog's keyboard handling.
    if (CMessageLoop* loop = MessageLoopRegistry::Get()) {
        m_loopFilter = loop->AddFilter([this](MSG& msg) { return PreTranslateMessage(&msg) != FALSE; });
        m_loopIdle = loop->AddIdleHandler([this] { return OnIdle() != FALSE; });
    }

    m_layout = kCaptionLayout;
    m_layoutCount = static_cast<int>(sizeof kCaptionLayout / sizeof kCaptionLayout[0]);
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonSetup& b = kButtons[i];
        m_buttons[i].Init(::GetDlgItem(m_hWnd, b.id), b.normal, b.hover, b.pressed, b.disabled);
        if (b.id == IDC_GAME_RESTORE)
            ::ShowWindow(::GetDlgItem(m_hWnd, b.id), SW_HIDE);
    }
    if (!m_settings.hidden)
        ::RegisterHotKey(m_hWnd, kToggleHotKeyId, 0, VK_F9);
    ::SetWindowTextW(m_hWnd, kWindowTitle);
    m_captionImage.Load(IDR_SKIN_GAME_CAPTION);
}

bool CGameDlg::CreateBrowser()
{
    RECT r = {};
    ::GetClientRect(m_hWnd, &r);
    r.left += kBrowserLeft;
    r.top += kBrowserTop;
    r.right -= kBrowserRight;
    r.bottom -= kBrowserBottom;
    m_browserHost = ::CreateWindowExW(0, kBrowserHostClass, nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL, r.left,
                                      r.top, r.right - r.left, r.bottom - r.top, m_hWnd, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
    if (!m_browserHost || AxCreateControlEx(m_browserHost, CreationText(m_settings.loginPageUrl).c_str()) != S_OK)
        return false;
    AxQueryControl(m_browserHost, IID_PPV_ARGS(m_webBrowser.Put()));
    // Held for the whole call: a client command in the first navigation
    // destroys this window, and the control with it, from inside Navigate2.
    const ComPtr<IWebBrowser2> browser = m_webBrowser;
    m_eventSink.SetOwner(this);
    if (browser) {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(browser.QueryInterface(IID_IConnectionPointContainer, &container)) &&
            SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())) &&
            SUCCEEDED(point->Advise(static_cast<IDispatch*>(&m_eventSink), &m_eventCookie)))
            m_eventConnection = point;
        if (!m_settings.gameUrl.empty()) {
            CVariant url(m_settings.gameUrl.c_str());
            CVariant none;
            browser->Navigate2(url.Get(), none.Get(), none.Get(), none.Get(), none.Get());
        }
        if (!m_hWnd)
            return true; // ended by a client command; nothing left to set up
        browser->put_Silent(VARIANT_TRUE);
    }
    ToggleWindowSize();
    return true;
}

void CGameDlg::OnSize(UINT type, int width, int height)
{
    m_sizeState = static_cast<int>(type);
    const int capped = CappedClientHeight(height, ::GetSystemMetrics(SM_CYFULLSCREEN));
    int dx = width - m_lastWidth;
    int dy = capped - m_lastHeight;
    if (type == SIZE_MINIMIZED)
        dx = dy = 0;
    for (int i = 0; i < m_layoutCount; ++i) {
        const LayoutEntry& row = m_layout[i];
        HWND control = ::GetDlgItem(m_hWnd, row.controlId);
        if (static_cast<unsigned>(row.percent) > 100 || !control)
            continue;
        RECT r = {};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        const ControlPlace moved =
            FollowResize(row, dx, dy, ControlPlace{r.left, r.top, r.right - r.left, r.bottom - r.top});
        ::MoveWindow(control, moved.x, moved.y, moved.width, moved.height, TRUE);
    }
    if (type != SIZE_MINIMIZED) {
        m_lastWidth = width;
        m_lastHeight = capped;
        m_webBrowser.Reset();
        if (m_browserHost)
            AxQueryControl(m_browserHost, IID_PPV_ARGS(m_webBrowser.Put()));
        if (m_webBrowser) {
            // The control asks its host to follow, keeping the margins.
            m_webBrowser->put_Width(width - kBrowserLeft - kBrowserRight);
            m_webBrowser->put_Height(capped - kBrowserTop - kBrowserBottom);
        }
    }
    HWND maximise = ::GetDlgItem(m_hWnd, IDC_GAME_MAXIMISE);
    HWND restore = ::GetDlgItem(m_hWnd, IDC_GAME_RESTORE);
    HWND wanted = m_sizeState == SIZE_MAXIMIZED ? maximise : restore;
    HWND other = wanted == maximise ? restore : maximise;
    if (wanted && !::IsWindowVisible(wanted)) {
        ::ShowWindow(wanted, SW_SHOWNORMAL);
        ::ShowWindow(other, SW_HIDE);
    }
}

void CGameDlg::ToggleWindowSize()
{
    // MoveWindow's WM_SIZE sets m_sizeState first, so the restore button
    // shows after either branch.
    if (m_sizeState == SIZE_MAXIMIZED) {
        ::MoveWindow(m_hWnd, 0, 0, m_restoreRect.right, m_restoreRect.bottom, TRUE);
        CenterWindow(m_hWnd);
        m_sizeState = SIZE_RESTORED;
    } else {
        ::MoveWindow(m_hWnd, 0, 0, m_workArea.right, m_workArea.bottom, TRUE);
        m_sizeState = SIZE_MAXIMIZED;
    }
}

void CGameDlg::PaintCaption()
{
    ScopedWindowDc dc(m_hWnd);
    if (!dc.Get())
        return;
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    ::FillRect(dc.Get(), &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    const int w = m_captionImage.Width();
    const int h = m_captionImage.Height();
    if (m_captionImage.Bitmap() && w > 0 && h > 0) {
        ScopedMemoryDc memory(::CreateCompatibleDC(dc.Get()));
        if (memory) {
            ScopedSelect select(memory.Get(), m_captionImage.Bitmap());
            ::StretchBlt(dc.Get(), 0, 0, client.right - client.left, h, memory.Get(), 0, 0, w, h, SRCCOPY);
        }
    }
    const int oldMode = ::SetBkMode(dc.Get(), TRANSPARENT);
    const COLORREF oldColour = ::SetTextColor(dc.Get(), RGB(255, 255, 0));
    ::ExtTextOutW(dc.Get(), 30, 5, ETO_OPAQUE, nullptr, m_titleText.c_str(), static_cast<UINT>(m_titleText.size()),
                  nullptr);
    ::SetTextColor(dc.Get(), oldColour);
    ::SetBkMode(dc.Get(), oldMode);
}

LRESULT CGameDlg::OnNcLButtonDown(WindowMessage& msg)
{
    WPARAM edge = 0;
    switch (msg.wParam) {
    case HTLEFT:
        edge = WMSZ_LEFT;
        break;
    case HTRIGHT:
        edge = WMSZ_RIGHT;
        break;
    case HTTOP:
        edge = WMSZ_TOP;
        break;
    case HTTOPLEFT:
        edge = WMSZ_TOPLEFT;
        break;
    case HTTOPRIGHT:
        edge = WMSZ_TOPRIGHT;
        break;
    case HTBOTTOM:
        edge = WMSZ_BOTTOM;
        break;
    case HTBOTTOMLEFT:
        edge = WMSZ_BOTTOMLEFT;
        break;
    case HTBOTTOMRIGHT:
        edge = WMSZ_BOTTOMRIGHT;
        break;
    default:
        return 0; // swallowed
    }
    // The system's sizing loop runs inside this call.
    ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_SIZE + edge, msg.lParam);
    return 0;
}

void CGameDlg::OnPageCheckTick()
{
    GamePageState state;
    state.pageCompleted = m_pageCompleted;
    state.uiHandlerInPlace = m_uiHandlerInstalled && g_uiHandler && g_uiHandler->External() == &m_eventSink;
    state.topLevelTrusted = m_eventSink.TopLevelTrusted();
    if (m_settings.pageCheck.tick(m_hWnd, state))
        return;
    ::KillTimer(m_hWnd, kPageCheckTimerId);
    DestroyWindow();
    ::PostQuitMessage(0);
}

void CGameDlg::OnDestroy()
{
    ::KillTimer(m_hWnd, kPageCheckTimerId);
    ::UnregisterHotKey(m_hWnd, kToggleHotKeyId);
    ::Shell_NotifyIconW(NIM_DELETE, &m_trayIcon);
    if (m_webBrowser)
        m_webBrowser->Stop();
    // The sink lives in this object: nothing may point at it once it goes.
    if (m_eventConnection) {
        m_eventConnection->Unadvise(m_eventCookie);
        m_eventConnection.Reset();
    }
    ForgetUiHandlerExternal(&m_eventSink);
    m_eventSink.SetOwner(nullptr);
    m_webBrowser.Reset();
    if (CMessageLoop* loop = MessageLoopRegistry::Get()) {
        loop->RemoveFilter(m_loopFilter);
        loop->RemoveIdleHandler(m_loopIdle);
    }
    m_loopFilter = m_loopIdle = 0;
}

void CGameDlg::RefreshPage()
{
    if (m_webBrowser)
        m_webBrowser->Refresh();
}

void CGameDlg::ToggleVisible()
{
    ::ShowWindow(m_hWnd, ::IsWindowVisible(m_hWnd) ? SW_HIDE : SW_SHOW);
}

void CGameDlg::ConfirmExit()
{
    if (m_settings.testMode) {
        const std::wstring title = m_titleText; // the window and its title go
        CaptureAndExit(m_hWnd, title.c_str(), CaptureFolder::kCreate);
        return;
    }
    if (::MessageBoxW(m_hWnd, kExitQuestion, kNoticeCaption, MB_OKCANCEL) != IDOK)
        return;
    DestroyWindow();
    ::PostQuitMessage(1);
}

void CGameDlg::ShowPopupMenu(UINT menuId)
{
    ScopedMenu menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menuId)));
    HMENU popup = menu ? ::GetSubMenu(menu.Get(), 0) : nullptr;
    if (!popup)
        return;
    POINT at = {};
    ::GetCursorPos(&at);
    if (!::MonitorFromPoint(at, MONITOR_DEFAULTTONULL)) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (::GetMonitorInfoW(::MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &info)) {
            if (at.x < info.rcWork.left)
                at.x = info.rcWork.left;
            if (at.x >= info.rcWork.right)
                at.x = info.rcWork.right - 1;
        }
    }
    ::SetMenuDefaultItem(popup, 0, TRUE);
    ::SetForegroundWindow(m_hWnd);
    // This window owns the menu, so its choice comes here even when no
    // window of ours is active (a click on the tray icon of a hidden window).
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    // Lets the menu close when the user clicks elsewhere next time.
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CGameDlg::SetTitleText(const wchar_t* text)
{
    if (!text)
        text = L"";
    if (m_settings.pageTitleChanged)
        m_settings.pageTitleChanged(text);
    m_titleText = CutUnits(text, kTitleMaxUnits);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
}

bool CGameDlg::IsTopLevel(IDispatch* browser) const
{
    return SameObject(browser, m_webBrowser.Get());
}

std::wstring CGameDlg::TopLevelUrl() const
{
    CBstr url;
    if (!m_webBrowser || FAILED(m_webBrowser->get_LocationURL(url.Put())) || !url.Get())
        return std::wstring();
    return std::wstring(url.Get(), ::SysStringLen(url.Get()));
}

void CGameDlg::InstallPageUi()
{
    // The handler outlives this page: it gives the object only while the
    // top level is still trusted when a page asks.
    m_pageCompleted = true;
    m_uiHandlerInstalled =
        InstallUiHandler(m_webBrowser.Get(), &m_eventSink, [this] { return m_eventSink.TopLevelTrusted(); });
}

void CGameDlg::HidePageScrollBars()
{
    if (!m_webBrowser)
        return;
    ComPtr<IDispatch> document;
    if (FAILED(m_webBrowser->get_Document(document.Put())) || !document)
        return;
    ComPtr<IHTMLDocument2> html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
    ComPtr<IHTMLElement> body;
    if (!html || FAILED(html->get_body(body.Put())) || !body)
        return;
    CBstr name(L"SCROLL");
    CVariant no(L"no");
    body->setAttribute(name.Get(), *no.Get(), 0);
}
