// The base of our window classes, and WindowObject<T>, the only way to make
// an object that owns its window.
#pragma once

#include "framework/win32/message_map.h"

#include <windows.h>

// The handle and the message map.
class CWindowBase {
public:
    CWindowBase() = default;
    virtual ~CWindowBase() = default;
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;

    HWND Hwnd() const { return m_hWnd; }

protected:
    // The message after the last one (WM_NCDESTROY) has been handled. Not
    // called when the window goes because its object is being destroyed.
    virtual void OnFinalMessage(HWND) {}

    CMessageMap m_map;
    HWND m_hWnd = nullptr;
};

template <typename T>
class WindowObject;

// An object that owns its window (a dialog, a window of a class of ours).
//
// Its window's WM_DESTROY handlers use the whole object, members of the
// most derived class included, while a base class destructor only runs once
// those members are gone. So a window still open when its object dies has to
// be destroyed by the destructor of the most derived class, and that class is
// WindowObject<T>: a class derived from CWindowOwner stays abstract until it
// is wrapped, so no such object can be made, or destroyed, any other way:
//     WindowObject<CGameWindow> window(args...);
class CWindowOwner : public CWindowBase {
protected:
    // `objectSlot`: the window long that holds the object (DWLP_USER, say).
    explicit CWindowOwner(int objectSlot) : m_objectSlot(objectSlot) {}
    ~CWindowOwner() override;

    // Implemented by WindowObject<T> alone.
    virtual void MadeAsWindowObject() = 0;

    // True while WindowObject's destructor destroys the window.
    bool m_objectDying = false;

private:
    void DestroyForObject();

    int m_objectSlot;

    template <typename T>
    friend class WindowObject;
};

template <typename T>
class WindowObject final : public T {
public:
    using T::T;
    WindowObject() = default;
    // Runs before any member of T is destroyed: the window's WM_DESTROY
    // handling sees a whole object.
    ~WindowObject() override { this->DestroyForObject(); }

private:
    void MadeAsWindowObject() override {}
};
