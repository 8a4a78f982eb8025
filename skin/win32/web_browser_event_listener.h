// The login page's browser event sink: it hands every URL the page goes to,
// opens in a new window or finishes loading to the login window's caller,
// which recognises the game's entry URL and the client commands.
#pragma once

#include "skin/win32/login_events.h"

#include <oaidl.h>
#include <windows.h>

class CWebBrwoser2EventListener final : public IDispatch {
public:
    // `owner` is the login window (the translucent one), which closes when
    // a login is captured. Starts with one reference, the creator's.
    CWebBrwoser2EventListener(HWND owner, ILoginEvents* events);
    CWebBrwoser2EventListener(const CWebBrwoser2EventListener&) = delete;
    CWebBrwoser2EventListener& operator=(const CWebBrwoser2EventListener&) = delete;

    // From now on events are answered but no longer reported: the login
    // page is going away, and its caller's events object may go first.
    void Disconnect() { m_events = nullptr; }

    // IUnknown: IUnknown, IDispatch and DWebBrowserEvents2.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: no type information and no names, only events.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    // Always S_OK: events the page does not care about are ignored.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

private:
    ~CWebBrwoser2EventListener() = default;

    void OnBeforeNavigate2(const DISPPARAMS& params);
    void OnNewWindow3(const DISPPARAMS& params);
    void OnDocumentComplete(const DISPPARAMS& params);
    void OnTitleChange(const DISPPARAMS& params);
    // Hands `url` to the caller's login capture; closes the login window
    // when it was captured.
    bool Capture(const wchar_t* url);
    bool ClientCommand(const wchar_t* url);

    LONG m_references = 1;
    HWND m_owner;
    ILoginEvents* m_events;
};
