// ComPtr: owns one reference to a COM interface.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adopts a reference the caller already owns.
    static ComPtr Adopt(T* raw)
    {
        ComPtr p;
        p.m_ptr = raw;
        return p;
    }
    ComPtr(const ComPtr& other) : m_ptr(other.m_ptr)
    {
        if (m_ptr)
            m_ptr->AddRef();
    }
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
    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** Put()
    {
        Reset();
        return &m_ptr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <typename U>
    ComPtr<U> As(REFIID iid) const
    {
        ComPtr<U> other;
        if (m_ptr)
            m_ptr->QueryInterface(iid, other.PutVoid());
        return other;
    }

private:
    T* m_ptr = nullptr;
};
