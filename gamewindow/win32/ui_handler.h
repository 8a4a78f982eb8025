// The game window's document UI handler: no context menu, no 3-D border,
// and the page's script object (window.external). One process-wide
// instance, installed again on every new game page.
#pragma once

#include "framework/com/com_object.h"

#include <exdisp.h>
#include <mshtmhst.h>

#include <functional>

// Asked each time a page reaches for the script object: true while the
// browser's top-level document is a trusted page. The control keeps a
// handler across documents and answers frames from it too, so this is the
// only place that sees who asks now.
using ExternalGate = std::function<bool()>;

class TDocHostUIHandlerImpl final : public ComObject<TDocHostUIHandlerImpl, IDocHostUIHandler> {
public:
    static const ComInterfaceEntry<TDocHostUIHandlerImpl> kInterfaces[];

    // `external` is not counted: it belongs to the game window, which tells
    // the handler to forget it (ForgetExternal) before it goes.
    TDocHostUIHandlerImpl(IDispatch* external, ExternalGate gate)
        : m_external(external)
        , m_gate(std::move(gate))
    {
    }

    IDispatch* External() const { return m_external; }
    void SetExternal(IDispatch* external, ExternalGate gate)
    {
        m_external = external;
        m_gate = std::move(gate);
    }

    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP HideUI() override { return E_NOTIMPL; }
    STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    // The browser handles every key itself.
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExternal(IDispatch** out) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return E_NOTIMPL; }

private:
    ~TDocHostUIHandlerImpl() override { m_external = nullptr; }

    IDispatch* m_external;
    ExternalGate m_gate; // none: always given
};

// The process-wide handler; null until the first document takes it.
extern ComPtr<TDocHostUIHandlerImpl> g_uiHandler;

// Installs g_uiHandler on the browser's current document, creating it with
// `external` and its `gate` on first use (or giving it both if its own
// object was forgotten). False when there is no document or it takes no UI
// handler.
bool InstallUiHandler(IWebBrowser2* browser, IDispatch* external, ExternalGate gate);
// The same for a document object (what get_Document gives).
bool InstallUiHandlerOnDocument(IDispatch* document, IDispatch* external, ExternalGate gate = ExternalGate());

// Called by the owner of `external` before it goes: later pages get no
// script object from a handler that still points at it.
void ForgetUiHandlerExternal(IDispatch* external);
