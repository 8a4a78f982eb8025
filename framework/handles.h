// RAII owners for Win32 handles: each closes its handle exactly once.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type value) : m_value(value) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_value(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return m_value; }
    bool IsValid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }
    Type Release() { return std::exchange(m_value, Traits::Invalid()); }
    void Reset(Type value = Traits::Invalid())
    {
        if (IsValid())
            Traits::Close(m_value);
        m_value = value;
    }

private:
    Type m_value = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
// Files and other handles whose failure value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

using ScopedHandle = UniqueHandle<KernelHandleTraits>;
using ScopedFile = UniqueHandle<FileHandleTraits>;
using ScopedFind = UniqueHandle<FindHandleTraits>;
using ScopedGdiObject = UniqueHandle<GdiObjectTraits>;
using ScopedMemoryDc = UniqueHandle<MemoryDcTraits>;
using ScopedIcon = UniqueHandle<IconTraits>;
using ScopedMenu = UniqueHandle<MenuTraits>;
using ScopedLibrary = UniqueHandle<ModuleTraits>;

// A window's device context from GetDC, released with ReleaseDC.
class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~ScopedWindowDc()
    {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// Selects an object into a DC and selects the previous one back at scope end.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~ScopedSelect()
    {
        if (m_previous)
            ::SelectObject(m_dc, m_previous);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};
