// The framework's safe-array wrapper: a VARIANT that holds a SAFEARRAY and raises
// COleException for every failing call.
#pragma once

#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

class COleSafeArray : public tagVARIANT {
public:
    COleSafeArray() noexcept;
    COleSafeArray(const COleSafeArray& saSrc);
    COleSafeArray(const VARIANT& varSrc);
    ~COleSafeArray();

    COleSafeArray& operator=(const COleSafeArray& saSrc);
    COleSafeArray& operator=(const VARIANT& varSrc);

    // A one-dimensional array of dwElements of type vtSrc from nLBound, filled from
    // pvSrcData when given (raw element bytes).
    void CreateOneDim(VARTYPE vtSrc, DWORD dwElements, const void* pvSrcData = nullptr,
                      long nLBound = 0);
    void Create(VARTYPE vtSrc, DWORD dwDims, DWORD* rgElements);
    void AccessData(void** ppvData);
    void UnaccessData();
    // Takes over the array in varSrc (which is left VT_EMPTY).
    void Attach(VARIANT& varSrc);
    // Hands the array over as a variant; this object is left VT_EMPTY.
    VARIANT Detach();
    void Clear();
    void Destroy() { Clear(); }

    DWORD GetDim();
    DWORD GetOneDimSize();
    void ResizeOneDim(DWORD dwElements);
    long GetElemSize();
    void GetLBound(DWORD dwDim, long* pLBound);
    void GetUBound(DWORD dwDim, long* pUBound);
    void GetElement(long* rgIndices, void* pvData);
    void PutElement(long* rgIndices, void* pvData);

    operator LPVARIANT() noexcept { return this; }

private:
    SAFEARRAY* Array() const;
};
