// ComPtr: owns one reference to a COM interface.
//
//     ComPtr<IWebBrowser2> browser;
//     HRESULT hr = control.QueryInterface(&browser);
//     hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(browser.Put()));
#pragma once

#include <unknwn.h>

#include <cstddef>
#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own.
    explicit ComPtr(T* raw) : m_ptr(raw)
    {
        if (m_ptr)
            m_ptr->AddRef();
    }
    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* raw)
    {
        ComPtr p;
        p.m_ptr = raw;
        return p;
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_ptr) {}
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset()
    {
        if (m_ptr)
            std::exchange(m_ptr, nullptr)->Release();
    }
    // Takes over a reference the caller owns, releasing what was held.
    void Attach(T* raw)
    {
        Reset();
        m_ptr = raw;
    }
    // Hands the reference to the caller, who must release it.
    T* Detach() { return std::exchange(m_ptr, nullptr); }

    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // For out-parameters (IID_PPV_ARGS(p.Put()) too): releases what is held
    // and hands out the slot.
    T** Put()
    {
        Reset();
        return &m_ptr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // A new reference for the caller; null (and S_OK) when nothing is held.
    HRESULT CopyTo(T** out) const
    {
        if (!out)
            return E_POINTER;
        *out = m_ptr;
        if (m_ptr)
            m_ptr->AddRef();
        return S_OK;
    }
    HRESULT CopyTo(REFIID iid, void** out) const
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return m_ptr ? m_ptr->QueryInterface(iid, out) : E_NOINTERFACE;
    }

    // Queries the held object; `out` is released first and stays null on
    // failure. E_NOINTERFACE when nothing is held.
    template <typename U>
    HRESULT QueryInterface(REFIID iid, ComPtr<U>* out) const
    {
        if (!out)
            return E_POINTER;
        return CopyTo(iid, out->PutVoid());
    }
    template <typename U>
    HRESULT QueryInterface(ComPtr<U>* out) const
    {
        return QueryInterface(__uuidof(U), out);
    }

    // The interface, or null.
    template <typename U>
    ComPtr<U> As(REFIID iid) const
    {
        ComPtr<U> other;
        QueryInterface(iid, &other);
        return other;
    }
    template <typename U>
    ComPtr<U> As() const
    {
        return As<U>(__uuidof(U));
    }

private:
    T* m_ptr = nullptr;
};
