#include "gamewindow/win32/ui_handler.h"

#include "base/core/debug_trace.h"

#include <mshtml.h>

ComPtr<TDocHostUIHandlerImpl> g_uiHandler;

const ComInterfaceEntry<TDocHostUIHandlerImpl> TDocHostUIHandlerImpl::kInterfaces[] = {
    ComEntry<TDocHostUIHandlerImpl, IDocHostUIHandler>(),
    {},
};

STDMETHODIMP TDocHostUIHandlerImpl::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info)
        return E_POINTER;
    info->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
    return S_OK;
}

STDMETHODIMP TDocHostUIHandlerImpl::GetExternal(IDispatch** out)
{
    if (!out)
        return E_POINTER;
    // No object for a page the gate refuses: the page sees null.
    *out = m_external && (!m_gate || m_gate()) ? m_external : nullptr;
    if (!*out)
        return S_FALSE;
    (*out)->AddRef(); // the caller releases what it gets
    return S_OK;
}

bool InstallUiHandler(IWebBrowser2* browser, IDispatch* external, ExternalGate gate)
{
    if (!browser)
        return false;
    ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.Put())) || !document)
        return false;
    return InstallUiHandlerOnDocument(document.Get(), external, std::move(gate));
}

bool InstallUiHandlerOnDocument(IDispatch* document, IDispatch* external, ExternalGate gate)
{
    if (!document)
        return false;
    ComPtr<IDispatch> holder(document);
    ComPtr<IHTMLDocument2> html = holder.As<IHTMLDocument2>(IID_IHTMLDocument2);
    ComPtr<ICustomDoc> custom = html.As<ICustomDoc>();
    if (!custom)
        return false;
    if (!g_uiHandler)
        g_uiHandler = MakeComObject<TDocHostUIHandlerImpl>(external, std::move(gate));
    else if (!g_uiHandler->External())
        g_uiHandler->SetExternal(external, std::move(gate));
    if (FAILED(custom->SetUIHandler(g_uiHandler.Get()))) {
        DebugTrace("SetUIHandler fail！！！！！！");
        return false;
    }
    DebugTrace("SetUIHandler ok");
    return true;
}

void ForgetUiHandlerExternal(IDispatch* external)
{
    if (g_uiHandler && g_uiHandler->External() == external)
        g_uiHandler->SetExternal(nullptr, ExternalGate());
}
