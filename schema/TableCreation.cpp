// Creating SQL Server tables from field descriptors, and the existence test.
#include "SchemaSql.h"
#include "server/ZORImpADORXServer.h"

namespace {

// One column's clause, or an empty string for a type that creation leaves out.
CString ColumnClause(const CZORTableField& field) {
    LPCWSTR pszSuffix = field.m_bPrimaryKey  ? kSuffixPrimaryKey
                        : field.m_bAllowNull ? kSuffixNull
                                             : kSuffixNotNull;
    const CString& strType = field.m_strType;
    CString strClause;
    if (strType == L"nvarchar" || strType == L"varchar") {
        strClause.Format(CString(kFmtClauseSized) + pszSuffix, field.m_strName, strType,
                         field.m_nSize);
    } else if (strType.CompareNoCase(L"int") == 0 || strType.CompareNoCase(L"smallint") == 0) {
        strClause.Format(CString(kFmtClauseInt) + pszSuffix, field.m_strName);
    } else if (strType == L"float") {
        strClause.Format(CString(kFmtClauseFloat) + pszSuffix, field.m_strName);
    } else if (strType == L"image") {
        strClause.Format(kFmtClauseImage, field.m_strName);
    } else if (strType == L"datetime") {
        strClause.Format(kFmtClauseDatetime, field.m_strName);
    } else if (strType == L"text" || strType == L"ntext") {
        strClause.Format(kFmtClauseText, field.m_strName, strType);
    } else if (strType == L"real") {
        strClause.Format(CString(kFmtClauseReal) + pszSuffix, field.m_strName);
    }
    return strClause;
}

} // namespace

int CZORImpADORXServer::CreateOLEDBTable(const wchar_t* lpszTable,
                                         CArray<CZORTableField, CZORTableField&>& arrFields,
                                         const wchar_t* lpszDatabase) {
    if (lpszTable == nullptr)
        return 0;
    INT_PTR nFields = arrFields.GetSize();
    CString strSQL;
    if (lpszDatabase)
        strSQL.Format(kFmtCreateTableInDatabase, lpszDatabase, lpszTable);
    else
        strSQL.Format(kFmtCreateTable, lpszTable);
    for (INT_PTR i = 0; i < nFields; ++i) {
        CZORTableField field(arrFields[i]);
        strSQL += ColumnClause(field);
    }
    // The last clause's comma (or, without clauses, the opening parenthesis) closes it.
    strSQL.SetAt(strSQL.GetLength() - 1, L')');
    try {
        ExecuteSQL(strSQL);
    } catch (_com_error& e) {
        ReportComError(e, true);
        return 0;
    }
    return 1;
}

int CZORImpADORXServer::CreateSQLSrvTable(const wchar_t* lpszTable,
                                          CArray<CZORTableField, CZORTableField&>& arrFields,
                                          const wchar_t* lpszDatabase) {
    if (IsSQLSrvTableExist(lpszTable, lpszDatabase))
        return 0;
    return CreateOLEDBTable(lpszTable, arrFields, lpszDatabase);
}

int CZORImpADORXServer::IsSQLSrvTableExist(const wchar_t* lpszTable, const wchar_t* lpszDatabase) {
    // A null name is not written as "(null)", which a real database or object may be called:
    // a null database becomes "[]", which names none (the query fails and is reported), and a
    // null table '', which no object is called.
    CString strSQL;
    strSQL.Format(kFmtObjectByName, lpszDatabase ? lpszDatabase : kNoDatabase,
                  lpszTable ? lpszTable : L"");
    CStringArray arrNames;
    GetSelData(strSQL, arrNames);
    return arrNames.GetSize() == 1 ? 1 : 0;
}
