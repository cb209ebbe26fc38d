#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "platform/com/ComObject.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

namespace {

// An object that does nothing but count its references.
class CountedUnknown : public CComObjectRoot<IUnknown> {};

template <typename T> VARIANT V(VARTYPE vt, T value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, &value, sizeof value);
    return v;
}

// A vector of the strings "a" and "b".
VARIANT TwoStrings() {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    BSTR* p = static_cast<BSTR*>(psa->pvData);
    p[0] = SysAllocString(L"a");
    p[1] = SysAllocString(L"b");
    return V(VT_ARRAY | VT_BSTR, psa);
}

} // namespace

// Leaks and double frees show in the sanitizer build.
TEST(Variant, ClearReleasesWhatTheVariantOwns) {
    VARIANT v = V(VT_BSTR, SysAllocString(L"text"));
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(nullptr, v.bstrVal);

    auto* pObj = new CountedUnknown;
    const ULONG nStart = ComRefCount(pObj);
    pObj->AddRef();
    v = V(VT_UNKNOWN, static_cast<IUnknown*>(pObj));
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(nStart, ComRefCount(pObj));
    pObj->Release();

    // What a by-reference variant points at belongs to someone else.
    BSTR kept = SysAllocString(L"kept");
    v = V(VT_BYREF | VT_BSTR, &kept);
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_STREQ(L"kept", kept);
    SysFreeString(kept);

    // A locked array cannot go; the variant keeps it until it can.
    v = TwoStrings();
    ASSERT_EQ(S_OK, SafeArrayLock(v.parray));
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, VariantClear(&v));
    EXPECT_EQ(VT_ARRAY | VT_BSTR, v.vt);
    ASSERT_EQ(S_OK, SafeArrayUnlock(v.parray));
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(VT_EMPTY, v.vt);
}

TEST(Variant, CopyIsDeepForStringsAndArraysAndAddRefsInterfaces) {
    VARIANT src = V(VT_BSTR, SysAllocStringLen(L"a\0b", 3));
    VARIANT dest = V(VT_BSTR, SysAllocString(L"old")); // freed by the copy
    ASSERT_EQ(S_OK, VariantCopy(&dest, &src));
    EXPECT_NE(src.bstrVal, dest.bstrVal);
    VariantClear(&src);
    ASSERT_EQ(VT_BSTR, dest.vt);
    ASSERT_EQ(3u, SysStringLen(dest.bstrVal));
    EXPECT_EQ(0, std::wmemcmp(L"a\0b", dest.bstrVal, 3));
    BSTR before = dest.bstrVal;
    EXPECT_EQ(S_OK, VariantCopy(&dest, &dest));
    EXPECT_EQ(before, dest.bstrVal);
    EXPECT_EQ(3u, SysStringLen(dest.bstrVal));

    auto* pObj = new CountedUnknown;
    const ULONG nStart = ComRefCount(pObj);
    VARIANT unk = V(VT_UNKNOWN, static_cast<IUnknown*>(pObj));
    ASSERT_EQ(S_OK, VariantCopy(&dest, &unk));
    EXPECT_EQ(pObj, dest.punkVal);
    EXPECT_EQ(nStart + 1, ComRefCount(pObj));
    VariantClear(&dest);
    EXPECT_EQ(nStart, ComRefCount(pObj));
    pObj->Release();

    VARIANT arr = TwoStrings();
    ASSERT_EQ(S_OK, VariantCopy(&dest, &arr));
    ASSERT_EQ(VT_ARRAY | VT_BSTR, dest.vt);
    ASSERT_NE(arr.parray, dest.parray);
    BSTR* pSrc = static_cast<BSTR*>(arr.parray->pvData);
    BSTR* pDest = static_cast<BSTR*>(dest.parray->pvData);
    EXPECT_NE(pSrc[1], pDest[1]);
    VariantClear(&arr);
    EXPECT_STREQ(L"b", pDest[1]);
    VariantClear(&dest);

    // A by-reference variant copies as the reference; VariantCopyInd copies the value.
    LONG n = 7;
    VARIANT ref = V(VT_BYREF | VT_I4, &n);
    ASSERT_EQ(S_OK, VariantCopy(&dest, &ref));
    EXPECT_EQ(VT_BYREF | VT_I4, dest.vt);
    EXPECT_EQ(&n, dest.plVal);
    ASSERT_EQ(S_OK, VariantCopyInd(&dest, &ref));
    EXPECT_EQ(VT_I4, dest.vt);
    EXPECT_EQ(7, dest.lVal);
}
