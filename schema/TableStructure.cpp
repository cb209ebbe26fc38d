// Reading the columns of an existing table: from SQL Server's catalogue, or from any
// provider's field descriptions.
#include <cwchar>

#include "AdoTypeNames.h"
#include "SchemaSql.h"
#include "server/ZORImpADORXServer.h"

int CZORImpADORXServer::GetSQLSrvTableStru(const wchar_t* lpszTable,
                                           CArray<CZORTableField, CZORTableField&>& arrFields,
                                           const wchar_t* lpszDatabase) {
    // A null name is written as '', which no table is called ("(null)" might be one).
    if (lpszTable == nullptr)
        lpszTable = L"";
    CString strSQL;
    if (lpszDatabase)
        strSQL.Format(kFmtColumnsInDatabase, lpszDatabase, lpszDatabase, lpszTable);
    else
        strSQL.Format(kFmtColumns, lpszTable);
    CZORValueTable columns;
    GetSelData(strSQL, columns, 1);

    if (lpszDatabase)
        strSQL.Format(kFmtTypesInDatabase, lpszDatabase);
    else
        strSQL = kSqlTypes;
    CMapStringToString mapTypes;
    GetSelData(strSQL, mapTypes);

    // One working field and type name serve every row, as the catalogue is read in order.
    CZORTableField field;
    CString strTypeName;
    for (int i = 0; i < columns.GetTableLogicSize(); ++i) {
        CStringArray values;
        columns.GetValueRecord(i, values);
        if (values.GetSize() != 3)
            continue;
        field.m_strName = values[0];
        mapTypes.Lookup(values[1], strTypeName);
        field.m_strType = strTypeName;
        field.m_nSize = static_cast<int>(wcstol(values[2], nullptr, 10));
        arrFields.SetAtGrow(arrFields.GetSize(), field);
    }
    return arrFields.GetSize() > 0 ? 1 : 0;
}

int CZORImpADORXServer::GetSQLSrvTableStru(const wchar_t* lpszTable, CStringList& lstFields,
                                           const wchar_t* lpszDatabase) {
    if (lpszTable == nullptr)
        return 0;
    CString strSQL;
    // Without a database name the connection's current database is asked.
    if (lpszDatabase)
        strSQL.Format(kFmtColumnNamesInDatabase, lpszDatabase, lpszDatabase, lpszTable);
    else
        strSQL.Format(kFmtColumnNames, lpszTable);
    GetSelData(strSQL, lstFields, 1);
    return 1;
}

int CZORImpADORXServer::GetTableStructInfoEx(const wchar_t* lpszTable,
                                             CArray<CZORTableField, CZORTableField&>& arrFields) {
    if (lpszTable == nullptr)
        return 0;
    _RecordsetPtr pRs;
    HRESULT hr = pRs.CreateInstance(L"ADODB.Recordset", nullptr, CLSCTX_ALL);
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    try {
        _variant_t varConnection(static_cast<IDispatch*>(m_pConnection.GetInterfacePtr()));
        pRs->Open(_variant_t(lpszTable), varConnection, adOpenForwardOnly, adLockReadOnly,
                  adCmdTable);
    } catch (_com_error& e) {
        ReportComError(e, true); // not fatal: the fields are read as the recordset stands
    }
    FieldsPtr pFields = pRs->GetFields();
    LONG nCount = pFields->GetCount();
    CZORTableField field;
    for (SHORT i = 0; i < nCount; ++i) {
        FieldPtr pField = pFields->GetItem(_variant_t(i));
        field.m_strName = static_cast<const wchar_t*>(pField->GetName());
        field.m_strType = GetADOTypeName(pField->GetType());
        LONG nDefinedSize = pField->GetDefinedSize();
        field.m_nSize = nDefinedSize;
        CString strSQLType;
        field.m_nSize = GetSQLSrvTypeFromADO(field.m_strType, nDefinedSize, strSQLType);
        field.m_strType = strSQLType;
        arrFields.SetAtGrow(arrFields.GetSize(), field);
    }
    return 1;
}
