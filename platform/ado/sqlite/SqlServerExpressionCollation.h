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

#include <string>

#include "platform/ado/sqlite/SqlTokens.h"

// Rewrites tokens [nBegin, nEnd) into *pOut with "COLLATE strCollation" where it is needed;
// false when nothing needed it (then *pOut is left alone).
bool SqlCollateExpressions(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                           const wchar_t* pszCollation, CSqlTokens* pOut);
