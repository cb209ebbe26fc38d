// SQL Server's meaning of the arithmetic operators on SQLite. '+' joins strings and adds
// numbers; between a string and a number the string is converted, and fails when it is no
// number. A date and time plus or minus a number moves by days. Dividing by zero is an
// error, not NULL. Quotients, remainders and money products take SQL Server's result types
// (SqlServerArithmetic.h); products of ints stay ints, failing beyond their range as SQL
// Server's do. ~ of a bit is the other bit.
#pragma once

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlTokens.h"

// The function names the rewritten operators call (registered on every connection).
extern const wchar_t kSqlAddFunction[];      // zqk_add(a, b): '+' when the types are not known
extern const wchar_t kSqlSubtractFunction[]; // zqk_subtract(a, b): '-' likewise
extern const wchar_t kSqlDivisorFunction[];  // zqk_divisor(b): b, or the divide-by-zero error

// Rewrites tokens [nBegin, nEnd) into *pOut; false when nothing needed to change (then *pOut
// is left alone). names types the columns and variables beside '/', '%' and '*', and after '~'.
bool SqlRewriteOperators(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                         const CSqlNameTypes& names, CSqlTokens* pOut);

// ~ of a bit column or variable, or of a conversion to bit (names types the first two), in
// tokens [nBegin, nEnd) written into *pOut as (b = 0), which gives the other bit and keeps
// NULL; false when no ~ applies to a bit (then *pOut is left alone).
bool SqlRewriteBitNot(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                      const CSqlNameTypes& names, CSqlTokens* pOut);
