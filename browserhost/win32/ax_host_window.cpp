// The host windows (our class, or a window taken over) and the functions of
// browser_host.h. Each host window holds one CBrowserHost, which it feeds its
// messages and lets go of when the window is destroyed.
#include "browserhost/browser_host.h"

#include "browserhost/win32/ax_host.h"
#include "framework/com/com_object.h"
#include "framework/win32/class_window.h"
#include "framework/win32/subclassed_window.h"

namespace {

// A window of the host classes; made by the class for every such window.
class CHostWindow : public CWindow {
public:
    CHostWindow() : m_host(MakeComObject<CBrowserHost>())
    {
        m_map.On(WM_NCCREATE, [this](WindowMessage& msg) {
            m_host->AttachWindow(msg.hwnd);
            return false;
        });
        m_map.OnAny([this](WindowMessage& msg) { return m_host->HandleMessage(msg); });
    }

private:
    void OnFinalMessage(HWND) override { m_host->DetachWindow(); }

    ComPtr<CBrowserHost> m_host;
};

// A window of another class taken over as a host; deletes itself after the
// window's last message.
class CHostSubclass final : public CSubclassedWindow {
public:
    CHostSubclass() : m_host(MakeComObject<CBrowserHost>())
    {
        m_map.OnAny([this](WindowMessage& msg) { return m_host->HandleMessage(msg); });
    }

    bool Attach(HWND hwnd)
    {
        if (!SubclassWindow(hwnd))
            return false;
        m_host->AttachWindow(hwnd);
        return true;
    }

private:
    void OnFinalMessage(HWND) override
    {
        m_host->DetachWindow();
        delete this;
    }

    ComPtr<CBrowserHost> m_host;
};

ComPtr<IBrowserHostWindow> HostOf(HWND host)
{
    ComPtr<IUnknown> unknown;
    if (FAILED(AxGetHost(host, unknown.Put())))
        return nullptr;
    return unknown.As<IBrowserHostWindow>();
}

} // namespace

bool RegisterBrowserHostClasses(HINSTANCE module)
{
    WindowClassInfo info;
    info.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    info.name = kBrowserHostClass;
    const bool plain = CWindow::RegisterClassWithObjects<CHostWindow>(module, info);
    info.name = kBrowserHostLicClass;
    const bool licensed = CWindow::RegisterClassWithObjects<CHostWindow>(module, info);
    return plain && licensed;
}

UINT BrowserHostGetHostMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"WM_ATLGETHOST");
    return message;
}

UINT BrowserHostGetControlMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"WM_ATLGETCONTROL");
    return message;
}

bool AxAttachToWindow(HWND existing)
{
    if (!::IsWindow(existing))
        return false;
    if (HostOf(existing))
        return true;
    auto* window = new CHostSubclass;
    if (!window->Attach(existing)) {
        delete window;
        return false;
    }
    return true;
}

HRESULT AxGetHost(HWND host, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!::IsWindow(host))
        return E_INVALIDARG;
    *out = reinterpret_cast<IUnknown*>(::SendMessageW(host, BrowserHostGetHostMessage(), 0, 0));
    return *out ? S_OK : E_INVALIDARG;
}

HRESULT AxCreateControlEx(HWND host, const wchar_t* text)
{
    const ComPtr<IBrowserHostWindow> self = HostOf(host);
    return self ? self->CreateControlEx(text) : E_INVALIDARG;
}

HRESULT AxAttachControl(HWND host, IUnknown* control)
{
    const ComPtr<IBrowserHostWindow> self = HostOf(host);
    return self ? self->AttachControl(control) : E_INVALIDARG;
}

HRESULT AxQueryControl(HWND host, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const ComPtr<IBrowserHostWindow> self = HostOf(host);
    return self ? self->QueryControl(iid, out) : E_INVALIDARG;
}
