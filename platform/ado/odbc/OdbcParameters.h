// The values of one row handed to an INSERT as statement parameters. Byte arrays go as data
// at execution, sent to the driver in pieces, so a large value is never copied into a second
// buffer of its own size.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ado/odbc/OdbcApi.h"
#include "platform/ado/AdoProvider.h"

// Holds what the bound parameters point to until the statement has run. One thread at a
// time.
class COdbcParameters {
public:
    // Binds parameter nParam (1-based) to a value for a column of the given SQL type. The
    // variant must outlive the execution (its bytes are sent from where they are). False for a
    // value that has no ODBC form.
    bool Bind(SQLHSTMT hStmt, SQLUSMALLINT nParam, SQLSMALLINT nSqlType, const VARIANT& var);
    // Runs the prepared statement, answering the driver's requests for data at execution.
    SQLRETURN Execute(SQLHSTMT hStmt);

private:
    struct CLongValue {
        const BYTE* pBytes;
        size_t nBytes;
    };
    // Stable addresses: the driver keeps pointers into these until execution.
    std::deque<std::u16string> m_texts;
    std::deque<std::vector<BYTE>> m_cells;
    std::deque<SQLLEN> m_indicators;
    std::deque<CLongValue> m_longValues;
};
