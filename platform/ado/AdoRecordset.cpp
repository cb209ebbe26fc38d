#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/ado/AdoObjects.h"

namespace {

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

} // namespace

// ---- Shared state ---------------------------------------------------------------------------

CRecordsetCore::~CRecordsetCore() {
    Close();
}

void CRecordsetCore::Attach(std::shared_ptr<CConnectionCore> pConnection,
                            std::unique_ptr<CAdoCursor> pCursor, std::wstring strTable, bool) {
    Close();
    m_pConnection = std::move(pConnection);
    m_pCursor = std::move(pCursor);
    m_strTable = std::move(strTable);
    m_bStarted = false;
    m_bEOF = false;
    m_bBOF = false;
    ++m_nRow;
    if (m_pConnection)
        m_pConnection->m_recordsets.push_back(this);
}

void CRecordsetCore::Close() {
    if (m_pConnection) {
        auto& list = m_pConnection->m_recordsets;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    m_pCursor.reset();
    m_pConnection.reset();
    m_strTable.clear();
    m_bAdding = false;
    m_bOnInserted = false;
    m_newRow.clear();
    m_chunk = CChunkState();
    m_bEOF = m_bBOF = true;
}

HRESULT CRecordsetCore::CursorFailed() {
    m_bEOF = true;
    return ValueFailed();
}

HRESULT CRecordsetCore::ValueFailed() {
    HRESULT hr = AdoFail(m_error);
    m_error = CAdoError();
    return hr;
}

HRESULT CRecordsetCore::Start() {
    m_bStarted = true;
    bool bRow = false;
    if (FAILED(m_pCursor->Next(&bRow, &m_error)))
        return CursorFailed();
    m_bEOF = m_bBOF = !bRow;
    ++m_nRow;
    return S_OK;
}

HRESULT CRecordsetCore::MoveNext() {
    HRESULT hr = EnsureStarted();
    if (FAILED(hr))
        return hr;
    if (m_bEOF)
        return AdoFailWith(adErrNoCurrentRecord, kAdoSourceRecordset);
    m_bOnInserted = false;
    m_bBOF = false;
    ++m_nRow;
    bool bRow = false;
    if (FAILED(m_pCursor->Next(&bRow, &m_error)))
        return CursorFailed();
    m_bEOF = !bRow;
    return S_OK;
}

HRESULT CRecordsetCore::NewRowValue(size_t nIndex, VARIANT* pvar) {
    const CNewValue& v = m_newRow[nIndex];
    if (v.bChunks)
        return AdoMakeByteArray(v.var.vt == (VT_ARRAY | VT_UI1)
                                    ? static_cast<const BYTE*>(v.var.parray->pvData)
                                    : nullptr,
                                v.nChunkBytes, pvar);
    if (!v.bSet)
        return S_OK; // VT_EMPTY: nothing given for this field
    return VariantCopy(pvar, &v.var);
}

// GetValue away from a plain walk: a row being added or just inserted, a walk not started yet,
// the end of the rows.
HRESULT CRecordsetCore::GetValueElsewhere(size_t nIndex, VARIANT* pvar) {
    VariantInit(pvar);
    if (m_bAdding || m_bOnInserted)
        return NewRowValue(nIndex, pvar);
    HRESULT hr = EnsureStarted();
    if (FAILED(hr))
        return hr;
    if (m_bEOF)
        return AdoFailWith(adErrNoCurrentRecord, kAdoSourceField);
    if (FAILED(m_pCursor->GetValue(nIndex, pvar, &m_error)))
        return ValueFailed();
    return S_OK;
}

HRESULT CRecordsetCore::PutValue(size_t nIndex, const VARIANT& var) {
    if (!m_bAdding)
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceField);
    // The value is copied through any reference now: the host's variable may be gone by the
    // time Update reads it.
    _variant_t value;
    HRESULT hr = VariantCopyInd(&value, &var);
    if (FAILED(hr))
        return AdoFailWith(adErrInvalidArgument, kAdoSourceField);
    CNewValue& v = m_newRow[nIndex];
    v.var = std::move(value);
    v.bSet = true;
    v.bChunks = false;
    v.nChunkBytes = 0;
    return S_OK;
}

HRESULT CRecordsetCore::AppendChunk(size_t nIndex, const VARIANT& var) {
    if (!m_bAdding)
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceField);
    SAFEARRAY* psa = nullptr;
    if (FAILED(ZqkVariantArray(&var, VT_UI1, &psa)) || SafeArrayGetDim(psa) != 1)
        return AdoFailWith(adErrInvalidArgument, kAdoSourceField);
    CNewValue& v = m_newRow[nIndex];
    if (!v.bChunks) {
        v.var.Clear();
        v.nChunkBytes = 0;
        v.bChunks = true;
        v.bSet = true;
    }
    return AppendBytes(v, static_cast<const BYTE*>(psa->pvData), psa->rgsabound[0].cElements);
}

namespace {

// Whether a caller's byte array can become a pending value as it is: resized by later chunks
// and trims, and freed with the row, as an array of the recordset's own.
bool CanAdoptByteArray(const VARIANT& var) {
    SAFEARRAY* psa = nullptr;
    const USHORT kNotOwnable = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE;
    return var.vt == (VT_ARRAY | VT_UI1) && SUCCEEDED(ZqkVariantArray(&var, VT_UI1, &psa)) &&
           psa->cDims == 1 && psa->rgsabound[0].lLbound == 0 && psa->cbElements == 1 &&
           psa->cLocks == 0 && (psa->fFeatures & kNotOwnable) == 0 &&
           psa->rgsabound[0].cElements <= kAdoMaxValueBytes;
}

} // namespace

HRESULT CRecordsetCore::AdoptChunk(size_t nIndex, VARIANT* pData) {
    // Only a first chunk is taken: later ones are appended to the value's own array.
    if (!m_bAdding || m_newRow[nIndex].bChunks || !CanAdoptByteArray(*pData))
        return AppendChunk(nIndex, *pData);
    CNewValue& v = m_newRow[nIndex];
    v.var.Attach(*pData); // leaves *pData VT_EMPTY
    v.nChunkBytes = v.var.parray->rgsabound[0].cElements;
    v.bChunks = true;
    v.bSet = true;
    return S_OK;
}

HRESULT CRecordsetCore::AppendBytes(CNewValue& v, const BYTE* p, size_t n) {
    // Checked before anything is read: the total must stay within what ActualSize reports.
    if (n > kAdoMaxValueBytes - v.nChunkBytes)
        return AdoFailWith(adErrInvalidArgument, kAdoSourceField);
    size_t nNeeded = v.nChunkBytes + n;
    if (v.var.vt != (VT_ARRAY | VT_UI1)) {
        // The first chunk takes exactly its size: a value given whole is never grown.
        if (FAILED(AdoMakeByteArray(p, n, &v.var)))
            return AdoFail(E_OUTOFMEMORY, kAdoSourceField, L"");
        v.nChunkBytes = n;
        return S_OK;
    }
    size_t nCapacity = v.var.parray->rgsabound[0].cElements;
    if (nNeeded > nCapacity) {
        // Doubling keeps many small chunks linear in their total.
        SAFEARRAYBOUND bound = {
            static_cast<ULONG>(std::max(nNeeded, std::min(2 * nCapacity, kAdoMaxValueBytes))), 0};
        if (FAILED(SafeArrayRedim(v.var.parray, &bound)))
            return AdoFail(E_OUTOFMEMORY, kAdoSourceField, L"");
    }
    if (n > 0)
        std::memcpy(static_cast<BYTE*>(v.var.parray->pvData) + v.nChunkBytes, p, n);
    v.nChunkBytes = nNeeded;
    return S_OK;
}

HRESULT CRecordsetCore::GetChunk(size_t nIndex, LONG nLength, VARIANT* pvar) {
    VariantInit(pvar);
    if (nLength < 0)
        return AdoFailWith(adErrInvalidArgument, kAdoSourceField);
    // The value is read once per row and handed out in pieces.
    if (m_chunk.nField != nIndex || m_chunk.nRow != m_nRow) {
        _variant_t value;
        HRESULT hr = GetValue(nIndex, &value);
        if (FAILED(hr))
            return hr;
        m_chunk = CChunkState();
        m_chunk.nField = nIndex;
        m_chunk.nRow = m_nRow;
        if (value.vt == (VT_ARRAY | VT_UI1)) {
            m_chunk.nSize = value.parray->rgsabound[0].cElements;
            VARIANT bytes = value.Detach();
            m_chunk.value.Attach(bytes);
        } else if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
            pvar->vt = VT_NULL;
            m_chunk.nOffset = 0;
            return S_OK;
        } else {
            return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceField);
        }
    }
    if (m_chunk.nOffset >= m_chunk.nSize) {
        pvar->vt = VT_NULL;
        return S_OK;
    }
    size_t n = std::min(static_cast<size_t>(nLength), m_chunk.nSize - m_chunk.nOffset);
    SAFEARRAY* psa = m_chunk.value.parray;
    // Asked for all of it at once: the array read is handed over rather than copied, when it
    // has the shape a copy would have.
    if (m_chunk.nOffset == 0 && n == m_chunk.nSize && psa->cDims == 1 &&
        psa->rgsabound[0].lLbound == 0) {
        *pvar = m_chunk.value.Detach();
        m_chunk.nOffset = n;
        return S_OK;
    }
    HRESULT hr = AdoMakeByteArray(static_cast<const BYTE*>(psa->pvData) + m_chunk.nOffset, n, pvar);
    if (SUCCEEDED(hr))
        m_chunk.nOffset += n;
    return hr;
}

HRESULT CRecordsetCore::GetWholeChunk(size_t nIndex, LONG nLength, const BYTE** ppBytes,
                                      LONG* pnBytes) {
    // Only where GetChunk would read the value from the cursor and hand it out whole.
    if (!m_bStarted || m_bEOF || m_bAdding || m_bOnInserted || !m_pCursor || nLength <= 0 ||
        (m_chunk.nField == nIndex && m_chunk.nRow == m_nRow))
        return S_FALSE;
    const void* p = nullptr;
    size_t n = 0;
    if (m_pCursor->GetBytes(nIndex, &p, &n) != S_OK || n == 0 || n > static_cast<size_t>(nLength))
        return S_FALSE;
    // The state that GetChunk leaves after handing out the whole value.
    m_chunk = CChunkState();
    m_chunk.nField = nIndex;
    m_chunk.nRow = m_nRow;
    m_chunk.nSize = n;
    m_chunk.nOffset = n;
    *ppBytes = static_cast<const BYTE*>(p);
    *pnBytes = static_cast<LONG>(n);
    return S_OK;
}

HRESULT CRecordsetCore::ActualSize(size_t nIndex, LONG* pnSize) {
    if (m_bAdding || m_bOnInserted) {
        _variant_t v;
        HRESULT hr = NewRowValue(nIndex, &v);
        if (FAILED(hr))
            return hr;
        if (v.vt == (VT_ARRAY | VT_UI1))
            *pnSize = static_cast<LONG>(v.parray->rgsabound[0].cElements);
        else if (v.vt == VT_BSTR)
            *pnSize = static_cast<LONG>(SysStringLen(v.bstrVal));
        else
            *pnSize = v.vt == VT_EMPTY || v.vt == VT_NULL ? 0 : Column(nIndex).nDefinedSize;
        return S_OK;
    }
    HRESULT hr = EnsureStarted();
    if (FAILED(hr))
        return hr;
    if (m_bEOF)
        return AdoFailWith(adErrNoCurrentRecord, kAdoSourceField);
    *pnSize = m_pCursor->ActualSize(nIndex);
    return S_OK;
}

HRESULT CRecordsetCore::AddNew() {
    if (m_strTable.empty())
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceRecordset);
    // A row still pending is stored first rather than dropped.
    if (m_bAdding) {
        HRESULT hr = Update();
        if (FAILED(hr))
            return hr;
    }
    m_newRow.assign(ColumnCount(), CNewValue());
    m_bAdding = true;
    m_bOnInserted = false;
    ++m_nRow;
    return S_OK;
}

HRESULT CRecordsetCore::Update() {
    if (!m_bAdding)
        return S_OK; // nothing pending
    std::vector<CAdoColumn> columns;
    CAdoRowValues row;
    for (size_t i = 0; i < m_newRow.size(); ++i) {
        columns.push_back(Column(i));
        CNewValue& v = m_newRow[i];
        if (!v.bSet)
            continue;
        // Chunks are trimmed to the value, which the provider then reads in place.
        if (v.bChunks && v.var.vt == (VT_ARRAY | VT_UI1) &&
            v.var.parray->rgsabound[0].cElements != v.nChunkBytes) {
            SAFEARRAYBOUND bound = {static_cast<ULONG>(v.nChunkBytes), 0};
            if (FAILED(SafeArrayRedim(v.var.parray, &bound)))
                return AdoFail(E_OUTOFMEMORY, kAdoSourceField, L"");
        }
        row[i] = &v.var;
    }
    CAdoError error;
    HRESULT hr = m_pConnection->m_pProvider->InsertRow(m_strTable, columns, row, &error);
    // Whatever the outcome the pending row is gone: a failed insert leaves no row behind.
    m_bAdding = false;
    ++m_nRow;
    if (FAILED(hr)) {
        m_newRow.clear();
        return AdoFail(error);
    }
    m_bOnInserted = true;
    m_bEOF = m_bBOF = false;
    return S_OK;
}

// ---- Recordset ------------------------------------------------------------------------------

CAdoRecordset::CAdoRecordset() : m_pCore(std::make_shared<CRecordsetCore>()) {}

CAdoRecordset::~CAdoRecordset() {
    if (m_pFields)
        m_pFields->Release();
    m_pCore->Close();
}

HRESULT CAdoRecordset::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == __uuidof(_Recordset) ? S_OK : S_FALSE;
}

HRESULT CAdoRecordset::Closed() {
    return AdoFailWith(adErrObjectClosed, kAdoSourceRecordset);
}

void CAdoRecordset::Attach(std::shared_ptr<CConnectionCore> pConnection,
                           std::unique_ptr<CAdoCursor> pCursor, std::wstring strTable,
                           bool bFetchFirst) {
    if (m_pFields) {
        m_pFields->Release();
        m_pFields = nullptr;
    }
    // Fields and Field objects handed out earlier keep the old result's state; a state nobody
    // else holds is reused.
    m_pCore->Close();
    if (m_pCore.use_count() != 1)
        m_pCore = std::make_shared<CRecordsetCore>();
    m_pCore->Attach(std::move(pConnection), std::move(pCursor), std::move(strTable), bFetchFirst);
    m_pFields = new CAdoFields(m_pCore);
}

HRESULT CAdoRecordset::Start() {
    return m_pCore->EnsureStarted();
}

HRESULT CAdoRecordset::get_CursorType(CursorTypeEnum* p) {
    if (p == nullptr)
        return E_POINTER;
    *p = m_nCursorType;
    return S_OK;
}

HRESULT CAdoRecordset::put_CursorType(CursorTypeEnum n) {
    if (m_pCore->IsOpen())
        return AdoFailWith(adErrObjectOpen, kAdoSourceRecordset);
    m_nCursorType = n;
    return S_OK;
}

HRESULT CAdoRecordset::get_LockType(LockTypeEnum* p) {
    if (p == nullptr)
        return E_POINTER;
    *p = m_nLockType;
    return S_OK;
}

HRESULT CAdoRecordset::put_LockType(LockTypeEnum n) {
    if (m_pCore->IsOpen())
        return AdoFailWith(adErrObjectOpen, kAdoSourceRecordset);
    m_nLockType = n;
    return S_OK;
}

HRESULT CAdoRecordset::get_State(LONG* p) {
    if (p == nullptr)
        return E_POINTER;
    *p = m_pCore->IsOpen() ? adStateOpen : adStateClosed;
    return S_OK;
}

HRESULT CAdoRecordset::get_EOF(VARIANT_BOOL* pb) {
    if (pb == nullptr)
        return E_POINTER;
    if (!m_pCore->IsOpen())
        return Closed();
    HRESULT hr = m_pCore->EnsureStarted();
    if (FAILED(hr))
        return hr;
    *pb = m_pCore->m_bEOF && !m_pCore->m_bAdding && !m_pCore->m_bOnInserted ? VARIANT_TRUE
                                                                            : VARIANT_FALSE;
    return S_OK;
}

HRESULT CAdoRecordset::get_BOF(VARIANT_BOOL* pb) {
    if (pb == nullptr)
        return E_POINTER;
    if (!m_pCore->IsOpen())
        return Closed();
    HRESULT hr = m_pCore->EnsureStarted();
    if (FAILED(hr))
        return hr;
    *pb = m_pCore->m_bBOF && !m_pCore->m_bAdding && !m_pCore->m_bOnInserted ? VARIANT_TRUE
                                                                            : VARIANT_FALSE;
    return S_OK;
}

HRESULT CAdoRecordset::get_Fields(::Fields** ppvObject) {
    if (ppvObject == nullptr)
        return E_POINTER;
    *ppvObject = nullptr;
    if (m_pFields == nullptr)
        m_pFields = new CAdoFields(m_pCore); // an unopened recordset has an empty collection
    m_pFields->AddRef();
    *ppvObject = m_pFields;
    return S_OK;
}

HRESULT CAdoRecordset::raw_Open(VARIANT Source, VARIANT ActiveConnection, CursorTypeEnum CursorType,
                                LockTypeEnum LockType, LONG Options) {
    if (m_pCore->IsOpen())
        return AdoFailWith(adErrObjectOpen, kAdoSourceRecordset);
    if (Source.vt != VT_BSTR)
        return AdoFailWith(adErrInvalidArgument, kAdoSourceRecordset);
    if (ActiveConnection.vt != VT_DISPATCH && ActiveConnection.vt != VT_UNKNOWN)
        return AdoFailWith(adErrInvalidConnection, kAdoSourceRecordset);
    _ConnectionPtr pConnection(ActiveConnection.punkVal);
    auto* pAdoConnection = dynamic_cast<CAdoConnection*>(pConnection.GetInterfacePtr());
    if (pAdoConnection == nullptr)
        return AdoFailWith(adErrInvalidConnection, kAdoSourceRecordset);
    // A closed connection cannot serve the recordset, whatever the source: the connection is
    // what is wrong here, not the recordset (which is closed before every Open).
    LONG nState = adStateClosed;
    if (FAILED(pAdoConnection->get_State(&nState)) || (nState & adStateOpen) == 0)
        return AdoFailWith(adErrInvalidConnection, kAdoSourceRecordset);
    if (CursorType != adOpenUnspecified)
        m_nCursorType = CursorType;
    if (LockType != adLockUnspecified)
        m_nLockType = LockType;
    std::wstring strSource(Source.bstrVal ? Source.bstrVal : L"", SysStringLen(Source.bstrVal));
    AdoTraceCommand(strSource.c_str());
    if ((Options & 0xFFFF) == adCmdTable || (Options & 0xFFFF) == adCmdTableDirect)
        return pAdoConnection->OpenTable(strSource, this, kAdoSourceRecordset);

    // A text that yields no rows leaves the recordset closed, as the statement still ran.
    _Recordset* pResult = nullptr;
    HRESULT hr = pAdoConnection->ExecuteText(strSource, nullptr, &pResult, kAdoSourceRecordset);
    if (FAILED(hr) || pResult == nullptr)
        return hr;
    auto* pOther = static_cast<CAdoRecordset*>(pResult);
    if (m_pFields) {
        m_pFields->Release();
        m_pFields = nullptr;
    }
    std::swap(m_pCore, pOther->m_pCore);
    std::swap(m_pFields, pOther->m_pFields);
    pResult->Release();
    return S_OK;
}

HRESULT CAdoRecordset::raw_Close() {
    if (!m_pCore->IsOpen())
        return Closed();
    m_pCore->Close();
    return S_OK;
}

HRESULT CAdoRecordset::raw_MoveNext() {
    if (!m_pCore->IsOpen())
        return Closed();
    return m_pCore->MoveNext();
}

HRESULT CAdoRecordset::raw_Move(LONG NumRecords, VARIANT Start) {
    if (!m_pCore->IsOpen())
        return Closed();
    if (!IsMissing(Start) || NumRecords < 0)
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceRecordset); // forward only
    HRESULT hr = m_pCore->EnsureStarted();
    if (FAILED(hr) || NumRecords == 0)
        return hr;
    if (m_pCore->m_bEOF)
        return AdoFailWith(adErrNoCurrentRecord, kAdoSourceRecordset);
    for (LONG i = 0; i < NumRecords && !m_pCore->m_bEOF; ++i) {
        hr = m_pCore->MoveNext();
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CAdoRecordset::raw_GetRows(LONG Rows, VARIANT Start, VARIANT FieldList, VARIANT* pvar) {
    if (pvar == nullptr)
        return E_POINTER;
    VariantInit(pvar);
    if (!m_pCore->IsOpen())
        return Closed();
    if (!IsMissing(Start) || !IsMissing(FieldList) || (Rows < 0 && Rows != adGetRowsRest))
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceRecordset);
    HRESULT hr = m_pCore->EnsureStarted();
    if (FAILED(hr))
        return hr;
    if (m_pCore->m_bEOF)
        return AdoFailWith(adErrNoCurrentRecord, kAdoSourceRecordset);
    size_t nFields = m_pCore->ColumnCount();
    std::vector<_variant_t> cells;
    size_t nRows = 0;
    while (!m_pCore->m_bEOF && (Rows == adGetRowsRest || nRows < static_cast<size_t>(Rows))) {
        for (size_t f = 0; f < nFields; ++f) {
            cells.emplace_back();
            hr = m_pCore->GetValue(f, &cells.back());
            if (FAILED(hr))
                return hr;
        }
        ++nRows;
        hr = m_pCore->MoveNext();
        if (FAILED(hr))
            return hr;
    }
    // Field index first, so the row index varies slowest.
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(nFields), 0}, {static_cast<ULONG>(nRows), 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (psa == nullptr)
        return AdoFail(E_OUTOFMEMORY, kAdoSourceRecordset, L"");
    auto* pData = static_cast<VARIANT*>(psa->pvData);
    for (size_t i = 0; i < cells.size(); ++i)
        pData[i] = cells[i].Detach();
    pvar->vt = VT_ARRAY | VT_VARIANT;
    pvar->parray = psa;
    return S_OK;
}

HRESULT CAdoRecordset::GetCell(LONG nCol, CAdoCell* pCell) {
    if (pCell == nullptr || nCol < 0 || !m_pCore->IsOpen() ||
        static_cast<size_t>(nCol) >= m_pCore->ColumnCount())
        return E_INVALIDARG;
    return m_pCore->GetCell(static_cast<size_t>(nCol), pCell);
}

HRESULT CAdoRecordset::raw_AddNew(VARIANT FieldList, VARIANT Values) {
    if (!m_pCore->IsOpen())
        return Closed();
    if (!IsMissing(FieldList) || !IsMissing(Values) || m_nLockType == adLockReadOnly)
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceRecordset);
    return m_pCore->AddNew();
}

HRESULT CAdoRecordset::raw_Update(VARIANT FieldList, VARIANT Values) {
    if (!m_pCore->IsOpen())
        return Closed();
    if (!IsMissing(FieldList) || !IsMissing(Values))
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceRecordset);
    return m_pCore->Update();
}
