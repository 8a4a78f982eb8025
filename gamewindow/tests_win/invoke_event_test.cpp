// The game window's event sink and script object, called directly as the
// browser and page scripts call them (pages run no script under Wine).
#include "framework/com/bstr_variant.h"
#include "framework/com/com_ptr.h"
#include "gamewindow/core/login_state.h"
#include "gamewindow/win32/invoke_event.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class RecordingOwner : public IGameEventOwner {
public:
    HWND GameWindow() const override { return window; }
    const wchar_t* TitleText() const override { return title.c_str(); }
    void SetTitleText(const wchar_t* text) override { title = text; }
    bool IsTopLevel(IDispatch* browser) const override { return browser == topLevel; }
    std::wstring TopLevelUrl() const override { return topUrl; }
    void InstallPageUi() override { ++uiInstalls; }
    void HidePageScrollBars() override { ++scrollOffs; }

    HWND window = nullptr;
    IDispatch* topLevel = nullptr;
    std::wstring topUrl = L"http://www.g.example/vexalogin?a=1";
    std::wstring title = L"unchanged";
    int uiInstalls = 0;
    int scrollOffs = 0;
};

// Event arguments in the order the event declares them; the block holds them
// reversed, as the browser sends them.
class Args {
public:
    // A string argument; null gives a VT_BSTR holding a null string.
    Args& String(const wchar_t* text)
    {
        m_values.emplace_back(text);
        if (!text)
            ::SysFreeString(std::exchange(V_BSTR(m_values.back().Get()), nullptr));
        return *this;
    }
    Args& Value(CVariant v)
    {
        m_values.push_back(std::move(v));
        return *this;
    }
    // A variant by reference to a string, as BeforeNavigate2 and
    // DocumentComplete pass their URL.
    Args& StringRef(const wchar_t* text)
    {
        m_targets.emplace_back(new CVariant(text));
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&v) = m_targets.back()->Get();
        m_values.emplace_back();
        *m_values.back().Put() = v;
        return *this;
    }
    Args& Dispatch(IDispatch* object)
    {
        m_values.emplace_back(object);
        return *this;
    }
    Args& Cancel(VARIANT_BOOL* flag)
    {
        m_values.emplace_back();
        VARIANT* v = m_values.back().Put();
        V_VT(v) = VT_BOOL | VT_BYREF;
        V_BOOLREF(v) = flag;
        return *this;
    }
    Args& Empty(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            m_values.emplace_back();
        return *this;
    }
    DISPPARAMS* Params()
    {
        m_block.clear();
        for (auto it = m_values.rbegin(); it != m_values.rend(); ++it)
            m_block.push_back(*it->Get());
        m_params = {m_block.data(), nullptr, static_cast<UINT>(m_block.size()), 0};
        return &m_params;
    }

private:
    std::vector<CVariant> m_values;
    std::vector<std::unique_ptr<CVariant>> m_targets;
    std::vector<VARIANT> m_block; // shallow copies: m_values owns them
    DISPPARAMS m_params = {};
};

HRESULT Call(CInvokeEvent& sink, DISPID id, Args& args, VARIANT* result = nullptr)
{
    return sink.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, args.Params(), result, nullptr, nullptr);
}

class GameSink : public ::testing::Test {
protected:
    void SetUp() override
    {
        sink.SetOwner(&owner);
        sink.SetExternal(ExternalSettings{23000, [this] { return cdn; }, [this](const std::string& u) { cdn = u; },
                                          "http://cdn.example/"});
        sink.SetTrustedSites(TrustedSites("g.example;cdn2.example"));
        ASSERT_TRUE(SUCCEEDED(
            CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(browser.Put()))));
        top = browser.As<IDispatch>(IID_IDispatch);
        owner.topLevel = top.Get();
    }

    RecordingOwner owner;
    CInvokeEvent sink;
    std::string cdn = "http://cdn.example/";
    ComPtr<IWebBrowser2> browser;
    ComPtr<IDispatch> top;
};

} // namespace

TEST_F(GameSink, TitleChangeTakesOnlyAString)
{
    Args title;
    title.String(L"Velmora - S7");
    EXPECT_EQ(Call(sink, DISPID_TITLECHANGE, title), S_OK);
    EXPECT_EQ(owner.title, L"Velmora - S7");
    Args number;
    number.Value(CVariant(LONG(5)));
    Call(sink, DISPID_TITLECHANGE, number);
    EXPECT_EQ(owner.title, L"");
    Args none;
    owner.title = L"x";
    Call(sink, DISPID_TITLECHANGE, none);
    EXPECT_EQ(owner.title, L"");
    EXPECT_EQ(sink.Invoke(DISPID_TITLECHANGE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              E_INVALIDARG);
}

TEST_F(GameSink, DocumentCompleteActsOnTheTopLevelDocumentOnly)
{
    ComPtr<IWebBrowser2> frameBrowser;
    ASSERT_TRUE(SUCCEEDED(
        CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(frameBrowser.Put()))));
    ComPtr<IDispatch> frame = frameBrowser.As<IDispatch>(IID_IDispatch);

    auto complete = [&](IDispatch* which, const wchar_t* url) {
        Args a;
        a.Dispatch(which).StringRef(url);
        EXPECT_EQ(Call(sink, DISPID_DOCUMENTCOMPLETE, a), S_OK);
    };
    complete(frame.Get(), L"http://g.example/vexalogin?openid=1&openkey=2");
    EXPECT_EQ(owner.uiInstalls, 0);
    EXPECT_EQ(owner.scrollOffs, 0);
    complete(top.Get(), L"http://g.example/vexalogin?a=1");
    EXPECT_EQ(owner.uiInstalls, 1);
    EXPECT_EQ(owner.scrollOffs, 0);
    complete(top.Get(), L"vexalogin?openid=1&openkey=2"); // marker at the very start
    EXPECT_EQ(owner.uiInstalls, 1);
    EXPECT_EQ(owner.scrollOffs, 1);
    complete(top.Get(), L"http://g.example/p?openid=1");
    EXPECT_EQ(owner.scrollOffs, 1);
    // The marker on a foreign site gives it nothing, however it is written.
    complete(top.Get(), L"https://evil.example/x?vexalogin");
    EXPECT_EQ(owner.uiInstalls, 1);

    // Arguments missing or of the wrong kind are ignored.
    Args shortArgs;
    shortArgs.Dispatch(top.Get());
    EXPECT_EQ(Call(sink, DISPID_DOCUMENTCOMPLETE, shortArgs), S_OK);
    Args wrong;
    wrong.Dispatch(top.Get()).Value(CVariant(LONG(1)));
    EXPECT_EQ(Call(sink, DISPID_DOCUMENTCOMPLETE, wrong), S_OK);
    EXPECT_EQ(owner.uiInstalls, 1);
}

TEST_F(GameSink, OrdinaryNavigationsAndPopupsGoAhead)
{
    ASSERT_TRUE(SUCCEEDED(browser->put_Silent(VARIANT_FALSE)));
    VARIANT_BOOL cancel = VARIANT_TRUE;
    Args navigate;
    navigate.Dispatch(top.Get()).StringRef(L"http://g.example/page").Empty(4).Cancel(&cancel);
    EXPECT_EQ(Call(sink, DISPID_BEFORENAVIGATE2, navigate), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    VARIANT_BOOL silent = VARIANT_FALSE;
    browser->get_Silent(&silent);
    EXPECT_EQ(silent, VARIANT_TRUE);

    cancel = VARIANT_TRUE;
    Args popup;
    popup.Empty().Cancel(&cancel).Empty(2).String(L"http://g.example/popup");
    EXPECT_EQ(Call(sink, DISPID_NEWWINDOW3, popup), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE);
}

// A client command in a popup (the end-to-end test has one in a navigation):
// cancelled, the window saved as a picture, destroyed, and the run ended.
// The picture folder is made only when the run asks for pictures (test mode).
TEST_F(GameSink, ClientCommandCapturesTheWindowAndEndsTheRun)
{
    const struct {
        const char* what;
        CaptureFolder policy;
        bool folderThere;
        bool pictureWanted;
    } cases[] = {
        {"test mode makes the folder", CaptureFolder::kCreate, false, true},
        {"a player's folder that is there", CaptureFolder::kExisting, true, true},
        {"no folder, no picture", CaptureFolder::kExisting, false, false},
    };
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring work = std::wstring(folder) + L"kestrun_capture_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(work.c_str(), nullptr);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(work.c_str()));
    const wchar_t* name = L"yw_test\\Game_ 2_2&pf=qq&_&serverId=7&.bmp";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.folderThere)
            CreateDirectoryW(L"yw_test", nullptr);
        g_loginPf = "&pf=qq&";
        g_loginServerId = "&serverId=7&";
        sink.SetCaptureFolder(c.policy);
        owner.window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 10, nullptr, nullptr,
                                       nullptr, nullptr);
        ASSERT_TRUE(owner.window);
        owner.title = L"Game: 2/2"; // ':' and '/' cannot be in a file name

        VARIANT_BOOL cancel = VARIANT_FALSE;
        Args popup;
        popup.Empty().Cancel(&cancel).Empty(2).String(L"http://g.example/client_cmd?loginerrcode=0");
        Call(sink, DISPID_NEWWINDOW3, popup);
        EXPECT_EQ(cancel, VARIANT_TRUE);
        EXPECT_FALSE(IsWindow(owner.window));
        MSG quit;
        ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(quit.wParam, 1u);

        FILE* f = _wfopen(name, L"rb");
        EXPECT_EQ(f != nullptr, c.pictureWanted);
        EXPECT_EQ(GetFileAttributesW(L"yw_test") != INVALID_FILE_ATTRIBUTES, c.pictureWanted);
        if (f) {
            unsigned char h[54] = {};
            fread(h, 1, sizeof h, f);
            fseek(f, 0, SEEK_END);
            const long size = ftell(f);
            fclose(f);
            auto u32 = [&h](int at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | unsigned(h[at + 3]) << 24; };
            EXPECT_EQ(h[0], 'B');
            EXPECT_EQ(h[1], 'M');
            EXPECT_EQ(u32(2), static_cast<unsigned>(size));
            EXPECT_EQ(u32(18), 100u); // the client area
            EXPECT_EQ(u32(22), 10u);
            const unsigned depth = h[28];
            const unsigned row = (100 * depth + 31) / 32 * 4;
            EXPECT_EQ(u32(10), 54u + (depth <= 8 ? (4u << depth) : 0u));
            EXPECT_EQ(static_cast<unsigned>(size), u32(10) + row * 10);
        }
        DeleteFileW(name);
        RemoveDirectoryW(L"yw_test");
    }
    SetCurrentDirectoryW(previous);
    RemoveDirectoryW(work.c_str());
    g_loginPf.clear();
    g_loginServerId.clear();
    g_loginErrCode.clear();
}

TEST_F(GameSink, ScriptMethodNamesInAnyCase)
{
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"GETLOCALHOSTURL");
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, kDispGetLocalhostUrl);
    name = const_cast<LPOLESTR>(L"setwebcdnurl");
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, kDispSetWebCdnUrl);
    name = const_cast<LPOLESTR>(L"close");
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 0, 0, &id), E_NOTIMPL);
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_NOTIMPL);
}

TEST_F(GameSink, ScriptMethodsCheckTheirArguments)
{
    CVariant result;
    Args none;
    EXPECT_EQ(Call(sink, kDispGetLocalhostUrl, none, result.Put()), S_OK);
    ASSERT_EQ(result.Type(), VT_BSTR);
    EXPECT_STREQ(V_BSTR(result.Get()), L"http://localhost:23000/wz_cdn/");
    Args extra;
    extra.String(L"x");
    EXPECT_EQ(Call(sink, kDispGetLocalhostUrl, extra, result.Put()), E_INVALIDARG);

    Args number;
    number.Value(CVariant(LONG(3)));
    EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, number, result.Put()), E_INVALIDARG);
    // VT_BOOL (11) shares the VT_BSTR bit: read as a string it would crash.
    Args flag;
    flag.Value(CVariant(true));
    EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, flag, result.Put()), E_INVALIDARG);
    EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, none, result.Put()), E_INVALIDARG);
    EXPECT_EQ(cdn, "http://cdn.example/");
}

// The page may move the cache to any web base, with or without a "/" at the
// end, but not to the cache server itself (its own port, 23000 here); it
// always gets back the base in force.
TEST_F(GameSink, SetWebCdnUrlTakesAWebBaseOtherThanTheServerItself)
{
    const struct {
        const wchar_t* asked;
        const wchar_t* inForce;
    } steps[] = {
        {L"x/", L"http://cdn.example/"}, // no scheme: refused
        {L"http://cdn2.example/res", L"http://cdn2.example/res"},
        {L"http://127.0.0.1:23000/", L"http://cdn2.example/res"},
        {L"https://evil.example/", L"http://cdn2.example/res"}, // not a trusted site
        {nullptr, L""}, // a null string changes nothing
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.asked ? step.asked : L"(null)");
        Args a;
        a.String(step.asked);
        CVariant result;
        EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, a, result.Put()), S_OK);
        ASSERT_EQ(result.Type(), VT_BSTR);
        EXPECT_STREQ(V_BSTR(result.Get()) ? V_BSTR(result.Get()) : L"", step.inForce);
    }
    EXPECT_EQ(cdn, "http://cdn2.example/res");
}

// Once the top level has moved to a foreign site, the script object refuses
// every call and changes nothing, whatever page had it before.
TEST_F(GameSink, ScriptObjectAnswersOnlyWhileTheTopLevelIsTrusted)
{
    Args base;
    base.String(L"http://cdn2.example/b/");
    CVariant result;
    ASSERT_EQ(Call(sink, kDispSetWebCdnUrl, base, result.Put()), S_OK);
    EXPECT_TRUE(sink.TopLevelTrusted());

    for (const wchar_t* foreign : {L"https://evil.example/", L""}) {
        owner.topUrl = foreign;
        EXPECT_FALSE(sink.TopLevelTrusted()) << foreign;
        Args moved;
        moved.String(L"http://cdn2.example/evil/");
        CVariant refused;
        EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, moved, refused.Put()), E_ACCESSDENIED);
        EXPECT_EQ(refused.Type(), VT_EMPTY);
        Args none;
        EXPECT_EQ(Call(sink, kDispGetLocalhostUrl, none, refused.Put()), E_ACCESSDENIED);
    }
    EXPECT_EQ(cdn, "http://cdn2.example/b/");

    // Under an https built-in base a page may not go back to http.
    owner.topUrl = L"https://g.example/vexalogin";
    sink.SetExternal(ExternalSettings{23000, [this] { return cdn; }, [this](const std::string& u) { cdn = u; },
                                      "https://cdn.example/"});
    Args downgrade;
    downgrade.String(L"http://cdn2.example/c/");
    EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, downgrade, result.Put()), S_OK);
    EXPECT_STREQ(V_BSTR(result.Get()), L"http://cdn2.example/b/");
    Args secure;
    secure.String(L"https://cdn2.example/c/");
    EXPECT_EQ(Call(sink, kDispSetWebCdnUrl, secure, result.Put()), S_OK);
    EXPECT_EQ(cdn, "https://cdn2.example/c/");
}

// A foreign frame or popup inside the game page cannot end the program.
TEST_F(GameSink, ClientCommandOfAForeignPageIsIgnored)
{
    g_loginErrCode.clear();
    owner.window =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner.window);
    ComPtr<IWebBrowser2> frameBrowser;
    ASSERT_TRUE(SUCCEEDED(
        CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(frameBrowser.Put()))));
    ComPtr<IDispatch> frame = frameBrowser.As<IDispatch>(IID_IDispatch);

    VARIANT_BOOL cancel = VARIANT_TRUE;
    Args navigate;
    navigate.Dispatch(frame.Get()).StringRef(L"http://evil.example/client_cmd?loginerrcode=0").Empty(4).Cancel(&cancel);
    EXPECT_EQ(Call(sink, DISPID_BEFORENAVIGATE2, navigate), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE);
    cancel = VARIANT_TRUE;
    Args popup;
    popup.Empty().Cancel(&cancel).Empty(2).String(L"javascript:'http://g.example/client_cmd?'");
    EXPECT_EQ(Call(sink, DISPID_NEWWINDOW3, popup), S_OK);
    EXPECT_EQ(cancel, VARIANT_FALSE);

    EXPECT_TRUE(IsWindow(owner.window));
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_TRUE(g_loginErrCode.empty());
    DestroyWindow(owner.window);
}

// The self-test's report method exists only once the caller enables it, and
// answers only a trusted top-level page of exactly the origin it names.
TEST_F(GameSink, PageReportOnlyWhenEnabledAndOnlyForItsOrigin)
{
    LPOLESTR name = const_cast<LPOLESTR>(L"selfTestReport");
    DISPID id = 0;
    EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);
    Args pair;
    pair.String(L"k").String(L"v");
    EXPECT_EQ(Call(sink, kDispSelfTestReport, pair), DISP_E_MEMBERNOTFOUND);

    std::vector<std::wstring> got;
    const auto record = [&got](const std::wstring& k, const std::wstring& v) { got.push_back(k + L"=" + v); };
    sink.SetPageReport("not an origin", record);
    EXPECT_EQ(Call(sink, kDispSelfTestReport, pair), DISP_E_MEMBERNOTFOUND);

    sink.SetPageReport("http://g.example:8080", record);
    ASSERT_EQ(sink.GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, kDispSelfTestReport);
    const struct {
        const wchar_t* top;
        HRESULT result;
    } pages[] = {
        {L"http://g.example:8080/vexalogin", S_OK},
        {L"http://g.example/vexalogin", E_ACCESSDENIED},      // trusted, another port
        {L"https://g.example:8080/vexalogin", E_ACCESSDENIED}, // another scheme
        {L"http://cdn2.example:8080/", E_ACCESSDENIED},        // trusted, another host
        {L"http://evil.example:8080/", E_ACCESSDENIED},
    };
    for (const auto& page : pages) {
        owner.topUrl = page.top;
        EXPECT_EQ(Call(sink, kDispSelfTestReport, pair), page.result) << page.top;
    }
    owner.topUrl = L"http://g.example:8080/vexalogin";
    Args one;
    one.String(L"k");
    Args number;
    number.String(L"k").Value(CVariant(LONG(3)));
    EXPECT_EQ(Call(sink, kDispSelfTestReport, one), E_INVALIDARG);
    EXPECT_EQ(Call(sink, kDispSelfTestReport, number), E_INVALIDARG);
    EXPECT_EQ(got, std::vector<std::wstring>{L"k=v"});
}
