// The provider for database servers: everything goes through the unixODBC driver manager with
// its wide (UTF-16) calls, and SQL passes to the driver unchanged.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/ado/odbc/OdbcSession.h"

// One provider per open connection; belongs to one thread at a time.
class COdbcProvider : public CAdoProvider {
public:
    ~COdbcProvider() override;
    const wchar_t* Name() const override { return L"ODBC"; }

    // Every key but the provider's own ("provider", "connect timeout") goes to the driver
    // manager: "dsn", "driver", "uid", "pwd" and the driver's keys. The login waits at most the
    // connect timeout (seconds, 15 unless given).
    HRESULT Open(const std::map<std::wstring, std::wstring>& pairs, ConnectModeEnum nMode,
                 CAdoError* pError) override;
    void Close() override;
    HRESULT Execute(const std::wstring& strText, std::unique_ptr<CAdoCursor>* ppCursor,
                    LONG* pnAffected, CAdoError* pError) override;
    // The table's columns come from the prepared SELECT; its rows are read only when asked for.
    HRESULT OpenTable(const std::wstring& strTable, std::unique_ptr<CAdoCursor>* ppCursor,
                      CAdoError* pError) override;
    HRESULT InsertRow(const std::wstring& strTable, const std::vector<CAdoColumn>& columns,
                      const CAdoRowValues& values, CAdoError* pError) override;
    // From SQLTables, with the schema rowset's column names.
    HRESULT Tables(const std::vector<std::wstring>& restrictions,
                   std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) override;
    // Auto-commit off until the transaction ends with SQLEndTran.
    HRESULT BeginTrans(CAdoError* pError) override;
    HRESULT CommitTrans(CAdoError* pError) override;
    HRESULT RollbackTrans(CAdoError* pError) override;

private:
    HRESULT NewStatement(COdbcHandle* pStmt, CAdoError* pError);
    // The statement's diagnostics as the error of a failed statement.
    HRESULT StatementFailed(SQLHSTMT hStmt, CAdoError* pError) const;
    HRESULT EndTrans(SQLSMALLINT nCompletion, CAdoError* pError);
    std::wstring QuoteName(const std::wstring& strName) const;
    std::wstring TableReference(const std::wstring& strTable) const;
    std::wstring Pattern(const std::wstring& strName) const;
    bool TableExists(const std::wstring& strTable);

    std::shared_ptr<COdbcSession> m_pSession;
};

// The connection string for the driver manager: the pairs without the provider's own keys,
// values in braces where they hold separators. *pnTimeout receives the login timeout.
std::wstring OdbcConnectionString(const std::map<std::wstring, std::wstring>& pairs,
                                  SQLULEN* pnTimeout);
