// CInvokeEvent: the game window's browser event sink, which is also the
// game page's script object (window.external) with getLocalhostUrl and
// setWebCdnUrl.
//
// It lives inside the game window object and counts no references, so the
// window must take down everything that points at it before it goes: the
// event connection (unadvise) and the UI handler's script object.
#pragma once

#include "base/core/trusted_url.h"
#include "gamewindow/win32/client_command.h"

#include <exdisp.h>
#include <oaidl.h>
#include <windows.h>

#include <functional>
#include <string>

// What the sink needs from the window it serves.
class IGameEventOwner {
public:
    virtual HWND GameWindow() const = 0;
    // The caption's title text, which names window captures.
    virtual const wchar_t* TitleText() const = 0;
    virtual void SetTitleText(const wchar_t* text) = 0;
    // True when an event's browser object is the top-level browser (not a frame).
    virtual bool IsTopLevel(IDispatch* browser) const = 0;
    // The URL of the browser's top-level document now; empty when unknown.
    virtual std::wstring TopLevelUrl() const = 0;
    // Installs the UI handler, with this sink as script object, on the page.
    virtual void InstallPageUi() = 0;
    virtual void HidePageScrollBars() = 0;

protected:
    ~IGameEventOwner() = default;
};

// What the script object reads and writes.
struct ExternalSettings {
    int localPort = 0;
    std::function<std::string()> cdnBase;
    std::function<void(const std::string&)> setCdnBase;
    // The built-in CDN base: under an https one a page may not set http.
    std::string builtInCdnBase;
};

// Dispatch ids of the script object's methods.
constexpr DISPID kDispGetLocalhostUrl = 500;
constexpr DISPID kDispSetWebCdnUrl = 501;
constexpr DISPID kDispSelfTestReport = 502;

// Where a self-test page's selfTestReport(name, value) goes.
using PageReport = std::function<void(const std::wstring& name, const std::wstring& value)>;

class CInvokeEvent final : public IDispatch {
public:
    CInvokeEvent() = default;
    ~CInvokeEvent();
    CInvokeEvent(const CInvokeEvent&) = delete;
    CInvokeEvent& operator=(const CInvokeEvent&) = delete;

    void SetOwner(IGameEventOwner* owner) { m_owner = owner; }
    void SetExternal(ExternalSettings settings) { m_external = std::move(settings); }
    // The sites whose pages get the script object, move the CDN base and
    // send client commands; nothing is trusted until they are set.
    void SetTrustedSites(TrustedSites sites) { m_trusted = std::move(sites); }
    // Whether the browser's top-level document is a trusted page right now.
    bool TopLevelTrusted() const;
    // Where the pictures of client commands go (kCreate in test mode only).
    void SetCaptureFolder(CaptureFolder folder) { m_captureFolder = folder; }
    // Gives top-level trusted pages of exactly `origin` the report method;
    // without it the method does not exist, not even by name.
    void SetPageReport(const std::string& origin, PageReport report);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    // Not counted: the object lives as long as its window object.
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    void OnDocumentComplete(const DISPPARAMS& params);
    void OnBeforeNavigate2(const DISPPARAMS& params);
    void OnNewWindow3(const DISPPARAMS& params);
    HRESULT CallExternal(DISPID id, const DISPPARAMS& params, VARIANT* result);
    HRESULT CallPageReport(const DISPPARAMS& params);
    bool RunClientCommand(const wchar_t* url);

    IGameEventOwner* m_owner = nullptr;
    ExternalSettings m_external;
    TrustedSites m_trusted;
    CaptureFolder m_captureFolder = CaptureFolder::kExisting;
    bool m_hasReportOrigin = false;
    UrlOrigin m_reportOrigin;
    PageReport m_pageReport;
};
