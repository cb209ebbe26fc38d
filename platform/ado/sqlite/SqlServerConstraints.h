// The constraints a table's stored definition declares, named as SQL Server names them (the
// declared name, or SQL Server's pattern for one declared without), and the names of the
// indexes that give unique keys SQL Server's NULL rule. Pure functions of their arguments.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ado/sqlite/SqlTokens.h"

// A constraint of a table as its stored definition declares it.
struct CSqlConstraint {
    enum Kind { kPrimaryKey, kUnique, kCheck, kForeignKey, kDefault } nKind = kCheck;
    std::wstring strName;              // as declared, or generated in SQL Server's pattern
    std::vector<std::wstring> columns; // key or referencing columns; a CHECK's or DEFAULT's
    std::wstring strCheck;             // a CHECK's or a DEFAULT's expression as stored
    std::wstring strReferenced;        // a FOREIGN KEY's referenced table ...
    std::vector<std::wstring> referencedColumns; // ... and columns, empty for its key
};

// The constraints in a table's stored CREATE TABLE text, the bridge's own rules left out.
std::vector<CSqlConstraint> SqlTableConstraints(const std::wstring& strTable,
                                                const std::wstring& strSql);

// The items of the parenthesised list at the cursor, each as its range of tokens; the cursor
// after the list.
std::vector<std::pair<size_t, size_t>> SqlListItems(CSqlCursor& c);

// Two lists of names, equal without regard to case.
bool SqlSameNames(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b);

// The names of the indexes that make NULLs of unique columns equal to each other, as SQL
// Server has them: a UNIQUE constraint's "zqk_unique_null:T.a,b", a unique index's
// "zqk_unique_null:IX".
std::wstring SqlUniqueNullName(const std::wstring& strTable,
                               const std::vector<std::wstring>& columns);
std::wstring SqlUniqueNullNameOfIndex(const std::wstring& strIndex);
