// Owners of a BSTR (CBstr) and of a VARIANT (CVariant): each frees what it
// holds exactly once.
#pragma once

#include <oaidl.h>
#include <oleauto.h>

#include <utility>

class CBstr {
public:
    CBstr() = default;
    // A copy of the text; null text gives a null BSTR (COM's empty string).
    explicit CBstr(const wchar_t* text) : m_value(text ? ::SysAllocString(text) : nullptr) {}
    CBstr(const wchar_t* text, UINT length) : m_value(::SysAllocStringLen(text, length)) {}
    // Takes over a BSTR the caller owns.
    static CBstr Adopt(BSTR value)
    {
        CBstr b;
        b.m_value = value;
        return b;
    }
    ~CBstr() { ::SysFreeString(m_value); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    CBstr(CBstr&& other) noexcept : m_value(std::exchange(other.m_value, nullptr)) {}
    CBstr& operator=(CBstr&& other) noexcept
    {
        std::swap(m_value, other.m_value);
        return *this;
    }

    BSTR Get() const { return m_value; }
    // Never null: "" for a null BSTR.
    const wchar_t* Text() const { return m_value ? m_value : L""; }
    UINT Length() const { return ::SysStringLen(m_value); }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* Put()
    {
        Reset();
        return &m_value;
    }
    // Hands the string to the caller, who must free it.
    BSTR Detach() { return std::exchange(m_value, nullptr); }
    void Reset() { ::SysFreeString(std::exchange(m_value, nullptr)); }
    CBstr Copy() const { return m_value ? CBstr(m_value, Length()) : CBstr(); }

private:
    BSTR m_value = nullptr;
};

class CVariant {
public:
    CVariant() { ::VariantInit(&m_value); }
    // VT_BSTR with a copy of the text.
    explicit CVariant(const wchar_t* text) : CVariant()
    {
        V_VT(&m_value) = VT_BSTR;
        V_BSTR(&m_value) = ::SysAllocString(text ? text : L"");
    }
    // VT_BOOL.
    explicit CVariant(bool value) : CVariant()
    {
        V_VT(&m_value) = VT_BOOL;
        V_BOOL(&m_value) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    // VT_I4.
    explicit CVariant(LONG value) : CVariant()
    {
        V_VT(&m_value) = VT_I4;
        V_I4(&m_value) = value;
    }
    // VT_UNKNOWN or VT_DISPATCH, with a reference of its own.
    explicit CVariant(IUnknown* object) : CVariant() { SetObject(VT_UNKNOWN, object); }
    explicit CVariant(IDispatch* object) : CVariant() { SetObject(VT_DISPATCH, object); }
    ~CVariant() { ::VariantClear(&m_value); }
    CVariant(const CVariant& other) : CVariant() { ::VariantCopy(&m_value, Source(other)); }
    CVariant& operator=(const CVariant& other)
    {
        if (this != &other)
            ::VariantCopy(&m_value, Source(other)); // clears ours first
        return *this;
    }
    CVariant(CVariant&& other) noexcept : m_value(other.m_value) { ::VariantInit(&other.m_value); }
    CVariant& operator=(CVariant&& other) noexcept
    {
        std::swap(m_value, other.m_value);
        return *this;
    }

    VARIANT* Get() { return &m_value; }
    const VARIANT* Get() const { return &m_value; }
    VARTYPE Type() const { return V_VT(&m_value); }
    // For out-parameters: clears what is held and hands out the variant.
    VARIANT* Put()
    {
        Clear();
        return &m_value;
    }
    void Clear() { ::VariantClear(&m_value); }
    // Moves the value into `out` (which must hold nothing that needs
    // freeing) and leaves this one empty.
    void Detach(VARIANT* out)
    {
        *out = m_value;
        ::VariantInit(&m_value);
    }

private:
    // VariantCopy only reads its source, though its signature says otherwise.
    static VARIANT* Source(const CVariant& other) { return const_cast<VARIANT*>(&other.m_value); }
    void SetObject(VARTYPE type, IUnknown* object)
    {
        V_VT(&m_value) = type;
        V_UNKNOWN(&m_value) = object;
        if (object)
            object->AddRef();
    }

    VARIANT m_value;
};
