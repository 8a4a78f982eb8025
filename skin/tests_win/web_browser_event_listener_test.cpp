// The login page's event sink, driven by direct Invoke calls as the browser
// control makes them (arguments in reverse order in the block).
#include "framework/com/bstr_variant.h"
#include "framework/com/com_object.h"
#include "skin/tests_win/fake_login_events.h"
#include "skin/win32/web_browser_event_listener.h"

#include <exdisp.h>
#include <exdispid.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

VARIANT Of(VARTYPE vt, void* value = nullptr)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.byref = value; // shares its storage with every pointer member
    return v;
}

class ListenerTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_liveBefore = LiveComObjects();
        m_owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        listener = MakeComObject<CWebBrwoser2EventListener>(m_owner, &events);
        // A real browser object stands for the event's frame, to see it silenced.
        CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(frame.Put()));
        ASSERT_TRUE(frame);
        ASSERT_FALSE(FrameSilent());
    }
    void TearDown() override
    {
        DestroyWindow(m_owner);
        // No event keeps the sink alive once its holders let go.
        listener.Reset();
        EXPECT_EQ(LiveComObjects(), m_liveBefore);
    }

    // Arguments in the order the event declares them.
    HRESULT Fire(DISPID id, std::vector<VARIANT> declared)
    {
        std::reverse(declared.begin(), declared.end());
        DISPPARAMS params = {declared.data(), nullptr, static_cast<UINT>(declared.size()), 0};
        return listener->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
    void BeforeNavigate2(const wchar_t* url, VARIANT_BOOL* cancel)
    {
        CBstr text(url);
        VARIANT held = Of(VT_BSTR, text.Get());
        VARIANT none = Of(VT_BYREF | VT_VARIANT);
        EXPECT_EQ(Fire(DISPID_BEFORENAVIGATE2, {Of(VT_DISPATCH, frame.Get()), Of(VT_BYREF | VT_VARIANT, &held), none,
                                                none, none, none, Of(VT_BYREF | VT_BOOL, cancel)}),
                  S_OK);
    }
    void NewWindow3(const wchar_t* url, VARIANT_BOOL* cancel)
    {
        CBstr text(url);
        CBstr context(L"http://127.0.0.1/page");
        EXPECT_EQ(Fire(DISPID_NEWWINDOW3, {Of(VT_BYREF | VT_DISPATCH), Of(VT_BYREF | VT_BOOL, cancel), Of(VT_I4),
                                           Of(VT_BSTR, context.Get()), Of(VT_BSTR, text.Get())}),
                  S_OK);
    }
    // True once for each WM_DESTROY posted to the login window.
    bool TakeClose()
    {
        MSG msg;
        return PeekMessageW(&msg, m_owner, WM_DESTROY, WM_DESTROY, PM_REMOVE) != FALSE;
    }
    bool FrameSilent()
    {
        VARIANT_BOOL silent = VARIANT_FALSE;
        return SUCCEEDED(frame->get_Silent(&silent)) && silent == VARIANT_TRUE;
    }

    LONG m_liveBefore = 0;
    HWND m_owner = nullptr;
    FakeLoginEvents events;
    ComPtr<CWebBrwoser2EventListener> listener;
    ComPtr<IWebBrowser2> frame;
};

const wchar_t kEntry[] = L"http://127.0.0.1/x/vexalogin?a=1";
const wchar_t kCommand[] = L"http://127.0.0.1/client_cmd?loginerrcode=0";

} // namespace

TEST_F(ListenerTest, BeforeNavigate2CapturesWithoutCancellingAndCancelsClientCommands)
{
    // The game's entry URL: captured, the login window told to close, the
    // navigation left to go on, no client command asked for.
    events.captureAnswer = true;
    VARIANT_BOOL cancel = VARIANT_TRUE;
    BeforeNavigate2(kEntry, &cancel);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    EXPECT_EQ(events.captureUrls, std::vector<std::wstring>{kEntry});
    EXPECT_EQ(events.captureWindow, m_owner);
    EXPECT_TRUE(events.commandUrls.empty());
    EXPECT_TRUE(TakeClose());
    EXPECT_TRUE(FrameSilent());

    // A client command: cancelled; closing is the command's own business.
    events.captureAnswer = false;
    events.commandAnswer = true;
    BeforeNavigate2(kCommand, &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_EQ(events.commandUrls, std::vector<std::wstring>{kCommand});
    EXPECT_EQ(events.commandWindow, m_owner);
    EXPECT_FALSE(TakeClose());

    // Anything else goes on.
    events.commandAnswer = false;
    BeforeNavigate2(L"http://127.0.0.1/login.html", &cancel);
    EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST_F(ListenerTest, NewWindow3WithTheMarkerIsCancelledAndCaptured)
{
    events.captureAnswer = true;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    NewWindow3(kEntry, &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_EQ(events.captureUrls, std::vector<std::wstring>{kEntry}); // the URL, not its context
    EXPECT_TRUE(TakeClose());

    events.captureAnswer = false;
    events.commandAnswer = true;
    cancel = VARIANT_FALSE;
    NewWindow3(kCommand, &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    // An ordinary popup: Cancel stays as the browser set it, either way.
    events.commandAnswer = false;
    for (VARIANT_BOOL preset : {VARIANT_TRUE, VARIANT_FALSE}) {
        cancel = preset;
        NewWindow3(L"http://127.0.0.1/popup", &cancel);
        EXPECT_EQ(cancel, preset);
    }
}

TEST_F(ListenerTest, DocumentCompleteCapturesAndTitleChangeReportsTheTitle)
{
    events.captureAnswer = true;
    CBstr url(kEntry);
    VARIANT held = Of(VT_BSTR, url.Get());
    EXPECT_EQ(Fire(DISPID_DOCUMENTCOMPLETE, {Of(VT_DISPATCH, frame.Get()), Of(VT_BYREF | VT_VARIANT, &held)}), S_OK);
    EXPECT_EQ(events.captureUrls, std::vector<std::wstring>{kEntry});
    EXPECT_TRUE(TakeClose());
    EXPECT_TRUE(FrameSilent());
    EXPECT_TRUE(events.commandUrls.empty()); // a finished document is never a command

    CBstr title(L"Velmora \u767B\u5F55");
    Fire(DISPID_TITLECHANGE, {Of(VT_BSTR, title.Get())});
    Fire(DISPID_TITLECHANGE, {Of(VT_I4)});
    EXPECT_EQ(events.titles, (std::vector<std::wstring>{L"Velmora \u767B\u5F55", L""}));
}

TEST_F(ListenerTest, ShortOrMissingArgumentsAndLateEventsAreIgnored)
{
    events.captureAnswer = true;
    CBstr url(kEntry);
    // Counted from the end, this block's last argument would pass for the URL.
    EXPECT_EQ(Fire(DISPID_BEFORENAVIGATE2, {Of(VT_EMPTY), Of(VT_BSTR, url.Get())}), S_OK);
    EXPECT_EQ(Fire(DISPID_DOCUMENTCOMPLETE, {Of(VT_BSTR, url.Get())}), S_OK);
    EXPECT_EQ(listener->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_TRUE(events.captureUrls.empty());

    // Once the page has disconnected it, nothing reaches its caller.
    listener->Disconnect();
    VARIANT_BOOL cancel = VARIANT_TRUE;
    BeforeNavigate2(kEntry, &cancel);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    EXPECT_TRUE(events.captureUrls.empty());
    EXPECT_FALSE(TakeClose());
}
