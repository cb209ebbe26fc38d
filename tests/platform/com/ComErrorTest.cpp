#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "platform/com/comdef.h"

struct IThing : IUnknown {
    virtual HRESULT Fail() = 0;

protected:
    ~IThing() = default;
};
ZQK_COM_INTERFACE(IThing, IUnknown, 0x3C0E0001, 0x0001, 0x0001, 4, 4, 4, 4, 4, 4, 4, 4)

struct IOther : IUnknown {
protected:
    ~IOther() = default;
};
ZQK_COM_INTERFACE(IOther, IUnknown, 0x3C0E0002, 0x0002, 0x0002, 4, 4, 4, 4, 4, 4, 4, 4)

namespace {

const CLSID kClsidThing = {0x3C0E1000, 0x1000, 0x1000, {5, 5, 5, 5, 5, 5, 5, 5}};
const CLSID kClsidMissing = {0x3C0E2000, 0x2000, 0x2000, {6, 6, 6, 6, 6, 6, 6, 6}};

std::atomic<int> g_nLive{0};

// Fails every call, describes the failure on the thread, and says so for IThing only.
class CFailingThing : public CComObjectRoot<IThing, ISupportErrorInfo> {
public:
    CFailingThing() { ++g_nLive; }
    HRESULT Fail() override {
        ZqkSetErrorInfo(L"Zqk.Thing", L"The thing broke.");
        return E_FAIL;
    }
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == __uuidof(IThing) ? S_OK : S_FALSE;
    }

private:
    ~CFailingThing() override { --g_nLive; }
};

IUnknown* CreateThing() {
    return static_cast<IThing*>(new CFailingThing);
}

IErrorInfo* NewErrorInfo(LPCOLESTR pszSource, LPCOLESTR pszDescription) {
    EXPECT_EQ(S_OK, ZqkSetErrorInfo(pszSource, pszDescription));
    IErrorInfo* p = nullptr;
    EXPECT_EQ(S_OK, GetErrorInfo(0, &p));
    return p;
}

// A text as its full length says, or "<null>" for an absent one.
std::wstring Str(const _bstr_t& b) {
    const wchar_t* p = b;
    return p ? std::wstring(p, b.length()) : L"<null>";
}
std::wstring Str(IErrorInfo* p, HRESULT (IErrorInfo::*get)(BSTR*)) {
    BSTR b = reinterpret_cast<BSTR>(&b);
    EXPECT_EQ(S_OK, (p->*get)(&b));
    return Str(_bstr_t(b, false));
}
std::wstring SourceOf(IErrorInfo* p) {
    return Str(p, &IErrorInfo::GetSource);
}

// The source of the thread's error information, taken from it; "<none>" when there is none.
std::wstring TakeSource() {
    IErrorInfo* p = reinterpret_cast<IErrorInfo*>(&p);
    HRESULT hr = GetErrorInfo(0, &p);
    if (hr == S_FALSE && p == nullptr)
        return L"<none>";
    if (hr != S_OK || p == nullptr)
        return L"<bad result>";
    std::wstring s = SourceOf(p);
    p->Release();
    return s;
}

// The _com_error that fn raised; a test failure when it raised none.
template <typename Fn> _com_error Raised(Fn fn) {
    try {
        fn();
    } catch (const _com_error& e) {
        return e;
    }
    ADD_FAILURE() << "did not raise";
    return _com_error(S_OK);
}

// Every test leaves no object alive, no error information on the thread and the default
// raising routine in place.
class ComErrorFixture : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitialize(nullptr)); }
    void TearDown() override {
        _set_com_error_handler(nullptr);
        SetErrorInfo(0, nullptr);
        ZqkUnregisterClass(kClsidThing);
        CoUninitialize();
        EXPECT_EQ(0, g_nLive.load());
    }
};

using ErrorInfoTest = ComErrorFixture;
using ComErrorObject = ComErrorFixture;
using ComRaise = ComErrorFixture;
using ComPtr = ComErrorFixture;

} // namespace

TEST_F(ErrorInfoTest, CreatedObjectsCarryWhatTheSettersGave) {
    ICreateErrorInfo* pCreate = nullptr;
    ASSERT_EQ(S_OK, CreateErrorInfo(&pCreate));
    const GUID guid = __uuidof(IThing);
    EXPECT_EQ(S_OK, pCreate->SetGUID(guid));
    EXPECT_EQ(S_OK, pCreate->SetSource(const_cast<LPOLESTR>(L"Zqk.Source")));
    EXPECT_EQ(S_OK, pCreate->SetDescription(const_cast<LPOLESTR>(L"First")));
    EXPECT_EQ(S_OK, pCreate->SetDescription(const_cast<LPOLESTR>(L"Second"))); // replaces
    EXPECT_EQ(S_OK, pCreate->SetHelpContext(77));

    IErrorInfo* pInfo = nullptr;
    ASSERT_EQ(S_OK, pCreate->QueryInterface(&pInfo));
    pCreate->Release();
    GUID gotGuid = GUID_NULL;
    EXPECT_EQ(S_OK, pInfo->GetGUID(&gotGuid));
    EXPECT_EQ(guid, gotGuid);
    EXPECT_EQ(L"Zqk.Source", SourceOf(pInfo));
    EXPECT_EQ(L"Second", Str(pInfo, &IErrorInfo::GetDescription));
    EXPECT_EQ(L"<null>", Str(pInfo, &IErrorInfo::GetHelpFile)); // never set
    DWORD dw = 0;
    EXPECT_EQ(S_OK, pInfo->GetHelpContext(&dw));
    EXPECT_EQ(77u, dw);
    EXPECT_EQ(1u, ComRefCount(pInfo));
    pInfo->Release();
}

TEST_F(ErrorInfoTest, BelongsToTheThreadAndTakingClearsIt) {
    IErrorInfo* pInfo = NewErrorInfo(L"Zqk.A", L"a");
    ASSERT_NE(nullptr, pInfo);
    EXPECT_EQ(S_OK, SetErrorInfo(0, pInfo));
    EXPECT_EQ(2u, ComRefCount(pInfo));

    std::thread([pInfo] {
        EXPECT_EQ(L"<none>", TakeSource());
        // What a thread leaves behind is released when the thread ends.
        SetErrorInfo(0, pInfo);
    }).join();
    EXPECT_EQ(2u, ComRefCount(pInfo));

    IErrorInfo* pTaken = nullptr;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &pTaken));
    EXPECT_EQ(pInfo, pTaken);
    EXPECT_EQ(2u, ComRefCount(pInfo)); // the thread's reference moved to the caller
    pTaken->Release();
    EXPECT_EQ(L"<none>", TakeSource());

    // Replacing and clearing release what was held.
    SetErrorInfo(0, pInfo);
    IErrorInfo* pOther = NewErrorInfo(L"Zqk.B", nullptr);
    SetErrorInfo(0, pOther);
    EXPECT_EQ(1u, ComRefCount(pInfo));
    EXPECT_EQ(2u, ComRefCount(pOther));
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(1u, ComRefCount(pOther));
    EXPECT_EQ(L"<none>", TakeSource());

    // An absent description stays absent rather than turning into an empty text.
    EXPECT_EQ(L"<null>", Str(pOther, &IErrorInfo::GetDescription));
    EXPECT_EQ(L"Zqk.B", SourceOf(pOther));
    pOther->Release();
    pInfo->Release();
}

TEST_F(ComErrorObject, ErrorMessageUsesSystemTextThenTheFallbacks) {
    const struct {
        HRESULT hr;
        const wchar_t* pszText;
        WORD wCode;
    } cases[] = {
        {E_POINTER, L"Invalid pointer", 0},
        {E_FAIL, L"Unspecified error", 0},
        {E_INVALIDARG, L"The parameter is incorrect.", 0},
        {E_OUTOFMEMORY, L"Not enough storage is available to complete this operation.", 0},
        {CO_E_NOTINITIALIZED, L"CoInitialize has not been called.", 0},
        {DISP_E_TYPEMISMATCH, L"Type mismatch.", 0},
        {REGDB_E_CLASSNOTREG, L"Class not registered", 0},
        {static_cast<HRESULT>(0x80040E14), L"IDispatch error #3092", 3092},
        {static_cast<HRESULT>(0x80040201), L"IDispatch error #1", 1},
        {static_cast<HRESULT>(0x8004FFFF), L"IDispatch error #65023", 65023},
        {static_cast<HRESULT>(0x80040200), L"Unknown error 0x80040200", 0},
        {static_cast<HRESULT>(0x800A0E78), L"Unknown error 0x800A0E78", 0},
        {0x12AB, L"Unknown error 0x12AB", 0},
    };
    for (const auto& c : cases) {
        _com_error e(c.hr);
        EXPECT_STREQ(c.pszText, e.ErrorMessage()) << std::hex << c.hr;
        EXPECT_EQ(c.wCode, e.WCode()) << std::hex << c.hr;
        EXPECT_EQ(e.ErrorMessage(), e.ErrorMessage()); // kept, not made again
        EXPECT_EQ(nullptr, e.ErrorInfo());
    }
}

TEST_F(ComErrorObject, CopiesShareTheErrorInformationButNotTheMessage) {
    IErrorInfo* pInfo = NewErrorInfo(L"Zqk.Src", L"What went wrong");
    pInfo->AddRef(); // one for us, one handed over to e
    _com_error e(E_FAIL, pInfo);
    EXPECT_EQ(2u, ComRefCount(pInfo));
    EXPECT_EQ(L"Zqk.Src", Str(e.Source()));
    EXPECT_EQ(L"What went wrong", Str(e.Description()));
    const wchar_t* pszMsg = e.ErrorMessage();
    {
        _com_error copy(e);
        EXPECT_EQ(3u, ComRefCount(pInfo));
        EXPECT_NE(pszMsg, copy.ErrorMessage());
        EXPECT_STREQ(L"Unspecified error", copy.ErrorMessage());
        IErrorInfo* pShared = copy.ErrorInfo();
        EXPECT_EQ(pInfo, pShared);
        pShared->Release();

        _com_error other(E_POINTER, pInfo, true);
        EXPECT_EQ(4u, ComRefCount(pInfo));
        EXPECT_STREQ(L"Invalid pointer", other.ErrorMessage());
        other = _com_error(E_INVALIDARG);
        EXPECT_EQ(3u, ComRefCount(pInfo));
        EXPECT_STREQ(L"The parameter is incorrect.", other.ErrorMessage());
        // Without error information both texts are absent.
        EXPECT_EQ(L"<null>", Str(other.Source()));
        EXPECT_EQ(L"<null>", Str(other.Description()));
        other = e;
        _com_error& self = other;
        other = self;
        EXPECT_EQ(4u, ComRefCount(pInfo));
        EXPECT_STREQ(L"Unspecified error", other.ErrorMessage());
    }
    EXPECT_EQ(2u, ComRefCount(pInfo));
    EXPECT_EQ(pszMsg, e.ErrorMessage());
    pInfo->Release();
}

TEST_F(ComRaise, IssueErrorExTakesErrorInformationOnlyFromAnObjectThatVouchesForIt) {
    // A plain raise carries none and does not consume the thread's.
    ZqkSetErrorInfo(L"Zqk.Left", nullptr);
    _com_error plain = Raised([] { _com_issue_error(E_POINTER); });
    EXPECT_EQ(E_POINTER, plain.Error());
    EXPECT_EQ(nullptr, plain.ErrorInfo());
    EXPECT_EQ(L"Zqk.Left", TakeSource());

    IThing* pThing = new CFailingThing;
    {
        _com_error e =
            Raised([&] { _com_issue_errorex(pThing->Fail(), pThing, __uuidof(IThing)); });
        EXPECT_EQ(E_FAIL, e.Error());
        EXPECT_EQ(L"Zqk.Thing", Str(e.Source()));
        EXPECT_EQ(L"The thing broke.", Str(e.Description()));
        IErrorInfo* pInfo = e.ErrorInfo();
        ASSERT_NE(nullptr, pInfo);
        EXPECT_EQ(2u, ComRefCount(pInfo)); // the exception's and ours: nothing else holds it
        pInfo->Release();
    }
    EXPECT_EQ(L"<none>", TakeSource()); // taken from the thread
    EXPECT_EQ(1u, ComRefCount(pThing));

    // For an interface the object does not vouch for, or from an object without
    // ISupportErrorInfo (an error information object is one), none is taken: the thread's
    // stays.
    IErrorInfo* pSilent = NewErrorInfo(L"Zqk.Silent", nullptr);
    auto expectUntaken = [&](IUnknown* p, REFIID iid) {
        SetErrorInfo(0, pSilent);
        _com_error e = Raised([&] { _com_issue_errorex(E_FAIL, p, iid); });
        EXPECT_EQ(E_FAIL, e.Error());
        EXPECT_EQ(nullptr, e.ErrorInfo());
        EXPECT_EQ(L"Zqk.Silent", TakeSource());
        EXPECT_EQ(1u, ComRefCount(p));
    };
    expectUntaken(pThing, __uuidof(IOther));
    expectUntaken(pSilent, __uuidof(IThing));
    pThing->Release();
    pSilent->Release();
    EXPECT_EQ(nullptr,
              Raised([] { _com_issue_errorex(E_FAIL, nullptr, __uuidof(IThing)); }).ErrorInfo());
}

namespace {

struct CustomRaise {};
using Handled = std::vector<std::pair<HRESULT, std::wstring>>;
Handled g_handled; // each call of a replaced raising routine: code and source

// Takes over the reference it is given, as the default routine would.
void ThrowingHandler(HRESULT hr, IErrorInfo* perrinfo) {
    g_handled.emplace_back(hr, perrinfo ? SourceOf(perrinfo) : L"");
    if (perrinfo)
        perrinfo->Release();
    throw CustomRaise{};
}

void ReturningHandler(HRESULT hr, IErrorInfo*) {
    g_handled.emplace_back(hr, L"returned");
}

} // namespace

TEST_F(ComRaise, AReplacedRaisingRoutineSeesEveryRaise) {
    g_handled.clear();
    _set_com_error_handler(ThrowingHandler);
    EXPECT_THROW(_com_issue_error(E_POINTER), CustomRaise);
    IThing* pThing = new CFailingThing;
    EXPECT_THROW(_com_issue_errorex(pThing->Fail(), pThing, __uuidof(IThing)), CustomRaise);
    pThing->Release();
    // A routine that returns cannot make a raise come back to its caller.
    _set_com_error_handler(ReturningHandler);
    EXPECT_THROW(_com_issue_error(E_INVALIDARG), _com_error);
    _set_com_error_handler(nullptr);
    EXPECT_THROW(_com_issue_error(E_POINTER), _com_error);
    EXPECT_EQ((Handled{{E_POINTER, L""}, {E_FAIL, L"Zqk.Thing"}, {E_INVALIDARG, L"returned"}}),
              g_handled);
}

TEST_F(ComPtr, CreatesQueriesAndCountsReferences) {
    ZqkRegisterClass(kClsidThing, L"Zqk.Thing", CreateThing);
    _com_ptr_t<IThing> pByClsid;
    ASSERT_EQ(S_OK, pByClsid.CreateInstance(kClsidThing));
    EXPECT_EQ(1u, ComRefCount(pByClsid));
    _com_ptr_t<IThing> pByProgID(L"zqk.thing");
    ASSERT_TRUE(pByProgID);
    // Creating into a held pointer replaces the old object; failing leaves it null.
    ASSERT_EQ(S_OK, pByProgID.CreateInstance(L"ZQK.THING"));
    EXPECT_EQ(2, g_nLive.load());
    EXPECT_EQ(CO_E_CLASSSTRING, pByProgID.CreateInstance(L"Zqk.Nothing"));
    EXPECT_FALSE(pByProgID);
    EXPECT_EQ(1, g_nLive.load());
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Raised([] { _com_ptr_t<IThing> p(kClsidMissing); }).Error());

    // From another interface: a QueryInterface, or null when that fails.
    IUnknownPtr pUnk = pByClsid;
    _com_ptr_t<IThing> pBack;
    pBack = pUnk;
    EXPECT_EQ(pByClsid, pBack);
    EXPECT_EQ(3u, ComRefCount(pUnk));
    _com_ptr_t<IOther> pOther = pUnk;
    EXPECT_FALSE(pOther);
    pBack = nullptr;
    pUnk = nullptr;
    EXPECT_EQ(1u, ComRefCount(pByClsid));

    // Copies and moves.
    {
        _com_ptr_t<IThing> copy(pByClsid);
        _com_ptr_t<IThing> assigned;
        assigned = copy;
        _com_ptr_t<IThing>& self = assigned;
        assigned = self;
        EXPECT_EQ(3u, ComRefCount(pByClsid));
        _com_ptr_t<IThing> moved(std::move(copy));
        EXPECT_FALSE(copy);
        assigned = std::move(moved);
        EXPECT_FALSE(moved);
        EXPECT_EQ(2u, ComRefCount(pByClsid));
    }
    EXPECT_EQ(1u, ComRefCount(pByClsid));

    // Attach takes a reference over, Detach hands it back.
    IThing* pRaw = pByClsid.Detach();
    EXPECT_FALSE(pByClsid);
    EXPECT_EQ(1u, ComRefCount(pRaw));
    _com_ptr_t<IThing> attached;
    attached.Attach(pRaw);
    EXPECT_EQ(1u, ComRefCount(pRaw));
    pRaw->AddRef();
    attached.Attach(pRaw, true); // replaces, releasing the reference held before
    EXPECT_EQ(2u, ComRefCount(pRaw));
    pRaw->Release();

    // The out-parameter slot releases what the pointer held.
    IThing** ppSlot = &attached;
    EXPECT_EQ(nullptr, *ppSlot);
    EXPECT_EQ(0, g_nLive.load());
    ASSERT_EQ(S_OK, CoCreateInstance(kClsidThing, nullptr, CLSCTX_ALL, __uuidof(IThing),
                                     reinterpret_cast<void**>(ppSlot)));
    EXPECT_EQ(1u, ComRefCount(attached));
}

TEST_F(ComPtr, UsingANullPointerRaisesEPointer) {
    _com_ptr_t<IThing> pNull;
    ZqkSetErrorInfo(L"Zqk.Unrelated", nullptr);
    _com_error e = Raised([&] { pNull->Fail(); });
    EXPECT_EQ(E_POINTER, e.Error());
    EXPECT_EQ(nullptr, e.ErrorInfo());
    EXPECT_THROW(*pNull, _com_error);
    EXPECT_THROW(pNull.AddRef(), _com_error);
    EXPECT_THROW(pNull.Release(), _com_error);
    IUnknown* pUnk = nullptr;
    EXPECT_EQ(E_POINTER, pNull.QueryInterface(__uuidof(IUnknown), pUnk));
}
