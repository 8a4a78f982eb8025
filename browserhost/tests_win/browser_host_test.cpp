// The host window with the platform's WebBrowser control: created from the
// creation text both browser windows use, navigated to a loopback origin,
// its scroll-style rule, and every reference released when it goes.
#include "download/tests_win/canned_origin.h"
#include "browserhost/browser_host.h"
#include "browserhost/win32/creation_text.h"
#include "framework/com/bstr_variant.h"
#include "framework/com/com_object.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Records the URL of every BeforeNavigate2; answers other events harmlessly.
class CNavigationSink final : public ComObject<CNavigationSink, IDispatch> {
public:
    static const ComInterfaceEntry<CNavigationSink> kInterfaces[];
    std::vector<std::wstring> urls;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        // BeforeNavigate2's seven arguments arrive last first: the URL is [5].
        if (id == DISPID_BEFORENAVIGATE2 && params && params->cArgs == 7) {
            const VARIANT& url = params->rgvarg[5];
            if (V_VT(&url) == (VT_BYREF | VT_VARIANT) && V_VT(V_VARIANTREF(&url)) == VT_BSTR)
                urls.push_back(V_BSTR(V_VARIANTREF(&url)));
        }
        return S_OK;
    }
};

const ComInterfaceEntry<CNavigationSink> CNavigationSink::kInterfaces[] = {
    ComEntry<CNavigationSink, IDispatch>(),
    ComEntryAs<CNavigationSink, IDispatch>(DIID_DWebBrowserEvents2),
    {},
};

template <typename Done>
bool PumpUntil(Done done, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

DWORD HostFlags(HWND host)
{
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(AxGetHost(host, unknown.Put()), S_OK);
    const ComPtr<IDocHostUIHandler> ui = unknown.As<IDocHostUIHandler>();
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof info;
    EXPECT_TRUE(ui && ui->GetHostInfo(&info) == S_OK);
    return info.dwFlags;
}

bool HasScrollStyle(HWND window)
{
    return (GetWindowLongPtrW(window, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL)) != 0;
}

class BrowserHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(RegisterBrowserHostClasses(GetModuleHandleW(nullptr)));
        m_parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(m_parent, nullptr);
    }
    void TearDown() override { DestroyWindow(m_parent); }

    HWND MakeHost(DWORD style)
    {
        return CreateWindowExW(0, kBrowserHostClass, L"", WS_CHILD | WS_VISIBLE | style, 3, 29, 400, 300, m_parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    }

    HWND m_parent = nullptr;
};

} // namespace

TEST_F(BrowserHost, CreationTextMakesTheWebBrowserWhichNavigatesAndIsReleasedWithItsWindow)
{
    CannedOrigin origin;
    origin.Answer(CannedOrigin::WithLength("<html><body>login</body></html>"));
    const std::wstring page = origin.Url(L"/velmora/login.html");
    const std::wstring text = L"MSHTML<HTML><BODY><IFRAME scrolling='auto' src='" + page + L"'/></BODY></HTML>";
    const LONG live = LiveComObjects();

    HWND host = MakeHost(WS_VSCROLL);
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(AxCreateControlEx(host, text.c_str()), S_OK);
    ComPtr<IWebBrowser2> browser;
    ASSERT_EQ(AxQueryControl(host, IID_PPV_ARGS(browser.Put())), S_OK);
    CLSID clsid = {};
    ASSERT_EQ(browser.As<IPersistStreamInit>()->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_WebBrowser));
    // A scrolling host gives its scroll bars to the pages.
    EXPECT_FALSE(HasScrollStyle(host));
    EXPECT_EQ(HostFlags(host) & DOCHOSTUIFLAG_SCROLL_NO, 0u);

    ComPtr<CNavigationSink> sink = MakeComObject<CNavigationSink>();
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(browser.As<IConnectionPointContainer>()->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()),
              S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink->Identity(), &cookie), S_OK);
    CVariant url(page.c_str());
    CVariant none;
    ASSERT_EQ(browser->Navigate2(url.Get(), none.Get(), none.Get(), none.Get(), none.Get()), S_OK);
    const bool reached = PumpUntil(
        [&] {
            const auto requests = origin.Requests();
            return std::find(sink->urls.begin(), sink->urls.end(), page) != sink->urls.end() &&
                   std::any_of(requests.begin(), requests.end(), [](const std::string& r) {
                       return r.rfind("GET /velmora/login.html ", 0) == 0;
                   });
        },
        10000);
    EXPECT_TRUE(reached);

    // The control asks its host to take the size it is given.
    EXPECT_EQ(browser->put_Width(250), S_OK);
    EXPECT_EQ(browser->put_Height(120), S_OK);
    RECT r;
    GetWindowRect(host, &r);
    EXPECT_EQ(r.right - r.left, 250);
    EXPECT_EQ(r.bottom - r.top, 120);
    POINT at = {r.left, r.top};
    ScreenToClient(m_parent, &at);
    EXPECT_EQ(at.x, 3);
    EXPECT_EQ(at.y, 29);

    // Control keys go to the control; whatever it answers, the host answers.
    MSG key = {host, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    SendMessageW(host, kForwardMessage, 0, reinterpret_cast<LPARAM>(&key));

    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    point.Reset();
    browser.Reset();
    sink.Reset();
    DestroyWindow(host);
    EXPECT_EQ(LiveComObjects(), live);
}

TEST_F(BrowserHost, HostWithoutScrollStyleTellsPagesToShowNone)
{
    HWND host = MakeHost(0);
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(AxCreateControlEx(host, L"about:blank"), S_OK);
    EXPECT_NE(HostFlags(host) & DOCHOSTUIFLAG_SCROLL_NO, 0u);
    EXPECT_FALSE(HasScrollStyle(host));
    DestroyWindow(host);
}

TEST_F(BrowserHost, BothClassesAnswerAsHostsAndTextsAreReadByTheirRules)
{
    HWND licensed = CreateWindowExW(0, kBrowserHostLicClass, L"", WS_CHILD, 0, 0, 10, 10, m_parent, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(licensed, nullptr);
    ComPtr<IUnknown> host;
    EXPECT_EQ(AxGetHost(licensed, host.Put()), S_OK);
    ComPtr<IUnknown> control;
    EXPECT_EQ(AxQueryControl(licensed, IID_PPV_ARGS(control.Put())), E_NOINTERFACE);
    EXPECT_EQ(AxCreateControlEx(m_parent, L"about:blank"), E_INVALIDARG); // not a host
    EXPECT_EQ(AxCreateControlEx(licensed, L"No.Such.Control"), CO_E_CLASSSTRING);
    // A ProgID: the browser control again, without a navigation.
    ASSERT_EQ(AxCreateControlEx(licensed, L"Shell.Explorer.2"), S_OK);
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(AxQueryControl(licensed, IID_PPV_ARGS(browser.Put())), S_OK);

    EXPECT_EQ(ClassifyCreationText(L"mshtml:<p>x</p>"), CreationKind::HtmlDocument);
    EXPECT_STREQ(CreationTextHtml(L"Mshtml:<b>"), L"<b>");
    // The seventh character is '<', not ':': a URL.
    EXPECT_EQ(ClassifyCreationText(L"MSHTML<HTML><BODY><IFRAME src='http://h/'/>"), CreationKind::Url);
    EXPECT_EQ(ClassifyCreationText(L"Shell.Explorer.2"), CreationKind::ClassName);
    DestroyWindow(licensed);
}
