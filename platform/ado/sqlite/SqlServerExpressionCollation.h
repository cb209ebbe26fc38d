// SQL Server compares and sorts every text by a collation: a column's own, or the database's
// default for literals, variables and expressions. SQLite compares by a column's collation too,
// but anything else (LEFT(Name, 2) = 'AP', @v = 'abc', ORDER BY an expression) byte for byte.
// This pass writes the default collation where SQLite would fall back to bytes: beside the
// left side of a comparison, IN or BETWEEN of which neither side is a column, after the
// ORDER BY and GROUP BY terms that are expressions or aliases of expressions, after SELECT
// DISTINCT's expression items, after a simple CASE's operand that is no column, after the
// expression arguments of MIN, MAX and aggregates of DISTINCT values, and after a UNION's,
// EXCEPT's or INTERSECT's columns that are expressions in every query.
#pragma once

#include <functional>
#include <string>

#include "platform/ado/sqlite/SqlTokens.h"

// The collation of a column ("alias", "Code") of the statement's tables; empty when it has
// none or is not known.
typedef std::function<std::wstring(const std::wstring& strQualifier, const std::wstring& strName)>
    CSqlNameCollations;

// The collation of the first column in the expression of tokens [nBegin, nEnd) that
// collations knows, which an expression of a column keeps (LOWER(Code), Code + 'x'); empty when
// no column there has one.
std::wstring SqlExpressionCollation(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                                    const CSqlNameCollations& collations);

// Rewrites tokens [nBegin, nEnd) into *pOut with a COLLATE where it is needed: the collation of
// the first column in the expression that collations knows (an expression of a column keeps
// its collation), else pszCollation; false when nothing needed it (then *pOut is left alone).
bool SqlCollateExpressions(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                           const wchar_t* pszCollation, const CSqlNameCollations& collations,
                           CSqlTokens* pOut);
