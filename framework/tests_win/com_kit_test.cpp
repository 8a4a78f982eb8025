// The COM kit: reference counting, QueryInterface rules and release of
// everything held by ComPtr, CBstr and CVariant.
#include "framework/com/bstr_variant.h"
#include "framework/com/com_object.h"
#include "framework/com/com_ptr.h"

#include <gtest/gtest.h>

#include <oleidl.h>

namespace {

int g_destroyed = 0;

class CTwoFaced final : public ComObject<CTwoFaced, IPersist, IOleWindow> {
public:
    static const ComInterfaceEntry<CTwoFaced> kInterfaces[];

    STDMETHODIMP GetClassID(CLSID* id) override
    {
        *id = CLSID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = reinterpret_cast<HWND>(0x1234);
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    ~CTwoFaced() override { ++g_destroyed; }
};

const ComInterfaceEntry<CTwoFaced> CTwoFaced::kInterfaces[] = {
    ComEntry<CTwoFaced, IPersist>(),
    ComEntry<CTwoFaced, IOleWindow>(),
    // A second IID for the same interface, as event sinks do.
    ComEntryAs<CTwoFaced, IOleWindow>(IID_IOleInPlaceSite),
    {},
};

// The object's reference count, read without changing it.
ULONG Refs(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

} // namespace

TEST(ComObject, CountsReferencesAndAnswersByItsTable)
{
    const LONG liveBefore = LiveComObjects();
    g_destroyed = 0;
    {
        ComPtr<CTwoFaced> object = MakeComObject<CTwoFaced>();
        EXPECT_EQ(LiveComObjects(), liveBefore + 1);
        EXPECT_EQ(Refs(object->Identity()), 1u);

        EXPECT_EQ(object->QueryInterface(IID_IPersist, nullptr), E_POINTER);
        void* out = &out;
        EXPECT_EQ(object->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);

        // IUnknown is one pointer whichever interface is asked.
        ComPtr<IOleWindow> window;
        ASSERT_EQ(object.QueryInterface(&window), S_OK);
        ComPtr<IUnknown> viaWindow;
        ASSERT_EQ(window.QueryInterface(&viaWindow), S_OK);
        ComPtr<IUnknown> viaPersist;
        ASSERT_EQ(object.As<IPersist>().QueryInterface(&viaPersist), S_OK);
        EXPECT_EQ(viaWindow.Get(), viaPersist.Get());
        EXPECT_EQ(viaWindow.Get(), object->Identity());
        EXPECT_NE(static_cast<void*>(window.Get()), static_cast<void*>(viaPersist.Get()));
        // The table's casts reach the right part of the object.
        HWND hwnd = nullptr;
        EXPECT_EQ(window->GetWindow(&hwnd), S_OK);
        EXPECT_EQ(hwnd, reinterpret_cast<HWND>(0x1234));
        ComPtr<IOleWindow> alias;
        ASSERT_EQ(object->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(alias.Put())), S_OK);
        EXPECT_EQ(alias.Get(), window.Get());
        EXPECT_EQ(Refs(object->Identity()), 5u);
        EXPECT_EQ(g_destroyed, 0);
    }
    // Every reference went: the object deleted itself, once.
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(LiveComObjects(), liveBefore);
}

TEST(ComPtr, QueriesCopiesAttachesAndDetachesWithoutLosingCount)
{
    g_destroyed = 0;
    ComPtr<CTwoFaced> object = MakeComObject<CTwoFaced>();
    IUnknown* identity = object->Identity();

    ComPtr<IPersist> persist;
    EXPECT_EQ(identity->QueryInterface(IID_PPV_ARGS(persist.Put())), S_OK);
    ComPtr<IDispatch> none;
    EXPECT_EQ(object.QueryInterface(&none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(ComPtr<IPersist>().QueryInterface(&none), E_NOINTERFACE);
    EXPECT_EQ(Refs(identity), 2u);

    IPersist* copy = nullptr;
    EXPECT_EQ(persist.CopyTo(&copy), S_OK);
    EXPECT_EQ(copy, persist.Get());
    EXPECT_EQ(persist.CopyTo(static_cast<IPersist**>(nullptr)), E_POINTER);
    EXPECT_EQ(Refs(identity), 3u);
    ComPtr<IPersist> adopted;
    adopted.Attach(copy); // takes the copy's reference, adds none
    EXPECT_EQ(Refs(identity), 3u);
    IPersist* detached = adopted.Detach(); // gives it back, releases none
    EXPECT_FALSE(adopted);
    EXPECT_EQ(Refs(identity), 3u);
    detached->Release();

    void* window = nullptr;
    EXPECT_EQ(persist.CopyTo(IID_IOleWindow, &window), S_OK);
    static_cast<IOleWindow*>(window)->Release();
    persist.Reset();
    object.Reset();
    EXPECT_EQ(g_destroyed, 1);
}

TEST(ComText, VariantsAndStringsReleaseWhatTheyHold)
{
    g_destroyed = 0;
    ComPtr<CTwoFaced> object = MakeComObject<CTwoFaced>();
    IUnknown* identity = object->Identity();
    {
        CVariant holding(identity);
        EXPECT_EQ(holding.Type(), VT_UNKNOWN);
        CVariant copied(holding);
        CVariant moved(std::move(holding));
        EXPECT_EQ(holding.Type(), VT_EMPTY);
        EXPECT_EQ(Refs(identity), 3u);
        copied.Put(); // cleared for an out-parameter
        EXPECT_EQ(copied.Type(), VT_EMPTY);
        EXPECT_EQ(Refs(identity), 2u);
        VARIANT raw;
        moved.Detach(&raw);
        EXPECT_EQ(moved.Type(), VT_EMPTY);
        EXPECT_EQ(Refs(identity), 2u);
        VariantClear(&raw);
    }
    EXPECT_EQ(Refs(identity), 1u);
    object.Reset();
    EXPECT_EQ(g_destroyed, 1);

    CVariant text(L"navigate");
    ASSERT_EQ(text.Type(), VT_BSTR);
    EXPECT_STREQ(V_BSTR(text.Get()), L"navigate");
    EXPECT_EQ(V_BOOL(CVariant(true).Get()), VARIANT_TRUE);

    CBstr title(L"title");
    CBstr copy = title.Copy();
    EXPECT_NE(copy.Get(), title.Get());
    EXPECT_STREQ(copy.Text(), L"title");
    CBstr back = CBstr::Adopt(title.Detach());
    EXPECT_STREQ(title.Text(), L"");
    EXPECT_EQ(back.Length(), 5u);
}
