#include "platform/afx/COleSafeArray.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/afx/Exceptions.h"

namespace {

void Check(HRESULT hr) {
    if (FAILED(hr))
        AfxThrowOleException(hr);
}

} // namespace

COleSafeArray::COleSafeArray() noexcept {
    VariantInit(this);
}

COleSafeArray::COleSafeArray(const COleSafeArray& saSrc) : tagVARIANT() {
    VariantInit(this);
    *this = saSrc;
}

COleSafeArray::COleSafeArray(const VARIANT& varSrc) {
    VariantInit(this);
    *this = varSrc;
}

COleSafeArray::~COleSafeArray() {
    VariantClear(this);
}

COleSafeArray& COleSafeArray::operator=(const COleSafeArray& saSrc) {
    return *this = static_cast<const VARIANT&>(saSrc);
}

COleSafeArray& COleSafeArray::operator=(const VARIANT& varSrc) {
    if (!(varSrc.vt & VT_ARRAY))
        AfxThrowInvalidArgException();
    // A by-reference array is copied through its reference: this object always owns a plain
    // array.
    Check(VariantCopyInd(this, &varSrc));
    return *this;
}

SAFEARRAY* COleSafeArray::Array() const {
    if (!(vt & VT_ARRAY) || (vt & VT_BYREF) || parray == nullptr)
        AfxThrowOleException(E_INVALIDARG);
    return parray;
}

void COleSafeArray::CreateOneDim(VARTYPE vtSrc, DWORD dwElements, const void* pvSrcData,
                                 long nLBound) {
    if (nLBound < INT32_MIN || nLBound > INT32_MAX)
        AfxThrowOleException(E_INVALIDARG);
    Clear();
    SAFEARRAY* psa = SafeArrayCreateVector(vtSrc, static_cast<LONG>(nLBound), dwElements);
    if (psa == nullptr)
        AfxThrowMemoryException();
    vt = static_cast<VARTYPE>(vtSrc | VT_ARRAY);
    parray = psa;
    if (pvSrcData && dwElements > 0) {
        void* pData = nullptr;
        AccessData(&pData);
        std::memcpy(pData, pvSrcData, static_cast<size_t>(dwElements) * psa->cbElements);
        UnaccessData();
    }
}

void COleSafeArray::Create(VARTYPE vtSrc, DWORD dwDims, DWORD* rgElements) {
    if (dwDims == 0 || rgElements == nullptr)
        AfxThrowInvalidArgException();
    Clear();
    std::vector<SAFEARRAYBOUND> bounds(dwDims);
    for (DWORD i = 0; i < dwDims; ++i)
        bounds[i] = {rgElements[i], 0};
    SAFEARRAY* psa = SafeArrayCreate(vtSrc, dwDims, bounds.data());
    if (psa == nullptr)
        AfxThrowMemoryException();
    vt = static_cast<VARTYPE>(vtSrc | VT_ARRAY);
    parray = psa;
}

void COleSafeArray::AccessData(void** ppvData) {
    Check(SafeArrayAccessData(Array(), ppvData));
}

void COleSafeArray::UnaccessData() {
    Check(SafeArrayUnaccessData(Array()));
}

void COleSafeArray::Attach(VARIANT& varSrc) {
    // Only an array the variant owns can be taken over; a reference to the host's array
    // cannot.
    if (!(varSrc.vt & VT_ARRAY) || (varSrc.vt & VT_BYREF))
        AfxThrowInvalidArgException();
    Clear();
    static_cast<VARIANT&>(*this) = varSrc;
    VariantInit(&varSrc);
}

VARIANT COleSafeArray::Detach() {
    VARIANT v = *this;
    VariantInit(this);
    return v;
}

void COleSafeArray::Clear() {
    Check(VariantClear(this));
}

DWORD COleSafeArray::GetDim() {
    return SafeArrayGetDim(Array());
}

DWORD COleSafeArray::GetOneDimSize() {
    long lower = 0, upper = 0;
    GetLBound(1, &lower);
    GetUBound(1, &upper);
    return static_cast<DWORD>(upper - lower + 1);
}

void COleSafeArray::ResizeOneDim(DWORD dwElements) {
    SAFEARRAY* psa = Array();
    if (psa->cDims != 1)
        AfxThrowInvalidArgException();
    SAFEARRAYBOUND bound = {dwElements, psa->rgsabound[0].lLbound};
    Check(SafeArrayRedim(psa, &bound));
}

long COleSafeArray::GetElemSize() {
    return static_cast<long>(SafeArrayGetElemsize(Array()));
}

void COleSafeArray::GetLBound(DWORD dwDim, long* pLBound) {
    Check(SafeArrayGetLBound(Array(), dwDim, pLBound));
}

void COleSafeArray::GetUBound(DWORD dwDim, long* pUBound) {
    Check(SafeArrayGetUBound(Array(), dwDim, pUBound));
}

void COleSafeArray::GetElement(long* rgIndices, void* pvData) {
    Check(SafeArrayGetElement(Array(), rgIndices, pvData));
}

void COleSafeArray::PutElement(long* rgIndices, void* pvData) {
    Check(SafeArrayPutElement(Array(), rgIndices, pvData));
}
