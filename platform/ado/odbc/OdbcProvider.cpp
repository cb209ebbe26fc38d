#include "platform/ado/odbc/OdbcProvider.h"

#include <locale.h>

#include <cwctype>

#include "platform/ado/odbc/OdbcCursor.h"
#include "platform/ado/odbc/OdbcParameters.h"

namespace {

const SQLULEN kDefaultLoginTimeout = 15;
const wchar_t* const kOwnKeys[] = {L"provider", L"connect timeout", L"connection timeout"};
const wchar_t* const kRowsetNames[] = {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME",
                                       L"TABLE_TYPE", L"DESCRIPTION"};

// The driver manager picks the narrow character set it converts statement text to for ANSI
// drivers from the locale when a connection is set up; a host that never called setlocale
// would get ASCII. UTF-8 is set for this thread only, while connecting.
class CUtf8Locale {
public:
    CUtf8Locale() {
        for (const char* pszName : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            m_locale = newlocale(LC_CTYPE_MASK, pszName, static_cast<locale_t>(0));
            if (m_locale != static_cast<locale_t>(0))
                break;
        }
        if (m_locale != static_cast<locale_t>(0))
            m_previous = uselocale(m_locale);
    }
    ~CUtf8Locale() {
        if (m_locale == static_cast<locale_t>(0))
            return;
        uselocale(m_previous);
        freelocale(m_locale);
    }
    CUtf8Locale(const CUtf8Locale&) = delete;
    CUtf8Locale& operator=(const CUtf8Locale&) = delete;

private:
    locale_t m_locale = static_cast<locale_t>(0);
    locale_t m_previous = static_cast<locale_t>(0);
};

bool NeedsBraces(const std::wstring& s) {
    if (s.empty())
        return false;
    if (iswspace(static_cast<wint_t>(s.front())) || iswspace(static_cast<wint_t>(s.back())))
        return true;
    return s.find_first_of(L";{}=") != std::wstring::npos;
}

std::wstring Info(SQLHDBC hDbc, SQLUSMALLINT nInfo) {
    SQLWCHAR sz[128] = {};
    SQLSMALLINT nBytes = 0;
    if (!OdbcOk(SQLGetInfoW(hDbc, nInfo, sz, sizeof sz, &nBytes)))
        return std::wstring();
    return OdbcWide(sz, SQL_NTS);
}

bool IsPlainIdentifier(const std::wstring& s) {
    if (s.empty())
        return false;
    bool bStart = true;
    for (wchar_t c : s) {
        if (c == L'.') {
            if (bStart)
                return false;
            bStart = true;
            continue;
        }
        bool bLetter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_';
        if (!bLetter && (bStart || !(c >= L'0' && c <= L'9')))
            return false;
        bStart = false;
    }
    return !bStart;
}

std::wstring CaseOf(std::wstring s, bool bUpper) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(bUpper ? towupper(static_cast<wint_t>(c))
                                        : towlower(static_cast<wint_t>(c)));
    return s;
}

} // namespace

std::wstring OdbcConnectionString(const std::map<std::wstring, std::wstring>& pairs,
                                  SQLULEN* pnTimeout) {
    *pnTimeout = kDefaultLoginTimeout;
    std::wstring strOut;
    for (const auto& pair : pairs) {
        bool bOwn = false;
        for (const wchar_t* pszKey : kOwnKeys)
            bOwn |= pair.first == pszKey;
        if (bOwn) {
            if (pair.first != L"provider") {
                long n = std::wcstol(pair.second.c_str(), nullptr, 10);
                if (n > 0)
                    *pnTimeout = static_cast<SQLULEN>(n);
            }
            continue;
        }
        strOut += pair.first + L"=";
        if (NeedsBraces(pair.second)) {
            strOut += L"{";
            for (wchar_t c : pair.second) {
                strOut += c;
                if (c == L'}')
                    strOut += c; // a closing brace inside is doubled
            }
            strOut += L"}";
        } else {
            strOut += pair.second;
        }
        strOut += L";";
    }
    return strOut;
}

COdbcProvider::~COdbcProvider() {
    Close();
}

void COdbcProvider::Close() {
    if (m_pSession)
        m_pSession->Disconnect();
    m_pSession.reset();
}

HRESULT COdbcProvider::Open(const std::map<std::wstring, std::wstring>& pairs,
                            ConnectModeEnum nMode, CAdoError* pError) {
    Close();
    auto pSession = std::make_shared<COdbcSession>();
    for (const wchar_t* pszKey : {L"pwd", L"password"}) {
        auto it = pairs.find(pszKey);
        if (it != pairs.end())
            pSession->m_strSecret = it->second;
    }
    SQLULEN nTimeout = 0;
    const std::u16string connection = OdbcText(OdbcConnectionString(pairs, &nTimeout));

    CUtf8Locale utf8;
    if (!OdbcOk(pSession->m_env.Allocate(SQL_NULL_HANDLE)) ||
        !OdbcOk(SQLSetEnvAttr(pSession->m_env.Get(), SQL_ATTR_ODBC_VERSION,
                              reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        *pError = pSession->Error(E_FAIL, L"The ODBC driver manager cannot be used.");
        return pError->hr;
    }
    if (!OdbcOk(pSession->m_dbc.Allocate(pSession->m_env.Get()))) {
        *pError = pSession->Error(SQL_HANDLE_ENV, pSession->m_env.Get(), EOdbcFailure::kConnect);
        return pError->hr;
    }
    SQLHDBC hDbc = pSession->Dbc();
    SQLSetConnectAttr(hDbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(nTimeout)), 0);
    if ((nMode & adModeReadWrite) == adModeRead)
        SQLSetConnectAttr(hDbc, SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    SQLRETURN rc = SQLDriverConnectW(hDbc, nullptr, const_cast<SQLWCHAR*>(connection.c_str()),
                                     static_cast<SQLSMALLINT>(connection.size()), nullptr, 0,
                                     nullptr, SQL_DRIVER_NOPROMPT);
    if (!OdbcOk(rc)) {
        *pError = pSession->Error(SQL_HANDLE_DBC, hDbc, EOdbcFailure::kConnect);
        return pError->hr;
    }
    pSession->m_bConnected = true;
    SQLGetInfoW(hDbc, SQL_GETDATA_EXTENSIONS, &pSession->m_nGetData, sizeof pSession->m_nGetData,
                nullptr);
    // SQLite keeps values longer than their declared length.
    pSession->m_bLengthsEnforced = Info(hDbc, SQL_DBMS_NAME) != L"SQLite";
    pSession->m_strQuote = Info(hDbc, SQL_IDENTIFIER_QUOTE_CHAR);
    if (pSession->m_strQuote == L" ")
        pSession->m_strQuote.clear();
    pSession->m_strPatternEscape = Info(hDbc, SQL_SEARCH_PATTERN_ESCAPE);
    m_pSession = std::move(pSession);
    return S_OK;
}

HRESULT COdbcProvider::StatementFailed(SQLHSTMT hStmt, CAdoError* pError) const {
    *pError = m_pSession->Error(SQL_HANDLE_STMT, hStmt, EOdbcFailure::kStatement);
    return pError->hr;
}

HRESULT COdbcProvider::NewStatement(COdbcHandle* pStmt, CAdoError* pError) {
    if (!OdbcOk(pStmt->Allocate(m_pSession->Dbc()))) {
        *pError = m_pSession->Error(SQL_HANDLE_DBC, m_pSession->Dbc(), EOdbcFailure::kStatement);
        return pError->hr;
    }
    return S_OK;
}

std::wstring COdbcProvider::QuoteName(const std::wstring& strName) const {
    const std::wstring& q = m_pSession->m_strQuote;
    if (q.empty())
        return strName;
    std::wstring s = q;
    for (wchar_t c : strName) {
        s += c;
        if (q.size() == 1 && c == q[0])
            s += c;
    }
    return s + q;
}

// A plain name (schema.table included) is written as it is, so that the database applies its
// own case rules as it does in any statement; anything else is quoted.
std::wstring COdbcProvider::TableReference(const std::wstring& strTable) const {
    return IsPlainIdentifier(strTable) ? strTable : QuoteName(strTable);
}

// A name as a catalogue-function pattern that matches only itself.
std::wstring COdbcProvider::Pattern(const std::wstring& strName) const {
    const std::wstring& e = m_pSession->m_strPatternEscape;
    if (e.empty())
        return strName;
    std::wstring s;
    for (wchar_t c : strName) {
        if (c == L'%' || c == L'_' || e.find(c) != std::wstring::npos)
            s += e;
        s += c;
    }
    return s;
}

bool COdbcProvider::TableExists(const std::wstring& strTable) {
    std::wstring strName = strTable.substr(strTable.rfind(L'.') + 1);
    for (const std::wstring& name : {strName, CaseOf(strName, false), CaseOf(strName, true)}) {
        COdbcHandle stmt(SQL_HANDLE_STMT);
        CAdoError ignored;
        if (FAILED(NewStatement(&stmt, &ignored)))
            return true; // cannot tell: the first error stands
        std::u16string pattern = OdbcText(Pattern(name));
        SQLRETURN rc = SQLTablesW(stmt.Get(), nullptr, 0, nullptr, 0, pattern.data(),
                                  static_cast<SQLSMALLINT>(pattern.size()), nullptr, 0);
        if (!OdbcOk(rc))
            return true;
        if (OdbcOk(SQLFetch(stmt.Get())))
            return true;
    }
    return false;
}

HRESULT COdbcProvider::Execute(const std::wstring& strText, std::unique_ptr<CAdoCursor>* ppCursor,
                               LONG* pnAffected, CAdoError* pError) {
    ppCursor->reset();
    *pnAffected = 0;
    COdbcHandle stmt(SQL_HANDLE_STMT);
    HRESULT hr = NewStatement(&stmt, pError);
    if (FAILED(hr))
        return hr;
    std::u16string text = OdbcText(strText);
    SQLRETURN rc = SQLExecDirectW(stmt.Get(), text.data(), static_cast<SQLINTEGER>(text.size()));
    if (!OdbcOk(rc) && rc != SQL_NO_DATA) {
        return StatementFailed(stmt.Get(), pError);
    }
    // A batch gives one result per statement; the first with columns is the rows.
    long long nAffected = 0;
    for (;;) {
        SQLSMALLINT nColumns = 0;
        if (rc != SQL_NO_DATA && !OdbcOk(SQLNumResultCols(stmt.Get(), &nColumns))) {
            return StatementFailed(stmt.Get(), pError);
        }
        if (nColumns > 0) {
            std::unique_ptr<COdbcCursor> pCursor;
            hr = COdbcCursor::Create(m_pSession, stmt.Release(), EOdbcStatement::kExecuted,
                                     EOdbcFailure::kStatement, &pCursor, pError);
            if (FAILED(hr))
                return hr;
            *ppCursor = std::move(pCursor);
            return S_OK;
        }
        SQLLEN nRows = 0;
        if (rc != SQL_NO_DATA && OdbcOk(SQLRowCount(stmt.Get(), &nRows)) && nRows > 0)
            nAffected += nRows;
        rc = SQLMoreResults(stmt.Get());
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcOk(rc)) {
            return StatementFailed(stmt.Get(), pError);
        }
    }
    *pnAffected = static_cast<LONG>(nAffected);
    return S_OK;
}

HRESULT COdbcProvider::OpenTable(const std::wstring& strTable,
                                 std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) {
    ppCursor->reset();
    COdbcHandle stmt(SQL_HANDLE_STMT);
    HRESULT hr = NewStatement(&stmt, pError);
    if (FAILED(hr))
        return hr;
    std::u16string text = OdbcText(L"SELECT * FROM " + TableReference(strTable));
    SQLRETURN rc = SQLPrepareW(stmt.Get(), text.data(), static_cast<SQLINTEGER>(text.size()));
    std::unique_ptr<COdbcCursor> pCursor;
    if (OdbcOk(rc)) {
        hr = COdbcCursor::Create(m_pSession, stmt.Release(), EOdbcStatement::kPrepared,
                                 EOdbcFailure::kOpenTable, &pCursor, pError);
    } else {
        *pError = m_pSession->Error(SQL_HANDLE_STMT, stmt.Get(), EOdbcFailure::kOpenTable);
        hr = pError->hr;
    }
    if (FAILED(hr)) {
        // Drivers word a missing table in their own way; the catalogue says what it is.
        if (hr != DB_E_NOTABLE && pError->hr != E_FAIL && !TableExists(strTable))
            pError->hr = DB_E_NOTABLE;
        return pError->hr;
    }
    *ppCursor = std::move(pCursor);
    return S_OK;
}

HRESULT COdbcProvider::InsertRow(const std::wstring& strTable,
                                 const std::vector<CAdoColumn>& columns,
                                 const CAdoRowValues& values, CAdoError* pError) {
    std::wstring sql = L"INSERT INTO " + TableReference(strTable);
    if (values.empty()) {
        sql += L" DEFAULT VALUES";
    } else {
        std::wstring names, params;
        for (const auto& v : values) {
            if (!names.empty()) {
                names += L", ";
                params += L", ";
            }
            names += QuoteName(columns[v.first].strName);
            params += L"?";
        }
        sql += L" (" + names + L") VALUES (" + params + L")";
    }
    COdbcHandle stmt(SQL_HANDLE_STMT);
    HRESULT hr = NewStatement(&stmt, pError);
    if (FAILED(hr))
        return hr;
    std::u16string text = OdbcText(sql);
    if (!OdbcOk(SQLPrepareW(stmt.Get(), text.data(), static_cast<SQLINTEGER>(text.size())))) {
        return StatementFailed(stmt.Get(), pError);
    }
    COdbcParameters parameters;
    SQLUSMALLINT nParam = 1;
    for (const auto& v : values) {
        const CAdoColumn& column = columns[v.first];
        if (!parameters.Bind(stmt.Get(), nParam++, OdbcSqlTypeOf(column.nType), *v.second)) {
            *pError =
                m_pSession->Error(DB_E_ERRORSINCOMMAND,
                                  L"A value cannot be stored in column " + column.strName + L".");
            return pError->hr;
        }
    }
    SQLRETURN rc = parameters.Execute(stmt.Get());
    if (!OdbcOk(rc) && rc != SQL_NO_DATA) {
        return StatementFailed(stmt.Get(), pError);
    }
    return S_OK;
}

HRESULT COdbcProvider::Tables(const std::vector<std::wstring>& restrictions,
                              std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) {
    ppCursor->reset();
    COdbcHandle stmt(SQL_HANDLE_STMT);
    HRESULT hr = NewStatement(&stmt, pError);
    if (FAILED(hr))
        return hr;
    // Catalog and type are plain values, schema and name patterns; an empty one is left out.
    std::u16string args[4];
    SQLWCHAR* pArgs[4] = {};
    SQLSMALLINT nLengths[4] = {};
    for (size_t i = 0; i < 4 && i < restrictions.size(); ++i) {
        if (restrictions[i].empty())
            continue;
        args[i] = OdbcText(i == 1 || i == 2 ? Pattern(restrictions[i]) : restrictions[i]);
        pArgs[i] = args[i].data();
        nLengths[i] = static_cast<SQLSMALLINT>(args[i].size());
    }
    SQLRETURN rc = SQLTablesW(stmt.Get(), pArgs[0], nLengths[0], pArgs[1], nLengths[1], pArgs[2],
                              nLengths[2], pArgs[3], nLengths[3]);
    if (!OdbcOk(rc)) {
        return StatementFailed(stmt.Get(), pError);
    }
    std::unique_ptr<COdbcCursor> pCursor;
    hr = COdbcCursor::Create(m_pSession, stmt.Release(), EOdbcStatement::kExecuted,
                             EOdbcFailure::kStatement, &pCursor, pError);
    if (FAILED(hr))
        return hr;
    for (size_t i = 0; i < pCursor->ColumnCount() && i < std::size(kRowsetNames); ++i)
        pCursor->RenameColumn(i, kRowsetNames[i]);
    *ppCursor = std::move(pCursor);
    return S_OK;
}

HRESULT COdbcProvider::BeginTrans(CAdoError* pError) {
    if (m_pSession->m_bInTransaction) {
        *pError = m_pSession->Error(DB_E_ERRORSINCOMMAND, L"A transaction is already active.");
        return pError->hr;
    }
    if (!OdbcOk(SQLSetConnectAttr(m_pSession->Dbc(), SQL_ATTR_AUTOCOMMIT,
                                  reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        *pError = m_pSession->Error(SQL_HANDLE_DBC, m_pSession->Dbc(), EOdbcFailure::kStatement);
        return pError->hr;
    }
    m_pSession->m_bInTransaction = true;
    return S_OK;
}

HRESULT COdbcProvider::EndTrans(SQLSMALLINT nCompletion, CAdoError* pError) {
    if (!m_pSession->m_bInTransaction) {
        *pError = m_pSession->Error(XACT_E_NOTRANSACTION, L"No transaction is active.");
        return pError->hr;
    }
    SQLHDBC hDbc = m_pSession->Dbc();
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, hDbc, nCompletion);
    CAdoError error;
    if (!OdbcOk(rc))
        error = m_pSession->Error(SQL_HANDLE_DBC, hDbc, EOdbcFailure::kStatement);
    // Whatever the outcome, the connection goes back to committing each statement.
    m_pSession->m_bInTransaction = false;
    SQLSetConnectAttr(hDbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
    if (!OdbcOk(rc)) {
        *pError = error;
        return pError->hr;
    }
    return S_OK;
}

HRESULT COdbcProvider::CommitTrans(CAdoError* pError) {
    return EndTrans(SQL_COMMIT, pError);
}

HRESULT COdbcProvider::RollbackTrans(CAdoError* pError) {
    return EndTrans(SQL_ROLLBACK, pError);
}
