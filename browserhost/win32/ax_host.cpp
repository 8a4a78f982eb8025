#include "browserhost/win32/ax_host.h"

#include "browserhost/browser_host.h"
#include "browserhost/win32/creation_text.h"
#include "framework/com/bstr_variant.h"

#include <exdisp.h>
#include <mshtml.h>
#include <olectl.h>

#include <cwchar>

const ComInterfaceEntry<CBrowserHost> CBrowserHost::kInterfaces[] = {
    ComEntry<CBrowserHost, IBrowserHostWindow>(),
    ComEntry<CBrowserHost, IOleClientSite>(),
    ComEntry<CBrowserHost, IOleWindow, IOleInPlaceSite>(),
    ComEntry<CBrowserHost, IOleInPlaceSite>(),
    ComEntry<CBrowserHost, IOleInPlaceUIWindow, IOleInPlaceFrame>(),
    ComEntry<CBrowserHost, IOleInPlaceFrame>(),
    ComEntry<CBrowserHost, IOleControlSite>(),
    ComEntry<CBrowserHost, IDocHostUIHandler>(),
    ComEntry<CBrowserHost, IDispatch>(),
    {},
};

namespace {

// The MSHTML document object (libuuid lacks its CLSID).
const CLSID kHtmlDocumentClsid = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// A property value for an ambient-property request.
HRESULT AnswerBool(VARIANT* result, bool value)
{
    if (result) {
        ::VariantInit(result);
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

// The HTML as a stream MSHTML reads: UTF-16 with its byte-order mark.
ComPtr<IStream> HtmlStream(const wchar_t* html)
{
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())))
        return nullptr;
    const wchar_t bom = 0xFEFF;
    const ULONG bytes = static_cast<ULONG>(std::wcslen(html) * sizeof(wchar_t));
    LARGE_INTEGER start = {};
    if (FAILED(stream->Write(&bom, sizeof bom, nullptr)) || FAILED(stream->Write(html, bytes, nullptr)) ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return nullptr;
    return stream;
}

} // namespace

CBrowserHost::~CBrowserHost()
{
    TearDownControl();
}

void CBrowserHost::DetachWindow()
{
    TearDownControl();
    m_hwnd = nullptr;
}

bool CBrowserHost::HandleMessage(WindowMessage& msg)
{
    if (msg.message == BrowserHostGetHostMessage()) {
        Identity()->AddRef();
        msg.result = reinterpret_cast<LRESULT>(Identity());
        return true;
    }
    if (msg.message == BrowserHostGetControlMessage()) {
        IUnknown* control = nullptr;
        m_control.CopyTo(&control);
        msg.result = reinterpret_cast<LRESULT>(control);
        return true;
    }
    switch (msg.message) {
    case kForwardMessage:
        msg.result = msg.wParam == 0 ? Forward(reinterpret_cast<const MSG*>(msg.lParam)) : 0;
        return true;
    case WM_SIZE:
        FitControl();
        return false;
    case WM_SETFOCUS:
        ActivateUi();
        return false;
    case WM_ERASEBKGND:
        // The control covers the whole window: erasing would only flicker.
        if (!m_inPlaceActive)
            return false;
        msg.result = 1;
        return true;
    case WM_DESTROY:
        // While the windows still exist: deactivation needs them.
        TearDownControl();
        return false;
    default:
        return false;
    }
}

// ----- creation

STDMETHODIMP CBrowserHost::CreateControlEx(LPCOLESTR text)
{
    if (!text)
        return E_INVALIDARG;
    if (!m_hwnd)
        return E_UNEXPECTED;
    TearDownControl();
    switch (ClassifyCreationText(text)) {
    case CreationKind::HtmlDocument:
        return CreateHtmlDocument(CreationTextHtml(text));
    case CreationKind::Url:
        return CreateBrowser(text);
    case CreationKind::ClassName:
    default:
        return CreateByClassName(text);
    }
}

STDMETHODIMP CBrowserHost::AttachControl(IUnknown* control)
{
    if (!control)
        return E_INVALIDARG;
    if (!m_hwnd)
        return E_UNEXPECTED;
    TearDownControl();
    return Activate(control, nullptr);
}

HRESULT CBrowserHost::CreateBrowser(const wchar_t* url)
{
    ComPtr<IUnknown> control;
    HRESULT hr = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(control.Put()));
    if (FAILED(hr))
        return hr;
    // Before activation: the document asks for its flags when it is made.
    ApplyScrollStyle();
    hr = Activate(control.Get(), nullptr);
    if (FAILED(hr))
        return hr;
    ComPtr<IWebBrowser2> browser;
    if (SUCCEEDED(control.QueryInterface(&browser))) {
        browser->put_Visible(VARIANT_TRUE);
        CVariant target(url);
        CVariant none;
        // Where the navigation leads is the page's business, not the creation's.
        browser->Navigate2(target.Get(), none.Get(), none.Get(), none.Get(), none.Get());
    }
    return S_OK;
}

HRESULT CBrowserHost::CreateHtmlDocument(const wchar_t* html)
{
    ComPtr<IUnknown> control;
    HRESULT hr = ::CoCreateInstance(kHtmlDocumentClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(control.Put()));
    if (FAILED(hr))
        return hr;
    const ComPtr<IStream> state = HtmlStream(html);
    if (!state)
        return E_OUTOFMEMORY;
    return Activate(control.Get(), state.Get());
}

HRESULT CBrowserHost::CreateByClassName(const wchar_t* name)
{
    CLSID clsid;
    HRESULT hr = name[0] == L'{' ? ::CLSIDFromString(name, &clsid) : ::CLSIDFromProgID(name, &clsid);
    if (FAILED(hr))
        return hr;
    ComPtr<IUnknown> control;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(control.Put()));
    if (FAILED(hr))
        return hr;
    return Activate(control.Get(), nullptr);
}

HRESULT CBrowserHost::Activate(IUnknown* control, IStream* state)
{
    m_control = ComPtr<IUnknown>(control);
    IOleClientSite* site = this;
    m_control.QueryInterface(&m_oleObject);
    if (m_oleObject) {
        const HRESULT hr = m_oleObject->SetClientSite(site);
        if (FAILED(hr)) {
            TearDownControl();
            return hr;
        }
        m_siteSet = true;
    }
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_control.QueryInterface(&persist))) {
        const HRESULT hr = state ? persist->Load(state) : persist->InitNew();
        if (FAILED(hr) && state) {
            TearDownControl();
            return hr;
        }
    }
    if (m_oleObject) {
        RECT client = {};
        ::GetClientRect(m_hwnd, &client);
        const HRESULT hr = m_oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, m_hwnd, &client);
        if (FAILED(hr)) {
            TearDownControl();
            return hr;
        }
    }
    return S_OK;
}

void CBrowserHost::ApplyScrollStyle()
{
    const LONG_PTR style = ::GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    if (style & (WS_VSCROLL | WS_HSCROLL)) {
        // The page's own scroll bars take the place of the host's.
        ::SetWindowLongPtrW(m_hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_VSCROLL | WS_HSCROLL));
        ::SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        m_docHostFlags &= ~static_cast<DWORD>(DOCHOSTUIFLAG_SCROLL_NO);
    } else {
        m_docHostFlags |= DOCHOSTUIFLAG_SCROLL_NO;
    }
}

void CBrowserHost::TearDownControl()
{
    if (!m_control)
        return;
    // Hold the control itself until the end: its site may be released from
    // within these calls.
    const ComPtr<IUnknown> control = m_control;
    ComPtr<IWebBrowser2> browser;
    if (SUCCEEDED(control.QueryInterface(&browser)))
        browser->Stop();
    ComPtr<IOleInPlaceObject> inPlace = m_inPlaceObject;
    if (!inPlace)
        control.QueryInterface(&inPlace);
    if (inPlace) {
        if (m_uiActive)
            inPlace->UIDeactivate();
        if (m_inPlaceActive)
            inPlace->InPlaceDeactivate();
    }
    if (m_oleObject) {
        m_oleObject->Close(OLECLOSE_NOSAVE);
        if (m_siteSet)
            m_oleObject->SetClientSite(nullptr);
    }
    m_frameActiveObject.Reset();
    m_inPlaceObject.Reset();
    m_oleObject.Reset();
    m_control.Reset();
    m_siteSet = m_inPlaceActive = m_uiActive = false;
}

STDMETHODIMP CBrowserHost::QueryControl(REFIID iid, void** out)
{
    return m_control.CopyTo(iid, out);
}

// ----- window

void CBrowserHost::FitControl()
{
    if (!m_inPlaceObject || !m_hwnd)
        return;
    RECT client = {};
    ::GetClientRect(m_hwnd, &client);
    m_inPlaceObject->SetObjectRects(&client, &client);
}

void CBrowserHost::ActivateUi()
{
    if (!m_oleObject || !m_inPlaceActive || m_uiActive)
        return;
    RECT client = {};
    ::GetClientRect(m_hwnd, &client);
    m_oleObject->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, m_hwnd, &client);
}

LRESULT CBrowserHost::Forward(const MSG* msg)
{
    if (!msg || !m_control)
        return 0;
    ComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(m_control.QueryInterface(&active)))
        return 0;
    return active->TranslateAccelerator(const_cast<MSG*>(msg)) == S_OK ? 1 : 0;
}

// ----- client site and in-place site

STDMETHODIMP CBrowserHost::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (!moniker)
        return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserHost::GetContainer(IOleContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CBrowserHost::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_hwnd;
    return m_hwnd ? S_OK : E_FAIL;
}

STDMETHODIMP CBrowserHost::OnInPlaceActivate()
{
    m_inPlaceActive = true;
    m_control.QueryInterface(&m_inPlaceObject);
    return S_OK;
}

STDMETHODIMP CBrowserHost::OnUIActivate()
{
    m_uiActive = true;
    return S_OK;
}

STDMETHODIMP CBrowserHost::OnUIDeactivate(BOOL)
{
    m_uiActive = false;
    return S_OK;
}

STDMETHODIMP CBrowserHost::OnInPlaceDeactivate()
{
    m_inPlaceActive = false;
    m_inPlaceObject.Reset();
    return S_OK;
}

STDMETHODIMP CBrowserHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                            LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    if (!frame || !document || !position || !clip || !info)
        return E_POINTER;
    // The host is the frame; the document window is the frame too, which
    // the null document says.
    *frame = this;
    (*frame)->AddRef();
    *document = nullptr;
    ::GetClientRect(m_hwnd, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(m_hwnd, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CBrowserHost::OnPosRectChange(LPCRECT position)
{
    if (!position)
        return E_POINTER;
    if (!m_hwnd)
        return E_UNEXPECTED;
    // The control wants another size (put_Width, put_Height): the host
    // window follows, and its WM_SIZE fits the control to it.
    RECT outer = *position;
    ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
    RECT window = {};
    ::GetWindowRect(m_hwnd, &window);
    POINT origin = {0, 0};
    ::ClientToScreen(m_hwnd, &origin);
    // In screen coordinates, then in the parent's.
    ::OffsetRect(&outer, origin.x, origin.y);
    HWND parent = (::GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_CHILD) ? ::GetParent(m_hwnd) : nullptr;
    if (parent)
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&outer), 2);
    ::MoveWindow(m_hwnd, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top, TRUE);
    // A move that changes nothing sends no WM_SIZE.
    FitControl();
    return S_OK;
}

STDMETHODIMP CBrowserHost::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR)
{
    m_frameActiveObject = ComPtr<IOleInPlaceActiveObject>(object);
    return S_OK;
}

STDMETHODIMP CBrowserHost::GetExtendedControl(IDispatch** extended)
{
    if (!extended)
        return E_POINTER;
    *extended = nullptr;
    return E_NOTIMPL;
}

// ----- document UI handler

STDMETHODIMP CBrowserHost::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info)
        return E_POINTER;
    info->dwFlags = m_docHostFlags;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP CBrowserHost::GetOptionKeyPath(LPOLESTR* key, DWORD)
{
    if (key)
        *key = nullptr;
    return S_FALSE;
}

STDMETHODIMP CBrowserHost::GetDropTarget(IDropTarget*, IDropTarget** target)
{
    if (target)
        *target = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserHost::GetExternal(IDispatch** external)
{
    if (external)
        *external = nullptr;
    return S_FALSE;
}

STDMETHODIMP CBrowserHost::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated)
{
    if (translated)
        *translated = nullptr;
    return S_FALSE;
}

STDMETHODIMP CBrowserHost::FilterDataObject(IDataObject*, IDataObject** filtered)
{
    if (filtered)
        *filtered = nullptr;
    return S_FALSE;
}

// ----- ambient properties

STDMETHODIMP CBrowserHost::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CBrowserHost::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CBrowserHost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                  UINT*)
{
    if (!(flags & DISPATCH_PROPERTYGET))
        return DISP_E_MEMBERNOTFOUND;
    switch (id) {
    case DISPID_AMBIENT_USERMODE:
        return AnswerBool(result, true);
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
        return AnswerBool(result, false);
    default:
        // Everything else (offline, silent, download control, ...): the
        // control's own defaults.
        return DISP_E_MEMBERNOTFOUND;
    }
}
