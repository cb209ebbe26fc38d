#include <gtest/gtest.h>

#include <utility>

#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/com/VariantT.h"

namespace {

class CountedUnknown : public CComObjectRoot<IUnknown> {};
class CountedDispatch : public CComDispatchStub<CComObjectRoot<IDispatch>> {};

// The code f raises, or S_OK when it raises nothing.
template <typename F> HRESULT Raised(F f) {
    try {
        f();
    } catch (_com_error& e) {
        return e.Error();
    }
    return S_OK;
}

} // namespace

TEST(VariantT, ConstructorsPickTheType) {
    // Type and value bits; every member sits in the same eight bytes.
    auto typed = [](const _variant_t& v) { return std::make_pair(v.vt, v.llVal); };
    auto want = [](VARTYPE vt, LONGLONG bits) { return std::make_pair(vt, bits); };
    EXPECT_EQ(want(VT_I4, 7), typed(_variant_t(7)));
    EXPECT_EQ(want(VT_I4, 0xFFFFFFFB), typed(_variant_t(-5L)));
    EXPECT_EQ(want(VT_I8, 5000000000), typed(_variant_t(5000000000L)));
    EXPECT_EQ(want(VT_I8, 1), typed(_variant_t(1LL)));
    EXPECT_EQ(want(VT_BOOL, 0xFFFF), typed(_variant_t(true)));
    EXPECT_EQ(want(VT_BOOL, 0), typed(_variant_t(false)));
    EXPECT_EQ(VT_I2, _variant_t(short(-3)).vt);
    EXPECT_EQ(VT_UI1, _variant_t(static_cast<unsigned char>(200)).vt);
    EXPECT_EQ(VT_R4, _variant_t(1.5f).vt);
    _variant_t d(0.25);
    EXPECT_EQ(VT_R8, d.vt);
    EXPECT_EQ(0.25, d.dblVal);

    _variant_t w(L"wide");
    ASSERT_EQ(VT_BSTR, w.vt);
    EXPECT_STREQ(L"wide", w.bstrVal);
    _bstr_t text(L"from _bstr_t");
    _variant_t fromB(text);
    ASSERT_EQ(VT_BSTR, fromB.vt);
    EXPECT_NE(static_cast<const wchar_t*>(text), fromB.bstrVal);
    EXPECT_STREQ(L"from _bstr_t", fromB.bstrVal);
    _variant_t narrow("n\xc3\xa4");
    ASSERT_EQ(VT_BSTR, narrow.vt);
    EXPECT_STREQ(L"n\u00e4", narrow.bstrVal);

    auto* pUnk = new CountedUnknown;
    auto* pDisp = new CountedDispatch;
    const ULONG nUnk = ComRefCount(pUnk), nDisp = ComRefCount(pDisp);
    {
        _variant_t u(static_cast<IUnknown*>(pUnk));
        EXPECT_EQ(VT_UNKNOWN, u.vt);
        EXPECT_EQ(nUnk + 1, ComRefCount(pUnk));
        _variant_t disp(static_cast<IDispatch*>(pDisp));
        EXPECT_EQ(VT_DISPATCH, disp.vt);
        EXPECT_EQ(nDisp + 1, ComRefCount(pDisp));
        pDisp->AddRef();
        _variant_t taken(static_cast<IDispatch*>(pDisp), false);
        EXPECT_EQ(nDisp + 2, ComRefCount(pDisp));
        // Extraction hands out a new reference.
        IUnknown* pOut = disp;
        EXPECT_EQ(nDisp + 3, ComRefCount(pDisp));
        pOut->Release();
        EXPECT_EQ(DISP_E_TYPEMISMATCH, Raised([&] { return static_cast<IUnknown*>(w); }));
    }
    EXPECT_EQ(nUnk, ComRefCount(pUnk));
    EXPECT_EQ(nDisp, ComRefCount(pDisp));
    pUnk->Release();
    pDisp->Release();

    EXPECT_EQ(VT_ERROR, vtMissing.vt);
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, vtMissing.scode);
}

TEST(VariantT, CopyMoveAndAssignment) {
    _variant_t a(L"text");
    _variant_t b(a);
    ASSERT_EQ(VT_BSTR, b.vt);
    EXPECT_NE(a.bstrVal, b.bstrVal);
    EXPECT_STREQ(L"text", b.bstrVal);
    _variant_t c(std::move(b));
    EXPECT_EQ(VT_EMPTY, b.vt);
    EXPECT_STREQ(L"text", c.bstrVal);
    // Each assignment frees what was there (the sanitizer build checks).
    c = 3;
    EXPECT_EQ(VT_I4, c.vt);
    EXPECT_EQ(3, c.lVal);
    c = a;
    EXPECT_STREQ(L"text", c.bstrVal);
    c = c;
    EXPECT_STREQ(L"text", c.bstrVal);
    c = std::move(a);
    EXPECT_EQ(VT_EMPTY, a.vt);
    EXPECT_STREQ(L"text", c.bstrVal);
    c = L"other";
    EXPECT_STREQ(L"other", c.bstrVal);
    c = 6000000000L;
    EXPECT_EQ(VT_I8, c.vt);
}

TEST(VariantT, ExtractionCoercesOrRaises) {
    EXPECT_EQ(42, static_cast<int>(_variant_t(L" 42 ")));
    EXPECT_EQ(1.5, static_cast<double>(_variant_t(L"1.5")));
    EXPECT_TRUE(static_cast<bool>(_variant_t(L"true")));
    EXPECT_FALSE(static_cast<bool>(_variant_t(0)));
    EXPECT_EQ(-2, static_cast<short>(_variant_t(-2.5)));
    EXPECT_EQ(5000000000LL, static_cast<long long>(_variant_t(L"5000000000")));
    EXPECT_EQ(7L, static_cast<long>(_variant_t(7)));
    EXPECT_EQ(15000, static_cast<CY>(_variant_t(1.5)).int64);
    EXPECT_STREQ(L"12.5", static_cast<const wchar_t*>(_variant_t(12.5).operator _bstr_t()));

    EXPECT_EQ(DISP_E_TYPEMISMATCH, Raised([] { return static_cast<int>(_variant_t(L"abc")); }));
    EXPECT_EQ(DISP_E_OVERFLOW, Raised([] { return static_cast<unsigned char>(_variant_t(300)); }));
    EXPECT_EQ(DISP_E_OVERFLOW, Raised([] { return static_cast<short>(_variant_t(70000)); }));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Raised([] { return static_cast<double>(vtMissing); }));

    _variant_t v(L"17");
    v.ChangeType(VT_I4);
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(17, v.lVal);
    _variant_t source(2.5);
    v.ChangeType(VT_BSTR, &source);
    ASSERT_EQ(VT_BSTR, v.vt);
    EXPECT_STREQ(L"2.5", v.bstrVal);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Raised([&] { v.ChangeType(VT_DATE); }));
    EXPECT_STREQ(L"2.5", v.bstrVal);
}

TEST(VariantT, AttachAndDetach) {
    _variant_t v(L"held");
    BSTR held = v.bstrVal;
    VARIANT out = v.Detach();
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(VT_BSTR, out.vt);
    EXPECT_EQ(held, out.bstrVal);

    _variant_t w(5);
    w.Attach(out);
    EXPECT_EQ(VT_EMPTY, out.vt);
    EXPECT_EQ(held, w.bstrVal);
    VARIANT* p = w.GetAddress();
    EXPECT_EQ(VT_EMPTY, p->vt);
    p->vt = VT_I4;
    p->lVal = 9;
    EXPECT_EQ(9, static_cast<int>(w));
    w.Clear();
    EXPECT_EQ(VT_EMPTY, w.vt);
}

TEST(VariantT, IntegersOfAGivenTypeAndVariantsTakenOverOrCopied) {
    auto typed = [](const _variant_t& v) { return std::make_pair(v.vt, v.llVal); };
    auto want = [](VARTYPE vt, LONGLONG bits) { return std::make_pair(vt, bits); };
    EXPECT_EQ(want(VT_I4, 0x7FFFFFFF), typed(_variant_t(0x7FFFFFFF, VT_I4)));
    EXPECT_EQ(want(VT_BOOL, 0xFFFF), typed(_variant_t(5, VT_BOOL)));
    EXPECT_EQ(want(VT_BOOL, 0), typed(_variant_t(0, VT_BOOL)));
    EXPECT_EQ(want(VT_ERROR, 0x80020004), typed(_variant_t(DISP_E_PARAMNOTFOUND, VT_ERROR)));
    EXPECT_EQ(want(VT_INT, 9), typed(_variant_t(9, VT_INT)));
    EXPECT_EQ(E_INVALIDARG, Raised([] { _variant_t(1, VT_R8); }));

    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"abc");
    {
        _variant_t copy(v, true);
        EXPECT_NE(copy.bstrVal, v.bstrVal);
        EXPECT_STREQ(L"abc", copy.bstrVal);
    }
    EXPECT_STREQ(L"abc", v.bstrVal);
    {
        _variant_t taken(v, false); // frees the string when it goes (the leak check sees it)
        EXPECT_EQ(v.bstrVal, taken.bstrVal);
        EXPECT_EQ(VT_BSTR, taken.vt);
    }
}
