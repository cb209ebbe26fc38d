#include "platform/ado/sqlite/SqliteProvider.h"
#include "platform/ado/sqlite/SqlServerCompileErrors.h"

#include <cerrno>
#include <chrono>
#include <cwctype>
#include <thread>

#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/ado/sqlite/SqlServerTable.h"
#include "platform/ado/sqlite/SqlTokens.h"
#include "platform/ado/sqlite/SqliteCursor.h"
#include "platform/ado/sqlite/SqliteTypes.h"
#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kSource[] = L"SQLite";
// How long a statement waits for a database another connection has locked.
const int kBusyTimeoutMs = 5000;

// Waits for a lock held by another connection in steps of a millisecond, up to kBusyTimeoutMs
// from the first refusal. SQLite's own timeout backs off to sleeps of 100 ms, and under steady
// writing a waiter that looks so seldom finds the lock taken again each time until it gives
// up, while the other connections go on writing.
int WaitWhileBusy(void* pStart, int nAttempt) {
    auto& start = *static_cast<std::chrono::steady_clock::time_point*>(pStart);
    auto now = std::chrono::steady_clock::now();
    if (nAttempt == 0)
        start = now;
    else if (now - start >= std::chrono::milliseconds(kBusyTimeoutMs))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

// The database name SQL uses by default: the file name without folder and extension.
std::wstring DefaultCatalog(const std::wstring& strPath) {
    if (strPath.empty() || strPath == L":memory:")
        return L"main";
    size_t nSlash = strPath.find_last_of(L"/\\");
    std::wstring strName = nSlash == std::wstring::npos ? strPath : strPath.substr(nSlash + 1);
    size_t nDot = strName.rfind(L'.');
    if (nDot != std::wstring::npos && nDot > 0)
        strName.resize(nDot);
    return strName.empty() ? L"main" : strName;
}

VARIANT Text(const std::wstring& s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return v;
}

VARIANT Null() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_NULL;
    return v;
}

} // namespace

std::string SqliteQuoteName(const std::wstring& strName) {
    return SqlQuote(WinWideToUtf8(strName), '"');
}

CSqliteProvider::~CSqliteProvider() {
    Close();
}

CAdoError CSqliteProvider::Error(HRESULT hr, const std::wstring& strDescription) const {
    return CAdoError::Make(hr, strDescription, kSource, SqlServerNumberOf(strDescription));
}

CAdoError CSqliteProvider::Error(int rc) const {
    HRESULT hr = (rc & 0xFF) == SQLITE_CONSTRAINT ? DB_E_INTEGRITYVIOLATION : DB_E_ERRORSINCOMMAND;
    const char* pszMessage = m_pDb ? sqlite3_errmsg(m_pDb) : sqlite3_errstr(rc);
    std::wstring strMessage = WinUtf8ToWide(pszMessage ? pszMessage : "");
    // The rules the bridge wrote into tables fail with SQL Server's own messages.
    long nNative = 0;
    std::wstring server = SqlRuleMessage(strMessage, &nNative);
    if (!server.empty())
        return CAdoError::Make(DB_E_ERRORSINCOMMAND, server, kSource, nNative);
    // The functions raise SQL Server's own texts, which carry SQL Server's numbers.
    nNative = SqlServerNumberOf(strMessage);
    if (nNative != 0)
        return CAdoError::Make(hr, strMessage, kSource, nNative);
    CSqlViolation compile;
    if (hr == DB_E_ERRORSINCOMMAND &&
        SqlServerCompileError(strMessage, std::wstring(m_source), &compile))
        return CAdoError::Make(hr, compile.strText, kSource, compile.nNumber);
    // The database's own words for a lock or a full disk do not tell a host what happened.
    int nErrno = m_pDb ? sqlite3_system_errno(m_pDb) : 0;
    if ((rc & 0xFF) == SQLITE_BUSY) {
        hr = DB_E_ABORTLIMITREACHED; // a lock wait that timed out, as a query timeout
        strMessage = L"The database file is locked by another connection, which did not release "
                     L"it within " +
                     std::to_wstring(kBusyTimeoutMs / 1000) + L" seconds (" + strMessage + L").";
    } else if ((rc & 0xFF) == SQLITE_FULL || rc == SQLITE_IOERR_WRITE ||
               ((rc & 0xFF) == SQLITE_IOERR &&
                (nErrno == ENOSPC || nErrno == EFBIG || nErrno == EDQUOT))) {
        // A write cut short by the size limit comes back as a plain write error, its cause lost.
        strMessage = L"The database file could not be written: the disk may be full or the file "
                     L"at its size limit (" +
                     strMessage + L").";
    }
    return CAdoError::Make(hr, strMessage, kSource, rc);
}

CAdoError CSqliteProvider::Refused(const CSqlBridgeError& e) const {
    return CAdoError::Make(DB_E_ERRORSINCOMMAND, e.strText, kSource, e.nNumber);
}

HRESULT CSqliteProvider::Open(const std::map<std::wstring, std::wstring>& pairs,
                              ConnectModeEnum nMode, CAdoError* pError) {
    Close();
    auto itSource = pairs.find(L"data source");
    if (itSource == pairs.end() || itSource->second.empty()) {
        *pError = Error(E_FAIL, L"The connection string names no Data Source.");
        return pError->hr;
    }
    const std::wstring& strPath = itSource->second;
    int nFlags = (nMode & adModeReadWrite) == adModeRead
                     ? SQLITE_OPEN_READONLY
                     : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    nFlags |= SQLITE_OPEN_NOMUTEX;
    sqlite3* pDb = nullptr;
    int rc = sqlite3_open_v2(WinWideToUtf8(strPath).c_str(), &pDb, nFlags, nullptr);
    if (rc != SQLITE_OK) {
        const char* pszMessage = pDb ? sqlite3_errmsg(pDb) : sqlite3_errstr(rc);
        *pError = CAdoError::Make(E_FAIL, WinUtf8ToWide(pszMessage ? pszMessage : ""), kSource, rc);
        sqlite3_close(pDb);
        return E_FAIL;
    }
    sqlite3_extended_result_codes(pDb, 1);
    sqlite3_busy_handler(pDb, WaitWhileBusy, &m_busySince);
    auto itCatalog = pairs.find(L"initial catalog");
    m_strCatalog = itCatalog != pairs.end() && !itCatalog->second.empty() ? itCatalog->second
                                                                          : DefaultCatalog(strPath);
    m_session = CSqlSession();
    m_bXactAbort = false;
    // SQL Server always enforces foreign keys; its collations compare text.
    SqlRegisterCollations(pDb);
    rc = SqlRegisterFunctions(pDb, &m_session);
    if (rc == SQLITE_OK)
        rc = SqlServerCreateCatalog(pDb, m_strCatalog);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(pDb, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        *pError = CAdoError::Make(E_FAIL, WinUtf8ToWide(sqlite3_errmsg(pDb)), kSource, rc);
        sqlite3_close(pDb);
        return E_FAIL;
    }
    m_pDb = pDb;
    m_pBridge = std::make_unique<CSqlServerBridge>(static_cast<CSqlServerSchema&>(*this));
    return S_OK;
}

CSqlDatabaseRef CSqliteProvider::ResolveDatabase(const std::wstring& strDatabase) {
    CSqlDatabaseRef ref;
    if (Lower(strDatabase) == Lower(m_strCatalog)) {
        ref.nKind = CSqlDatabaseRef::kMain;
        return ref;
    }
    if (Lower(strDatabase) == L"tempdb") { // where #temp tables live
        ref.nKind = CSqlDatabaseRef::kAttached;
        ref.strSchema = L"temp";
        return ref;
    }
    // An attached database by its schema name.
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(
            m_pDb, "SELECT name FROM pragma_database_list WHERE name NOT IN ('main','temp')", -1,
            &pStmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(pStmt) == SQLITE_ROW) {
            std::wstring name =
                WinUtf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(pStmt, 0)));
            if (Lower(name) == Lower(strDatabase)) {
                ref.nKind = CSqlDatabaseRef::kAttached;
                ref.strSchema = name;
                break;
            }
        }
    }
    sqlite3_finalize(pStmt);
    return ref;
}

void CSqliteProvider::Close() {
    m_statements.Clear();
    if (m_pDb)
        sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
    m_pBridge.reset();
}

bool CSqliteProvider::ReuseStatement(const std::string& strSql,
                                     const std::vector<CSqliteLiteral>& literals,
                                     const std::vector<CSqlNumericType>& resultTypes,
                                     std::unique_ptr<CAdoCursor>* ppCursor) {
    sqlite3_stmt* pStmt = m_statements.Take(strSql);
    if (pStmt == nullptr)
        return false;
    if (SqliteBindLiterals(pStmt, literals) != SQLITE_OK) {
        m_statements.Discard(strSql, pStmt);
        return false;
    }
    // The first step runs here: it prepares the statement again if the schema changed since,
    // and the cursor then describes the columns as they are now.
    int rc = sqlite3_step(pStmt);
    int nPrimary = rc & 0xFF;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && nPrimary != SQLITE_BUSY &&
        nPrimary != SQLITE_LOCKED) {
        // Any other failure (a table gone, say) is met again by a fresh statement, which fails
        // as it always did.
        m_statements.Discard(strSql, pStmt);
        return false;
    }
    // A busy database fails the fresh statement's first step the same way.
    *ppCursor = std::make_unique<CSqliteCursor>(*this, pStmt, strSql, rc, resultTypes);
    return true;
}

void CSqliteProvider::KeepStatement(const std::string& strSql, sqlite3_stmt* pStmt) {
    if (m_pDb)
        m_statements.Give(strSql, pStmt);
    else
        sqlite3_finalize(pStmt);
}

HRESULT CSqliteProvider::OpenTable(const std::wstring& strTable,
                                   std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) {
    ppCursor->reset();
    std::wstring strSchema, strName;
    if (FAILED(ResolveTable(strTable, &strSchema, &strName, pError)))
        return pError->hr;
    CSqlitePrepared stmt;
    std::string sql =
        "SELECT * FROM " + SqliteQuoteName(strSchema) + "." + SqliteQuoteName(strName);
    int rc = sqlite3_prepare_v2(m_pDb, sql.c_str(), -1, &stmt.m_p, nullptr);
    if (rc != SQLITE_OK) {
        *pError = Error(rc);
        return pError->hr;
    }
    *ppCursor = std::make_unique<CSqliteCursor>(*this, stmt.Release());
    return S_OK;
}

HRESULT CSqliteProvider::InsertRow(const std::wstring& strTable,
                                   const std::vector<CAdoColumn>& columns,
                                   const CAdoRowValues& values, CAdoError* pError) {
    std::wstring strSchema, strName;
    if (FAILED(ResolveTable(strTable, &strSchema, &strName, pError)))
        return pError->hr;
    std::string sql = "INSERT INTO " + SqliteQuoteName(strSchema) + "." + SqliteQuoteName(strName);
    if (values.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        std::string names, params;
        for (const auto& v : values) {
            if (!names.empty()) {
                names += ", ";
                params += ", ";
            }
            names += SqliteQuoteName(columns[v.first].strName);
            params += "?";
        }
        sql += " (" + names + ") VALUES (" + params + ")";
    }
    CSqlitePrepared stmt;
    int rc = sqlite3_prepare_v2(m_pDb, sql.c_str(), -1, &stmt.m_p, nullptr);
    if (rc != SQLITE_OK) {
        *pError = Error(rc);
        return pError->hr;
    }
    int nParam = 1;
    for (const auto& v : values) {
        std::wstring inexact;
        if (!SqliteExactValue(columns[v.first], *v.second, &inexact)) {
            *pError = Error(DB_E_ERRORSINCOMMAND, inexact);
            return pError->hr;
        }
        rc = SqliteBindVariant(stmt.m_p, nParam++, *v.second);
        if (rc != SQLITE_OK) {
            *pError = Error(DB_E_ERRORSINCOMMAND, L"A value cannot be stored in column " +
                                                      columns[v.first].strName + L".");
            return pError->hr;
        }
    }
    rc = sqlite3_step(stmt.m_p);
    if (rc != SQLITE_DONE) {
        *pError = StatementError(rc, stmt.m_p);
        return pError->hr;
    }
    return S_OK;
}

HRESULT CSqliteProvider::Tables(const std::vector<std::wstring>& restrictions,
                                std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) {
    auto restriction = [&](size_t i) {
        return i < restrictions.size() ? restrictions[i] : std::wstring();
    };
    std::vector<CAdoColumn> columns;
    for (const wchar_t* pszName :
         {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME", L"TABLE_TYPE", L"DESCRIPTION"})
        columns.push_back({pszName, adVarWChar, 128});
    auto pCursor = std::make_unique<CAdoMemoryCursor>(columns);

    std::wstring strCatalog = restriction(0), strSchema = restriction(1);
    if ((!strCatalog.empty() && Lower(strCatalog) != Lower(m_strCatalog)) || !strSchema.empty()) {
        *ppCursor = std::move(pCursor);
        return S_OK;
    }
    CSqlitePrepared stmt;
    int rc = sqlite3_prepare_v2(
        m_pDb,
        "SELECT name, CASE WHEN name LIKE 'sqlite\\_%' ESCAPE '\\' THEN 'SYSTEM TABLE' "
        "WHEN type = 'view' THEN 'VIEW' ELSE 'TABLE' END AS kind "
        "FROM sqlite_schema WHERE type IN ('table','view') ORDER BY kind, name",
        -1, &stmt.m_p, nullptr);
    if (rc != SQLITE_OK) {
        *pError = Error(rc);
        return pError->hr;
    }
    std::wstring strName = Lower(restriction(2)), strType = restriction(3);
    while ((rc = sqlite3_step(stmt.m_p)) == SQLITE_ROW) {
        std::wstring name =
            WinUtf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(stmt.m_p, 0)));
        std::wstring kind =
            WinUtf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(stmt.m_p, 1)));
        if ((!strName.empty() && Lower(name) != strName) || (!strType.empty() && kind != strType))
            continue;
        pCursor->AddRow({Text(m_strCatalog), Null(), Text(name), Text(kind), Null()});
    }
    if (rc != SQLITE_DONE) {
        *pError = Error(rc);
        return pError->hr;
    }
    *ppCursor = std::move(pCursor);
    return S_OK;
}

HRESULT CSqliteProvider::RunSimple(const char* pszSql, CAdoError* pError) {
    int rc = sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        *pError = Error(rc);
        return pError->hr;
    }
    return S_OK;
}

// Takes the write lock at once, waiting for other writers as any statement does: a deferred
// transaction that reads first would fail without waiting when it later writes.
HRESULT CSqliteProvider::BeginTrans(CAdoError* pError) {
    return RunSimple("BEGIN IMMEDIATE", pError);
}

HRESULT CSqliteProvider::CommitTrans(CAdoError* pError) {
    m_session.nTranCount = 0;
    m_session.savepoints.clear();
    if (sqlite3_get_autocommit(m_pDb)) {
        *pError = Error(XACT_E_NOTRANSACTION, L"cannot commit - no transaction is active");
        return pError->hr;
    }
    return RunSimple("COMMIT", pError);
}

HRESULT CSqliteProvider::RollbackTrans(CAdoError* pError) {
    m_session.nTranCount = 0;
    m_session.savepoints.clear();
    if (sqlite3_get_autocommit(m_pDb)) {
        *pError = Error(XACT_E_NOTRANSACTION, L"cannot rollback - no transaction is active");
        return pError->hr;
    }
    return RunSimple("ROLLBACK", pError);
}
