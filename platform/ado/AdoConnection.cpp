#include <algorithm>
#include <cwctype>

#include "platform/ado/AdoObjects.h"
#include "platform/ado/ConnectionString.h"

void CConnectionCore::CloseRecordsets() {
    std::vector<CRecordsetCore*> recordsets;
    recordsets.swap(m_recordsets);
    for (CRecordsetCore* p : recordsets)
        p->Close();
}

CAdoConnection::~CAdoConnection() {
    if (m_pCore->m_bOpen) {
        m_pCore->CloseRecordsets();
        m_pCore->m_pProvider->Close();
        m_pCore->m_bOpen = false;
    }
}

HRESULT CAdoConnection::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == __uuidof(_Connection) ? S_OK : S_FALSE;
}

HRESULT CAdoConnection::get_ConnectionString(BSTR* pbstr) {
    if (pbstr == nullptr)
        return E_POINTER;
    *pbstr = SysAllocStringLen(m_strConnection.data(), static_cast<UINT>(m_strConnection.size()));
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CAdoConnection::put_ConnectionString(BSTR bstr) {
    if (m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectOpen, kAdoSourceConnection);
    m_strConnection.assign(bstr ? bstr : L"", SysStringLen(bstr));
    return S_OK;
}

HRESULT CAdoConnection::get_Mode(ConnectModeEnum* plMode) {
    if (plMode == nullptr)
        return E_POINTER;
    *plMode = m_nMode;
    return S_OK;
}

HRESULT CAdoConnection::put_Mode(ConnectModeEnum lMode) {
    if (m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectOpen, kAdoSourceConnection);
    m_nMode = lMode;
    return S_OK;
}

HRESULT CAdoConnection::get_State(LONG* plObjState) {
    if (plObjState == nullptr)
        return E_POINTER;
    *plObjState = m_pCore->m_bOpen ? adStateOpen : adStateClosed;
    return S_OK;
}

HRESULT CAdoConnection::raw_Open(BSTR ConnectionString, BSTR UserID, BSTR Password, LONG) {
    if (m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectOpen, kAdoSourceConnection);
    std::wstring strConnection =
        SysStringLen(ConnectionString) > 0 ? std::wstring(ConnectionString) : m_strConnection;
    std::map<std::wstring, std::wstring> pairs;
    if (!AdoParseConnectionString(strConnection, &pairs))
        return AdoFail(E_FAIL, kAdoSourceConnection, L"The connection string is not valid.");
    if (SysStringLen(UserID) > 0)
        pairs[L"uid"] = UserID;
    if (SysStringLen(Password) > 0)
        pairs[L"pwd"] = Password;
    // A string without a provider is for the driver manager, as on Windows.
    auto it = pairs.find(L"provider");
    std::unique_ptr<CAdoProvider> pProvider =
        AdoCreateProvider(it == pairs.end() ? std::wstring(L"ODBC") : it->second);
    if (pProvider == nullptr)
        return AdoFailWith(adErrProviderNotFound, kAdoSourceConnection);
    CAdoError error;
    if (FAILED(pProvider->Open(pairs, m_nMode, &error)))
        return AdoFail(error);
    m_pCore->m_pProvider = std::move(pProvider);
    m_pCore->m_bOpen = true;
    m_pCore->m_nTransactionLevel = 0;
    m_strConnection = strConnection;
    return S_OK;
}

HRESULT CAdoConnection::raw_Close() {
    if (!m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectClosed, kAdoSourceConnection);
    m_pCore->CloseRecordsets();
    m_pCore->m_pProvider->Close();
    m_pCore->m_bOpen = false;
    m_pCore->m_nTransactionLevel = 0;
    // Recordsets that are still referenced keep the old provider session; a new Open makes
    // a new one.
    m_pCore = std::make_shared<CConnectionCore>();
    return S_OK;
}

HRESULT CAdoConnection::ExecuteText(const std::wstring& strText, VARIANT* RecordsAffected,
                                    _Recordset** ppiRset, const wchar_t* pszSource) {
    if (ppiRset)
        *ppiRset = nullptr;
    if (!m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectClosed, pszSource);
    // A provider's command without text refuses to run (DB_E_NOCOMMAND), whatever its back end.
    if (strText.empty())
        return AdoFail(CAdoError::Make(DB_E_NOCOMMAND,
                                       L"Command text was not set for the command object.",
                                       m_pCore->m_pProvider->Name()));
    std::unique_ptr<CAdoCursor> pCursor;
    LONG nAffected = 0;
    CAdoError error;
    if (FAILED(m_pCore->m_pProvider->Execute(strText, &pCursor, &nAffected, &error)))
        return AdoFail(error);
    if (RecordsAffected) {
        VariantClear(RecordsAffected);
        RecordsAffected->vt = VT_I4;
        RecordsAffected->lVal = pCursor ? -1 : nAffected;
    }
    if (pCursor == nullptr)
        return S_OK;
    auto* pRecordset = new CAdoRecordset;
    pRecordset->Attach(m_pCore, std::move(pCursor), std::wstring(), true);
    HRESULT hr = pRecordset->Start();
    if (FAILED(hr)) {
        pRecordset->Release();
        return hr;
    }
    if (ppiRset)
        *ppiRset = pRecordset;
    else
        pRecordset->Release();
    return S_OK;
}

HRESULT CAdoConnection::OpenTable(const std::wstring& strTable, CAdoRecordset* pRecordset,
                                  const wchar_t* pszSource) {
    if (!m_pCore->m_bOpen)
        return AdoFailWith(adErrInvalidConnection, pszSource);
    std::unique_ptr<CAdoCursor> pCursor;
    CAdoError error;
    if (FAILED(m_pCore->m_pProvider->OpenTable(strTable, &pCursor, &error)))
        return AdoFail(error);
    pRecordset->Attach(m_pCore, std::move(pCursor), strTable, false);
    return S_OK;
}

HRESULT CAdoConnection::raw_Execute(BSTR CommandText, VARIANT* RecordsAffected, LONG,
                                    _Recordset** ppiRset) {
    AdoTraceCommand(CommandText);
    return ExecuteText(std::wstring(CommandText ? CommandText : L"", SysStringLen(CommandText)),
                       RecordsAffected, ppiRset, kAdoSourceConnection);
}

namespace {

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

// Catalog, schema, table name, table type.
const ULONG kTablesRestrictions = 4;

} // namespace

HRESULT CAdoConnection::raw_OpenSchema(SchemaEnum Schema, VARIANT Restrictions, VARIANT SchemaID,
                                       _Recordset** pprset) {
    if (pprset == nullptr)
        return E_POINTER;
    *pprset = nullptr;
    if (!m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectClosed, kAdoSourceConnection);
    if (Schema != adSchemaTables || !IsMissing(SchemaID))
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceConnection);
    // Restrictions: catalog, schema, table name, table type; empty ones restrict nothing.
    std::vector<std::wstring> restrictions;
    if (!IsMissing(Restrictions)) {
        SAFEARRAY* psa = nullptr;
        if (FAILED(ZqkVariantArray(&Restrictions, VT_VARIANT, &psa)) || SafeArrayGetDim(psa) != 1)
            return AdoFailWith(adErrInvalidArgument, kAdoSourceConnection);
        // The tables rowset has four restriction columns; a longer array is a caller's error,
        // and counting by elements keeps bounds near INT_MAX from overflowing the index.
        ULONG nCount = psa->rgsabound[0].cElements;
        if (nCount > kTablesRestrictions)
            return AdoFailWith(adErrInvalidArgument, kAdoSourceConnection);
        for (ULONG n = 0; n < nCount; ++n) {
            LONG i = static_cast<LONG>(psa->rgsabound[0].lLbound + static_cast<LONGLONG>(n));
            _variant_t v;
            if (FAILED(SafeArrayGetElement(psa, &i, &v)))
                return AdoFailWith(adErrInvalidArgument, kAdoSourceConnection);
            if (v.vt == VT_EMPTY || v.vt == VT_NULL || IsMissing(v)) {
                restrictions.emplace_back();
            } else if (v.vt == VT_BSTR) {
                restrictions.emplace_back(v.bstrVal ? v.bstrVal : L"");
            } else {
                return AdoFailWith(adErrInvalidArgument, kAdoSourceConnection);
            }
        }
    }
    std::unique_ptr<CAdoCursor> pCursor;
    CAdoError error;
    if (FAILED(m_pCore->m_pProvider->Tables(restrictions, &pCursor, &error)))
        return AdoFail(error);
    auto* pRecordset = new CAdoRecordset;
    pRecordset->Attach(m_pCore, std::move(pCursor), std::wstring(), true);
    HRESULT hr = pRecordset->Start();
    if (FAILED(hr)) {
        pRecordset->Release();
        return hr;
    }
    *pprset = pRecordset;
    return S_OK;
}

HRESULT CAdoConnection::raw_BeginTrans(LONG* TransactionLevel) {
    if (!m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectClosed, kAdoSourceConnection);
    CAdoError error;
    if (FAILED(m_pCore->m_pProvider->BeginTrans(&error)))
        return AdoFail(error);
    ++m_pCore->m_nTransactionLevel;
    if (TransactionLevel)
        *TransactionLevel = m_pCore->m_nTransactionLevel;
    return S_OK;
}

// Ends the current transaction by commit or rollback.
HRESULT CAdoConnection::EndTrans(HRESULT (CAdoProvider::*pfnEnd)(CAdoError*)) {
    if (!m_pCore->m_bOpen)
        return AdoFailWith(adErrObjectClosed, kAdoSourceConnection);
    CAdoError error;
    if (FAILED((m_pCore->m_pProvider.get()->*pfnEnd)(&error)))
        return AdoFail(error);
    m_pCore->m_nTransactionLevel = std::max<LONG>(0, m_pCore->m_nTransactionLevel - 1);
    return S_OK;
}

HRESULT CAdoConnection::raw_CommitTrans() {
    return EndTrans(&CAdoProvider::CommitTrans);
}

HRESULT CAdoConnection::raw_RollbackTrans() {
    return EndTrans(&CAdoProvider::RollbackTrans);
}
