#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <thread>

#include "platform/com/ComObject.h"
#include "platform/com/ComRuntime.h"

struct IWidget : IUnknown {
    virtual int Id() = 0;

protected:
    ~IWidget() = default;
};
ZQK_COM_INTERFACE(IWidget, IUnknown, 0x5E1D0001, 0x0001, 0x0001, 9, 8, 7, 6, 5, 4, 3, 2)

struct IGadget : IUnknown {
protected:
    ~IGadget() = default;
};
ZQK_COM_INTERFACE(IGadget, IUnknown, 0x5E1D0002, 0x0002, 0x0002, 9, 8, 7, 6, 5, 4, 3, 2)

namespace {

const CLSID kClsidWidget = {0x5E1D1000, 0x1000, 0x1000, {1, 1, 1, 1, 1, 1, 1, 1}};
const CLSID kClsidUnknown = {0x5E1D2000, 0x2000, 0x2000, {2, 2, 2, 2, 2, 2, 2, 2}};

std::atomic<int> g_nLive{0};

template <int N> class CWidget : public CComObjectRoot<IWidget> {
public:
    CWidget() { ++g_nLive; }
    int Id() override { return N; }

private:
    ~CWidget() override { --g_nLive; }
};

IUnknown* CreateWidget1() {
    return static_cast<IWidget*>(new CWidget<1>);
}
IUnknown* CreateWidget2() {
    return static_cast<IWidget*>(new CWidget<2>);
}

// Runs f on a thread of its own, which starts without COM.
template <typename F> void OnFreshThread(F f) {
    std::thread(f).join();
}

// Creates an object and releases it again; a failure must leave the out pointer null.
HRESULT Create(REFCLSID clsid, REFIID iid, IUnknown* pOuter = nullptr) {
    void* pv = &pv;
    HRESULT hr = CoCreateInstance(clsid, pOuter, CLSCTX_ALL, iid, &pv);
    if (SUCCEEDED(hr))
        static_cast<IUnknown*>(pv)->Release();
    else
        EXPECT_EQ(nullptr, pv);
    return hr;
}

// Each test initialises COM on the test thread and registers the widget class.
class ComRuntime : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        ZqkRegisterClass(kClsidWidget, L"Zqk.TestWidget", CreateWidget1);
    }
    void TearDown() override {
        ZqkUnregisterClass(kClsidWidget);
        CoUninitialize();
        EXPECT_FALSE(ZqkIsComInitialized());
        EXPECT_EQ(0, g_nLive.load());
    }
};

} // namespace

TEST(ComInit, CountsPerThread) {
    OnFreshThread([] {
        EXPECT_FALSE(ZqkIsComInitialized());
        CoUninitialize(); // an unbalanced call must not drive the count below zero
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        EXPECT_EQ(S_FALSE,
                  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
        // The other concurrency model is refused while the thread is initialised, and not
        // counted.
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        OnFreshThread([] { EXPECT_FALSE(ZqkIsComInitialized()); });
        CoUninitialize();
        CoUninitialize();
        EXPECT_TRUE(ZqkIsComInitialized());
        CoUninitialize();
        EXPECT_FALSE(ZqkIsComInitialized());
        // Uninitialised, the thread may take either model.
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitialize(nullptr));
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        CoUninitialize();
    });
}

TEST_F(ComRuntime, CreatesRegisteredClassesByClsidAndProgID) {
    IWidget* pWidget = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kClsidWidget, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWidget),
                                     reinterpret_cast<void**>(&pWidget)));
    EXPECT_EQ(1, pWidget->Id());
    EXPECT_EQ(1u, ComRefCount(pWidget)); // the factory's reference went to the caller only
    pWidget->Release();

    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"zqk.TESTWIDGET", &clsid));
    EXPECT_EQ(kClsidWidget, clsid);

    // A braced identifier is accepted where a ProgID is expected.
    clsid = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"{5E1D1000-1000-1000-0101-010101010101}", &clsid));
    EXPECT_EQ(kClsidWidget, clsid);
    clsid = GUID_NULL;
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(L"Zqk.NoSuchThing", &clsid));
    EXPECT_EQ(GUID_NULL, clsid);

    // Registering again replaces the factory and the ProgID.
    ZqkRegisterClass(kClsidWidget, L"Zqk.Renamed", CreateWidget2);
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(L"Zqk.TestWidget", &clsid));
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"ZQK.RENAMED", &clsid));
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(IWidget),
                                     reinterpret_cast<void**>(&pWidget)));
    EXPECT_EQ(2, pWidget->Id());
    pWidget->Release();
}

TEST_F(ComRuntime, CreationFailures) {
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(kClsidUnknown, __uuidof(IUnknown)));
    // The object is made, refuses the interface, and is gone again (the fixture counts).
    EXPECT_EQ(E_NOINTERFACE, Create(kClsidWidget, __uuidof(IGadget)));
    IWidget* pOuter = new CWidget<9>;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, Create(kClsidWidget, __uuidof(IUnknown), pOuter));
    EXPECT_EQ(1u, ComRefCount(pOuter));
    pOuter->Release();
    EXPECT_EQ(E_POINTER,
              CoCreateInstance(kClsidWidget, nullptr, CLSCTX_ALL, __uuidof(IUnknown), nullptr));

    // COM is per thread: the class is registered, but this thread never initialised.
    OnFreshThread([] {
        EXPECT_EQ(CO_E_NOTINITIALIZED, Create(kClsidWidget, __uuidof(IUnknown)));
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        EXPECT_EQ(S_OK, Create(kClsidWidget, __uuidof(IUnknown)));
        CoUninitialize();
    });
}

TEST(GuidText, ParsesTheBracedForm) {
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromString(L"{00000514-0000-0010-8000-00AA006D2EA4}", &clsid));
    const CLSID want = {
        0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    EXPECT_EQ(want, clsid);
    clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromString(L"{00000514-0000-0010-8000-00aa006d2ea4}", &clsid));
    EXPECT_EQ(want, clsid);

    const wchar_t* const malformed[] = {
        L"",
        L"00000514-0000-0010-8000-00AA006D2EA4",    // no braces
        L"{00000514-0000-0010-8000-00AA006D2EA4",   // no closing brace
        L"{00000514-0000-0010-8000-00AA006D2EA4}x", // trailing text
        L"{00000514-0000-0010-800000AA006D2EA4}",   // missing separator
        L"{00000514-0000-0010-80-0000AA006D2EA4}",  // separator in the wrong place
        L"{0000051G-0000-0010-8000-00AA006D2EA4}",  // not a hexadecimal digit
    };
    for (const wchar_t* psz : malformed) {
        CLSID out = kClsidWidget;
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(psz, &out)) << psz;
        EXPECT_EQ(kClsidWidget, out) << psz; // a refusal leaves the output alone
    }
    EXPECT_EQ(E_INVALIDARG, CLSIDFromString(nullptr, &clsid));
}

TEST(GuidText, StringFromGuid2RoundTrips) {
    const GUID g = {0x0A1B2C3D, 0x4E5F, 0x0607, {0x80, 0x09, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    wchar_t sz[40];
    std::wmemset(sz, L'#', 40);
    ASSERT_EQ(39, StringFromGUID2(g, sz, 40));
    EXPECT_STREQ(L"{0A1B2C3D-4E5F-0607-8009-AABBCCDDEEFF}", sz);
    GUID back = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromString(sz, &back));
    EXPECT_EQ(g, back);

    std::wmemset(sz, L'#', 40);
    EXPECT_EQ(0, StringFromGUID2(g, sz, 38)); // no room for the terminator
    EXPECT_EQ(L'#', sz[0]);
    EXPECT_EQ(0, StringFromGUID2(g, nullptr, 39));
}
