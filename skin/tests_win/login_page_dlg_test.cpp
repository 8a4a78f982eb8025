// The login page over the translucent window: its browser in control 1001
// reaching a loopback origin, and its buttons' commands.
#include "base/tests_win/canned_origin.h"
#include "framework/com/com_object.h"
#include "resources/resource_ids.h"
#include "skin/tests_win/fake_login_events.h"
#include "skin/tests_win/run_modal.h"
#include "skin/win32/browser_key_hook.h"
#include "skin/win32/login_page_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The login page with its links caught instead of opened.
class LinkRecordingDlg : public CMainDlg {
public:
    using CMainDlg::CMainDlg;
    std::vector<std::wstring> opened;

protected:
    void OpenLink(const std::wstring& url) override { opened.push_back(url); }
};

void Click(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool Requested(CannedOrigin& origin, const std::string& target)
{
    const std::vector<std::string> requests = origin.Requests();
    return std::any_of(requests.begin(), requests.end(),
                       [&](const std::string& r) { return r.rfind("GET " + target + " ", 0) == 0; });
}

// Answers the exit question with Cancel as soon as it shows.
void CALLBACK CancelExitQuestion(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(L"#32770", L"\u63D0\u793A");
    if (!box)
        return;
    KillTimer(nullptr, timer);
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

// The login window's control layer: a login page of type Page, kept in `page`.
template <class Page>
ControlDialogFactory MakesPage(Page*& page, const LoginPageSettings& settings, ILoginEvents& events)
{
    return [&page, &settings, &events](HWND owner) {
        page = new WindowObject<Page>(owner, settings, events);
        return StandardDialogPtr(page);
    };
}

} // namespace

TEST(LoginPage, MakesItsBrowserInControl1001WhoseStartPageReachesTheOrigin)
{
    CannedOrigin origin;
    origin.Answer(CannedOrigin::WithLength("<html><title>login</title></html>"));
    LoginPageSettings settings;
    settings.loginPageUrl = origin.Url(L"/login.html");
    settings.startUrl = origin.Url(L"/x/login_kq?start=1");
    FakeLoginEvents events;
    const LONG liveBefore = LiveComObjects();
    CMainDlg* page = nullptr;
    WindowObject<CTranslucentDlg> window(events, MakesPage(page, settings, events), nullptr);

    const INT_PTR result = RunModal(window, [&] {
        ASSERT_NE(page, nullptr);
        HWND host = GetDlgItem(page->GetHwnd(), IDC_LOGIN_BROWSER);
        EXPECT_EQ(page->Browser().Host(), host);
        EXPECT_EQ(g_loginBrowserHost, host);
        ASSERT_NE(page->Browser().Browser(), nullptr);
        // Shown, at the page's place on the picture.
        EXPECT_TRUE(IsWindowVisible(host));
        RECT r;
        GetWindowRect(host, &r);
        MapWindowPoints(nullptr, page->GetHwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, 466);
        EXPECT_EQ(r.top, 197);
        EXPECT_EQ(r.right - r.left, 645);
        EXPECT_EQ(r.bottom - r.top, 421);

        // The start page is asked for, and the sink hands its URL on
        // (this one is a test-mode login, so the caller could capture it).
        EXPECT_TRUE(PumpUntil([&] { return Requested(origin, "/x/login_kq?start=1"); }, 10000));
        EXPECT_NE(std::find(events.captureUrls.begin(), events.captureUrls.end(), settings.startUrl),
                  events.captureUrls.end());
        EXPECT_EQ(events.captureWindow, window.Hwnd());
        PostMessageW(window.Hwnd(), WM_DESTROY, 0, 0);
    });
    EXPECT_EQ(result, 1);
    // The page let go of its sink and its host.
    EXPECT_EQ(LiveComObjects(), liveBefore);
    EXPECT_EQ(g_loginBrowserHost, nullptr);
}

// A client command in the start page's own navigation (a test URL may be
// one) ends the login window from inside Navigate2, while the page is still
// being made: the page stops there instead of using the browser it let go of.
TEST(LoginPage, ClientCommandInTheStartPageEndsTheWindowWhileItIsMade)
{
    struct EndingEvents : FakeLoginEvents {
        bool ClientCommand(HWND window, const wchar_t* url) override
        {
            FakeLoginEvents::ClientCommand(window, url);
            DestroyWindow(window); // as the command's capture does
            return true;
        }
    } events;
    LoginPageSettings settings;
    settings.loginPageUrl = L"about:blank";
    settings.startUrl = L"http://127.0.0.1:9/p?client_cmd?loginerrcode=1";
    const LONG liveBefore = LiveComObjects();
    CMainDlg* page = nullptr;
    WindowObject<CTranslucentDlg> window(events, MakesPage(page, settings, events), nullptr);

    RunModal(window, [] {});
    EXPECT_EQ(events.commandUrls, std::vector<std::wstring>{settings.startUrl});
    EXPECT_GE(events.closed, 1);
    EXPECT_EQ(window.Hwnd(), nullptr);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Browser().Browser(), nullptr);
    EXPECT_EQ(g_loginBrowserHost, nullptr);
    EXPECT_EQ(LiveComObjects(), liveBefore);
}

TEST(LoginPage, ButtonsOpenTheLinksMinimiseAskBeforeExitAndEnter)
{
    LoginPageSettings settings;
    settings.startUrl = L"about:blank";
    settings.siteUrl = L"http://site.test/";
    settings.payUrl = L"http://pay.test/pay/g/lurn/";
    settings.forumUrl = L"http://bbs.test/forum-1004-1.html";
    settings.serviceUrl = L"http://www.test/serverCenter/";
    FakeLoginEvents events;
    LinkRecordingDlg* page = nullptr;
    WindowObject<CTranslucentDlg> window(events, MakesPage(page, settings, events), nullptr);

    const INT_PTR result = RunModal(window, [&] {
        ASSERT_NE(page, nullptr);
        HWND dialog = page->GetHwnd();
        for (int id : {IDC_LOGIN_SITE, IDC_LOGIN_PAY, IDC_LOGIN_FORUM, IDC_LOGIN_SERVICE})
            Click(dialog, id);
        EXPECT_EQ(page->opened, (std::vector<std::wstring>{settings.siteUrl, settings.payUrl, settings.forumUrl,
                                                            settings.serviceUrl}));

        Click(dialog, IDC_LOGIN_MINIMISE);
        EXPECT_TRUE(PumpUntil([&] { return IsIconic(window.Hwnd()) != FALSE; }, 2000));
        ShowWindow(window.Hwnd(), SW_RESTORE);

        // Cancelling the exit question leaves everything as it was.
        SetTimer(nullptr, 0, 50, CancelExitQuestion);
        Click(dialog, IDC_LOGIN_CLOSE);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(events.closed, 0);

        Click(dialog, IDC_LOGIN_ENTER);
        EXPECT_EQ(events.closed, 1);
    });
    EXPECT_EQ(result, 1); // the enter button closed the window
}
