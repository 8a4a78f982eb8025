// The container side of a host window: one COM object that is the hosted
// control's client site, in-place site, in-place frame, control site,
// document UI handler and ambient-property dispatch. The window that hosts
// it feeds it its messages (HandleMessage) and detaches it when it goes.
#pragma once

#include "framework/com/com_object.h"
#include "framework/com/com_ptr.h"
#include "framework/win32/message_map.h"

#include <windows.h>
#include <docobj.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <oleidl.h>

// The host's own interface, reached from its IUnknown; the free functions
// of browser_host.h are its callers.
MIDL_INTERFACE("00f59b3e-e93f-4a0f-85fe-860d634b3cb3")
IBrowserHostWindow : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** out) = 0;
};
__CRT_UUID_DECL(IBrowserHostWindow, 0x00f59b3e, 0xe93f, 0x4a0f, 0x85, 0xfe, 0x86, 0x0d, 0x63, 0x4b, 0x3c, 0xb3)

class CBrowserHost final
    : public ComObject<CBrowserHost, IBrowserHostWindow, IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame,
                       IOleControlSite, IDocHostUIHandler, IDispatch> {
public:
    static const ComInterfaceEntry<CBrowserHost> kInterfaces[];

    // The window this object serves; set once, before any other call.
    void AttachWindow(HWND hwnd) { m_hwnd = hwnd; }
    // The window is gone (after its WM_DESTROY tore the control down).
    void DetachWindow();
    // The host's share of the window's messages; true when it took one.
    bool HandleMessage(WindowMessage& msg);

    // IBrowserHostWindow
    STDMETHODIMP CreateControlEx(LPCOLESTR text) override;
    STDMETHODIMP AttachControl(IUnknown* control) override;
    STDMETHODIMP QueryControl(REFIID iid, void** out) override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (for the in-place site and the frame alike)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_hwnd ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or
    // status bar to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; } // IDocHostUIHandler's too
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** extended) override;
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IDocHostUIHandler: the document's own menus and keys; the host only
    // sets its flags.
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override
    {
        return S_FALSE;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override;

    // IDispatch: ambient properties only.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    ~CBrowserHost() override;

    HRESULT CreateBrowser(const wchar_t* url);
    HRESULT CreateHtmlDocument(const wchar_t* html);
    HRESULT CreateByClassName(const wchar_t* name);
    // Sets the site, initialises (from `state` if given) and activates in place.
    HRESULT Activate(IUnknown* control, IStream* state);
    void ApplyScrollStyle();
    void FitControl();
    void ActivateUi();
    LRESULT Forward(const MSG* msg);
    void TearDownControl();

    HWND m_hwnd = nullptr;
    ComPtr<IUnknown> m_control;
    ComPtr<IOleObject> m_oleObject;
    ComPtr<IOleInPlaceObject> m_inPlaceObject;
    ComPtr<IOleInPlaceActiveObject> m_frameActiveObject; // from SetActiveObject
    bool m_siteSet = false;
    bool m_inPlaceActive = false;
    bool m_uiActive = false;
    DWORD m_docHostFlags = DOCHOSTUIFLAG_NO3DBORDER;
};
