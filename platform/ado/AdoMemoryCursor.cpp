#include <cstring>

#include "platform/ado/AdoObjects.h"

HRESULT AdoMakeByteArray(const void* pBytes, size_t nBytes, VARIANT* pvar) {
    if (nBytes > kAdoMaxValueBytes)
        return E_OUTOFMEMORY;
    // Filled whole right away, so not cleared first.
    SAFEARRAY* psa = ZqkSafeArrayCreateVectorUnset(VT_UI1, 0, static_cast<ULONG>(nBytes));
    if (psa == nullptr)
        return E_OUTOFMEMORY;
    if (nBytes > 0)
        std::memcpy(psa->pvData, pBytes, nBytes);
    pvar->vt = VT_ARRAY | VT_UI1;
    pvar->parray = psa;
    return S_OK;
}

CAdoMemoryCursor::~CAdoMemoryCursor() {
    for (auto& row : m_rows)
        for (VARIANT& v : row)
            VariantClear(&v);
}

HRESULT CAdoMemoryCursor::Next(bool* pbRow, CAdoError*) {
    *pbRow = m_nNext < m_rows.size();
    if (*pbRow)
        ++m_nNext;
    return S_OK;
}

HRESULT CAdoMemoryCursor::GetValue(size_t nIndex, VARIANT* pvar, CAdoError*) {
    VariantInit(pvar);
    if (m_nNext == 0 || m_nNext > m_rows.size() || nIndex >= m_columns.size())
        return E_UNEXPECTED;
    return VariantCopy(pvar, &m_rows[m_nNext - 1][nIndex]);
}

LONG CAdoMemoryCursor::ActualSize(size_t nIndex) {
    if (m_nNext == 0 || m_nNext > m_rows.size() || nIndex >= m_columns.size())
        return 0;
    const VARIANT& v = m_rows[m_nNext - 1][nIndex];
    return v.vt == VT_BSTR ? static_cast<LONG>(SysStringLen(v.bstrVal)) : 0;
}
