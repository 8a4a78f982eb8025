#include "skin/win32/web_browser_event_listener.h"

#include "browserhost/event_args.h"

#include <exdisp.h>
#include <exdispid.h>

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
    SilenceBrowser(EventDispatch(EventArgument(params, 0)));
    bool cancel = false;
    if (const wchar_t* url = EventString(EventArgument(params, 1))) {
        // A captured login goes on loading while the login window closes.
        if (!Capture(url))
            cancel = ClientCommand(url);
    }
    if (VARIANT_BOOL* slot = EventCancel(EventArgument(params, 6)))
        *slot = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

void CWebBrwoser2EventListener::OnNewWindow3(const DISPPARAMS& params)
{
    // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
    if (params.cArgs < 5)
        return;
    const wchar_t* url = EventString(EventArgument(params, 4));
    if (!url || !(Capture(url) || ClientCommand(url)))
        return; // the platform opens the window its usual way
    if (VARIANT_BOOL* slot = EventCancel(EventArgument(params, 1)))
        *slot = VARIANT_TRUE;
}

void CWebBrwoser2EventListener::OnDocumentComplete(const DISPPARAMS& params)
{
    // (pDisp, URL), for every frame as well as the top-level document
    if (params.cArgs < 2)
        return;
    IDispatch* frame = EventDispatch(EventArgument(params, 0));
    if (const wchar_t* url = EventString(EventArgument(params, 1))) {
        SilenceBrowser(frame);
        Capture(url);
    }
    SilenceBrowser(frame);
}

void CWebBrwoser2EventListener::OnTitleChange(const DISPPARAMS& params)
{
    const VARIANT* text = EventArgument(params, 0);
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
