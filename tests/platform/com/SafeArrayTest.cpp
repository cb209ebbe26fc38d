#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/SafeArray.h"

namespace {

class CountedUnknown : public CComObjectRoot<IUnknown> {};

// Lower and upper bound of each dimension, first dimension first.
std::vector<LONG> Bounds(SAFEARRAY* psa) {
    std::vector<LONG> out;
    for (UINT d = 1; d <= SafeArrayGetDim(psa); ++d) {
        LONG lo = 0, hi = 0;
        EXPECT_EQ(S_OK, SafeArrayGetLBound(psa, d, &lo));
        EXPECT_EQ(S_OK, SafeArrayGetUBound(psa, d, &hi));
        out.insert(out.end(), {lo, hi});
    }
    return out;
}

} // namespace

TEST(SafeArray, DimensionsBoundsAndLayout) {
    SAFEARRAYBOUND one[] = {{4, -2}};
    SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, one);
    ASSERT_NE(nullptr, psa);
    EXPECT_EQ((std::vector<LONG>{-2, 1}), Bounds(psa));
    EXPECT_EQ(1u, SafeArrayGetElemsize(psa));
    LONG n, i = 1;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(psa, 0, &n));
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetLBound(psa, 2, &n));
    BYTE b = 0xAB, got = 0;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, &b));
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &i, &got));
    EXPECT_EQ(0xAB, got);
    EXPECT_EQ(0xAB, static_cast<BYTE*>(psa->pvData)[3]);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));

    // Three columns from 1 by two rows from -1: the first index varies fastest in memory.
    SAFEARRAYBOUND two[] = {{3, 1}, {2, -1}};
    psa = SafeArrayCreate(VT_I4, 2, two);
    EXPECT_EQ((std::vector<LONG>{1, 3, -1, 0}), Bounds(psa));
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(psa, 3, &n));
    for (LONG j = -1; j <= 0; ++j)
        for (LONG k = 1; k <= 3; ++k) {
            LONG idx[] = {k, j}, v = 10 * k + j;
            ASSERT_EQ(S_OK, SafeArrayPutElement(psa, idx, &v));
        }
    LONG* pData = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(psa, reinterpret_cast<void**>(&pData)));
    EXPECT_EQ((std::vector<LONG>{9, 19, 29, 10, 20, 30}), std::vector<LONG>(pData, pData + 6));
    // Destroying an array somebody is reading is refused.
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(psa));
    EXPECT_EQ(S_OK, SafeArrayUnaccessData(psa));
    EXPECT_EQ(E_UNEXPECTED, SafeArrayUnaccessData(psa));
    for (const auto& o : {std::vector<LONG>{0, -1}, {4, -1}, {1, -2}, {1, 1}}) {
        LONG idx[] = {o[0], o[1]}, v = 0;
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(psa, idx, &v));
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(psa, idx, &v));
    }
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));

    SAFEARRAYBOUND three[] = {{2, 0}, {3, 0}, {4, 0}};
    psa = SafeArrayCreate(VT_R8, 3, three);
    EXPECT_EQ((std::vector<LONG>{0, 1, 0, 2, 0, 3}), Bounds(psa));
    LONG idx[] = {1, 2, 3};
    double d = 2.75;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, idx, &d));
    EXPECT_EQ(2.75, static_cast<double*>(psa->pvData)[1 + 2 * 2 + 3 * 2 * 3]);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
}

TEST(SafeArray, StringAndVariantElementsAreCopiedDeeply) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 2);
    LONG i = 1;
    BSTR in = SysAllocStringLen(L"x\0y", 3);
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, in));
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, in)); // frees the first copy
    SysFreeString(in);
    BSTR out1 = nullptr, out2 = nullptr;
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &i, &out1));
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &i, &out2));
    EXPECT_NE(out1, out2);
    ASSERT_EQ(3u, SysStringLen(out1));
    EXPECT_EQ(0, std::wmemcmp(L"x\0y", out1, 3));
    SysFreeString(out1);
    SysFreeString(out2);

    SAFEARRAY* pCopy = nullptr;
    ASSERT_EQ(S_OK, SafeArrayCopy(psa, &pCopy));
    EXPECT_EQ((std::vector<LONG>{1, 2}), Bounds(pCopy));
    BSTR* pDup = static_cast<BSTR*>(pCopy->pvData);
    EXPECT_NE(static_cast<BSTR*>(psa->pvData)[0], pDup[0]);
    EXPECT_EQ(nullptr, pDup[1]);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
    EXPECT_EQ(0, std::wmemcmp(L"x\0y", pDup[0], 3));
    EXPECT_EQ(S_OK, SafeArrayDestroy(pCopy));

    auto* pObj = new CountedUnknown;
    const ULONG nStart = ComRefCount(pObj);
    psa = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"in a variant");
    i = 0;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, &v));
    VariantClear(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = pObj;
    i = 1;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, &v));
    EXPECT_EQ(nStart + 1, ComRefCount(pObj));
    ASSERT_EQ(S_OK, SafeArrayCopy(psa, &pCopy));
    EXPECT_EQ(nStart + 2, ComRefCount(pObj));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
    i = 0;
    ASSERT_EQ(S_OK, SafeArrayGetElement(pCopy, &i, &v));
    ASSERT_EQ(VT_BSTR, v.vt);
    EXPECT_STREQ(L"in a variant", v.bstrVal);
    VariantClear(&v);
    i = 2;
    ASSERT_EQ(S_OK, SafeArrayGetElement(pCopy, &i, &v));
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(S_OK, SafeArrayDestroy(pCopy));
    EXPECT_EQ(nStart, ComRefCount(pObj));
    pObj->Release();
}

TEST(SafeArray, RedimChangesTheLastDimension) {
    // Two columns by two rows; rows are the last dimension.
    SAFEARRAYBOUND bounds[] = {{2, 0}, {2, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    LONG* p = static_cast<LONG*>(psa->pvData);
    for (LONG k = 0; k < 4; ++k)
        p[k] = k + 1;
    SAFEARRAYBOUND rows = {3, 0};
    ASSERT_EQ(S_OK, SafeArrayRedim(psa, &rows));
    EXPECT_EQ((std::vector<LONG>{0, 1, 0, 2}), Bounds(psa));
    p = static_cast<LONG*>(psa->pvData);
    EXPECT_EQ((std::vector<LONG>{1, 2, 3, 4, 0, 0}), std::vector<LONG>(p, p + 6));
    rows.cElements = 1;
    ASSERT_EQ(S_OK, SafeArrayRedim(psa, &rows));
    LONG idx[] = {1, 1}, v = 0;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(psa, idx, &v));
    idx[1] = 0;
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, idx, &v));
    EXPECT_EQ(2, v);
    SafeArrayLock(psa);
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayRedim(psa, &rows));
    SafeArrayUnlock(psa);
    SafeArrayDestroy(psa);

    // An empty vector has its upper bound below the lower one; it can grow, and shrinking a
    // string vector frees the strings it drops.
    psa = SafeArrayCreateVector(VT_BSTR, 0, 0);
    ASSERT_NE(nullptr, psa);
    EXPECT_EQ((std::vector<LONG>{0, -1}), Bounds(psa));
    LONG i = 0;
    BSTR b = nullptr;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(psa, &i, &b));
    SAFEARRAY* pCopy = nullptr;
    ASSERT_EQ(S_OK, SafeArrayCopy(psa, &pCopy));
    EXPECT_EQ((std::vector<LONG>{0, -1}), Bounds(pCopy));
    SafeArrayDestroy(pCopy);
    rows = {2, 0};
    ASSERT_EQ(S_OK, SafeArrayRedim(psa, &rows));
    EXPECT_EQ(nullptr, static_cast<BSTR*>(psa->pvData)[1]);
    static_cast<BSTR*>(psa->pvData)[1] = SysAllocString(L"dropped");
    rows = {0, 0};
    ASSERT_EQ(S_OK, SafeArrayRedim(psa, &rows));
    EXPECT_EQ((std::vector<LONG>{0, -1}), Bounds(psa));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
}

namespace {

// A descriptor the host built by hand on its own memory, with 48 bytes of data.
struct HandBuiltArray {
    HandBuiltArray(USHORT fFeatures, ULONG cbElements, ULONG cElements) {
        psa->cDims = 1;
        psa->fFeatures = fFeatures;
        psa->cbElements = cbElements;
        psa->pvData = data;
        psa->rgsabound[0] = {cElements, 0};
    }
    alignas(16) unsigned char descriptor[sizeof(SAFEARRAY) + sizeof(SAFEARRAYBOUND)] = {};
    alignas(16) unsigned char data[48] = {};
    SAFEARRAY* psa = reinterpret_cast<SAFEARRAY*>(descriptor);
};

} // namespace

TEST(SafeArray, HandBuiltAndOversizedDescriptorsAreCheckedBeforeUse) {
    LONG i = 0;
    BSTR s = SysAllocString(L"kept");
    VARIANT v;
    VariantInit(&v);
    // Flags that name a type the element size does not fit, or two types at once.
    for (auto [fFeatures, cb] : {std::pair<USHORT, ULONG>{FADF_AUTO | FADF_BSTR, 1},
                                 {FADF_AUTO | FADF_VARIANT, 16},
                                 {FADF_AUTO | FADF_BSTR | FADF_VARIANT, sizeof(VARIANT)},
                                 {FADF_AUTO, 0}}) {
        SCOPED_TRACE(fFeatures);
        HandBuiltArray hb(fFeatures, cb, 2);
        SAFEARRAY* pCopy = nullptr;
        SAFEARRAYBOUND bound = {1, 0};
        EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(hb.psa, &i, &v));
        EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(hb.psa, &i, s));
        EXPECT_EQ(E_INVALIDARG, SafeArrayCopy(hb.psa, &pCopy));
        EXPECT_EQ(E_INVALIDARG, SafeArrayRedim(hb.psa, &bound));
        EXPECT_EQ(E_INVALIDARG, SafeArrayDestroy(hb.psa));
    }
    // Elements without data, or no dimensions at all.
    HandBuiltArray noData(FADF_AUTO, 4, 3);
    noData.psa->pvData = nullptr;
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(noData.psa, &i, &i));
    HandBuiltArray noDims(FADF_AUTO, 4, 3);
    noDims.psa->cDims = 0;
    void* p = nullptr;
    EXPECT_EQ(E_INVALIDARG, SafeArrayPtrOfIndex(noDims.psa, &i, &p));
    EXPECT_EQ(S_OK, SafeArrayDestroy(noDims.psa));

    // The host's own memory: elements are released, nothing is freed or reallocated.
    HandBuiltArray strings(FADF_AUTO | FADF_FIXEDSIZE | FADF_BSTR, sizeof(BSTR), 2);
    ASSERT_EQ(S_OK, SafeArrayPutElement(strings.psa, &i, s));
    SAFEARRAYBOUND more = {4, 0};
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayRedim(strings.psa, &more));
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = strings.psa;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(S_OK, VariantCopy(&copy, &v)); // a copy is the platform's own array
    EXPECT_EQ(S_OK, SafeArrayRedim(copy.parray, &more));
    EXPECT_EQ(S_OK, VariantClear(&copy));
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(nullptr, reinterpret_cast<BSTR*>(strings.data)[0]);
    EXPECT_EQ(&strings.data[0], strings.psa->pvData);
    SysFreeString(s);

    // Nothing over 2 GiB - 1 bytes is made, whether by creating or by resizing.
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_UI1, 0, 0x80000000u));
    SAFEARRAYBOUND huge[] = {{0x10000, 0}, {0x8000, 0}};
    EXPECT_EQ(nullptr, SafeArrayCreate(VT_I2, 2, huge));
    // A dimension without elements leaves none, however large the others are.
    SAFEARRAYBOUND empty[] = {{0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}, {0, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 3, empty);
    ASSERT_NE(nullptr, psa);
    SAFEARRAY* pCopy = nullptr;
    EXPECT_EQ(S_OK, SafeArrayCopy(psa, &pCopy));
    EXPECT_EQ(S_OK, SafeArrayDestroy(pCopy));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
    psa = SafeArrayCreateVector(VT_DECIMAL, 0, 1);
    SAFEARRAYBOUND tooMany = {0x08000000, 0};
    EXPECT_EQ(E_OUTOFMEMORY, SafeArrayRedim(psa, &tooMany));
    EXPECT_EQ(1u, psa->rgsabound[0].cElements);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
}

// An array made to be filled at once has the shape and element type of the vector form, and
// is refused for elements that must start empty.
TEST(SafeArray, UnsetVectorsAreForPlainElementsOnly) {
    for (VARTYPE vt : {VT_UI1, VT_I4, VT_R8, VT_CY, VT_DATE, VT_I8}) {
        SAFEARRAY* psa = ZqkSafeArrayCreateVectorUnset(vt, -2, 5);
        ASSERT_NE(nullptr, psa) << vt;
        VARTYPE vtStored = VT_EMPTY;
        EXPECT_EQ(S_OK, SafeArrayGetVartype(psa, &vtStored));
        EXPECT_EQ(vt, vtStored);
        EXPECT_EQ((std::vector<LONG>{-2, 2}), Bounds(psa));
        EXPECT_NE(nullptr, psa->pvData);
        std::memset(psa->pvData, 0x5A, 5 * psa->cbElements); // writable, all of it
        EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
    }
    SAFEARRAY* pEmpty = ZqkSafeArrayCreateVectorUnset(VT_UI1, 0, 0);
    ASSERT_NE(nullptr, pEmpty);
    EXPECT_EQ(S_OK, SafeArrayDestroy(pEmpty));
    for (VARTYPE vt : {VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH, VT_EMPTY, VT_NULL})
        EXPECT_EQ(nullptr, ZqkSafeArrayCreateVectorUnset(vt, 0, 3)) << vt;
}

// Hosts written for Windows index with `long`: those calls reach the same elements as LONG
// ones, and an index LONG cannot hold names none instead of a truncated one.
TEST(SafeArray, LongIndexesAndBounds) {
    SAFEARRAYBOUND bounds[] = {{3, -1}, {2, 5}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(nullptr, psa);
    long lo = 0, hi = 0;
    EXPECT_EQ(S_OK, SafeArrayGetLBound(psa, 2, &lo));
    EXPECT_EQ(S_OK, SafeArrayGetUBound(psa, 2, &hi));
    EXPECT_EQ(5L, lo);
    EXPECT_EQ(6L, hi);
    long dim0 = 0x123456789L;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(psa, 3, &dim0));
    EXPECT_EQ(0x123456789L, dim0);

    long idx[] = {1, 6};
    LONG v = 42, got = 0;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, idx, &v));
    LONG same[] = {1, 6};
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, same, &got));
    EXPECT_EQ(42, got);
    void* p = nullptr;
    ASSERT_EQ(S_OK, SafeArrayPtrOfIndex(psa, idx, &p));
    EXPECT_EQ(static_cast<LONG*>(psa->pvData) + 5, p);

    // 2^32 + 1 truncates to 1, a valid index: it must not reach element 1.
    long wide[] = {0x100000001L, 6};
    long wideLast[] = {1, 0x100000006L};
    for (long* bad : {wide, wideLast}) {
        got = -7;
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(psa, bad, &got));
        EXPECT_EQ(-7, got);
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(psa, bad, &v));
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPtrOfIndex(psa, bad, &p));
    }
    long below[] = {-0x80000001L, 6};
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(psa, below, &got));
    // Nor does one past LONG's range where the bounds would reach it.
    SAFEARRAY* pTop = SafeArrayCreateVector(VT_UI1, 0x7FFFFFFF, 2);
    ASSERT_NE(nullptr, pTop);
    long top = 0x7FFFFFFF, past = 0x80000000L;
    EXPECT_EQ(S_OK, SafeArrayPtrOfIndex(pTop, &top, &p));
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPtrOfIndex(pTop, &past, &p));
    EXPECT_EQ(S_OK, SafeArrayDestroy(pTop));

    // Null pointers are refused as the LONG functions refuse them, and a null argument still
    // compiles without naming the index type.
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetLBound(psa, 1, static_cast<long*>(nullptr)));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetUBound(psa, 1, nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetUBound(nullptr, 1, &hi));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, idx, nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, static_cast<long*>(nullptr), &got));
    EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(nullptr, idx, &v));
    EXPECT_EQ(E_INVALIDARG, SafeArrayPtrOfIndex(psa, idx, nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayPtrOfIndex(psa, NULL, &p));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
}
