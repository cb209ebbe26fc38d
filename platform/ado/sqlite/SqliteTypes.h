// How the embedded provider describes SQLite columns in the data-access types, and how it
// turns stored values into variants.
#pragma once

#include <sqlite3.h>

#include "platform/ado/AdoProvider.h"

struct CSqliteColumnType {
    DataTypeEnum nType;
    LONG nDefinedSize;
    bool bDeclared; // false: no declared type, described by the values' storage class
};

// A declared column type ("nvarchar(40)", "INTEGER", "decimal(10,2)", ...) or null.
CSqliteColumnType SqliteMapDeclaredType(const char* pszDeclared);
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
// Binds a variant to a statement parameter (1-based). A byte array is bound where it lies, not
// copied (values can be files): var must stay as it is until the statement has run.
int SqliteBindVariant(sqlite3_stmt* pStmt, int nParam, const VARIANT& var);
