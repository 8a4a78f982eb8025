// The login page's browser event sink: it hands every URL the page goes to,
// opens in a new window or finishes loading to the login window's caller,
// which recognises the game's entry URL and the client commands.
#pragma once

#include "framework/com/com_object.h"
#include "skin/win32/login_events.h"

#include <oaidl.h>
#include <windows.h>

// Answers IUnknown, IDispatch and DWebBrowserEvents2. Made with
// MakeComObject; the page that advises it unadvises and releases it when it
// goes.
class CWebBrwoser2EventListener final : public ComObject<CWebBrwoser2EventListener, IDispatch> {
public:
    static const ComInterfaceEntry<CWebBrwoser2EventListener> kInterfaces[];

    // `owner` is the login window (the translucent one), which closes when
    // a login is captured.
    CWebBrwoser2EventListener(HWND owner, ILoginEvents* events);

    // From now on events are answered but no longer reported: the login
    // page is going away, and its caller's events object may go first.
    void Disconnect() { m_events = nullptr; }

    // IDispatch: no type information and no names, only events.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    // Always S_OK: events the page does not care about are ignored.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

private:
    void OnBeforeNavigate2(const DISPPARAMS& params);
    void OnNewWindow3(const DISPPARAMS& params);
    void OnDocumentComplete(const DISPPARAMS& params);
    void OnTitleChange(const DISPPARAMS& params);
    // Hands `url` to the caller's login capture; closes the login window
    // when it was captured.
    bool Capture(const wchar_t* url);
    bool ClientCommand(const wchar_t* url);

    HWND m_owner;
    ILoginEvents* m_events;
};
