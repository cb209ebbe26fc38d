// Listing table names: from SQL Server's catalogue, or from any provider's tables rowset.
#include <cwctype>

#include "SchemaSql.h"
#include "query/RecordsetReading.h"
#include "server/ServerMessages.h"
#include "server/ZORImpADORXServer.h"
#include "platform/afx/CWinApp.h"

void CZORImpADORXServer::GetSQLSrvTableNames(CStringArray& arrNames, const wchar_t* lpszDatabase) {
    if (lpszDatabase == nullptr)
        return;
    CString strSQL;
    strSQL.Format(kFmtUserTables, lpszDatabase);
    GetSelData(strSQL, arrNames);
}

void CZORImpADORXServer::GetSQLSrvTableNames(CStringList& lstNames, const wchar_t* lpszDatabase) {
    if (lpszDatabase == nullptr)
        return;
    CString strSQL;
    strSQL.Format(kFmtUserTables, lpszDatabase);
    GetSelData(strSQL, lstNames, 1);
}

namespace {

// A schema-rowset cell as text: strings as they are, anything else coerced.
CString RowsetText(_Recordset* pRs, LPCWSTR pszColumn) {
    _variant_t value = pRs->GetFields()->GetItem(_variant_t(pszColumn))->GetValue();
    if (value.vt != VT_BSTR)
        value.ChangeType(VT_BSTR);
    return CString(value.bstrVal ? value.bstrVal : L"");
}

// Walks the provider's tables rowset and hands every name of the wanted type to fnAdd.
template <typename AddFn>
void ListProviderTables(CZORImpADORXServer& server, const wchar_t* lpszType, AddFn fnAdd) {
    LPCWSTR pszFilter = lpszType ? lpszType : kDefaultTableType;
    if (!server.m_pConnection) {
        AfxMessageBox(kMsgNoConnection, MB_OK, 0);
        return;
    }
    _RecordsetPtr pRs;
    try {
        pRs = server.m_pConnection->OpenSchema(adSchemaTables, g_varZqkMissing, g_varZqkMissing);
        while (!pRs->GetadoEOF()) {
            CString strName = RowsetText(pRs, kColumnTableName);
            CString strType = RowsetText(pRs, kColumnTableType);
            if (strType.CompareNoCase(pszFilter) == 0) {
                strName.TrimRight();
                fnAdd(strName);
            }
            pRs->MoveNext();
        }
        pRs->Close();
    } catch (_com_error& e) {
        server.ReportComError(e, true);
    }
}

} // namespace

void CZORImpADORXServer::GetOLDBTableNameList(CStringList& lstNames, const wchar_t* lpszType) {
    ListProviderTables(*this, lpszType, [&](const CString& strName) { lstNames.AddTail(strName); });
}

void CZORImpADORXServer::GetOLDBTableNameArray(CStringArray& arrNames, const wchar_t* lpszType) {
    ListProviderTables(*this, lpszType, [&](const CString& strName) {
        arrNames.SetAtGrow(arrNames.GetSize(), strName);
    });
}

void CZORImpADORXServer::GetTableNameArray(CStringArray& arrNames, const wchar_t* lpszType) {
    GetOLDBTableNameArray(arrNames, lpszType);
}
