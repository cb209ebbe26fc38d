// Readers into maps and variant arrays, and the emptiness test.
#include "RecordsetReading.h"

#include <utility>

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CMapStringToString& map) {
    if (lpszSQL == nullptr)
        return -1;
    try {
        _RecordsetPtr pRs;
        LONG nCols = 0;
        if (ReaderOpen(*this, lpszSQL, pRs, &nCols) != CReaderOpen::kReady || nCols < 2)
            return -1;
        CString strKey;
        return WalkRows(
            pRs, 2,
            [&](LONG nCol, const CString& strText) {
                if (nCol == 0)
                    strKey = strText;
                else
                    map[strKey] = strText;
            },
            [](int) { return true; });
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::GetSelDataEx(const wchar_t* lpszSQL, CMapStringToString& map) {
    if (lpszSQL == nullptr)
        return 0;
    try {
        _RecordsetPtr pRs;
        LONG nCols = 0;
        if (ReaderOpen(*this, lpszSQL, pRs, &nCols) != CReaderOpen::kReady || nCols < 2)
            return -1;
        if (pRs->GetadoEOF())
            return 0;
        CString strValue, strName;
        for (LONG nCol = 0; nCol < nCols; ++nCol) {
            ReadCellText(pRs, nCol, strValue);
            ReadFieldName(pRs, nCol, strName);
            map[strName] = strValue;
        }
        return 1;
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, _variant_t& varData, LONG& nRows,
                                   LONG& nCols) {
    if (lpszSQL == nullptr)
        return -1;
    try {
        _RecordsetPtr pRs;
        HRESULT hr = pRs.CreateInstance(L"ADODB.Recordset", nullptr, CLSCTX_ALL);
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
        _variant_t varConnection(static_cast<IDispatch*>(m_pConnection.GetInterfacePtr()));
        pRs->Open(_variant_t(lpszSQL), varConnection, adOpenForwardOnly, adLockReadOnly, adCmdText);
        if (pRs->GetadoEOF() || pRs->GetBOF())
            return 0;
        _variant_t rows = pRs->GetRows(adGetRowsRest, g_varZqkMissing, g_varZqkMissing);
        varData = std::move(rows); // the caller's old value is released
        LONG nUpper = 0;
        SafeArrayGetUBound(varData.parray, 2, &nUpper);
        nRows = nUpper + 1;
        SafeArrayGetUBound(varData.parray, 1, &nUpper);
        nCols = nUpper + 1;
        pRs->Close();
        return 1;
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::IsSelEmpty(const wchar_t* lpszSQL) {
    if (lpszSQL == nullptr)
        return 0;
    _bstr_t bstrSQL(lpszSQL);
    if (!m_pConnection)
        _com_issue_error(E_POINTER);
    _RecordsetPtr pRs = m_pConnection->Execute(bstrSQL, nullptr, adCmdText);
    if (!pRs)
        return 1;
    return pRs->GetadoEOF() ? 1 : 0;
}
