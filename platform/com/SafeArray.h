// Automation arrays of any number of dimensions. Indexes passed to the element functions
// are ordered by dimension, rgIndices[0] for the first (as GetUBound numbers them from 1);
// the first dimension varies fastest in memory. The descriptor keeps its bounds in reverse
// order, last dimension first, as Automation lays them out.
#pragma once

#include <type_traits>

#include "platform/com/Variant.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

// Arrays whose descriptor and data belong to the host (on its stack, static, inside one of its
// structures): destroying one releases its elements but frees no memory, and none can be
// resized. Nor can a FADF_FIXEDSIZE array.
#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_HAVEVARTYPE 0x0080

// A descriptor is checked before its elements are touched: its element size must be non-zero
// and fit the element type its flags name (at most one of FADF_BSTR, FADF_UNKNOWN,
// FADF_DISPATCH, FADF_VARIANT), its data must exist when it has elements, and it may hold at
// most kZqkMaxArrayBytes bytes. Element, copy, resize and destroy calls give E_INVALIDARG for
// one that is not so, and the element calls also for one without dimensions.
constexpr unsigned long long kZqkMaxArrayBytes = 0x7FFFFFFF;

// Element types: VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8,
// VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_ERROR, VT_BSTR, VT_VARIANT, VT_DECIMAL,
// VT_UNKNOWN, VT_DISPATCH. Elements start zeroed (empty variants, null strings). Null for an
// array larger than kZqkMaxArrayBytes.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// The same for an array its caller fills whole at once: the elements are left unset, which
// spares clearing memory that is about to be overwritten. Plain element types only (no strings,
// variants or interfaces, whose elements must start empty): null for those.
SAFEARRAY* ZqkSafeArrayCreateVectorUnset(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
// E_INVALIDARG for an array that records no element type (one not made by these functions,
// without FADF_HAVEVARTYPE and without a BSTR, VARIANT or interface flag).
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// nDim counts from 1.
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// Copies the element out (strings duplicated, variants deep-copied, interfaces AddRef'd).
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Copies the value in, releasing what the element held. For VT_BSTR, VT_UNKNOWN and
// VT_DISPATCH elements pv is the BSTR or interface pointer itself (a BSTR, not any wide string).
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// Changes the element count of the last dimension; new elements start zeroed.
// DISP_E_ARRAYISLOCKED for a locked, fixed-size or host-owned array; E_OUTOFMEMORY past
// kZqkMaxArrayBytes.
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);

// The array a variant holds as VT_ARRAY | vtElement or by reference (VT_BYREF | VT_ARRAY |
// vtElement), checked before anyone trusts it: the element type (or, for an array without one
// recorded, the element size) must match, and it must have at least one dimension and data for
// its elements. Borrowed: the variant still owns it. DISP_E_TYPEMISMATCH for another type,
// E_INVALIDARG for null pointers or a malformed array.
HRESULT ZqkVariantArray(const VARIANT* pvar, VARTYPE vtElement, SAFEARRAY** ppsa);

// Hosts written for Windows, where LONG is `long`, pass `long` indexes and bounds; these take
// them at the host's width. An index outside LONG's range names no element (DISP_E_BADINDEX);
// the rest behaves as the LONG functions do. They are templates so that a null pointer
// (nullptr, NULL, 0) still picks the LONG function alone.
namespace ZqkSafeArrayDetail {
HRESULT PtrOfIndex(SAFEARRAY* psa, long* rgIndices, void** ppvData);
HRESULT GetElement(SAFEARRAY* psa, long* rgIndices, void* pv);
HRESULT PutElement(SAFEARRAY* psa, long* rgIndices, void* pv);
HRESULT GetUBound(SAFEARRAY* psa, UINT nDim, long* plUbound);
HRESULT GetLBound(SAFEARRAY* psa, UINT nDim, long* plLbound);
template <typename T> using HostLong = std::enable_if_t<std::is_same_v<T, long>, int>;
} // namespace ZqkSafeArrayDetail

template <typename T, ZqkSafeArrayDetail::HostLong<T> = 0>
inline HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, T* plUbound) {
    return ZqkSafeArrayDetail::GetUBound(psa, nDim, plUbound);
}
template <typename T, ZqkSafeArrayDetail::HostLong<T> = 0>
inline HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, T* plLbound) {
    return ZqkSafeArrayDetail::GetLBound(psa, nDim, plLbound);
}
template <typename T, ZqkSafeArrayDetail::HostLong<T> = 0>
inline HRESULT SafeArrayGetElement(SAFEARRAY* psa, T* rgIndices, void* pv) {
    return ZqkSafeArrayDetail::GetElement(psa, rgIndices, pv);
}
template <typename T, ZqkSafeArrayDetail::HostLong<T> = 0>
inline HRESULT SafeArrayPutElement(SAFEARRAY* psa, T* rgIndices, void* pv) {
    return ZqkSafeArrayDetail::PutElement(psa, rgIndices, pv);
}
template <typename T, ZqkSafeArrayDetail::HostLong<T> = 0>
inline HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, T* rgIndices, void** ppvData) {
    return ZqkSafeArrayDetail::PtrOfIndex(psa, rgIndices, ppvData);
}
