// SQL Server's errors for what fails as statements run: how far each reaches in a batch, and
// SQL Server's messages for the constraint violations SQLite reports: the constraint named as
// its definition declares it (or as SQL Server names one that has no declared name), the table
// as "dbo.T", the statement's verb, SQL Server's error number. Stateless; each call reads the
// schema of the connection it is given, on the caller's thread.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlServerConstraints.h"

// The statement a violation happened in, as SQL Server's messages name it.
enum class SqlVerb { kInsert, kUpdate, kDelete };

// The foreign key a failed statement broke, as the provider finds it by running the statement
// again with the check deferred.
struct CSqlForeignKeyFailure {
    std::wstring strTable;             // the referencing table
    std::vector<std::wstring> columns; // its referencing columns
    std::wstring strParent;            // the referenced table
    bool bReferenced = false; // the statement changed the referenced rows, not the referencing
};

// What a violation becomes.
struct CSqlViolation {
    std::wstring strText;
    long nNumber = 0;
};

// SQL Server's message for SQLite's report of a violated constraint (extended result code and
// message) in a statement (SQLite's text); false when the report is none of those. The database
// name is the connection's.
bool SqlServerViolation(sqlite3* pDb, int rc, const std::wstring& strMessage,
                        const std::wstring& strStatement, SqlVerb nVerb,
                        const std::wstring& strCatalog, const CSqlForeignKeyFailure* pForeign,
                        CSqlViolation* pOut);

// Where an error came from: the bridge's translation, which SQL Server would meet compiling the
// statement, or the statement's run.
enum class SqlErrorOrigin { kCompile, kRun };
// How far one of SQL Server's run-time errors reaches with XACT_ABORT OFF: the statement only
// (the batch goes on), the batch, or the batch and the open transaction (conversion failures).
enum class SqlErrorReach { kStatement, kBatch, kTransaction };
// The reach of one of SQL Server's errors by its number; kBatch for any other.
SqlErrorReach SqlServerErrorReach(long nNumber);
// SQL Server's number for one of its texts the embedded functions raise; 0 for another text.
long SqlServerNumberOf(const std::wstring& strText);
