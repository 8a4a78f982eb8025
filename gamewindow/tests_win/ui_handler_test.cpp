// The game page's UI handler: its answers, its script object and its
// reference counting, installed on a stand-in document (Wine has no HTML
// engine to make real ones).
#include "framework/com/com_object.h"
#include "gamewindow/win32/ui_handler.h"

#include <gtest/gtest.h>

#include <mshtml.h>

namespace {

// Takes a UI handler as a document does and keeps it. Only QueryInterface
// is ever called through the IHTMLDocument2 it answers with, so its IDispatch
// stands in for that interface.
class CFakeDocument final : public ComObject<CFakeDocument, IDispatch, ICustomDoc> {
public:
    static const ComInterfaceEntry<CFakeDocument> kInterfaces[];
    explicit CFakeDocument(bool custom) : m_custom(custom) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!m_custom && out && IsEqualIID(iid, __uuidof(ICustomDoc))) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return ComObject::QueryInterface(iid, out);
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override
    {
        handlerSet = ComPtr<IDocHostUIHandler>(handler);
        return S_OK;
    }

    ComPtr<IDocHostUIHandler> handlerSet;

private:
    bool m_custom;
};

const ComInterfaceEntry<CFakeDocument> CFakeDocument::kInterfaces[] = {
    ComEntry<CFakeDocument, IDispatch>(),
    ComEntryAs<CFakeDocument, IDispatch>(IID_IHTMLDocument2),
    ComEntry<CFakeDocument, ICustomDoc>(),
    {},
};

// A script object that counts what it is given.
class CCountedExternal final : public ComObject<CCountedExternal, IDispatch> {
public:
    static const ComInterfaceEntry<CCountedExternal> kInterfaces[];
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};
const ComInterfaceEntry<CCountedExternal> CCountedExternal::kInterfaces[] = {
    ComEntry<CCountedExternal, IDispatch>(),
    {},
};

ULONG Refs(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

} // namespace

TEST(UiHandler, InstalledOnEachDocumentWithTheScriptObject)
{
    g_uiHandler.Reset();
    const LONG liveBefore = LiveComObjects();
    {
        ComPtr<CCountedExternal> external = MakeComObject<CCountedExternal>();
        ComPtr<CFakeDocument> first = MakeComObject<CFakeDocument>(true);
        ComPtr<CFakeDocument> second = MakeComObject<CFakeDocument>(true);
        ASSERT_TRUE(InstallUiHandlerOnDocument(first.Get(), external.Get()));
        ASSERT_TRUE(InstallUiHandlerOnDocument(second.Get(), nullptr));
        ASSERT_TRUE(first->handlerSet);
        EXPECT_EQ(first->handlerSet.Get(), second->handlerSet.Get()); // one handler for good
        IDocHostUIHandler* handler = first->handlerSet.Get();
        EXPECT_EQ(Refs(handler), 3u); // g_uiHandler and the two documents

        EXPECT_EQ(handler->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
        DOCHOSTUIINFO info = {};
        info.cbSize = sizeof info;
        info.dwFlags = DOCHOSTUIFLAG_SCROLL_NO;
        info.dwDoubleClick = 7;
        EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
        EXPECT_EQ(info.dwFlags, DWORD(DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_NO3DBORDER));
        EXPECT_EQ(info.dwDoubleClick, 7u);
        EXPECT_EQ(handler->TranslateAccelerator(nullptr, nullptr, 0), E_NOTIMPL);

        const ULONG externalRefs = Refs(external.Get());
        IDispatch* got = nullptr;
        EXPECT_EQ(handler->GetExternal(&got), S_OK);
        EXPECT_EQ(got, external.Get());
        EXPECT_EQ(Refs(external.Get()), externalRefs + 1); // the caller's own reference
        got->Release();

        // Its owner going makes the handler forget it, until a page of a new
        // owner brings one.
        ForgetUiHandlerExternal(external.Get());
        EXPECT_EQ(handler->GetExternal(&got), S_FALSE);
        EXPECT_EQ(got, nullptr);
        ComPtr<CCountedExternal> next = MakeComObject<CCountedExternal>();
        ASSERT_TRUE(InstallUiHandlerOnDocument(first.Get(), next.Get()));
        EXPECT_EQ(handler->GetExternal(&got), S_OK);
        EXPECT_EQ(got, next.Get());
        got->Release();
        ForgetUiHandlerExternal(next.Get());

        // With a gate the object is given only while the gate allows it,
        // asked anew at each request.
        bool trusted = true;
        ASSERT_TRUE(InstallUiHandlerOnDocument(first.Get(), external.Get(), [&trusted] { return trusted; }));
        EXPECT_EQ(handler->GetExternal(&got), S_OK);
        EXPECT_EQ(got, external.Get());
        got->Release();
        trusted = false;
        const ULONG refsRefused = Refs(external.Get());
        got = external.Get();
        EXPECT_EQ(handler->GetExternal(&got), S_FALSE);
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(Refs(external.Get()), refsRefused);
        trusted = true;
        EXPECT_EQ(handler->GetExternal(&got), S_OK);
        got->Release();
        ForgetUiHandlerExternal(external.Get());
    }
    g_uiHandler.Reset();
    EXPECT_EQ(LiveComObjects(), liveBefore); // documents, handler and objects all released
}

TEST(UiHandler, DocumentWithoutUiHandlerSupport)
{
    ComPtr<CFakeDocument> plain = MakeComObject<CFakeDocument>(false);
    EXPECT_FALSE(InstallUiHandlerOnDocument(plain.Get(), nullptr));
    EXPECT_FALSE(InstallUiHandlerOnDocument(nullptr, nullptr));
    EXPECT_FALSE(InstallUiHandler(nullptr, nullptr, ExternalGate()));
}
