// How the ODBC provider describes a driver's columns in the data-access types, how it reads
// their cells (bound in blocks, or piecewise with SQLGetData) and turns them into the same
// variants the embedded provider gives for the same SQL types.
#pragma once

#include <vector>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/odbc/OdbcApi.h"

// How a column's cells travel from the driver.
struct COdbcColumnPlan {
    CAdoColumn column;
    SQLSMALLINT nSqlType = SQL_UNKNOWN_TYPE;
    SQLSMALLINT nCType = SQL_C_WCHAR;
    // Bytes of one cell's buffer when the column is bound; 0 for a column whose size is not
    // bounded (long text and binary), which is read with SQLGetData.
    SQLLEN nCellBytes = 0;
};

// What the driver said about a column.
struct COdbcColumnInfo {
    std::wstring strName;
    SQLSMALLINT nSqlType = SQL_UNKNOWN_TYPE;
    SQLULEN nSize = 0;
    SQLSMALLINT nDigits = 0;
    bool bUnsigned = false;
};

// Whether the described size of a character or binary column bounds its values.
enum class EOdbcLengths {
    kEnforced,
    kAdvisory,
};

COdbcColumnPlan OdbcPlanColumn(const COdbcColumnInfo& info, EOdbcLengths nLengths);

// The SQL type a parameter for a column of a data-access type is declared with.
SQLSMALLINT OdbcSqlTypeOf(DataTypeEnum nType);

// A bound cell (nIndicator as the driver set it) as a variant of the column's type. Fails with
// DB_E_ERRORSINCOMMAND when the value did not fit the buffer.
HRESULT OdbcCellToVariant(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nIndicator,
                          VARIANT* pvar);
// The size of a bound cell: bytes for binary values, characters for text.
LONG OdbcCellActualSize(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nIndicator);

// Reads the current row's cell of a column that is not bound: a first piece into the scratch
// buffer (kept by the caller from cell to cell), the rest of a long value in further pieces.
// Returns the driver's code; on SQL_ERROR the statement holds the diagnostics.
SQLRETURN OdbcGetCell(SQLHSTMT hStmt, SQLUSMALLINT nColumn, const COdbcColumnPlan& plan,
                      std::vector<BYTE>* pScratch, VARIANT* pvar);
