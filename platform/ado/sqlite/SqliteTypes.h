// How the embedded provider describes SQLite columns in the data-access types, and how it
// turns stored values into variants.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/sqlite/SqlServerTypes.h"

struct CSqliteColumnType {
    DataTypeEnum nType;
    LONG nDefinedSize;
    bool bDeclared;      // false: no declared type, described by the values' storage class
    BYTE nPrecision = 0; // decimal and money types: digits in all and after the point
    BYTE nNumericScale = 0;
};

// A declared column type ("nvarchar(40)", "INTEGER", "decimal(10,2)", ...) or null.
CSqliteColumnType SqliteMapDeclaredType(const char* pszDeclared);
// The same for a type already read.
CSqliteColumnType SqliteMapType(const CSqlDeclaredType& type);

// SqliteMapDeclaredType for the last few declared types met: every result describes its
// columns, mostly of the same few types. Belongs to the thread of its connection.
class CSqliteDeclaredTypes {
public:
    CSqliteColumnType Map(const char* pszDeclared);

private:
    static const size_t kKept = 16;
    struct CEntry {
        std::string strDeclared;
        CSqliteColumnType type;
    };
    CEntry m_entries[kKept];
    size_t m_nUsed = 0, m_nNext = 0; // entries filled; the next to replace
};
// The description of a column without a declared type from one value's storage class.
CSqliteColumnType SqliteTypeOfStorageClass(int nStorageClass);

// The current row's cell of a statement as a variant of the column's type.
HRESULT SqliteColumnValue(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, VARIANT* pvar);
// The same cell as a reader of text can take it: the stored text where the value would be a
// string of it (or a date read from it), otherwise the value.
HRESULT SqliteColumnCell(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, CAdoCell* pCell);
// The stored bytes the cell's value would be a byte array of (S_OK, borrowed until the
// statement steps); S_FALSE where its value is not one (NULL, or other than binary storage
// outside binary columns).
HRESULT SqliteColumnBytes(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType,
                          const void** ppBytes, size_t* pnBytes);
// The size of the cell: bytes for blobs, characters for text.
LONG SqliteColumnActualSize(sqlite3_stmt* pStmt, int nColumn, LONG nDefinedSize);
// Whether a value bound to a column keeps all its digits there: decimals, currency and text
// bound to a decimal or money column must (SqlExactlyStored); false with the message.
bool SqliteExactValue(const CAdoColumn& column, const VARIANT& var, std::wstring* pstrError);
// Binds a variant to a statement parameter (1-based). A byte array is bound where it lies, not
// copied (values can be files): var must stay as it is until the statement has run.
int SqliteBindVariant(sqlite3_stmt* pStmt, int nParam, const VARIANT& var);
