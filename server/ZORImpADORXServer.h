// The server's hidden implementation: the one connection and the host's stored properties.
// Operations of the readers and the schema subsystem live in query/ and schema/.
#pragma once

#include "ZORTableField.h"
#include "ZORValueTable.h"
#include "platform/ado/AdoInterfaces.h"
#include "platform/afx/CArray.h"
#include "platform/afx/CMapStringToString.h"
#include "platform/afx/CString.h"
#include "platform/afx/CStringArray.h"
#include "platform/afx/CStringList.h"

class CZORImpADORXServer {
public:
    CZORImpADORXServer();
    virtual ~CZORImpADORXServer();
    CZORImpADORXServer(const CZORImpADORXServer&) = delete;
    CZORImpADORXServer& operator=(const CZORImpADORXServer&) = delete;

    // Owners of this object (facade copies share it).
    void AddOwner() { ++m_nOwners; }
    bool ReleaseOwner() { return --m_nOwners == 0; }

    int InitADOServer(const wchar_t* lpszDSN, const wchar_t* lpszUID, const wchar_t* lpszPWD,
                      int nMode, int nOptions);
    int InitADOServer(const wchar_t* lpszConnect, bool bShowError, int nOptions);
    int InitADOServer(const wchar_t* lpszConnect);
    int GetConnection(CString& strConnect);
    int IsDatabaseOpen();
    void CloseConnection();

    void SetDatabase(const wchar_t* lpszDatabase);
    const wchar_t* GetDatabase();
    void AppendAssocDatabase(const wchar_t* lpszKey, const wchar_t* lpszValue);
    int AssocDatabase(const wchar_t* lpszKey, CString& strValue);
    void SetLoginID(const wchar_t* lpszLoginID);
    const wchar_t* GetLoginID();
    void SetGroupID(const wchar_t* lpszGroupID);
    const wchar_t* GetGroupID();
    IDispatch* GetConnectionPtr();

    int ExecuteSQL(const wchar_t* lpszSQL);
    void ReportComError(_com_error& e, bool bShow);

    int CreateOLEDBTable(const wchar_t* lpszTable,
                         CArray<CZORTableField, CZORTableField&>& arrFields,
                         const wchar_t* lpszDatabase);
    int CreateSQLSrvTable(const wchar_t* lpszTable,
                          CArray<CZORTableField, CZORTableField&>& arrFields,
                          const wchar_t* lpszDatabase);
    int IsSQLSrvTableExist(const wchar_t* lpszTable, const wchar_t* lpszDatabase);
    int GetSQLSrvTableStru(const wchar_t* lpszTable, CStringList& lstFields,
                           const wchar_t* lpszDatabase);
    int GetSQLSrvTableStru(const wchar_t* lpszTable,
                           CArray<CZORTableField, CZORTableField&>& arrFields,
                           const wchar_t* lpszDatabase);
    int GetTableStructInfoEx(const wchar_t* lpszTable,
                             CArray<CZORTableField, CZORTableField&>& arrFields);
    int DeleteTable(CStringArray& arrTables);
    int DeleteTable(const wchar_t* lpszTable);
    int DeleteTableFields(const wchar_t* lpszTable, const wchar_t* lpszField,
                          const wchar_t* lpszDatabase);
    int DeleteTableFields(const wchar_t* lpszTable, CStringArray& arrFields,
                          const wchar_t* lpszDatabase);
    int AppendTableFields(const wchar_t* lpszTable, CZORTableField& field,
                          const wchar_t* lpszDatabase);
    int AppendTableFields(const wchar_t* lpszTable,
                          CArray<CZORTableField, CZORTableField&>& arrFields,
                          const wchar_t* lpszDatabase);

    int GetSelData(const wchar_t* lpszSQL, _variant_t& varData, LONG& nRows, LONG& nCols);
    int GetSelData(const wchar_t* lpszSQL, CMapStringToString& map);
    int GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int nStart, int nEnd,
                   int bSetLable);
    int GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int bSetLable);
    int GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int nStart, int nEnd,
                   int bLower);
    int GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int bLower);
    int GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues, int nStart, int nEnd);
    int GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues);
    int GetSelData(const wchar_t* lpszSQL, CString& strResult);
    int IsSelEmpty(const wchar_t* lpszSQL);
    int GetSelDataEx(const wchar_t* lpszSQL, CMapStringToString& map);

    void GetSQLSrvTableNames(CStringArray& arrNames, const wchar_t* lpszDatabase);
    void GetSQLSrvTableNames(CStringList& lstNames, const wchar_t* lpszDatabase);
    void GetTableNameArray(CStringArray& arrNames, const wchar_t* lpszType);
    void GetOLDBTableNameList(CStringList& lstNames, const wchar_t* lpszType);
    void GetOLDBTableNameArray(CStringArray& arrNames, const wchar_t* lpszType);

    int m_bOpen;
    _ConnectionPtr m_pConnection;
    CString m_strConnection;
    CString m_strLoginID;
    CString m_strGroupID;
    CString m_strDatabase;
    CMapStringToString m_mapAssocDatabase;

private:
    // Creates a new Connection object into m_pConnection; false (and null) when that fails.
    bool CreateConnection();
    // The connection-string forms of InitADOServer, which differ only in their reports.
    int InitWithString(const wchar_t* lpszConnect, int nOptions, bool bDetailedBox,
                       bool bMessageBox, bool bReleaseOnFailure);
    // Opens the connection; on a COM failure reports as the form requires and returns 0.
    int OpenConnection(const wchar_t* lpszConnect, int nOptions, bool bDetailedBox,
                       bool bMessageBox, bool bReleaseOnFailure);

    int m_nOwners = 1;
};

// The value passed to the data-access objects for an argument that is left out.
extern _variant_t g_varZqkMissing;
