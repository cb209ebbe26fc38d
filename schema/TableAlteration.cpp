// Dropping tables, dropping and adding columns.
#include "SchemaSql.h"
#include "server/ZORImpADORXServer.h"

int CZORImpADORXServer::DeleteTable(const wchar_t* lpszTable) {
    if (lpszTable == nullptr)
        return 0;
    CString strSQL;
    strSQL.Format(kFmtDropTable, lpszTable);
    ExecuteSQL(strSQL);
    return 1;
}

int CZORImpADORXServer::DeleteTable(CStringArray& arrTables) {
    INT_PTR nCount = arrTables.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i)
        DeleteTable(arrTables[i]);
    return 1;
}

int CZORImpADORXServer::DeleteTableFields(const wchar_t* lpszTable, const wchar_t* lpszField,
                                          const wchar_t* lpszDatabase) {
    if (lpszTable == nullptr || lpszField == nullptr || lpszDatabase == nullptr)
        return 0;
    CString strSQL;
    strSQL.Format(kFmtDropColumn, lpszDatabase, lpszTable, lpszField);
    ExecuteSQL(strSQL);
    return 1;
}

int CZORImpADORXServer::DeleteTableFields(const wchar_t* lpszTable, CStringArray& arrFields,
                                          const wchar_t* lpszDatabase) {
    if (lpszTable == nullptr)
        return 0;
    INT_PTR nCount = arrFields.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i)
        DeleteTableFields(lpszTable, arrFields[i], lpszDatabase);
    return 1;
}

int CZORImpADORXServer::AppendTableFields(const wchar_t* lpszTable, CZORTableField& field,
                                          const wchar_t* lpszDatabase) {
    if (lpszTable == nullptr)
        return 0;
    // A null database name names no database: written as an empty name (never a database's,
    // unlike "(null)"), the statement fails and is reported.
    if (lpszDatabase == nullptr)
        lpszDatabase = L"";
    CString strSQL;
    if (field.m_strType.CompareNoCase(L"varchar") == 0 ||
        field.m_strType.CompareNoCase(L"nvarchar") == 0)
        strSQL.Format(kFmtAddSizedColumn, lpszDatabase, lpszTable, field.m_strName, field.m_strType,
                      field.m_nSize);
    else
        strSQL.Format(kFmtAddColumn, lpszDatabase, lpszTable, field.m_strName, field.m_strType);
    ExecuteSQL(strSQL);
    return 1;
}

int CZORImpADORXServer::AppendTableFields(const wchar_t* lpszTable,
                                          CArray<CZORTableField, CZORTableField&>& arrFields,
                                          const wchar_t* lpszDatabase) {
    if (lpszTable == nullptr)
        return 0;
    INT_PTR nCount = arrFields.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i)
        AppendTableFields(lpszTable, arrFields[i], lpszDatabase);
    return 1;
}
