// The login page's event sink, driven by direct Invoke calls as the browser
// control would make them (arguments in reverse order in the block).
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

VARIANT Of(VARTYPE vt)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

VARIANT StringArg(const CBstr& text)
{
    VARIANT v = Of(VT_BSTR);
    v.bstrVal = text.Get();
    return v;
}

// A URL as the navigation events pass it: a variant by reference.
VARIANT UrlArg(VARIANT* holder)
{
    VARIANT v = Of(VT_BYREF | VT_VARIANT);
    v.pvarVal = holder;
    return v;
}

VARIANT CancelArg(VARIANT_BOOL* cancel)
{
    VARIANT v = Of(VT_BYREF | VT_BOOL);
    v.pboolVal = cancel;
    return v;
}

VARIANT FrameArg(IDispatch* frame)
{
    VARIANT v = Of(VT_DISPATCH);
    v.pdispVal = frame;
    return v;
}

// Arguments in the order the event declares them.
HRESULT Fire(IDispatch* sink, DISPID id, std::vector<VARIANT> declared)
{
    std::reverse(declared.begin(), declared.end());
    DISPPARAMS params = {declared.empty() ? nullptr : declared.data(), nullptr, static_cast<UINT>(declared.size()), 0};
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

class ListenerTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_liveBefore = LiveComObjects();
        m_owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_owner, nullptr);
        listener = MakeComObject<CWebBrwoser2EventListener>(m_owner, &events);
        // A real browser object as the event's frame, to see it silenced.
        CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(frame.Put()));
    }
    void TearDown() override
    {
        DestroyWindow(m_owner);
        // No event keeps the sink alive once its holders let go.
        listener.Reset();
        EXPECT_EQ(LiveComObjects(), m_liveBefore);
    }

    // True once for each WM_DESTROY posted to the owner.
    bool TakeClose()
    {
        MSG msg;
        return PeekMessageW(&msg, m_owner, WM_DESTROY, WM_DESTROY, PM_REMOVE) != FALSE;
    }

    bool FrameSilent()
    {
        VARIANT_BOOL silent = VARIANT_FALSE;
        return frame && SUCCEEDED(frame->get_Silent(&silent)) && silent == VARIANT_TRUE;
    }

    HRESULT BeforeNavigate2(const wchar_t* url, VARIANT_BOOL* cancel)
    {
        CBstr text(url);
        VARIANT holder = StringArg(text);
        return Fire(listener.Get(), DISPID_BEFORENAVIGATE2,
                    {FrameArg(frame.Get()), UrlArg(&holder), Of(VT_BYREF | VT_VARIANT), Of(VT_BYREF | VT_VARIANT),
                     Of(VT_BYREF | VT_VARIANT), Of(VT_BYREF | VT_VARIANT), CancelArg(cancel)});
    }

    HRESULT NewWindow3(const wchar_t* url, VARIANT_BOOL* cancel)
    {
        CBstr text(url);
        CBstr context(L"http://127.0.0.1/page");
        VARIANT flags = Of(VT_I4);
        return Fire(listener.Get(), DISPID_NEWWINDOW3,
                    {Of(VT_BYREF | VT_DISPATCH), CancelArg(cancel), flags, StringArg(context), StringArg(text)});
    }

    LONG m_liveBefore = 0;
    HWND m_owner = nullptr;
    FakeLoginEvents events;
    ComPtr<CWebBrwoser2EventListener> listener;
    ComPtr<IWebBrowser2> frame;
};

} // namespace

TEST_F(ListenerTest, BeforeNavigate2CapturesWithoutCancellingAndCancelsClientCommands)
{
    ASSERT_TRUE(frame) << "no browser object to stand for the frame";
    ASSERT_FALSE(FrameSilent());
    // The game's entry URL: captured, the window told to close, the
    // navigation left to go on.
    events.captureAnswer = true;
    VARIANT_BOOL cancel = VARIANT_TRUE;
    EXPECT_EQ(BeforeNavigate2(L"http://127.0.0.1/x/vexalogin?a=1", &cancel), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    ASSERT_EQ(events.captureUrls.size(), 1u);
    EXPECT_EQ(events.captureUrls[0], L"http://127.0.0.1/x/vexalogin?a=1");
    EXPECT_EQ(events.captureWindow, m_owner);
    EXPECT_TRUE(events.commandUrls.empty()); // a capture is no client command
    EXPECT_TRUE(TakeClose());
    EXPECT_TRUE(FrameSilent());

    // A client command: asked only after the capture declined, cancelled,
    // and the login window is not closed by the sink.
    events.captureAnswer = false;
    events.commandAnswer = true;
    cancel = VARIANT_FALSE;
    BeforeNavigate2(L"http://127.0.0.1/client_cmd?loginerrcode=0", &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    ASSERT_EQ(events.commandUrls.size(), 1u);
    EXPECT_EQ(events.commandUrls[0], L"http://127.0.0.1/client_cmd?loginerrcode=0");
    EXPECT_EQ(events.commandWindow, m_owner);
    EXPECT_FALSE(TakeClose());

    // Anything else goes on.
    events.commandAnswer = false;
    cancel = VARIANT_TRUE;
    BeforeNavigate2(L"http://127.0.0.1/login.html", &cancel);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    EXPECT_EQ(events.captureUrls.size(), 3u);
    EXPECT_EQ(events.commandUrls.size(), 2u);
}

TEST_F(ListenerTest, NewWindow3WithTheMarkerIsCancelledAndCaptured)
{
    events.captureAnswer = true;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    EXPECT_EQ(NewWindow3(L"http://127.0.0.1/x/vexalogin?a=1", &cancel), S_OK);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    ASSERT_EQ(events.captureUrls.size(), 1u);
    EXPECT_EQ(events.captureUrls[0], L"http://127.0.0.1/x/vexalogin?a=1"); // the fifth argument, not the context
    EXPECT_TRUE(TakeClose());

    events.captureAnswer = false;
    events.commandAnswer = true;
    cancel = VARIANT_FALSE;
    NewWindow3(L"http://127.0.0.1/client_cmd?x", &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_FALSE(TakeClose());

    // An ordinary popup: Cancel is left as the browser set it.
    events.commandAnswer = false;
    NewWindow3(L"http://127.0.0.1/popup", &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    cancel = VARIANT_FALSE;
    NewWindow3(L"http://127.0.0.1/popup", &cancel);
    EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST_F(ListenerTest, DocumentCompleteCapturesAndTitleChangeReportsTheTitle)
{
    ASSERT_TRUE(frame);
    ASSERT_FALSE(FrameSilent());
    events.captureAnswer = true;
    CBstr url(L"http://127.0.0.1/x/vexalogin?a=1");
    VARIANT holder = StringArg(url);
    EXPECT_EQ(Fire(listener.Get(), DISPID_DOCUMENTCOMPLETE, {FrameArg(frame.Get()), UrlArg(&holder)}), S_OK);
    ASSERT_EQ(events.captureUrls.size(), 1u);
    EXPECT_TRUE(TakeClose());
    EXPECT_TRUE(FrameSilent());
    EXPECT_TRUE(events.commandUrls.empty()); // a finished document is never a command

    CBstr title(L"Velmora \u767B\u5F55");
    Fire(listener.Get(), DISPID_TITLECHANGE, {StringArg(title)});
    Fire(listener.Get(), DISPID_TITLECHANGE, {Of(VT_I4)});
    ASSERT_EQ(events.titles.size(), 2u);
    EXPECT_EQ(events.titles[0], L"Velmora \u767B\u5F55");
    EXPECT_EQ(events.titles[1], L""); // not a string: empty text
}

TEST_F(ListenerTest, MalformedAndForeignEventsAreAnsweredAndIgnored)
{
    events.captureAnswer = true;
    events.commandAnswer = true;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    // Too few arguments, a URL that is no string, no parameter block, and
    // the events nobody listens to.
    EXPECT_EQ(Fire(listener.Get(), DISPID_BEFORENAVIGATE2, {Of(VT_EMPTY), Of(VT_EMPTY)}), S_OK);
    EXPECT_EQ(Fire(listener.Get(), DISPID_NEWWINDOW3,
                   {Of(VT_EMPTY), CancelArg(&cancel), Of(VT_I4), Of(VT_EMPTY), Of(VT_I4)}),
              S_OK);
    EXPECT_EQ(Fire(listener.Get(), DISPID_DOCUMENTCOMPLETE, {}), S_OK);
    EXPECT_EQ(Fire(listener.Get(), DISPID_TITLECHANGE, {}), S_OK);
    EXPECT_EQ(listener->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                               nullptr),
              S_OK);
    CBstr url(L"http://127.0.0.1/x/vexalogin?a=1");
    EXPECT_EQ(Fire(listener.Get(), DISPID_NEWWINDOW2, {Of(VT_BYREF | VT_DISPATCH), CancelArg(&cancel)}), S_OK);
    EXPECT_EQ(Fire(listener.Get(), DISPID_NAVIGATECOMPLETE2, {Of(VT_DISPATCH), StringArg(url)}), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    EXPECT_TRUE(events.captureUrls.empty());
    EXPECT_TRUE(events.commandUrls.empty());
    EXPECT_EQ(events.titles, std::vector<std::wstring>{L""});

    // After Disconnect nothing is reported any more.
    listener->Disconnect();
    cancel = VARIANT_TRUE;
    BeforeNavigate2(L"http://127.0.0.1/x/vexalogin?a=1", &cancel);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    EXPECT_TRUE(events.captureUrls.empty());
    EXPECT_FALSE(TakeClose());
}

TEST_F(ListenerTest, AnswersTheEventInterfaceAndNoNames)
{
    ComPtr<IDispatch> sink;
    ASSERT_EQ(listener->QueryInterface(DIID_DWebBrowserEvents2, sink.PutVoid()), S_OK);
    EXPECT_EQ(sink.Get(), static_cast<IDispatch*>(listener.Get()));
    ComPtr<IWebBrowser2> none;
    EXPECT_EQ(listener.QueryInterface(&none), E_NOINTERFACE);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"getLocalhostUrl");
    EXPECT_EQ(listener->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);
}
