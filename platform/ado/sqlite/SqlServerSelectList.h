// Names for the columns of a SELECT's result as the host wrote them. SQLite names a column
// without an alias after its expression's text, and that text would be the bridge's
// translation (zqk_convert(...), ifnull(...)); SQL Server's alias = expression form would
// not be understood at all.
#pragma once

#include <cstddef>

#include "platform/ado/sqlite/SqlTokens.h"

// For the outermost select list of the SELECT whose keyword is token nSelect, ending at or
// before nEnd: writes into *pNamed a copy of all the tokens where every item that is neither
// a plain column (a.b, *, a.*), nor a variable assignment, nor already aliased is aliased with
// its own text as written, and every "alias = expression" item is written
// "expression AS alias"; *pnNamedEnd is where nEnd's token stands in the copy. False (and
// nothing written) when no item needs either.
bool SqlNameSelectItems(const CSqlTokens& tokens, size_t nSelect, size_t nEnd, CSqlTokens* pNamed,
                        size_t* pnNamedEnd);
