// ComObject: the base of our COM objects. It implements IUnknown for the
// interfaces it derives from: a real, thread-safe reference count (the
// object deletes itself at zero) and QueryInterface over a table that the
// object declares:
//
//     class CSink final : public ComObject<CSink, IDispatch> {
//     public:
//         static const ComInterfaceEntry<CSink> kInterfaces[];
//         ...
//     };
//     const ComInterfaceEntry<CSink> CSink::kInterfaces[] = {
//         ComEntry<CSink, IDispatch>(),
//         ComEntryAs<CSink, IDispatch>(DIID_DWebBrowserEvents2),
//         {}, // end
//     };
//     ComPtr<CSink> sink = MakeComObject<CSink>(...);
//
// QueryInterface answers IUnknown itself (always the same pointer, whatever
// interface it is asked through), E_POINTER for a null out pointer, and
// E_NOINTERFACE with a null out pointer for what the table lacks.
#pragma once

#include "framework/com/com_ptr.h"

#include <windows.h>

#include <utility>

// How many of our COM objects are alive in the process, for checks that
// everything was released.
LONG LiveComObjects();

namespace com_detail {
void CountObject(LONG delta);
}

template <typename Object>
struct ComInterfaceEntry {
    const IID* iid;
    void* (*cast)(Object* object);
};

template <typename Object, typename I, typename Via>
void* ComCast(Object* object)
{
    return static_cast<I*>(static_cast<Via*>(object));
}

// The object's interface I under its own IID. Via names the one of the
// object's interfaces that leads to I when several do (IOleWindow through
// IOleInPlaceSite, say).
template <typename Object, typename I, typename Via = I>
constexpr ComInterfaceEntry<Object> ComEntry()
{
    return {&__uuidof(I), &ComCast<Object, I, Via>};
}

// Interface I answered under another IID (an event interface that the
// object serves through IDispatch).
template <typename Object, typename I, typename Via = I>
constexpr ComInterfaceEntry<Object> ComEntryAs(const IID& iid)
{
    return {&iid, &ComCast<Object, I, Via>};
}

template <typename Derived, typename First, typename... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (::IsEqualIID(iid, IID_IUnknown)) {
            *out = Identity();
        } else {
            for (const ComInterfaceEntry<Derived>* entry = Derived::kInterfaces; entry->iid; ++entry) {
                if (::IsEqualIID(iid, *entry->iid)) {
                    *out = entry->cast(static_cast<Derived*>(this));
                    break;
                }
            }
        }
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = ::InterlockedDecrement(&m_refs);
        if (left == 0) {
            // Calls back into the object from its destructor (a control
            // releasing its site) must not reach zero a second time.
            m_refs = kDying;
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    // The object's IUnknown (no reference added).
    IUnknown* Identity() { return static_cast<First*>(this); }

protected:
    // Born with one reference, which MakeComObject hands to its caller.
    ComObject() { com_detail::CountObject(1); }
    virtual ~ComObject() { com_detail::CountObject(-1); }

private:
    static constexpr LONG kDying = 0x40000000;

    LONG m_refs = 1;
};

template <typename T, typename... Args>
ComPtr<T> MakeComObject(Args&&... args)
{
    return ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}
