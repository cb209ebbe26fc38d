// SQL Server's catalogue (sysobjects, syscolumns, systypes) as read-only views over a SQLite
// connection's schema, with SQL Server's type codes and lengths.
#pragma once

#include <sqlite3.h>

#include <string>

struct CSqlServerType {
    int nXtype;
    int nLength;
    int nPrec;
    int nScale;
};

// SQL Server's code and storage length for a declared column type ("varchar (50)",
// "nvarchar(max)", "decimal(10,2)", ...); no type is sql_variant; an unknown one maps by
// SQLite's affinity rules.
CSqlServerType SqlServerTypeOf(const char* pszDeclared);

// Registers the type function and creates the main database's catalogue views on this
// connection (temporary: nothing is written to the database file).
int SqlServerCreateCatalog(sqlite3* pDb);
// The catalogue views of an attached schema, created on first use; *pstrPrefix receives the
// prefix of their names.
bool SqlServerEnsureAttachedCatalog(sqlite3* pDb, const std::wstring& strSchema,
                                    std::wstring* pstrPrefix);
