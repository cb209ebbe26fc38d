// The variables of one batch (DECLARE @a int = 1 ... SELECT @a): their declared types, their
// values converted to those types as SQL Server converts them, and their binding to the
// statements that use them as SQLite parameters of the same names.
#pragma once

#include <sqlite3.h>

#include <map>
#include <string>

#include "platform/ado/sqlite/SqlServerConvert.h"

class CSqlBatchVariables {
public:
    void Declare(const std::wstring& strName, const std::wstring& strType);
    // Binds every @name parameter of a statement; false with SQL Server's text for a variable
    // that was never declared.
    bool Bind(sqlite3_stmt* pStmt, std::wstring* pstrError) const;
    // Gives a variable the value of a result column, converted to its type.
    bool Assign(const std::wstring& strName, sqlite3_stmt* pStmt, int nColumn,
                std::wstring* pstrError);

private:
    struct CVariable {
        CSqlDeclaredType type;
        CSqlValue value;
    };
    static std::wstring Undeclared(const std::wstring& strName);

    std::map<std::wstring, CVariable> m_variables; // by lower-case name, with the @
};
