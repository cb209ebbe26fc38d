// SQL Server's result types of arithmetic, so that '/' and '%' work as SQL Server's do where
// SQLite cannot tell: a decimal or money value holding a whole number is stored as an integer,
// and SQLite would divide it as one. The bridge types each side of a division before it runs
// (literals, CAST and CONVERT, columns, variables) and writes zqk_divide(a, b, 'type') where
// the result is not an integer's; that function divides and cuts the quotient to the scale
// SQL Server's rules give the result. Money times money is rounded to money's four decimals,
// and AVG of integers, decimals and money becomes zqk_average(avg(x), 'type'). The same typing
// says which computed result columns are bits or dates, so that they read as columns of those
// types do.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <string>

#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/ado/sqlite/SqlTokens.h"

// What an expression's value is, as far as arithmetic cares. A plain value: copy it freely
// between threads; the functions below keep no state.
struct CSqlNumericType {
    enum Kind { kUnknown, kInteger, kDecimal, kMoney, kFloat } nKind = kUnknown;
    int nPrec = 0; // digits; for integers the digits of their type (int 10, a literal its own)
    int nScale = 0;
    // The type itself where the value is a bit or a date and time (a column, CAST, CONVERT,
    // GETDATE(), and what keeps its argument's type, such as MAX or ISNULL): the result reads
    // as that type. Arithmetic gives none.
    const CSqlServerTypeRow* pOwnRow = nullptr;
    bool bOwnByName = false; // ... taken from a column's name, which a subquery's table may have
    bool bOwnPicked = false; // ... by ISNULL or COALESCE, whose other values may be of others

    static CSqlNumericType Of(const CSqlDeclaredType& type);
    // A number as written: 7 is an integer of one digit, 2.50 decimal(3,2), 1e3 a float.
    static CSqlNumericType OfLiteral(const std::wstring& strNumber);
    // The type as SQL Server names it: "decimal(21,13)", "money", "float", "int", "bigint";
    // empty when unknown.
    std::wstring Text() const;
    // The same as a declared type (decimal(21,13), money, float, int, bigint; a bit or date
    // type as pOwnRow names it); sql_variant's row when unknown.
    CSqlDeclaredType Declared() const;
    bool Fractional() const { return nKind == kDecimal || nKind == kMoney || nKind == kFloat; }
    // Whether a result column of this type reads as a type of its own.
    bool Known() const { return nKind != kUnknown || pOwnRow != nullptr; }
};

// The type of a op b ('+', '-', '*', '/', '%') by SQL Server's precedence and its precision
// and scale rules, capped at 38 digits; unknown when either side is.
CSqlNumericType SqlNumericResult(wchar_t chOp, const CSqlNumericType& a, const CSqlNumericType& b);

// The declared type of a column ("alias", "Price") or a variable ("", "@total"); false when the
// name is not known or is ambiguous.
typedef std::function<bool(const std::wstring& strQualifier, const std::wstring& strName,
                           CSqlDeclaredType* pType)>
    CSqlNameTypes;

// The type of the expression in tokens [nBegin, nEnd); unknown for what it cannot read.
CSqlNumericType SqlExpressionType(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                                  const CSqlNameTypes& names);

// zqk_divide(a, b, 'type'), zqk_modulo(a, b, 'type') and zqk_average(avg, 'type') on a
// connection.
extern const wchar_t kSqlDivideFunction[];
extern const wchar_t kSqlModuloFunction[];
int SqlRegisterArithmetic(sqlite3* pDb);
