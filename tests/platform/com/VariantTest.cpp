#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

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

// The text VariantChangeType gives the value, or "failed".
std::wstring Text(const VARIANT* pvar) {
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, pvar, 0, VT_BSTR)))
        return L"failed";
    std::wstring text(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return text;
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

// Host code fills and reads variants through the accessor macros; what it writes must be what
// the library reads for that type.
TEST(Variant, AccessorMacrosAssignTheMembersTheLibraryReads) {
    VARIANT v;
    VariantInit(&v);
    auto as = [&](VARTYPE vt) {
        V_VT(&v) = vt;
        return Text(&v);
    };
    V_UI1(&v) = 200;
    EXPECT_EQ(L"200", as(VT_UI1));
    V_I1(&v) = -5;
    EXPECT_EQ(L"-5", as(VT_I1));
    V_I2(&v) = -300;
    EXPECT_EQ(L"-300", as(VT_I2));
    EXPECT_EQ(-300, V_NONE(&v));
    V_UI2(&v) = 60000;
    EXPECT_EQ(L"60000", as(VT_UI2));
    V_I4(&v) = -70000;
    EXPECT_EQ(L"-70000", as(VT_I4));
    V_UI4(&v) = 4000000000u;
    EXPECT_EQ(L"4000000000", as(VT_UI4));
    V_I8(&v) = -5000000000LL;
    EXPECT_EQ(L"-5000000000", as(VT_I8));
    V_UI8(&v) = 10000000000000000000ULL;
    EXPECT_EQ(L"10000000000000000000", as(VT_UI8));
    V_INT(&v) = -9;
    EXPECT_EQ(L"-9", as(VT_INT));
    V_UINT(&v) = 9;
    EXPECT_EQ(L"9", as(VT_UINT));
    V_R4(&v) = 1.5f;
    EXPECT_EQ(L"1.5", as(VT_R4));
    V_R8(&v) = 2.25;
    EXPECT_EQ(L"2.25", as(VT_R8));
    V_CY(&v).int64 = 12345;
    EXPECT_EQ(L"1.2345", as(VT_CY));
    V_DATE(&v) = 2.5;
    EXPECT_EQ(L"1900-01-01 12:00:00", as(VT_DATE));
    V_BOOL(&v) = VARIANT_TRUE;
    EXPECT_EQ(L"-1", as(VT_BOOL));
    V_BSTR(&v) = SysAllocString(L"text");
    EXPECT_EQ(L"text", as(VT_BSTR));
    VariantClear(&v);
    EXPECT_FALSE(V_ISBYREF(&v) || V_ISARRAY(&v) || V_ISVECTOR(&v));

    // The decimal covers the type too: it is stored first and the type after it.
    DECIMAL dec = {};
    dec.scale = 2;
    dec.sign = DECIMAL_NEG;
    dec.Lo64 = 12345;
    V_DECIMAL(&v) = dec;
    EXPECT_EQ(L"-123.45", as(VT_DECIMAL));
    EXPECT_EQ(2, V_DECIMAL(&v).scale);

    VARIANT copy;
    VariantInit(&copy);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(S_OK, VariantCopy(&copy, &v));
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, V_ERROR(&copy));
    auto* pObj = new CountedUnknown;
    V_VT(&v) = VT_UNKNOWN;
    V_UNKNOWN(&v) = pObj;
    ASSERT_EQ(S_OK, VariantCopy(&copy, &v));
    EXPECT_EQ(static_cast<IUnknown*>(pObj), V_UNKNOWN(&copy));
    VariantClear(&copy);
    VariantClear(&v); // gives back the one reference the variant held
}

TEST(Variant, AccessorMacrosByReferenceAndArrays) {
    VARIANT v, out;
    VariantInit(&v);
    VariantInit(&out);
    auto as = [&](VARTYPE vt) {
        V_VT(&v) = VT_BYREF | vt;
        return Text(&v);
    };
    LONG n = 7;
    V_I4REF(&v) = &n;
    EXPECT_EQ(L"7", as(VT_I4));
    EXPECT_TRUE(V_ISBYREF(&v));
    EXPECT_EQ(static_cast<void*>(&n), V_BYREF(&v));
    double d = 0.5;
    V_R8REF(&v) = &d;
    EXPECT_EQ(L"0.5", as(VT_R8));
    BYTE b = 9;
    V_UI1REF(&v) = &b;
    EXPECT_EQ(L"9", as(VT_UI1));
    SHORT s = -2;
    V_I2REF(&v) = &s;
    EXPECT_EQ(L"-2", as(VT_I2));
    BSTR str = SysAllocString(L"by ref");
    V_BSTRREF(&v) = &str;
    EXPECT_EQ(L"by ref", as(VT_BSTR));
    VARIANT inner;
    VariantInit(&inner);
    V_VT(&inner) = VT_BSTR;
    V_BSTR(&inner) = str;
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = &inner;
    ASSERT_EQ(S_OK, VariantCopyInd(&out, &v));
    EXPECT_EQ(L"by ref", Text(&out));
    VariantClear(&out);
    VariantClear(&inner);

    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 2);
    SAFEARRAY* pFound = nullptr;
    V_VT(&v) = VT_ARRAY | VT_I4;
    V_ARRAY(&v) = psa;
    EXPECT_TRUE(V_ISARRAY(&v) && !V_ISBYREF(&v));
    ASSERT_EQ(S_OK, ZqkVariantArray(&v, VT_I4, &pFound));
    EXPECT_EQ(psa, pFound);
    V_VT(&v) = VT_BYREF | VT_ARRAY | VT_I4;
    V_ARRAYREF(&v) = &psa;
    pFound = nullptr;
    ASSERT_EQ(S_OK, ZqkVariantArray(&v, VT_I4, &pFound));
    EXPECT_EQ(psa, pFound);
    SafeArrayDestroy(psa);
}
