// How the ODBC provider describes a driver's columns in the data-access types, how it reads
// their cells (bound in blocks, or piecewise with SQLGetData) and turns them into the same
// variants the embedded provider gives for the same SQL types.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/odbc/OdbcApi.h"

// Bytes that are not zeroed when the buffer grows: cells are written by the driver, and a
// long value's buffer would otherwise be cleared only to be overwritten.
template <typename T> struct COdbcRawAllocator : std::allocator<T> {
    template <typename U> struct rebind { typedef COdbcRawAllocator<U> other; };
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
typedef std::vector<BYTE, COdbcRawAllocator<BYTE>> COdbcBytes;

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

// A cell (nIndicator as the driver set it) as a variant of the column's type. Fails with
// DB_E_ERRORSINCOMMAND when the value did not fit a bound column's buffer.
HRESULT OdbcCellToVariant(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nIndicator,
                          VARIANT* pvar);
// The size of a cell: bytes for binary values, characters for text.
LONG OdbcCellActualSize(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nIndicator);

// Reads the current row's cell of a column that is not bound into a buffer kept by the caller
// from row to row (it only grows): a first piece, then the rest of a long value in further
// pieces. *pnIndicator receives the bytes read, or SQL_NULL_DATA; the buffer then converts
// like a bound cell. Returns the driver's code; on SQL_ERROR the statement holds the
// diagnostics.
SQLRETURN OdbcReadCell(SQLHSTMT hStmt, SQLUSMALLINT nColumn, const COdbcColumnPlan& plan,
                       COdbcBytes* pBytes, SQLLEN* pnIndicator);
