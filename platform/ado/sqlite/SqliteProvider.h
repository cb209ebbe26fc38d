// The embedded provider: a SQLite database file (or memory) behind the data-access objects.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqliteQueryShape.h"
#include "platform/ado/sqlite/SqliteStatementCache.h"
#include "platform/ado/sqlite/SqliteTypes.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"
#include "platform/ado/sqlite/SqlServerViolations.h"
#include "platform/ado/sqlite/SqliteVariables.h"

class CSqliteProvider : public CAdoProvider, private CSqlServerSchema {
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
    // A failed statement's error: a violated constraint in SQL Server's words and number.
    CAdoError StatementError(int rc, sqlite3_stmt* pStmt);

    // A query's rows were all read: @@ROWCOUNT counts them until the next statement.
    void RowsReturned(sqlite3_int64 nRows) { m_session.nRowCount = nRows; }

    // SqliteMapDeclaredType, remembered for the types met last.
    CSqliteColumnType MapDeclaredType(const char* pszDeclared) {
        return m_declaredTypes.Map(pszDeclared);
    }

    // Takes back the statement of a finished result for the next run of its text (finalized
    // when the connection is closed).
    void KeepStatement(const std::string& strSql, sqlite3_stmt* pStmt);

private:
    // What the bridge asks of the database.
    CSqlDatabaseRef ResolveDatabase(const std::wstring& strDatabase) override;
    bool AttachedCatalog(const std::wstring& strSchema, std::wstring* pstrPrefix) override;
    bool TableSqlUtf8(const std::wstring& strSchema, const std::wstring& strTable,
                      std::string* pstrName, std::string* pstrSql) override;
    bool ColumnType(const std::wstring& strSchema, const std::wstring& strTable,
                    const std::wstring& strColumn, std::string* pstrDeclared) override {
        return SqlServerColumnDeclaredType(m_pDb, strSchema, strTable, strColumn, pstrDeclared);
    }
    bool ResultColumns(const std::wstring& strSelect,
                       std::vector<CSqlResultColumn>* pColumns) override {
        return SqlServerResultColumns(m_pDb, strSelect, pColumns);
    }
    std::vector<std::wstring> TableDependents(const std::wstring& strSchema,
                                              const std::wstring& strTable) override;
    bool IdentityInsert(const std::wstring& strSchema, const std::wstring& strTable) override;
    std::wstring CatalogName() override { return m_strCatalog; }
    // A kept statement for the text, the literals bound, already stepped to its first row,
    // its columns typed as resultTypes says (CSqlTranslation); false without one.
    bool ReuseStatement(const std::string& strSql, const std::vector<CSqliteLiteral>& literals,
                        const std::vector<CSqlNumericType>& resultTypes,
                        std::unique_ptr<CAdoCursor>* ppCursor);
    // A query that is a batch's whole last statement, run as its shape (SqliteQueryShape.h),
    // kept for reuse like the texts; false when the shape does not prepare as one query that
    // returns rows, and the text then runs as written.
    bool RunShape(const CSqliteQueryShape& shape, const std::vector<CSqlNumericType>& resultTypes,
                  std::unique_ptr<CAdoCursor>* ppCursor);

    HRESULT RunSimple(const char* pszSql, CAdoError* pError);
    // Runs one translated statement; a cursor when it returns rows and may.
    HRESULT RunTranslation(const CSqlTranslation& t, bool bMayReturnRows,
                           CSqlBatchVariables& variables, std::unique_ptr<CAdoCursor>* ppCursor,
                           sqlite3_int64* pnChanged, CAdoError* pError);
    // DECLARE and assignments: the statements' values go into the batch's variables.
    HRESULT RunAssignment(const CSqlTranslation& t, CSqlBatchVariables& variables,
                          CAdoError* pError);
    // BEGIN TRAN, COMMIT, ROLLBACK and SAVE TRAN, with SQL Server's nesting.
    HRESULT RunTransaction(const CSqlTranslation& t, CAdoError* pError);
    // Ends the open transaction, if any, as an error that reaches it does.
    void RollbackOpenTransaction();
    // Prepares one statement of a batch, its variables bound.
    HRESULT Prepare(const char* pszSql, const CSqlBatchVariables& variables, sqlite3_stmt** ppStmt,
                    const char** ppszTail, CAdoError* pError);
    // A table named as SQL Server names it: its schema and stored name.
    HRESULT ResolveTable(const std::wstring& strTable, std::wstring* pstrSchema,
                         std::wstring* pstrName, CAdoError* pError);
    CAdoError Refused(const CSqlBridgeError& e) const;
    // The foreign key a statement that failed on one breaks: it runs again with the check
    // deferred, and is undone.
    bool FindBrokenForeignKey(sqlite3_stmt* pStmt, CSqlForeignKeyFailure* pOut);

    sqlite3* m_pDb = nullptr;
    std::wstring m_strCatalog;
    // When the statement now waiting for another connection's lock was first refused.
    std::chrono::steady_clock::time_point m_busySince;
    CSqlSession m_session;
    bool m_bXactAbort = false; // SET XACT_ABORT ON: any run-time error ends batch and transaction
    // The host's text of the batch statement now running, where errors find names as written.
    std::wstring_view m_source;
    std::unique_ptr<CSqlServerBridge> m_pBridge;
    CSqliteStatementCache m_statements{kKeptStatements, kKeptBytes};
    CSqliteDeclaredTypes m_declaredTypes;
    CSqliteQueryShaper m_shaper;
};

// Quotes a name for SQLite ("a""b").
std::string SqliteQuoteName(const std::wstring& strName);

// A prepared statement, finalised when it goes out of scope unless released.
class CSqlitePrepared {
public:
    ~CSqlitePrepared() { sqlite3_finalize(m_p); }
    sqlite3_stmt* Release() {
        sqlite3_stmt* p = m_p;
        m_p = nullptr;
        return p;
    }
    sqlite3_stmt* m_p = nullptr;
};
