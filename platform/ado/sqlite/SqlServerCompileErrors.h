// SQL Server's errors for statements that do not compile: a missing table, column or function,
// an ambiguous column, a syntax error, as SQLite reports them, worded and numbered as SQL
// Server words them, with the names as the host wrote them. Stateless.
#pragma once

#include <string>

#include "platform/ado/sqlite/SqlServerViolations.h"

// SQL Server's error for SQLite's message that a statement does not compile; strSource is the
// statement as the host wrote it (empty when unknown), where names are looked up to give them
// as written. False when the message is not one of those.
bool SqlServerCompileError(const std::wstring& strMessage, const std::wstring& strSource,
                           CSqlViolation* pOut);
