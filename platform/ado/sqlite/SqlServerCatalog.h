// SQL Server's catalogue as read-only temporary views over a SQLite connection's schema:
// sysobjects, syscolumns and systypes with SQL Server's codes and lengths, and
// INFORMATION_SCHEMA.TABLES and INFORMATION_SCHEMA.COLUMNS. Nothing is written to the file.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlServerBridge.h"

// The marker a created table or view carries in its stored text: its creation time.
extern const wchar_t kSqlCreatedMarker[];
// The marker's comment for now, local time ("/*zqk_created:2024-01-05 10:00:00.000*/").
std::wstring SqlCreatedComment();

// Registers the catalogue's functions and creates the main database's views on this
// connection; strCatalog is the database name SQL uses for it.
int SqlServerCreateCatalog(sqlite3* pDb, const std::wstring& strCatalog);

// The result columns of a query on the connection, with the table columns they come from;
// false when it cannot be prepared.
bool SqlServerResultColumns(sqlite3* pDb, const std::wstring& strSelect,
                            std::vector<CSqlResultColumn>* pColumns);

// The declared type of a column of a table of a schema ("main", "temp", an attached one) as
// the connection holds the schema in memory (an empty schema: the first that has the table);
// false when there is no such column (or table).
bool SqlServerColumnDeclaredType(sqlite3* pDb, const std::wstring& strSchema,
                                 const std::wstring& strTable, const std::wstring& strColumn,
                                 std::string* pstrDeclared);
// The catalogue views of an attached schema (or "temp" for tempdb), created on first use;
// *pstrPrefix receives the prefix of their names.
bool SqlServerEnsureAttachedCatalog(sqlite3* pDb, const std::wstring& strSchema,
                                    std::wstring* pstrPrefix);
