// Names for the columns of a SELECT's result as the host wrote them. SQLite names a column
// without an alias after its expression's text, and that text would be the bridge's
// translation (zqk_convert(...), ifnull(...)); SQL Server's alias = expression form would
// not be understood at all.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlTokens.h"

// How the outermost select list of a SELECT is to be named, and where its expressions are.
struct CSqlSelectNames {
    bool bRewriteTokens = false;       // an "alias = expression" item: SqlNameSelectItems
    std::vector<std::wstring> aliases; // per item, the alias to add to the translation, or empty
    struct CExpression {
        size_t nItem, nBegin, nEnd; // an item's expression, without its alias
    };
    std::vector<CExpression> expressions;
    size_t nItems = 0;
    size_t nUnnamed = 0;    // expressions without an alias of their own
    bool bStar = false;     // a * among the items: they are not the result's columns one to one
    bool bCompound = false; // a UNION, EXCEPT or INTERSECT at the statement's own level
    bool bNested = false;   // a SELECT inside the statement (subquery, derived table)
};

// Plans the names of the outermost select list of the SELECT whose keyword is token nSelect,
// ending at or before nEnd: every item that is neither a plain column (a.b, *, a.*) nor a lone
// number or string, nor a variable assignment, nor already aliased gets its own text as
// written; every "alias = expression" item its alias. The expressions are noted whatever the
// result. False when no item needs a name.
bool SqlPlanSelectNames(const CSqlTokens& tokens, size_t nSelect, size_t nEnd,
                        CSqlSelectNames* pPlan);

// The types SQL Server gives the planned list's expression items, per item (unknown where
// not known: plain columns describe themselves), the columns they name typed by names; empty
// when none is known or a * is among the items.
void SqlTypeSelectItems(const CSqlTokens& tokens, const CSqlSelectNames& plan,
                        const CSqlNameTypes& names, std::vector<CSqlNumericType>* pTypes);

// The types SQL Server gives the planned list's expression items as the columns of a table
// SELECT INTO makes, per item ("int", "decimal(21,2)", "varchar(30)"): numbers as the result
// types above, strings joined from literals and character columns by their lengths. Empty
// for an item whose type is not known here, and no types at all when a * is among the items.
void SqlTypeSelectIntoItems(const CSqlTokens& tokens, const CSqlSelectNames& plan,
                            const CSqlNameTypes& names, std::vector<std::wstring>* pTypes);

// Adds " AS \"alias\"" after each item of the translated SELECT's outermost list whose alias is
// not empty; leaves the text as it is when its items do not match the aliases one to one.
void SqlAddSelectAliases(const std::vector<std::wstring>& aliases, std::wstring* pSql);

// For a list with "alias = expression" items: writes into *pNamed a copy of all the tokens
// where those items are written "expression AS alias" and the other items the plan names are
// aliased with their text; *pnNamedEnd is where nEnd's token stands in the copy. False (and
// nothing written) when no item needs a name.
bool SqlNameSelectItems(const CSqlTokens& tokens, size_t nSelect, size_t nEnd, CSqlTokens* pNamed,
                        size_t* pnNamedEnd);
