// CZORADORXServer: the one class through which a host talks to a database. It holds only a
// pointer to a hidden implementation object and forwards every database operation to it.
// The virtual operations below are the exported interface in their fixed slot order.
//
// Copying: copies share one implementation object (and so one connection). The object
// counts its owners and is freed exactly once, when the last copy goes away.
//
// COM: construction initialises it for the calling thread; destruction leaves it initialised,
// so the host may go on creating objects there. Threads: a server, its copies and the objects
// it hands out are used by one thread at a time.
#pragma once

#include "platform/afx/CArray.h"
#include "platform/afx/CMapStringToString.h"
#include "platform/afx/CString.h"
#include "platform/afx/CStringArray.h"
#include "platform/afx/CStringList.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/com/ComBase.h"
#include "platform/com/ComError.h" // what the transactions raise
#include "platform/com/VariantT.h"

class CZORImpADORXServer;
class CZORTableField;
class CZORValueTable;

class AFX_EXT_CLASS CZORADORXServer {
public:
    CZORADORXServer();
    CZORADORXServer(const CZORADORXServer& src);
    CZORADORXServer& operator=(const CZORADORXServer& src);
    virtual ~CZORADORXServer();

    // Connection set-up: an ODBC data source with user and password, or a complete connection
    // string (with or without error display and open options).
    virtual int InitADOServer(const wchar_t* lpszDSN, const wchar_t* lpszUID,
                              const wchar_t* lpszPWD, int nMode, int nOptions);
    virtual int InitADOServer(const wchar_t* lpszConnect, bool bShowError, int nOptions);
    virtual int InitADOServer(const wchar_t* lpszConnect);
    virtual int GetConnection(CString& strConnect);

    // Storage for the host; nothing else in the library reads these.
    virtual void SetDatabase(const wchar_t* lpszDatabase);
    virtual const wchar_t* GetDatabase();
    virtual void AppendAssocDatabase(const wchar_t* lpszKey, const wchar_t* lpszValue);
    virtual int AssocDatabase(const wchar_t* lpszKey, CString& strValue);
    virtual void SetLoginID(const wchar_t* lpszLoginID);
    virtual const wchar_t* GetLoginID();
    virtual void SetGroupID(const wchar_t* lpszGroupID);
    virtual const wchar_t* GetGroupID();

    // Schema management.
    virtual int CreateOLEDBTable(const wchar_t* lpszTable,
                                 CArray<CZORTableField, CZORTableField&>& arrFields,
                                 const wchar_t* lpszDatabase);
    virtual int CreateSQLSrvTable(const wchar_t* lpszTable,
                                  CArray<CZORTableField, CZORTableField&>& arrFields,
                                  const wchar_t* lpszDatabase);
    virtual int IsSQLSrvTableExist(const wchar_t* lpszTable, const wchar_t* lpszDatabase);
    virtual int GetSQLSrvTableStru(const wchar_t* lpszTable, CStringList& lstFields,
                                   const wchar_t* lpszDatabase);
    virtual int GetSQLSrvTableStru(const wchar_t* lpszTable,
                                   CArray<CZORTableField, CZORTableField&>& arrFields,
                                   const wchar_t* lpszDatabase);
    virtual int GetTableStructInfoEx(const wchar_t* lpszTable,
                                     CArray<CZORTableField, CZORTableField&>& arrFields);
    virtual int DeleteTable(CStringArray& arrTables);
    virtual int DeleteTable(const wchar_t* lpszTable);
    virtual int DeleteTableFields(const wchar_t* lpszTable, const wchar_t* lpszField,
                                  const wchar_t* lpszDatabase);
    virtual int DeleteTableFields(const wchar_t* lpszTable, CStringArray& arrFields,
                                  const wchar_t* lpszDatabase);
    virtual int AppendTableFields(const wchar_t* lpszTable, CZORTableField& field,
                                  const wchar_t* lpszDatabase);
    virtual int AppendTableFields(const wchar_t* lpszTable,
                                  CArray<CZORTableField, CZORTableField&>& arrFields,
                                  const wchar_t* lpszDatabase);

    // Query readers. nRows and nCols are 32-bit, as the interface counts them.
    virtual int GetSelData(const wchar_t* lpszSQL, _variant_t& varData, LONG& nRows, LONG& nCols);
    // The same for counts kept in the host's own long (64-bit on this platform): not a virtual
    // operation, it forwards to the one above. The counts are 32-bit values; a count the call
    // leaves untouched keeps the caller's value, whatever it is.
    int GetSelData(const wchar_t* lpszSQL, _variant_t& varData, long& nRows, long& nCols) {
        LONG nR = static_cast<LONG>(nRows), nC = static_cast<LONG>(nCols);
        const int nResult = GetSelData(lpszSQL, varData, nR, nC);
        if (nR != static_cast<LONG>(nRows) || nRows == static_cast<LONG>(nRows))
            nRows = nR;
        if (nC != static_cast<LONG>(nCols) || nCols == static_cast<LONG>(nCols))
            nCols = nC;
        return nResult;
    }
    virtual int GetSelData(const wchar_t* lpszSQL, CMapStringToString& map);
    virtual int GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int nStart, int nEnd,
                           int bSetLable);
    virtual int GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int bSetLable);
    virtual int GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int nStart, int nEnd,
                           int bLower);
    virtual int GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int bLower);
    virtual int GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues, int nStart, int nEnd);
    virtual int GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues);
    virtual int GetSelData(const wchar_t* lpszSQL, CString& strResult);
    virtual int IsSelEmpty(const wchar_t* lpszSQL);
    virtual int GetSelDataEx(const wchar_t* lpszSQL, CMapStringToString& map);

    // Table names.
    virtual void GetSQLSrvTableNames(CStringArray& arrNames, const wchar_t* lpszDatabase);
    virtual void GetSQLSrvTableNames(CStringList& lstNames, const wchar_t* lpszDatabase);
    virtual void GetTableNameArray(CStringArray& arrNames, const wchar_t* lpszType);
    virtual void GetOLDBTableNameList(CStringList& lstNames, const wchar_t* lpszType);
    virtual void GetOLDBTableNameArray(CStringArray& arrNames, const wchar_t* lpszType);

    virtual int ExecuteSQL(const wchar_t* lpszSQL);
    virtual int IsDatabaseOpen();
    // The connection object with a reference for the caller, or null without one.
    virtual IDispatch* GetConnectionPtr();
    // Transactions on the connection; failures raise _com_error (E_POINTER without one).
    virtual void BeginTrans();
    virtual void RollbackTrans();
    virtual void CommitTrans();

protected:
    CZORImpADORXServer* m_pImpl;
};
