#include "gamewindow/win32/invoke_event.h"

#include "base/core/cdn_base_url.h"
#include "base/core/debug_trace.h"
#include "base/win32/wide_text.h"
#include "browserhost/event_args.h"
#include "framework/com/bstr_variant.h"
#include "gamewindow/core/login_url.h"
#include "gamewindow/core/url_markers.h"
#include "gamewindow/win32/client_command.h"
#include "gamewindow/win32/ui_handler.h"

#include <exdispid.h>

#include <cwchar>

namespace {

struct ExternalMethod {
    const wchar_t* name;
    DISPID id;
    UINT argumentCount;
};

const ExternalMethod kExternalMethods[] = {
    {L"getLocalhostUrl", kDispGetLocalhostUrl, 0},
    {L"setWebCdnUrl", kDispSetWebCdnUrl, 1},
};

// A page's string argument: a string variant, by value or by reference.
bool IsString(const VARIANT* v)
{
    v = EventValue(v);
    return v && (V_VT(v) == VT_BSTR || (V_VT(v) == (VT_BSTR | VT_BYREF) && V_BSTRREF(v)));
}

void SetCancel(const VARIANT* v, bool cancel)
{
    if (VARIANT_BOOL* slot = EventCancel(v))
        *slot = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

void ReturnString(VARIANT* result, const std::wstring& text)
{
    if (!result)
        return;
    ::VariantInit(result);
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = ::SysAllocString(text.c_str());
}

} // namespace

CInvokeEvent::~CInvokeEvent()
{
    ForgetUiHandlerExternal(this);
}

STDMETHODIMP CInvokeEvent::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
        ::IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CInvokeEvent::GetTypeInfo(UINT, LCID, ITypeInfo** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CInvokeEvent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (count == 0 || !names || !names[0] || !ids)
        return E_NOTIMPL;
    for (UINT i = 1; i < count; ++i)
        ids[i] = DISPID_UNKNOWN; // argument names are not looked up
    for (const ExternalMethod& method : kExternalMethods) {
        if (_wcsicmp(names[0], method.name) == 0) {
            ids[0] = method.id;
            return S_OK;
        }
    }
    if (m_pageReport && _wcsicmp(names[0], L"selfTestReport") == 0) {
        ids[0] = kDispSelfTestReport;
        return S_OK;
    }
    ids[0] = DISPID_UNKNOWN;
    return E_NOTIMPL;
}

STDMETHODIMP CInvokeEvent::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                  UINT*)
{
    if (!params)
        return E_INVALIDARG;
    switch (id) {
    case DISPID_TITLECHANGE:
        if (m_owner) {
            const VARIANT* title = EventArgument(*params, 0);
            const BSTR text = title && V_VT(title) == VT_BSTR ? V_BSTR(title) : nullptr;
            m_owner->SetTitleText(text ? text : L"");
        }
        return S_OK;
    case DISPID_DOCUMENTCOMPLETE:
        OnDocumentComplete(*params);
        return S_OK;
    case DISPID_BEFORENAVIGATE2:
        OnBeforeNavigate2(*params);
        return S_OK;
    case DISPID_NEWWINDOW3:
        OnNewWindow3(*params);
        return S_OK;
    case kDispGetLocalhostUrl:
    case kDispSetWebCdnUrl:
        return CallExternal(id, *params, result);
    case kDispSelfTestReport:
        return CallPageReport(*params);
    default:
        return S_OK;
    }
}

void CInvokeEvent::SetPageReport(const std::string& origin, PageReport report)
{
    // An origin that does not parse enables nothing.
    m_hasReportOrigin = ParseUrlOrigin(origin, &m_reportOrigin);
    m_pageReport = m_hasReportOrigin ? std::move(report) : PageReport();
}

bool CInvokeEvent::TopLevelTrusted() const
{
    return m_owner && m_trusted.IsTrusted(ToNarrow(m_owner->TopLevelUrl()));
}

// DocumentComplete(pDisp, URL): only the top-level document counts.
void CInvokeEvent::OnDocumentComplete(const DISPPARAMS& params)
{
    const BSTR url = EventString(EventArgument(params, 1));
    if (!m_owner || !url || !m_owner->IsTopLevel(EventDispatch(EventArgument(params, 0))))
        return;
    const std::string narrow = ToNarrow(std::wstring(url));
    if (CarriesGamePageMarker(narrow) && m_trusted.IsTrusted(narrow))
        m_owner->InstallPageUi();
    if (WantsNoScrollBars(url))
        m_owner->HidePageScrollBars();
}

// BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel).
void CInvokeEvent::OnBeforeNavigate2(const DISPPARAMS& params)
{
    SilenceBrowser(EventDispatch(EventArgument(params, 0)));
    const BSTR url = EventString(EventArgument(params, 1));
    if (url)
        SetCancel(EventArgument(params, 6), RunClientCommand(url));
}

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl).
void CInvokeEvent::OnNewWindow3(const DISPPARAMS& params)
{
    const VARIANT* cancel = EventArgument(params, 1);
    SetCancel(cancel, false);
    const BSTR url = EventString(EventArgument(params, 4));
    if (url && RunClientCommand(url))
        SetCancel(cancel, true);
}

// selfTestReport(name, value): both strings, from a trusted top-level page
// of the report origin only, asked at every call as for the other methods.
HRESULT CInvokeEvent::CallPageReport(const DISPPARAMS& params)
{
    if (!m_pageReport)
        return DISP_E_MEMBERNOTFOUND;
    UrlOrigin top;
    if (!TopLevelTrusted() || !ParseUrlOrigin(ToNarrow(m_owner->TopLevelUrl()), &top) ||
        top.scheme != m_reportOrigin.scheme || top.host != m_reportOrigin.host || top.port != m_reportOrigin.port) {
        DebugTrace("selfTestReport refused: the top-level page is not the self-test page");
        return E_ACCESSDENIED;
    }
    if (params.cArgs != 2 || !IsString(EventArgument(params, 0)) || !IsString(EventArgument(params, 1)))
        return E_INVALIDARG;
    const BSTR name = EventString(EventArgument(params, 0));
    const BSTR value = EventString(EventArgument(params, 1));
    m_pageReport(name ? std::wstring(name, ::SysStringLen(name)) : std::wstring(),
                 value ? std::wstring(value, ::SysStringLen(value)) : std::wstring());
    return S_OK;
}

bool CInvokeEvent::RunClientCommand(const wchar_t* url)
{
    if (!m_owner)
        return false;
    // The title is copied: the command destroys the window that holds it.
    const std::wstring title = m_owner->TitleText();
    return CheckClientCommand(url, m_trusted, m_owner->GameWindow(), title.c_str(), m_captureFolder);
}

HRESULT CInvokeEvent::CallExternal(DISPID id, const DISPPARAMS& params, VARIANT* result)
{
    // Asked at every call: the object a trusted page was given stays
    // reachable to whatever the browser shows later, frames included.
    if (!TopLevelTrusted()) {
        DebugTrace("script object refused: the top-level page is not trusted");
        return E_ACCESSDENIED;
    }
    const ExternalMethod* method = nullptr;
    for (const ExternalMethod& m : kExternalMethods)
        if (m.id == id)
            method = &m;
    if (!method || params.cArgs != method->argumentCount)
        return E_INVALIDARG;
    for (UINT i = 0; i < params.cArgs; ++i)
        if (!IsString(EventArgument(params, i)))
            return E_INVALIDARG;

    if (id == kDispGetLocalhostUrl) {
        ReturnString(result, ToWide(LocalCacheBaseUrl(m_external.localPort)));
        return S_OK;
    }
    const BSTR url = EventString(EventArgument(params, 0));
    if (!url) {
        ReturnString(result, L"");
        return S_OK;
    }
    const std::string wanted = ToNarrow(std::wstring(url, ::SysStringLen(url)));
    // A page may only point the cache at a trusted web address other than
    // the cache server itself, without leaving https; whatever it asked for, the answer is the base
    // now in force.
    if (!IsAllowedPageCdnBase(wanted, m_external.localPort, m_trusted, m_external.builtInCdnBase))
        DebugTrace("setWebCdnUrl refused: %s", wanted.c_str());
    else if (m_external.setCdnBase)
        m_external.setCdnBase(wanted);
    ReturnString(result, m_external.cdnBase ? ToWide(m_external.cdnBase()) : std::wstring());
    return S_OK;
}
