// One connection to a data source through the driver manager, shared by the provider and the
// cursors it hands out, and the way its failures become data-access errors.
#pragma once

#include <string>
#include <vector>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/odbc/OdbcApi.h"

// What the failing call was doing: the same SQLSTATE means different things when connecting,
// running a statement or opening a table by name.
enum class EOdbcFailure {
    kConnect,
    kStatement,
    kOpenTable,
};

// The data-access result code for an SQLSTATE (five characters).
HRESULT OdbcResultForState(const std::wstring& strState, EOdbcFailure nFailure);

// Text with every occurrence of a secret, and every value of a password key ("PWD=...",
// "Password=..."), replaced by asterisks. Secrets shorter than four characters are matched
// only as key values, since they would turn up inside ordinary words.
std::wstring OdbcMaskSecret(const std::wstring& strText, const std::wstring& strSecret);

// The driver manager's environment and connection handles and what the provider learned
// about the driver when it connected. Belongs to one thread at a time, like its provider.
class COdbcSession {
public:
    COdbcSession() : m_env(SQL_HANDLE_ENV), m_dbc(SQL_HANDLE_DBC) {}
    ~COdbcSession() { Disconnect(); }

    // Ends every live cursor's statement first: the driver manager frees them with the
    // connection, and a cursor must not free them again.
    void Disconnect();

    // The diagnostics of a failed call on a handle as an error: the first error record gives
    // the code, its native code and its text; texts of further records follow on new lines.
    CAdoError Error(SQLSMALLINT nHandleType, SQLHANDLE h, EOdbcFailure nFailure) const;
    // An error the provider itself describes.
    CAdoError Error(HRESULT hr, const std::wstring& strDescription) const;

    // Cursors register so that Disconnect can end them.
    void AddCursor(CAdoCursor* pCursor) { m_cursors.push_back(pCursor); }
    void RemoveCursor(CAdoCursor* pCursor);

    SQLHDBC Dbc() const { return m_dbc.Get(); }

    COdbcHandle m_env;
    COdbcHandle m_dbc;
    bool m_bConnected = false;
    // The password of the connection string, kept only to mask it in error texts.
    std::wstring m_strSecret;
    // SQL_GETDATA_EXTENSIONS of the driver.
    SQLUINTEGER m_nGetData = 0;
    // Whether the database enforces the lengths its columns declare (SQLite does not), so
    // that a value always fits a buffer of the described size.
    bool m_bLengthsEnforced = true;
    // Quote for names ('"' mostly); empty when the driver quotes none.
    std::wstring m_strQuote;
    // Escape for '%' and '_' in catalogue-function patterns.
    std::wstring m_strPatternEscape;
    bool m_bInTransaction = false;

private:
    std::vector<CAdoCursor*> m_cursors;
};

// Whether an ODBC return code means the call did its work.
inline bool OdbcOk(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}
