#include <cwchar>

#include "platform/ado/AdoObjects.h"

// ---- Fields ---------------------------------------------------------------------------------

CAdoFields::CAdoFields(std::shared_ptr<CRecordsetCore> pCore) : m_pCore(std::move(pCore)) {
    size_t n = m_pCore->ColumnCount();
    m_fields.reserve(n);
    for (size_t i = 0; i < n; ++i)
        m_fields.push_back(new CAdoField(m_pCore, i));
}

CAdoFields::~CAdoFields() {
    for (CAdoField* p : m_fields)
        p->Release();
}

HRESULT CAdoFields::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == __uuidof(::Fields) ? S_OK : S_FALSE;
}

HRESULT CAdoFields::get_Count(LONG* c) {
    if (c == nullptr)
        return E_POINTER;
    *c = m_pCore->IsOpen() ? static_cast<LONG>(m_fields.size()) : 0;
    return S_OK;
}

HRESULT CAdoFields::get_Item(VARIANT Index, ::Field** ppvObject) {
    if (ppvObject == nullptr)
        return E_POINTER;
    *ppvObject = nullptr;
    if (!m_pCore->IsOpen())
        return AdoFailWith(adErrItemNotFound, kAdoSourceFields);
    size_t nIndex = m_fields.size();
    // A plain position, as a reader's loop passes it for every cell.
    if (Index.vt == VT_I4) {
        if (Index.lVal >= 0 && static_cast<size_t>(Index.lVal) < nIndex) {
            CAdoField* pField = m_fields[static_cast<size_t>(Index.lVal)];
            pField->AddRef();
            *ppvObject = pField;
            return S_OK;
        }
        return AdoFailWith(adErrItemNotFound, kAdoSourceFields);
    }
    VARIANT key;
    VariantInit(&key);
    VARTYPE vt = static_cast<VARTYPE>(Index.vt & ~VT_BYREF);
    if (vt == VT_BSTR) {
        if (FAILED(VariantCopyInd(&key, &Index)))
            return AdoFailWith(adErrItemNotFound, kAdoSourceFields);
        for (size_t i = 0; i < m_fields.size(); ++i)
            if (wcscasecmp(m_pCore->Column(i).strName.c_str(), key.bstrVal ? key.bstrVal : L"") ==
                0) {
                nIndex = i;
                break;
            }
        VariantClear(&key);
    } else if (SUCCEEDED(VariantChangeType(&key, &Index, 0, VT_I8))) {
        // Any integer type (or a value that converts to one) is a position.
        if (key.llVal >= 0)
            nIndex = static_cast<size_t>(key.llVal);
    }
    if (nIndex >= m_fields.size())
        return AdoFailWith(adErrItemNotFound, kAdoSourceFields);
    m_fields[nIndex]->AddRef();
    *ppvObject = m_fields[nIndex];
    return S_OK;
}

// ---- Field ----------------------------------------------------------------------------------

CAdoField::CAdoField(std::shared_ptr<CRecordsetCore> pCore, size_t nIndex)
    : m_pCore(std::move(pCore)), m_nIndex(nIndex) {}

HRESULT CAdoField::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == __uuidof(::Field) ? S_OK : S_FALSE;
}

HRESULT CAdoField::Closed() {
    return AdoFailWith(adErrObjectClosed, kAdoSourceField);
}

HRESULT CAdoField::get_Value(VARIANT* pvar) {
    if (pvar == nullptr)
        return E_POINTER;
    VariantInit(pvar);
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->GetValue(m_nIndex, pvar);
}

HRESULT CAdoField::put_Value(VARIANT Val) {
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->PutValue(m_nIndex, Val);
}

HRESULT CAdoField::get_Name(BSTR* pbstr) {
    if (pbstr == nullptr)
        return E_POINTER;
    *pbstr = nullptr;
    if (!m_pCore->IsOpen())
        return Closed();
    const std::wstring& s = m_pCore->Column(m_nIndex).strName;
    *pbstr = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CAdoField::get_Type(DataTypeEnum* pDataType) {
    return ColumnFact(pDataType, &CAdoColumn::nType);
}

HRESULT CAdoField::get_DefinedSize(LONG* pl) {
    return ColumnFact(pl, &CAdoColumn::nDefinedSize);
}

HRESULT CAdoField::get_Precision(BYTE* pbPrecision) {
    return ColumnFact(pbPrecision, &CAdoColumn::nPrecision);
}

HRESULT CAdoField::get_NumericScale(BYTE* pbScale) {
    return ColumnFact(pbScale, &CAdoColumn::nNumericScale);
}

HRESULT CAdoField::get_ActualSize(LONG* pl) {
    if (pl == nullptr)
        return E_POINTER;
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->ActualSize(m_nIndex, pl);
}

HRESULT CAdoField::raw_AppendChunk(VARIANT Data) {
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->AppendChunk(m_nIndex, Data);
}

HRESULT CAdoField::GetWholeChunk(LONG nLength, const BYTE** ppBytes, LONG* pnBytes) {
    if (ppBytes == nullptr || pnBytes == nullptr)
        return E_POINTER;
    if (!m_pCore->IsOpen())
        return S_FALSE; // GetChunk reports it
    return m_pCore->GetWholeChunk(m_nIndex, nLength, ppBytes, pnBytes);
}

HRESULT CAdoField::AdoptChunk(VARIANT* pData) {
    if (pData == nullptr)
        return E_POINTER;
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->AdoptChunk(m_nIndex, pData);
}

HRESULT CAdoField::raw_GetChunk(LONG Length, VARIANT* pvar) {
    if (pvar == nullptr)
        return E_POINTER;
    VariantInit(pvar);
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->GetChunk(m_nIndex, Length, pvar);
}
