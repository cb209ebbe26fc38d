// Lets SQL written for SQL Server run on SQLite: three-part names (db.dbo.obj, [db].[dbo].[obj],
// db..obj) and dbo.obj, GETDATE() and CURRENT_TIMESTAMP (also as a column default), N'...'
// literals, SELECT TOP n in a top-level query, ISNULL, LEN and the (max) sizes of varchar,
// nvarchar and varbinary. Rewriting works on tokens, so string literals, quoted
// names and comments are never touched. What cannot be translated is refused with an error
// rather than translated wrongly.
#pragma once

#include <functional>
#include <string>

// How a database part of a name resolves: to the main database, to an attached schema (its
// SQLite name), or not at all.
struct CSqlDatabaseRef {
    enum Kind { kUnknown, kMain, kAttached } nKind = kUnknown;
    std::wstring strSchema;
};

class CSqlServerBridge {
public:
    typedef std::function<CSqlDatabaseRef(const std::wstring& strDatabase)> ResolveFn;
    // Names the catalogue views of an attached schema (creating them when needed); the main
    // database's views are sysobjects, syscolumns and systypes themselves.
    typedef std::function<bool(const std::wstring& strSchema, std::wstring* pPrefix)> CatalogFn;

    CSqlServerBridge(ResolveFn fnResolve, CatalogFn fnCatalog)
        : m_fnResolve(std::move(fnResolve)), m_fnCatalog(std::move(fnCatalog)) {}

    // False with *pstrError set when the text cannot run: an unknown database, a construct
    // that has no translation. *pbUnknownDatabase tells the first case apart.
    bool Translate(const std::wstring& strIn, std::wstring* pstrOut, std::wstring* pstrError,
                   bool* pbUnknownDatabase) const;

private:
    ResolveFn m_fnResolve;
    CatalogFn m_fnCatalog;
};

// The text of the error for a database part that names no database.
std::wstring SqlServerUnknownDatabaseText(const std::wstring& strDatabase);
