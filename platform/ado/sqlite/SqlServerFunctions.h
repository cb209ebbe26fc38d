// SQL Server's builtins and session values as SQLite functions of a connection: the operators'
// helpers, LIKE with its character sets, UPPER and LOWER for all letters, LEFT, RIGHT (which the
// bridge writes as zqk_left and zqk_right: SQLite reads those words as joins), CHARINDEX and
// REPLACE under the default collation, SPACE, REPLICATE, @@IDENTITY and SCOPE_IDENTITY(),
// @@ROWCOUNT, @@TRANCOUNT, @@ERROR; with them the conversions, dates, exact quotients and the
// further string functions of SqlServerConvert.h, SqlServerDates.h, SqlServerArithmetic.h and
// SqlServerStrings.h.
#pragma once

#include <sqlite3.h>

#include <set>
#include <string>

// What a connection remembers between statements.
struct CSqlSession {
    bool bIdentity = false; // an identity was generated on this connection
    sqlite3_int64 nIdentity = 0;
    bool bScopeIdentity = false; // ... by a statement of the host's own, not a trigger's
    sqlite3_int64 nScopeIdentity = 0;
    sqlite3_int64 nRowCount = 0;
    long nError = 0;
    std::set<std::wstring> identityInsert; // "schema.table", lower case, with IDENTITY_INSERT on
    int nTranCount = 0;                    // BEGIN TRAN nests; only the outermost one is SQLite's
    std::set<std::wstring> savepoints;     // SAVE TRAN names of the open transaction
};

// A function of its arguments alone (deterministic, harmless), for SqlRegisterPure.
struct CSqlPureFunction {
    const char* pszName;
    int nArgs;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

// Registers such functions on a connection; SQLite's code of the first that fails.
int SqlRegisterPure(sqlite3* pDb, const CSqlPureFunction* pFunctions, size_t nCount);
template <size_t N> int SqlRegisterPure(sqlite3* pDb, const CSqlPureFunction (&functions)[N]) {
    return SqlRegisterPure(pDb, functions, N);
}

// Registers the functions; the session must outlive the connection's statements.
int SqlRegisterFunctions(sqlite3* pDb, CSqlSession* pSession);
