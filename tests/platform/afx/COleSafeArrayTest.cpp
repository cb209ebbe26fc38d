#include <gtest/gtest.h>

#include "platform/afx/COleSafeArray.h"
#include "platform/afx/Exceptions.h"

namespace {

// The status code of the COleException f throws, or S_OK when it throws none.
template <typename F> SCODE OleFailure(F f) {
    try {
        f();
    } catch (COleException* e) {
        SCODE sc = e->m_sc;
        e->Delete();
        return sc;
    }
    return S_OK;
}

} // namespace

TEST(COleSafeArray, OneDimensionalBytes) {
    const BYTE src[] = {1, 2, 3, 4};
    COleSafeArray sa;
    EXPECT_EQ(VT_EMPTY, sa.vt);
    sa.CreateOneDim(VT_UI1, 4, src);
    EXPECT_EQ(VT_ARRAY | VT_UI1, sa.vt);
    EXPECT_EQ(1u, sa.GetDim());
    EXPECT_EQ(4u, sa.GetOneDimSize());
    EXPECT_EQ(1, sa.GetElemSize());
    long lower = -1, upper = -1;
    sa.GetLBound(1, &lower);
    sa.GetUBound(1, &upper);
    EXPECT_EQ(0, lower);
    EXPECT_EQ(3, upper);

    long i = 2;
    BYTE b = 0x7F;
    sa.PutElement(&i, &b);
    BYTE* pData = nullptr;
    sa.AccessData(reinterpret_cast<void**>(&pData));
    EXPECT_EQ(1, pData[0]);
    EXPECT_EQ(0x7F, pData[2]);
    EXPECT_EQ(4, pData[3]);
    // Clearing an array that is being read is refused.
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, OleFailure([&] { sa.Clear(); }));
    sa.UnaccessData();
    EXPECT_EQ(E_UNEXPECTED, OleFailure([&] { sa.UnaccessData(); }));
    i = 3;
    sa.GetElement(&i, &b);
    EXPECT_EQ(4, b);

    for (long bad : {-1L, 4L, 0x100000000L, -0x100000000L}) {
        i = bad;
        EXPECT_EQ(DISP_E_BADINDEX, OleFailure([&] { sa.PutElement(&i, &b); })) << bad;
        EXPECT_EQ(DISP_E_BADINDEX, OleFailure([&] { sa.GetElement(&i, &b); })) << bad;
    }
    EXPECT_EQ(DISP_E_BADINDEX, OleFailure([&] { sa.GetUBound(2, &upper); }));

    sa.ResizeOneDim(6);
    EXPECT_EQ(6u, sa.GetOneDimSize());
    i = 5;
    sa.GetElement(&i, &b);
    EXPECT_EQ(0, b);

    // A copy is its own array.
    COleSafeArray copy(sa);
    i = 0;
    b = 9;
    copy.PutElement(&i, &b);
    sa.GetElement(&i, &b);
    EXPECT_EQ(1, b);

    sa.CreateOneDim(VT_I4, 0, nullptr, 5);
    sa.GetLBound(1, &lower);
    sa.GetUBound(1, &upper);
    EXPECT_EQ(5, lower);
    EXPECT_EQ(4, upper);
    // A lower bound beyond 32 bits is refused, not truncated; the array stays as it was.
    EXPECT_EQ(E_INVALIDARG, OleFailure([&] { sa.CreateOneDim(VT_I4, 1, nullptr, 0x100000005L); }));
    EXPECT_EQ(VT_ARRAY | VT_I4, sa.vt);
    sa.Clear();
    EXPECT_EQ(VT_EMPTY, sa.vt);
    EXPECT_EQ(E_INVALIDARG, OleFailure([&] { sa.GetDim(); }));
}

TEST(COleSafeArray, AttachAndDetachHandOverTheArray) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 1, 2);
    SAFEARRAY* psa = v.parray;
    COleSafeArray sa;
    sa.CreateOneDim(VT_UI1, 3); // replaced, and freed, by Attach
    sa.Attach(v);
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(psa, sa.parray);
    long i = 2;
    BSTR text = SysAllocString(L"attached");
    sa.PutElement(&i, text);
    SysFreeString(text);

    VARIANT out = sa.Detach();
    EXPECT_EQ(VT_EMPTY, sa.vt);
    ASSERT_EQ(VT_ARRAY | VT_BSTR, out.vt);
    EXPECT_EQ(psa, out.parray);
    BSTR got = nullptr;
    LONG idx = 2;
    ASSERT_EQ(S_OK, SafeArrayGetElement(out.parray, &idx, &got));
    EXPECT_STREQ(L"attached", got);
    SysFreeString(got);
    // The caller owns the array now.
    EXPECT_EQ(S_OK, VariantClear(&out));

    // Indexes of a two-dimensional array go first dimension first.
    DWORD dims[] = {2, 3};
    sa.Create(VT_R8, 2, dims);
    long idx2[] = {1, 2};
    double d = 4.5;
    sa.PutElement(idx2, &d);
    EXPECT_EQ(4.5, static_cast<double*>(sa.parray->pvData)[1 + 2 * 2]);
}
