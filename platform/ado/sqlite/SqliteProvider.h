// The embedded provider: a SQLite database file (or memory) behind the data-access objects.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/ado/sqlite/SqliteStatementCache.h"

class CSqliteProvider : public CAdoProvider {
public:
    // How many finished queries keep their prepared statements for another run, and how much
    // memory they may hold together.
    static const size_t kKeptStatements = 64;
    static const size_t kKeptBytes = 1 << 20;

    ~CSqliteProvider() override;
    const wchar_t* Name() const override { return L"SQLite"; }

    // Keys: "data source" (a path or ":memory:"), "initial catalog" (the database name SQL
    // uses; by default the file name without folder and extension, "main" in memory).
    HRESULT Open(const std::map<std::wstring, std::wstring>& pairs, ConnectModeEnum nMode,
                 CAdoError* pError) override;
    void Close() override;
    HRESULT Execute(const std::wstring& strText, std::unique_ptr<CAdoCursor>* ppCursor,
                    LONG* pnAffected, CAdoError* pError) override;
    HRESULT OpenTable(const std::wstring& strTable, std::unique_ptr<CAdoCursor>* ppCursor,
                      CAdoError* pError) override;
    HRESULT InsertRow(const std::wstring& strTable, const std::vector<CAdoColumn>& columns,
                      const CAdoRowValues& values, CAdoError* pError) override;
    HRESULT Tables(const std::vector<std::wstring>& restrictions,
                   std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) override;
    HRESULT BeginTrans(CAdoError* pError) override;
    HRESULT CommitTrans(CAdoError* pError) override;
    HRESULT RollbackTrans(CAdoError* pError) override;

    const std::wstring& Catalog() const { return m_strCatalog; }

    // The database's error as a failure: constraint violations, rejected statements.
    CAdoError Error(int rc) const;
    CAdoError Error(HRESULT hr, const std::wstring& strDescription) const;

    // What a database part of a SQL Server name stands for on this connection.
    CSqlDatabaseRef ResolveDatabase(const std::wstring& strDatabase) const;

    // Takes back the statement of a finished result for the next run of its text (finalized
    // when the connection is closed).
    void KeepStatement(const std::string& strSql, sqlite3_stmt* pStmt);

private:
    // A kept statement for the text, already stepped to its first row; false without one.
    bool ReuseStatement(const std::string& strSql, std::unique_ptr<CAdoCursor>* ppCursor);

    HRESULT RunSimple(const char* pszSql, CAdoError* pError);

    sqlite3* m_pDb = nullptr;
    std::wstring m_strCatalog;
    // When the statement now waiting for another connection's lock was first refused.
    std::chrono::steady_clock::time_point m_busySince;
    std::unique_ptr<CSqlServerBridge> m_pBridge;
    CSqliteStatementCache m_statements{kKeptStatements, kKeptBytes};
};

// Quotes a name for SQLite ("a""b").
std::string SqliteQuoteName(const std::wstring& strName);
