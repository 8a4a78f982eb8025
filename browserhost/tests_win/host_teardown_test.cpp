// The container side against a control of our own that logs what its host
// does to it and counts its references: a host window taken over from a
// dialog's STATIC control activates it, forwards keys and sizes to it, and
// on destruction tears it down in order and lets go of every reference.
#include "browserhost/browser_host.h"
#include "framework/com/bstr_variant.h"
#include "framework/com/com_object.h"
#include "framework/win32/window.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <olectl.h>
#include <oleidl.h>

#include <string>
#include <vector>

namespace {

class CFakeControl final : public ComObject<CFakeControl, IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject> {
public:
    static const ComInterfaceEntry<CFakeControl> kInterfaces[];

    std::vector<std::string> log;
    ComPtr<IOleClientSite> site;
    ComPtr<IOleInPlaceSite> inPlaceSite;
    ComPtr<IOleInPlaceFrame> frame;
    RECT rects = {};
    bool ambientUserMode = false;
    HRESULT ambientSilent = S_OK;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* newSite) override
    {
        log.push_back(newSite ? "SetClientSite" : "SetClientSite(null)");
        site = ComPtr<IOleClientSite>(newSite);
        if (const ComPtr<IDispatch> ambient = site.As<IDispatch>()) {
            CVariant userMode;
            ambientUserMode = SUCCEEDED(Get(ambient, DISPID_AMBIENT_USERMODE, userMode.Put())) &&
                              userMode.Type() == VT_BOOL && V_BOOL(userMode.Get()) == VARIANT_TRUE;
            CVariant silent;
            ambientSilent = Get(ambient, -5502, silent.Put());
        }
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** out) override { return site.CopyTo(out); }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD how) override
    {
        log.push_back("Close(" + std::to_string(how) + ")");
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT position) override
    {
        log.push_back("DoVerb(" + std::to_string(verb) + ")");
        if (verb == OLEIVERB_INPLACEACTIVATE) {
            if (FAILED(site.QueryInterface(&inPlaceSite)) || inPlaceSite->CanInPlaceActivate() != S_OK)
                return E_FAIL;
            HWND window = nullptr;
            inPlaceSite->GetWindow(&window);
            EXPECT_EQ(window, parent);
            inPlaceSite->OnInPlaceActivate();
            ComPtr<IOleInPlaceUIWindow> document;
            RECT clip;
            OLEINPLACEFRAMEINFO info = {};
            info.cb = sizeof info;
            inPlaceSite->GetWindowContext(frame.Put(), document.Put(), &rects, &clip, &info);
            EXPECT_TRUE(EqualRect(&rects, position));
        } else if (verb == OLEIVERB_UIACTIVATE && inPlaceSite) {
            inPlaceSite->OnUIActivate();
            frame->SetActiveObject(this, L"fake");
        }
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override
    {
        *status = OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND*) override { return E_FAIL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override
    {
        log.push_back("InPlaceDeactivate");
        inPlaceSite->OnInPlaceDeactivate();
        inPlaceSite.Reset();
        frame.Reset();
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override
    {
        log.push_back("UIDeactivate");
        frame->SetActiveObject(nullptr, nullptr);
        inPlaceSite->OnUIDeactivate(FALSE);
        return S_OK;
    }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override
    {
        rects = *position;
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject: takes the Tab key only.
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override
    {
        return msg->message == WM_KEYDOWN && msg->wParam == VK_TAB ? S_OK : S_FALSE;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

private:
    static HRESULT Get(const ComPtr<IDispatch>& ambient, DISPID id, VARIANT* out)
    {
        DISPPARAMS none = {};
        return ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr,
                               nullptr);
    }
};

const ComInterfaceEntry<CFakeControl> CFakeControl::kInterfaces[] = {
    ComEntry<CFakeControl, IOleObject>(),
    ComEntry<CFakeControl, IOleWindow, IOleInPlaceObject>(),
    ComEntry<CFakeControl, IOleInPlaceObject>(),
    ComEntry<CFakeControl, IOleInPlaceActiveObject>(),
    {},
};

class PageDialogBase : public CDialog {
public:
    PageDialogBase() : CDialog(IDD_LOGIN_PAGE) {}
};

ULONG Refs(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

LRESULT Forward(HWND host, UINT message, WPARAM key)
{
    MSG msg = {host, message, key, 0, 0, {0, 0}};
    return SendMessageW(host, kForwardMessage, 0, reinterpret_cast<LPARAM>(&msg));
}

} // namespace

TEST(BrowserHostContainer, TakenOverStaticActivatesItsControlAndTearsItDownInOrder)
{
    WindowObject<PageDialogBase> dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    HWND host = GetDlgItem(dialog.Hwnd(), IDC_LOGIN_BROWSER);
    ASSERT_TRUE(AxAttachToWindow(host));
    EXPECT_TRUE(AxAttachToWindow(host)); // a host already
    MoveWindow(host, 466, 197, 645, 421, FALSE);

    ComPtr<CFakeControl> fake = MakeComObject<CFakeControl>();
    const LONG live = LiveComObjects(); // the host and the fake
    ASSERT_EQ(AxAttachControl(host, fake->Identity()), S_OK);
    EXPECT_EQ(fake->log, (std::vector<std::string>{"SetClientSite", "DoVerb(-5)"}));
    EXPECT_EQ(fake->rects.right, 645);
    EXPECT_EQ(fake->rects.bottom, 421);
    EXPECT_TRUE(fake->ambientUserMode);
    EXPECT_EQ(fake->ambientSilent, DISP_E_MEMBERNOTFOUND);

    ComPtr<IOleObject> ole;
    EXPECT_EQ(AxQueryControl(host, IID_PPV_ARGS(ole.Put())), S_OK);
    EXPECT_EQ(ole.Get(), static_cast<IOleObject*>(fake.Get()));
    ole.Reset();
    ComPtr<IWebBrowser2> notABrowser;
    EXPECT_EQ(AxQueryControl(host, IID_PPV_ARGS(notABrowser.Put())), E_NOINTERFACE);
    IUnknown* control = reinterpret_cast<IUnknown*>(SendMessageW(host, BrowserHostGetControlMessage(), 0, 0));
    EXPECT_EQ(control, fake->Identity());
    if (control)
        control->Release();

    // Keys the control translates are answered non-zero, others zero.
    EXPECT_NE(Forward(host, WM_KEYDOWN, VK_TAB), 0);
    EXPECT_EQ(Forward(host, WM_KEYDOWN, 'A'), 0);
    EXPECT_EQ(SendMessageW(host, kForwardMessage, 0, 0), 0);

    // The control follows the host's size.
    MoveWindow(host, 0, 0, 320, 200, FALSE);
    EXPECT_EQ(fake->rects.right, 320);
    EXPECT_EQ(fake->rects.bottom, 200);
    // Focus makes it UI-active.
    SendMessageW(host, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(fake->log.back(), "DoVerb(-4)");

    fake->log.clear();
    dialog.DestroyWindow();
    EXPECT_EQ(fake->log,
              (std::vector<std::string>{"UIDeactivate", "InPlaceDeactivate", "Close(1)", "SetClientSite(null)"}));
    EXPECT_FALSE(fake->site);
    EXPECT_EQ(Refs(fake->Identity()), 1u); // ours alone
    EXPECT_EQ(LiveComObjects(), live - 1); // the host is gone
}

TEST(BrowserHostContainer, ReplacingTheControlReleasesTheFirst)
{
    ASSERT_TRUE(RegisterBrowserHostClasses(GetModuleHandleW(nullptr)));
    HWND host = CreateWindowExW(0, kBrowserHostClass, L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    ComPtr<CFakeControl> first = MakeComObject<CFakeControl>();
    ComPtr<CFakeControl> second = MakeComObject<CFakeControl>();
    const LONG live = LiveComObjects();
    ASSERT_EQ(AxAttachControl(host, first->Identity()), S_OK);
    ASSERT_EQ(AxAttachControl(host, second->Identity()), S_OK);
    EXPECT_EQ(first->log.back(), "SetClientSite(null)");
    EXPECT_EQ(Refs(first->Identity()), 1u);
    EXPECT_GT(Refs(second->Identity()), 1u);
    DestroyWindow(host);
    EXPECT_EQ(Refs(second->Identity()), 1u);
    EXPECT_EQ(LiveComObjects(), live - 1);
    EXPECT_EQ(AxAttachControl(host, second->Identity()), E_INVALIDARG);
}
