#include "platform/com/SafeArray.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The element type is kept in front of the descriptor.
struct CArrayPrefix {
    VARTYPE vt;
    alignas(std::max_align_t) char reserved[1];
};
const size_t kDescriptorOffset = offsetof(CArrayPrefix, reserved);

VARTYPE& StoredVartype(SAFEARRAY* psa) {
    return *reinterpret_cast<VARTYPE*>(reinterpret_cast<char*>(psa) - kDescriptorOffset);
}

ULONG ElementSize(VARTYPE vt, USHORT* pFeatures) {
    *pFeatures = FADF_HAVEVARTYPE;
    switch (vt) {
    case VT_UI1:
    case VT_I1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    case VT_BSTR:
        *pFeatures |= FADF_BSTR;
        return sizeof(BSTR);
    case VT_UNKNOWN:
        *pFeatures |= FADF_UNKNOWN;
        return sizeof(IUnknown*);
    case VT_DISPATCH:
        *pFeatures |= FADF_DISPATCH;
        return sizeof(IDispatch*);
    case VT_VARIANT:
        *pFeatures |= FADF_VARIANT;
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

// Element count (none without dimensions), or false when it does not fit in memory.
bool TotalElements(const SAFEARRAY* psa, size_t* pCount) {
    size_t n = psa->cDims > 0 ? 1 : 0;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        if (psa->rgsabound[i].cElements == 0) {
            *pCount = 0; // however large the other dimensions are
            return true;
        }
    }
    for (USHORT i = 0; i < psa->cDims; ++i) {
        size_t c = psa->rgsabound[i].cElements;
        if (c != 0 && n > SIZE_MAX / c)
            return false;
        n *= c;
    }
    *pCount = n;
    return true;
}

const USHORT kTypeFlags = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
const USHORT kHostOwned = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

// Whether the descriptor can be trusted with its elements (see the header): a host may build
// one by hand, and its flags, sizes and bounds decide which memory is touched.
bool WellFormed(const SAFEARRAY* psa) {
    if (psa == nullptr || psa->cbElements == 0)
        return false;
    USHORT nType = psa->fFeatures & kTypeFlags;
    if (nType != 0) {
        VARTYPE vt = nType == FADF_BSTR       ? VT_BSTR
                     : nType == FADF_UNKNOWN  ? VT_UNKNOWN
                     : nType == FADF_DISPATCH ? VT_DISPATCH
                     : nType == FADF_VARIANT  ? VT_VARIANT
                                              : VT_EMPTY; // more than one: no type at all
        USHORT nIgnored = 0;
        if (vt == VT_EMPTY || psa->cbElements != ElementSize(vt, &nIgnored))
            return false;
    }
    size_t nCount = 0;
    if (!TotalElements(psa, &nCount) || nCount > kZqkMaxArrayBytes / psa->cbElements)
        return false;
    return nCount == 0 || psa->pvData != nullptr;
}

void ReleaseElements(SAFEARRAY* psa, void* pData, size_t nCount) {
    if (psa->fFeatures & FADF_BSTR) {
        auto* p = static_cast<BSTR*>(pData);
        for (size_t i = 0; i < nCount; ++i) {
            SysFreeString(p[i]);
            p[i] = nullptr;
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* p = static_cast<IUnknown**>(pData);
        for (size_t i = 0; i < nCount; ++i) {
            if (p[i])
                p[i]->Release();
            p[i] = nullptr;
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* p = static_cast<VARIANT*>(pData);
        for (size_t i = 0; i < nCount; ++i)
            VariantClear(&p[i]);
    }
}

// Copies one element in the way its type needs into zeroed or released storage.
HRESULT CopyElement(SAFEARRAY* psa, void* pDest, const void* pSrc) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR src = *static_cast<const BSTR*>(pSrc);
        BSTR copy = nullptr;
        if (src) {
            copy = SysAllocStringLen(src, SysStringLen(src));
            if (copy == nullptr)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(pDest) = copy;
        return S_OK;
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* p = *static_cast<IUnknown* const*>(pSrc);
        if (p)
            p->AddRef();
        *static_cast<IUnknown**>(pDest) = p;
        return S_OK;
    }
    if (psa->fFeatures & FADF_VARIANT) {
        auto* pDestVar = static_cast<VARIANT*>(pDest);
        VariantInit(pDestVar);
        return VariantCopy(pDestVar, static_cast<const VARIANT*>(pSrc));
    }
    std::memcpy(pDest, pSrc, psa->cbElements);
    return S_OK;
}

// bZeroed false leaves the elements unset, which only plain elements may be.
SAFEARRAY* CreateArray(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound, bool bZeroed) {
    USHORT fFeatures = 0;
    ULONG cbElements = ElementSize(vt, &fFeatures);
    if (cbElements == 0 || cDims == 0 || cDims > 0xFFFF || rgsabound == nullptr)
        return nullptr;
    size_t nDescriptor = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    void* pBlock = std::calloc(1, kDescriptorOffset + nDescriptor);
    if (pBlock == nullptr)
        return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(static_cast<char*>(pBlock) + kDescriptorOffset);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = fFeatures;
    psa->cbElements = cbElements;
    for (UINT i = 0; i < cDims; ++i)
        psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    StoredVartype(psa) = vt;
    size_t nCount;
    if (!TotalElements(psa, &nCount) || nCount > kZqkMaxArrayBytes / cbElements) {
        std::free(pBlock);
        return nullptr;
    }
    if (nCount > 0) {
        psa->pvData = bZeroed ? std::calloc(nCount, cbElements) : std::malloc(nCount * cbElements);
        if (psa->pvData == nullptr) {
            std::free(pBlock);
            return nullptr;
        }
    }
    return psa;
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    return CreateArray(vt, cDims, rgsabound, true);
}

SAFEARRAY* ZqkSafeArrayCreateVectorUnset(VARTYPE vt, LONG lLbound, ULONG cElements) {
    USHORT fFeatures = 0;
    if (ElementSize(vt, &fFeatures) == 0 ||
        (fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT)))
        return nullptr;
    SAFEARRAYBOUND bound = {cElements, lLbound};
    return CreateArray(vt, 1, &bound, false);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound = {cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    if (!WellFormed(psa))
        return E_INVALIDARG;
    size_t nCount = 0;
    TotalElements(psa, &nCount);
    if (psa->pvData)
        ReleaseElements(psa, psa->pvData, nCount);
    if (psa->fFeatures & kHostOwned)
        return S_OK; // the host's memory, released by the host
    std::free(psa->pvData);
    std::free(reinterpret_cast<char*>(psa) - kDescriptorOffset);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr)
        return E_INVALIDARG;
    // Only arrays made here carry their type in front of the descriptor; for others the
    // feature flags are all there is to go by.
    if (psa->fFeatures & FADF_HAVEVARTYPE)
        *pvt = StoredVartype(psa);
    else if (psa->fFeatures & FADF_BSTR)
        *pvt = VT_BSTR;
    else if (psa->fFeatures & FADF_VARIANT)
        *pvt = VT_VARIANT;
    else if (psa->fFeatures & FADF_DISPATCH)
        *pvt = VT_DISPATCH;
    else if (psa->fFeatures & FADF_UNKNOWN)
        *pvt = VT_UNKNOWN;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT ZqkVariantArray(const VARIANT* pvar, VARTYPE vtElement, SAFEARRAY** ppsa) {
    if (pvar == nullptr || ppsa == nullptr)
        return E_INVALIDARG;
    *ppsa = nullptr;
    VARTYPE vt = pvar->vt;
    SAFEARRAY* psa = nullptr;
    if (vt == (VT_ARRAY | vtElement)) {
        psa = pvar->parray;
    } else if (vt == (VT_BYREF | VT_ARRAY | vtElement)) {
        if (pvar->pparray == nullptr)
            return E_INVALIDARG;
        psa = *pvar->pparray;
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    if (psa == nullptr)
        return E_INVALIDARG;
    VARTYPE vtStored = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(psa, &vtStored))) {
        // An array without a recorded type passes when its element size fits.
        USHORT nFeatures = 0;
        if (psa->cbElements != ElementSize(vtElement, &nFeatures))
            return DISP_E_TYPEMISMATCH;
    } else if (vtStored != vtElement) {
        return DISP_E_TYPEMISMATCH;
    }
    if (!WellFormed(psa) || psa->cDims == 0)
        return E_INVALIDARG;
    *ppsa = psa;
    return S_OK;
}

static HRESULT Bound(SAFEARRAY* psa, UINT nDim, const SAFEARRAYBOUND** ppBound) {
    if (psa == nullptr)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *ppBound = &psa->rgsabound[psa->cDims - nDim];
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    const SAFEARRAYBOUND* pBound = nullptr;
    HRESULT hr = Bound(psa, nDim, &pBound);
    if (FAILED(hr))
        return hr;
    if (plUbound == nullptr)
        return E_INVALIDARG;
    *plUbound = static_cast<LONG>(static_cast<LONGLONG>(pBound->lLbound) + pBound->cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    const SAFEARRAYBOUND* pBound = nullptr;
    HRESULT hr = Bound(psa, nDim, &pBound);
    if (FAILED(hr))
        return hr;
    if (plLbound == nullptr)
        return E_INVALIDARG;
    *plLbound = pBound->lLbound;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (psa == nullptr)
        return E_INVALIDARG;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (psa == nullptr)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr)
        return E_INVALIDARG;
    SafeArrayLock(psa);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

namespace {

// Indexes come as Automation's LONG or as the `long` hosts written for Windows use; one outside
// LONG's range names no element, and truncating it would address a wrong one.
template <typename Index>
HRESULT PtrOfIndex(SAFEARRAY* psa, const Index* rgIndices, void** ppvData) {
    if (rgIndices == nullptr || ppvData == nullptr || !WellFormed(psa) || psa->cDims == 0)
        return E_INVALIDARG;
    // The first dimension varies fastest; the descriptor holds it last.
    size_t nOffset = 0, nStride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
        LONGLONG nIndex = static_cast<LONGLONG>(rgIndices[d]);
        if (nIndex != static_cast<LONG>(nIndex))
            return DISP_E_BADINDEX;
        LONGLONG i = nIndex - b.lLbound;
        if (i < 0 || i >= static_cast<LONGLONG>(b.cElements))
            return DISP_E_BADINDEX;
        nOffset += static_cast<size_t>(i) * nStride;
        nStride *= b.cElements;
    }
    *ppvData = static_cast<char*>(psa->pvData) + nOffset * psa->cbElements;
    return S_OK;
}

template <typename Index> HRESULT GetElement(SAFEARRAY* psa, const Index* rgIndices, void* pv) {
    if (pv == nullptr)
        return E_INVALIDARG;
    void* pElement = nullptr;
    HRESULT hr = PtrOfIndex(psa, rgIndices, &pElement);
    if (FAILED(hr))
        return hr;
    return CopyElement(psa, pv, pElement);
}

// Copies the value in, releasing what the element held.
HRESULT PutElementAt(SAFEARRAY* psa, void* pElement, void* pv) {
    if (pv == nullptr && !(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)))
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_BSTR) {
        // The value passed for a string element is the BSTR itself; its length counts, so
        // embedded NULs survive.
        BSTR copy = nullptr;
        auto src = static_cast<BSTR>(pv);
        if (src) {
            copy = SysAllocStringLen(src, SysStringLen(src));
            if (copy == nullptr)
                return E_OUTOFMEMORY;
        }
        SysFreeString(*static_cast<BSTR*>(pElement));
        *static_cast<BSTR*>(pElement) = copy;
        return S_OK;
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* pNew = static_cast<IUnknown*>(pv);
        if (pNew)
            pNew->AddRef();
        IUnknown*& rOld = *static_cast<IUnknown**>(pElement);
        if (rOld)
            rOld->Release();
        rOld = pNew;
        return S_OK;
    }
    if (psa->fFeatures & FADF_VARIANT) {
        VARIANT copy;
        VariantInit(&copy);
        HRESULT hr = VariantCopy(&copy, static_cast<const VARIANT*>(pv));
        if (FAILED(hr))
            return hr;
        VariantClear(static_cast<VARIANT*>(pElement));
        *static_cast<VARIANT*>(pElement) = copy;
        return S_OK;
    }
    std::memcpy(pElement, pv, psa->cbElements);
    return S_OK;
}

template <typename Index> HRESULT PutElement(SAFEARRAY* psa, const Index* rgIndices, void* pv) {
    void* pElement = nullptr;
    HRESULT hr = PtrOfIndex(psa, rgIndices, &pElement);
    if (FAILED(hr))
        return hr;
    return PutElementAt(psa, pElement, pv);
}

} // namespace

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    return PtrOfIndex(psa, rgIndices, ppvData);
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    return GetElement(psa, rgIndices, pv);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    return PutElement(psa, rgIndices, pv);
}

namespace ZqkSafeArrayDetail {

HRESULT PtrOfIndex(SAFEARRAY* psa, long* rgIndices, void** ppvData) {
    return ::PtrOfIndex(psa, rgIndices, ppvData);
}

HRESULT GetElement(SAFEARRAY* psa, long* rgIndices, void* pv) {
    return ::GetElement(psa, rgIndices, pv);
}

HRESULT PutElement(SAFEARRAY* psa, long* rgIndices, void* pv) {
    return ::PutElement(psa, rgIndices, pv);
}

HRESULT GetUBound(SAFEARRAY* psa, UINT nDim, long* plUbound) {
    LONG n = 0;
    HRESULT hr = SafeArrayGetUBound(psa, nDim, plUbound ? &n : nullptr);
    if (SUCCEEDED(hr))
        *plUbound = n;
    return hr;
}

HRESULT GetLBound(SAFEARRAY* psa, UINT nDim, long* plLbound) {
    LONG n = 0;
    HRESULT hr = SafeArrayGetLBound(psa, nDim, plLbound ? &n : nullptr);
    if (SUCCEEDED(hr))
        *plLbound = n;
    return hr;
}

} // namespace ZqkSafeArrayDetail

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (psa == nullptr)
        return S_OK;
    if (!WellFormed(psa) || psa->cDims == 0)
        return E_INVALIDARG;
    std::vector<SAFEARRAYBOUND> bounds(psa->cDims);
    for (USHORT i = 0; i < psa->cDims; ++i)
        bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
    VARTYPE vt = VT_EMPTY;
    HRESULT hrType = SafeArrayGetVartype(psa, &vt);
    if (FAILED(hrType))
        return hrType;
    SAFEARRAY* pCopy = SafeArrayCreate(vt, psa->cDims, bounds.data());
    if (pCopy == nullptr)
        return E_OUTOFMEMORY;
    if (pCopy->cbElements != psa->cbElements) {
        // A recorded type that does not fit the element size: not an array made here.
        SafeArrayDestroy(pCopy);
        return E_INVALIDARG;
    }
    size_t nCount = 0;
    TotalElements(psa, &nCount);
    // Elements that own nothing (bytes, numbers) copy in one block.
    if (!(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT))) {
        if (nCount > 0)
            std::memcpy(pCopy->pvData, psa->pvData, nCount * psa->cbElements);
        *ppsaOut = pCopy;
        return S_OK;
    }
    for (size_t i = 0; i < nCount; ++i) {
        HRESULT hr = CopyElement(pCopy, static_cast<char*>(pCopy->pvData) + i * psa->cbElements,
                                 static_cast<char*>(psa->pvData) + i * psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(pCopy);
            return hr;
        }
    }
    *ppsaOut = pCopy;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (psa == nullptr || psaboundNew == nullptr)
        return E_INVALIDARG;
    if (!WellFormed(psa) || psa->cDims == 0)
        return E_INVALIDARG;
    if (psa->cLocks > 0 || (psa->fFeatures & (kHostOwned | FADF_FIXEDSIZE)))
        return DISP_E_ARRAYISLOCKED;
    size_t nOld = 0;
    TotalElements(psa, &nOld);
    SAFEARRAYBOUND saved = psa->rgsabound[0];
    psa->rgsabound[0] = *psaboundNew;
    size_t nNew = 0;
    if (!TotalElements(psa, &nNew) || nNew > kZqkMaxArrayBytes / psa->cbElements) {
        psa->rgsabound[0] = saved;
        return E_OUTOFMEMORY;
    }
    if (nNew < nOld)
        ReleaseElements(psa, static_cast<char*>(psa->pvData) + nNew * psa->cbElements, nOld - nNew);
    void* pData = nNew == 0 ? nullptr : std::realloc(psa->pvData, nNew * psa->cbElements);
    if (nNew > 0 && pData == nullptr) {
        psa->rgsabound[0] = saved;
        return E_OUTOFMEMORY;
    }
    if (nNew == 0)
        std::free(psa->pvData);
    if (nNew > nOld)
        std::memset(static_cast<char*>(pData) + nOld * psa->cbElements, 0,
                    (nNew - nOld) * psa->cbElements);
    psa->pvData = pData;
    return S_OK;
}
