#include "skin/win32/web_browser_event_listener.h"

#include <exdisp.h>
#include <exdispid.h>

namespace {

// Argument `position` of an event, counted as the event declares them
// (the dispatch block holds them in reverse order); null when missing.
// Callers make sure the block holds all of the event's arguments: counted
// from the end, a short block would put another argument in its place.
const VARIANT* Arg(const DISPPARAMS& params, UINT position)
{
    if (!params.rgvarg || position >= params.cArgs)
        return nullptr;
    return &params.rgvarg[params.cArgs - 1 - position];
}

// The text of a string argument: a BSTR, or a variant by reference holding
// one, as the navigation events pass their URL. Null for anything else.
const wchar_t* StringOf(const VARIANT* arg)
{
    if (arg && arg->vt == (VT_BYREF | VT_VARIANT))
        arg = arg->pvarVal;
    if (!arg)
        return nullptr;
    if (arg->vt == VT_BSTR)
        return arg->bstrVal;
    if (arg->vt == (VT_BYREF | VT_BSTR) && arg->pbstrVal)
        return *arg->pbstrVal;
    return nullptr;
}

VARIANT_BOOL* CancelOf(const VARIANT* arg)
{
    return arg && arg->vt == (VT_BYREF | VT_BOOL) ? arg->pboolVal : nullptr;
}

// Keeps script errors and other browser dialogs off the login page: the
// frame the event came from is told to be silent.
void Silence(const VARIANT* frame)
{
    if (!frame || frame->vt != VT_DISPATCH || !frame->pdispVal)
        return;
    ComPtr<IWebBrowser2> browser;
    if (SUCCEEDED(frame->pdispVal->QueryInterface(IID_PPV_ARGS(browser.Put()))))
        browser->put_Silent(VARIANT_TRUE);
}

} // namespace

const ComInterfaceEntry<CWebBrwoser2EventListener> CWebBrwoser2EventListener::kInterfaces[] = {
    ComEntry<CWebBrwoser2EventListener, IDispatch>(),
    ComEntryAs<CWebBrwoser2EventListener, IDispatch>(DIID_DWebBrowserEvents2),
    {},
};

CWebBrwoser2EventListener::CWebBrwoser2EventListener(HWND owner, ILoginEvents* events)
    : m_owner(owner)
    , m_events(events)
{
}

HRESULT STDMETHODCALLTYPE CWebBrwoser2EventListener::GetTypeInfoCount(UINT* count)
{
    if (count)
        *count = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebBrwoser2EventListener::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebBrwoser2EventListener::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebBrwoser2EventListener::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                                            VARIANT*, EXCEPINFO*, UINT*)
{
    if (!params)
        return S_OK;
    // A client command closes the login window from inside this call, and
    // the page's tear-down then drops its references to this object.
    const ComPtr<CWebBrwoser2EventListener> keepAlive(this);
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        OnBeforeNavigate2(*params);
        break;
    case DISPID_NEWWINDOW3:
        OnNewWindow3(*params);
        break;
    case DISPID_DOCUMENTCOMPLETE:
        OnDocumentComplete(*params);
        break;
    case DISPID_TITLECHANGE:
        OnTitleChange(*params);
        break;
    default:
        break;
    }
    return S_OK;
}

void CWebBrwoser2EventListener::OnBeforeNavigate2(const DISPPARAMS& params)
{
    // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
    if (params.cArgs < 7)
        return;
    Silence(Arg(params, 0));
    bool cancel = false;
    if (const wchar_t* url = StringOf(Arg(params, 1))) {
        // A captured login goes on loading while the login window closes.
        if (!Capture(url))
            cancel = ClientCommand(url);
    }
    if (VARIANT_BOOL* slot = CancelOf(Arg(params, 6)))
        *slot = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

void CWebBrwoser2EventListener::OnNewWindow3(const DISPPARAMS& params)
{
    // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
    if (params.cArgs < 5)
        return;
    const wchar_t* url = StringOf(Arg(params, 4));
    if (!url || !(Capture(url) || ClientCommand(url)))
        return; // the platform opens the window its usual way
    if (VARIANT_BOOL* slot = CancelOf(Arg(params, 1)))
        *slot = VARIANT_TRUE;
}

void CWebBrwoser2EventListener::OnDocumentComplete(const DISPPARAMS& params)
{
    // (pDisp, URL), for every frame as well as the top-level document
    if (params.cArgs < 2)
        return;
    const VARIANT* frame = Arg(params, 0);
    if (const wchar_t* url = StringOf(Arg(params, 1))) {
        Silence(frame);
        Capture(url);
    }
    Silence(frame);
}

void CWebBrwoser2EventListener::OnTitleChange(const DISPPARAMS& params)
{
    const VARIANT* text = Arg(params, 0);
    const wchar_t* title = text && text->vt == VT_BSTR && text->bstrVal ? text->bstrVal : L"";
    if (m_events)
        m_events->PageTitleChanged(title);
}

bool CWebBrwoser2EventListener::Capture(const wchar_t* url)
{
    if (!m_events || !m_events->CaptureLogin(m_owner, url))
        return false;
    ::PostMessageW(m_owner, WM_DESTROY, 0, 0);
    return true;
}

bool CWebBrwoser2EventListener::ClientCommand(const wchar_t* url)
{
    return m_events && m_events->ClientCommand(m_owner, url);
}
