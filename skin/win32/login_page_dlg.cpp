#include "skin/win32/login_page_dlg.h"

#include "browserhost/browser_host.h"
#include "resources/resource_ids.h"
#include "skin/win32/browser_key_hook.h"
#include "widgets/core/window_title.h"

#include <shellapi.h>

namespace {

// The buttons in set-up order: control, pictures, pixel rectangle, shown.
struct ButtonSetup {
    int id;
    int normal, hover, pressed, disabled;
    int x, y, width, height;
    bool shown;
};

const ButtonSetup kButtons[CMainDlg::kButtonCount] = {
    {IDC_LOGIN_CLOSE, 292, 291, 290, 290, 1148, 140, 32, 32, true},
    {IDC_LOGIN_MINIMISE, 277, 276, 275, 275, 1112, 140, 32, 32, true},
    {IDC_LOGIN_ENTER, 272, 273, 274, 274, 1112, 140, 32, 32, false},
    {IDC_LOGIN_SITE, 289, 288, 287, 287, 1112, 140, 32, 32, false},
    {IDC_LOGIN_PAY, 286, 285, 284, 284, 1112, 140, 32, 32, false},
    {IDC_LOGIN_FORUM, 280, 279, 278, 278, 1112, 140, 32, 32, false},
    {IDC_LOGIN_SERVICE, 283, 282, 281, 281, 1112, 140, 32, 32, false},
};

constexpr wchar_t kExitQuestion[] = L"\u6B63\u5728\u6E38\u620F\u4E2D\uFF0C\u662F\u5426\u786E\u8BA4\u9000\u51FA\u6E38\u620F\uFF1F";
constexpr wchar_t kNoticeCaption[] = L"\u63D0\u793A";

} // namespace

CMainDlg::CMainDlg(HWND parent, const LoginPageSettings& settings, ILoginEvents& events)
    : CDialog(IDD_LOGIN_PAGE)
    , m_colorKey(this)
    , m_parent(parent)
    , m_settings(settings)
    , m_events(events)
{
    RegisterBrowserHostClasses(::GetModuleHandleW(nullptr));
    m_map.Handle(WM_INITDIALOG, [this](WindowMessage&) -> LRESULT {
        OnInitDialog();
        return TRUE;
    });
    m_map.OnCommand(IDC_LOGIN_MINIMISE, BN_CLICKED,
                    [this] { ::PostMessageW(m_parent, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
    m_map.OnCommand(IDC_LOGIN_CLOSE, BN_CLICKED, [this] { ConfirmExit(); });
    m_map.OnCommand(IDC_LOGIN_ENTER, BN_CLICKED, [this] {
        m_events.LoginWindowClosed();
        ::PostMessageW(m_parent, WM_DESTROY, 0, 0);
    });
    m_map.OnCommand(IDC_LOGIN_SITE, BN_CLICKED, [this] { OpenLink(m_settings.siteUrl); });
    m_map.OnCommand(IDC_LOGIN_PAY, BN_CLICKED, [this] { OpenLink(m_settings.payUrl); });
    m_map.OnCommand(IDC_LOGIN_FORUM, BN_CLICKED, [this] { OpenLink(m_settings.forumUrl); });
    m_map.OnCommand(IDC_LOGIN_SERVICE, BN_CLICKED, [this] { OpenLink(m_settings.serviceUrl); });
    m_map.Handle(WM_CTLCOLORDLG,
                 [this](WindowMessage&) -> LRESULT { return reinterpret_cast<LRESULT>(m_colorKey.BackgroundBrush()); });
    // The browser lets go of its sink before its host window (a child of
    // this one) goes and takes the control with it.
    m_map.On(WM_DESTROY, [this](WindowMessage&) {
        m_browser.Close();
        return false;
    });
    // After the commands: this is how the skinned buttons get their
    // WM_DRAWITEM.
    m_map.OnAny(ReflectNotification);
}

bool CMainDlg::Create()
{
    if (!CDialog::Create(m_parent))
        return false;
    ::ShowWindow(m_hWnd, SW_SHOW);
    return true;
}

void CMainDlg::OnInitDialog()
{
    CenterWindow(m_hWnd);
    m_icons.Apply(m_hWnd, IDI_KESTRUN);
    m_browser.Open(::GetDlgItem(m_hWnd, IDC_LOGIN_BROWSER), m_settings, m_parent, m_events);
    if (!m_hWnd)
        return; // a client command on the start page ended the login window
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonSetup& b = kButtons[i];
        HWND button = ::GetDlgItem(m_hWnd, b.id);
        m_buttons[i].Init(button, b.normal, b.hover, b.pressed, b.disabled);
        ::MoveWindow(button, b.x, b.y, b.width, b.height, TRUE);
        if (b.id == IDC_LOGIN_ENTER)
            ::ShowWindow(button, SW_HIDE);
    }
    for (const ButtonSetup& b : kButtons)
        if (!b.shown)
            ::ShowWindow(::GetDlgItem(m_hWnd, b.id), SW_HIDE);
    ::SetWindowTextW(m_hWnd, kWindowTitle);
    m_colorKey.ApplyColorKey(m_hWnd);
}

void CMainDlg::ConfirmExit()
{
    if (::MessageBoxW(m_hWnd, kExitQuestion, kNoticeCaption, MB_OKCANCEL) != IDOK)
        return;
    // Ends at once, with no clean-up and no relaunch.
    RemoveLoginKeyboardHook();
    ::TerminateProcess(::GetCurrentProcess(), 0);
}

void CMainDlg::OpenLink(const std::wstring& url)
{
    // With no address the browser would open its home page instead.
    if (!url.empty())
        ::ShellExecuteW(nullptr, L"open", L"IEXPLORE.exe", url.c_str(), nullptr, SW_SHOW);
}
