// Values converted to a SQL Server type as SQL Server converts them: for CAST and CONVERT
// (registered as zqk_convert(value, type[, style])) and for assignments to batch variables.
// Text that is no number fails instead of becoming 0; a date text becomes a date; a string is
// cut to its declared length (char and nchar padded to it); decimals round to their scale.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/ado/sqlite/SqlServerTypes.h"

// A value of SQLite's kinds, held outside a statement.
struct CSqlValue {
    int nClass = SQLITE_NULL;
    sqlite3_int64 n = 0;
    double d = 0;
    std::string s; // text (UTF-8) or bytes

    static CSqlValue Of(sqlite3_value* v);
    static CSqlValue OfColumn(sqlite3_stmt* pStmt, int nColumn);
    void Bind(sqlite3_stmt* pStmt, int nParam) const;
    void Result(sqlite3_context* ctx) const;
};

// Converts in place; false with SQL Server's message when the value does not convert. nStyle
// is CONVERT's style for dates written as text (0 for none).
bool SqlConvert(const CSqlDeclaredType& type, int nStyle, CSqlValue* pValue,
                std::wstring* pstrError);

// The date forms SQL Server reads whatever the language: ISO with dashes (and T), the
// unseparated yyyymmdd, each with an optional time, yyyy/mm/dd, and a time alone (on
// 1900-01-01).
bool SqlParseDate(const std::string& strText, double* pDate);

// How whole decimal values reach storage: an integer written without a point stays a 64-bit
// integer (kKept: conversions to numeric(p,0) and decimal(p,0), text bound straight to a
// column), or every value passes through a double.
enum class SqlWholeValues { kThroughDouble, kKept };

// Whether a decimal or money value written as plain decimal text ("-12.50") reads back unchanged
// once stored. Rounded to the type's scale first, as SQL Server stores it, it must have at most
// 15 significant digits (all a double keeps) or be a whole number kept as an integer; false
// with a message naming the value and the type when it would be rounded. Text that is no plain
// decimal number, other types, and values beyond the type's range (left to its range rule)
// pass. *pstrRounded (when given) gets the value cut to the scale where it had more decimals,
// and is left empty otherwise: rounding the double of a longer value could end elsewhere.
bool SqlExactlyStored(const CSqlDeclaredType& type, const std::string& strNumber,
                      SqlWholeValues nWhole, std::wstring* pstrError,
                      std::string* pstrRounded = nullptr);
// The same for a literal as the bridge writes it into a statement: SQLite reads a number with
// a point as a double before any conversion sees it, so a literal with more decimals than the
// type keeps is to be written as *pstrRounded instead (empty when it stays as it is).
bool SqlExactLiteral(const CSqlDeclaredType& type, const std::wstring& strValue,
                     std::wstring* pstrRounded, std::wstring* pstrError);

// Whether values of the type are padded with blanks to its length (char(n), nchar(n)).
bool SqlIsFixedChar(const CSqlDeclaredType& type);

// The conversion of CAST and CONVERT, and zqk_pad(value, n) for char(n) columns, on a
// connection.
int SqlRegisterConvert(sqlite3* pDb);
