// Running a batch of SQL Server's statements on the embedded database: statement by
// statement, each translated just before it runs, with IF and ELSE taken as the conditions
// say; and what the bridge asks of the database while it translates.
#include <strings.h>
#include <cwctype>

#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqlServerCompileErrors.h"
#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/ado/sqlite/SqliteCursor.h"
#include "platform/ado/sqlite/SqliteProvider.h"
#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kRowsNotLast[] = L"Only the last statement of a batch may return rows.";

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

std::wstring Text(sqlite3_stmt* p, int n) {
    const unsigned char* psz = sqlite3_column_text(p, n);
    return psz ? WinUtf8ToWide(reinterpret_cast<const char*>(psz)) : std::wstring();
}

bool IsAlter(const char* pszSql) {
    while (isspace(static_cast<unsigned char>(*pszSql)))
        ++pszSql;
    return strncasecmp(pszSql, "ALTER", 5) == 0 && !isalnum(static_cast<unsigned char>(pszSql[5]));
}

} // namespace

HRESULT CSqliteProvider::Execute(const std::wstring& strText, std::unique_ptr<CAdoCursor>* ppCursor,
                                 LONG* pnAffected, CAdoError* pError) {
    ppCursor->reset();
    *pnAffected = 0;
    CSqlBatch batch;
    CSqlBridgeError refusal;
    if (!m_pBridge->Split(strText, &batch, &refusal)) {
        *pError = Refused(refusal);
        return pError->hr;
    }
    const std::vector<CSqlStep>& steps = batch.steps;
    struct CSourceReset {
        std::wstring_view& r;
        ~CSourceReset() { r = std::wstring_view(); }
    } sourceReset{m_source};
    // Whether nothing runs after a step: only jumps to the end follow it.
    auto isLast = [&](size_t n) {
        size_t k = n + 1;
        while (k < steps.size() && steps[k].nKind == CSqlStep::kJump && steps[k].nTarget > k)
            k = steps[k].nTarget;
        return k >= steps.size();
    };
    sqlite3_int64 nChanged = 0;
    CSqlBatchVariables variables; // a batch's variables live as long as the batch
    CAdoError first;              // the first error that ended only its statement
    // A step failed: true when the batch goes on with the next one, as after SQL Server's
    // statement-terminating errors; otherwise the batch ends with the first error.
    auto failed = [&](const CAdoError& e, SqlErrorOrigin nOrigin) {
        m_session.nError = e.nNativeError;
        m_session.nRowCount = 0;
        // Every constraint violation ends only its statement, also one SQLite words. A value
        // the bridge converts while it translates fails as it would at run time.
        SqlErrorReach nReach = e.hr == DB_E_INTEGRITYVIOLATION
                                   ? SqlErrorReach::kStatement
                                   : SqlServerErrorReach(e.nNativeError);
        bool bRunTime = nOrigin == SqlErrorOrigin::kRun || nReach != SqlErrorReach::kBatch;
        if ((bRunTime && m_bXactAbort) || nReach == SqlErrorReach::kTransaction)
            RollbackOpenTransaction();
        if (nReach == SqlErrorReach::kStatement && !m_bXactAbort) {
            if (SUCCEEDED(first.hr))
                first = e;
            return true;
        }
        *pError = FAILED(first.hr) ? first : e;
        return false;
    };
    for (size_t pc = 0; pc < steps.size();) {
        const CSqlStep& step = steps[pc];
        if (step.nKind == CSqlStep::kJump) {
            pc = step.nTarget;
            continue;
        }
        size_t nFrom =
            step.nBegin < batch.tokens.size() ? batch.tokens[step.nBegin].nOffset : strText.size();
        size_t nTo =
            step.nEnd < batch.tokens.size() ? batch.tokens[step.nEnd].nOffset : strText.size();
        m_source = std::wstring_view(strText).substr(nFrom, nTo > nFrom ? nTo - nFrom : 0);
        CSqlTranslation t;
        if (!m_pBridge->TranslateStep(batch, step, &t, &refusal)) {
            ++pc;
            if (failed(Refused(refusal), SqlErrorOrigin::kCompile))
                continue;
            return pError->hr;
        }
        if (t.bTestOnly) {
            CSqlitePrepared test;
            CAdoError e;
            int rc = SQLITE_ERROR;
            if (SUCCEEDED(Prepare(WinWideToUtf8(t.statements[0]).c_str(), variables, &test.m_p,
                                  nullptr, &e)))
                rc = sqlite3_step(test.m_p);
            if (rc != SQLITE_ROW) {
                // A condition that fails counts as false.
                if (failed(test.m_p ? Error(rc) : e, SqlErrorOrigin::kRun)) {
                    pc = step.nTarget;
                    continue;
                }
                return pError->hr;
            }
            pc = sqlite3_column_int(test.m_p, 0) ? pc + 1 : step.nTarget;
            m_session.nError = 0;
            continue;
        }
        std::wstring key = Lower(t.strSchema + L"." + t.strTable);
        if (t.nAction == CSqlTranslation::kIdentityInsertOn)
            m_session.identityInsert.insert(key);
        else if (t.nAction == CSqlTranslation::kIdentityInsertOff)
            m_session.identityInsert.erase(key);
        else if (t.nAction == CSqlTranslation::kXactAbortOn ||
                 t.nAction == CSqlTranslation::kXactAbortOff)
            m_bXactAbort = t.nAction == CSqlTranslation::kXactAbortOn;
        CAdoError e;
        sqlite3_int64 nStatement = 0;
        HRESULT hr = S_OK;
        if (t.nAction == CSqlTranslation::kDeclare || t.nAction == CSqlTranslation::kAssign)
            hr = RunAssignment(t, variables, &e);
        else if (t.nAction >= CSqlTranslation::kBeginTran &&
                 t.nAction <= CSqlTranslation::kSaveTran)
            hr = RunTransaction(t, &e);
        else
            hr = RunTranslation(t, isLast(pc), variables, ppCursor, &nStatement, &e);
        ++pc;
        if (FAILED(hr)) {
            if (failed(e, SqlErrorOrigin::kRun))
                continue;
            return pError->hr;
        }
        if (*ppCursor) {
            // The rows are read later: @@ERROR in them is still the previous statement's.
            if (SUCCEEDED(first.hr))
                return S_OK;
            ppCursor->reset(); // the batch's error is what the caller gets
            break;
        }
        m_session.nError = 0;
        nChanged += nStatement;
        if (t.bIdentityTarget && nStatement > 0) {
            m_session.bIdentity = m_session.bScopeIdentity = true;
            m_session.nIdentity = m_session.nScopeIdentity = sqlite3_last_insert_rowid(m_pDb);
        }
    }
    if (FAILED(first.hr)) {
        *pError = first;
        return pError->hr;
    }
    *pnAffected = static_cast<LONG>(nChanged);
    return S_OK;
}

void CSqliteProvider::RollbackOpenTransaction() {
    m_session.nTranCount = 0;
    m_session.savepoints.clear();
    if (!sqlite3_get_autocommit(m_pDb))
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
}

HRESULT CSqliteProvider::Prepare(const char* pszSql, const CSqlBatchVariables& variables,
                                 sqlite3_stmt** ppStmt, const char** ppszTail, CAdoError* pError) {
    int rc = sqlite3_prepare_v2(m_pDb, pszSql, -1, ppStmt, ppszTail);
    if (rc != SQLITE_OK) {
        *pError = Error(rc);
        return pError->hr;
    }
    std::wstring problem;
    if (*ppStmt && !variables.Bind(*ppStmt, &problem)) {
        *pError = Error(DB_E_ERRORSINCOMMAND, problem);
        return pError->hr;
    }
    return S_OK;
}

HRESULT CSqliteProvider::RunAssignment(const CSqlTranslation& t, CSqlBatchVariables& variables,
                                       CAdoError* pError) {
    size_t nNext = 0; // the statement that gives the next value
    auto fail = [&](int rc) {
        *pError = Error(rc);
        return pError->hr;
    };
    for (const CSqlVariable& v : t.variables) {
        if (t.nAction == CSqlTranslation::kDeclare) {
            variables.Declare(v.strName, v.strType);
            if (!v.bInitialised)
                continue;
        } else if (&v != &t.variables.front()) {
            break; // an assignment's one query gives all its values
        }
        CSqlitePrepared stmt;
        if (FAILED(Prepare(WinWideToUtf8(t.statements[nNext++]).c_str(), variables, &stmt.m_p,
                           nullptr, pError)))
            return pError->hr;
        // SELECT @a = x FROM ... keeps the last row's values; no row keeps the old ones.
        sqlite3_int64 nRows = 0;
        int rc;
        while ((rc = sqlite3_step(stmt.m_p)) == SQLITE_ROW) {
            ++nRows;
            size_t nFirst = t.nAction == CSqlTranslation::kDeclare ? &v - &t.variables[0] : 0;
            size_t nCount = t.nAction == CSqlTranslation::kDeclare ? 1 : t.variables.size();
            for (size_t k = 0; k < nCount; ++k) {
                std::wstring problem;
                if (!variables.Assign(t.variables[nFirst + k].strName, stmt.m_p,
                                      static_cast<int>(k), &problem)) {
                    *pError = Error(DB_E_ERRORSINCOMMAND, problem);
                    return pError->hr;
                }
            }
        }
        if (rc != SQLITE_DONE)
            return fail(rc);
        if (t.nAction == CSqlTranslation::kAssign)
            m_session.nRowCount = nRows;
    }
    return S_OK;
}

HRESULT CSqliteProvider::RunTransaction(const CSqlTranslation& t, CAdoError* pError) {
    bool bOpen = !sqlite3_get_autocommit(m_pDb);
    int& n = m_session.nTranCount;
    switch (t.nAction) {
    case CSqlTranslation::kBeginTran:
        if (!bOpen) {
            n = 1;
            return RunSimple("BEGIN", pError);
        }
        n = (n > 0 ? n : 1) + 1;
        return S_OK;
    case CSqlTranslation::kCommitTran:
        if (!bOpen) {
            *pError = Error(DB_E_ERRORSINCOMMAND, L"The COMMIT TRANSACTION request has no "
                                                  L"corresponding BEGIN TRANSACTION.");
            return pError->hr;
        }
        if (n > 1) {
            --n;
            return S_OK;
        }
        n = 0;
        m_session.savepoints.clear();
        return RunSimple("COMMIT", pError);
    case CSqlTranslation::kSaveTran:
        if (!bOpen) {
            *pError = Error(DB_E_ERRORSINCOMMAND,
                            L"Cannot issue SAVE TRANSACTION when there is no active transaction.");
            return pError->hr;
        }
        m_session.savepoints.insert(Lower(t.strTable));
        return RunSimple(("SAVEPOINT " + SqliteQuoteName(t.strTable)).c_str(), pError);
    default: // ROLLBACK [name]: to a savepoint, or the whole transaction
        if (!t.strTable.empty() && m_session.savepoints.count(Lower(t.strTable)))
            return RunSimple(("ROLLBACK TO " + SqliteQuoteName(t.strTable)).c_str(), pError);
        if (!bOpen) {
            *pError = Error(DB_E_ERRORSINCOMMAND, L"The ROLLBACK TRANSACTION request has no "
                                                  L"corresponding BEGIN TRANSACTION.");
            return pError->hr;
        }
        n = 0;
        m_session.savepoints.clear();
        return RunSimple("ROLLBACK", pError);
    }
}

HRESULT CSqliteProvider::RunTranslation(const CSqlTranslation& t, bool bMayReturnRows,
                                        CSqlBatchVariables& variables,
                                        std::unique_ptr<CAdoCursor>* ppCursor,
                                        sqlite3_int64* pnChanged, CAdoError* pError) {
    // The checks refuse the statement before anything changes.
    for (const std::wstring& check : t.checks) {
        CSqlitePrepared stmt;
        if (FAILED(Prepare(WinWideToUtf8(check).c_str(), variables, &stmt.m_p, nullptr, pError)))
            return pError->hr;
        int rc = SQLITE_OK;
        while (rc == SQLITE_OK || rc == SQLITE_ROW)
            rc = sqlite3_step(stmt.m_p);
        if (rc != SQLITE_DONE) {
            *pError = Error(rc);
            return pError->hr;
        }
    }
    // Statements that make up one of SQL Server's succeed or fail together; a rebuilt table
    // is dropped while others still refer to it, which foreign keys must not see.
    bool bAtomic = t.bAtomic && t.statements.size() > 1;
    if (t.bForeignKeysOff)
        RunSimple("PRAGMA foreign_keys = OFF", pError);
    if (bAtomic && FAILED(RunSimple("SAVEPOINT zqk_statement", pError)))
        return pError->hr;
    auto fail = [&](const CAdoError& e) {
        *pError = e;
        if (bAtomic) {
            sqlite3_exec(m_pDb, "ROLLBACK TO zqk_statement; RELEASE zqk_statement", nullptr,
                         nullptr, nullptr);
        }
        if (t.bForeignKeysOff)
            sqlite3_exec(m_pDb, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        return pError->hr;
    };
    for (size_t i = 0; i < t.statements.size(); ++i) {
        std::string sql = WinWideToUtf8(t.statements[i]);
        // A query that was run before as the whole statement may still have its statement,
        // kept by its shape: a lookup by another key is the same query.
        bool bWhole = bMayReturnRows && !bAtomic && t.statements.size() == 1;
        if (bWhole && t.checks.empty()) {
            const CSqliteQueryShape* pShape = m_shaper.Shape(sql);
            if (pShape
                    ? ReuseStatement(pShape->strSql, pShape->literals, t.resultTypes, ppCursor) ||
                          RunShape(*pShape, t.resultTypes, ppCursor)
                    : ReuseStatement(sql, {}, t.resultTypes, ppCursor))
                return S_OK;
        }
        const char* pszNext = sql.c_str();
        while (pszNext && *pszNext) {
            CSqlitePrepared stmt;
            const char* pszTail = nullptr;
            const char* pszThis = pszNext;
            CAdoError e;
            if (FAILED(Prepare(pszNext, variables, &stmt.m_p, &pszTail, &e)))
                return fail(e);
            int rc = SQLITE_OK;
            if (stmt.m_p == nullptr)
                break; // blanks and comments only
            pszNext = pszTail;
            while (*pszNext && (isspace(static_cast<unsigned char>(*pszNext)) || *pszNext == ';'))
                ++pszNext;
            // SQLite's ALTER TABLE ... ADD of a column with a CHECK names the columns of the
            // check it runs over the table's rows; it returns none.
            if (sqlite3_column_count(stmt.m_p) > 0 && !IsAlter(pszThis)) {
                if (!bMayReturnRows || *pszNext || i + 1 < t.statements.size() || bAtomic)
                    return fail(Error(DB_E_ERRORSINCOMMAND, kRowsNotLast));
                // Only a query that is the whole text, with nothing bound, is kept for reuse.
                bool bKeep = bWhole && pszThis == sql.c_str() &&
                             sqlite3_bind_parameter_count(stmt.m_p) == 0 &&
                             CSqliteStatementCache::Suits(sql, stmt.m_p);
                *ppCursor = std::make_unique<CSqliteCursor>(
                    *this, stmt.Release(), bKeep ? sql : std::string(), -1, t.resultTypes);
                return S_OK;
            }
            sqlite3_int64 nTotalBefore = sqlite3_total_changes64(m_pDb);
            rc = sqlite3_step(stmt.m_p);
            while (rc == SQLITE_ROW)
                rc = sqlite3_step(stmt.m_p);
            if (rc != SQLITE_DONE)
                return fail(StatementError(rc, stmt.m_p));
            // Only the statement's own rows count, not those its triggers and cascades change;
            // sqlite3_changes64 keeps its old value across statements that change no rows.
            sqlite3_int64 n =
                sqlite3_total_changes64(m_pDb) != nTotalBefore ? sqlite3_changes64(m_pDb) : 0;
            if (i == t.nCountedStatement)
                *pnChanged += n;
            m_session.nRowCount = n;
        }
    }
    if (bAtomic && FAILED(RunSimple("RELEASE zqk_statement", pError)))
        return fail(*pError);
    if (t.bForeignKeysOff && FAILED(RunSimple("PRAGMA foreign_keys = ON", pError)))
        return pError->hr;
    return S_OK;
}

bool CSqliteProvider::RunShape(const CSqliteQueryShape& shape,
                               const std::vector<CSqlNumericType>& resultTypes,
                               std::unique_ptr<CAdoCursor>* ppCursor) {
    CSqlitePrepared stmt;
    const char* pszTail = nullptr;
    if (sqlite3_prepare_v2(m_pDb, shape.strSql.c_str(), static_cast<int>(shape.strSql.size()),
                           &stmt.m_p, &pszTail) != SQLITE_OK ||
        stmt.m_p == nullptr)
        return false;
    // Anything but one query that reads, its parameters all the shape's, runs as written: so
    // do the failures, with their texts.
    while (*pszTail && (isspace(static_cast<unsigned char>(*pszTail)) || *pszTail == ';'))
        ++pszTail;
    if (*pszTail || sqlite3_column_count(stmt.m_p) == 0 ||
        sqlite3_bind_parameter_count(stmt.m_p) != static_cast<int>(shape.literals.size()) ||
        !CSqliteStatementCache::Suits(shape.strSql, stmt.m_p) ||
        SqliteBindLiterals(stmt.m_p, shape.literals) != SQLITE_OK)
        return false;
    *ppCursor =
        std::make_unique<CSqliteCursor>(*this, stmt.Release(), shape.strSql, -1, resultTypes);
    return true;
}

HRESULT CSqliteProvider::ResolveTable(const std::wstring& strTable, std::wstring* pstrSchema,
                                      std::wstring* pstrName, CAdoError* pError) {
    // The name as SQL Server reads it (dbo.T, db.dbo.T, [T], #t); a text that is no name is
    // taken as a table's whole name.
    CSqlTokens tokens;
    CSqlObjectName name;
    name.strSchema = L"main";
    name.strName = strTable;
    size_t nNext = 0;
    CSqlBridgeError e;
    if (SqlTokenize(strTable, &tokens)) {
        CSqlRewriter rewriter(*this, tokens);
        size_t nFirst = 0;
        while (nFirst < tokens.size() && SqlIsBlank(tokens[nFirst]))
            ++nFirst;
        CSqlObjectName parsed;
        if (nFirst < tokens.size() && SqlIsNamePart(tokens[nFirst]) &&
            rewriter.ObjectName(nFirst, tokens.size(), &parsed, &nNext, &e)) {
            while (nNext < tokens.size() && SqlIsBlank(tokens[nNext]))
                ++nNext;
            if (nNext == tokens.size())
                name = parsed;
        } else if (e.bUnknownDatabase) {
            *pError = Error(DB_E_NOTABLE, e.strText);
            return pError->hr;
        }
    }
    std::wstring strStored, strSql;
    if (!TableSql(name.strSchema, name.strName, &strStored, &strSql)) {
        CSqlViolation missing;
        SqlServerCompileError(L"no such table: " + name.strName, strTable, &missing);
        *pError = Error(DB_E_NOTABLE, missing.strText);
        return pError->hr;
    }
    *pstrSchema = name.strSchema;
    *pstrName = strStored;
    return S_OK;
}

bool CSqliteProvider::AttachedCatalog(const std::wstring& strSchema, std::wstring* pstrPrefix) {
    return SqlServerEnsureAttachedCatalog(m_pDb, strSchema, pstrPrefix);
}

namespace {

// One of the provider's own catalogue queries, kept prepared between translations (every
// statement that names a table asks for its definition): taken from the provider's kept
// statements or prepared, and given back reset when done.
class CCatalogQuery {
public:
    CCatalogQuery(CSqliteProvider& provider, sqlite3* pDb, std::string strSql, sqlite3_stmt* pKept)
        : m_provider(provider), m_strSql(std::move(strSql)), m_p(pKept) {
        if (m_p == nullptr &&
            sqlite3_prepare_v2(pDb, m_strSql.c_str(), -1, &m_p, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_p);
            m_p = nullptr;
        }
    }
    ~CCatalogQuery() {
        if (m_p == nullptr)
            return;
        sqlite3_reset(m_p);
        sqlite3_clear_bindings(m_p);
        m_provider.KeepStatement(m_strSql, m_p);
    }
    CCatalogQuery(const CCatalogQuery&) = delete;
    CCatalogQuery& operator=(const CCatalogQuery&) = delete;
    sqlite3_stmt* Get() const { return m_p; }

private:
    CSqliteProvider& m_provider;
    std::string m_strSql;
    sqlite3_stmt* m_p;
};

} // namespace

bool CSqliteProvider::TableSqlUtf8(const std::wstring& strSchema, const std::wstring& strTable,
                                   std::string* pstrName, std::string* pstrSql) {
    std::string sql = "SELECT name, sql FROM " + SqliteQuoteName(strSchema) +
                      ".sqlite_schema WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE";
    CCatalogQuery stmt(*this, m_pDb, sql, m_statements.Take(sql));
    if (stmt.Get() == nullptr)
        return false;
    std::string name = WinWideToUtf8(strTable);
    sqlite3_bind_text(stmt.Get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt.Get()) != SQLITE_ROW)
        return false;
    auto bytes = [&](int nColumn, std::string* pOut) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt.Get(), nColumn));
        pOut->assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt.Get(), nColumn)));
    };
    bytes(0, pstrName);
    bytes(1, pstrSql);
    return true;
}

std::vector<std::wstring> CSqliteProvider::TableDependents(const std::wstring& strSchema,
                                                           const std::wstring& strTable) {
    std::vector<std::wstring> dependents;
    std::string sql = "SELECT sql FROM " + SqliteQuoteName(strSchema) +
                      ".sqlite_schema WHERE type IN ('index','trigger') AND sql IS NOT NULL AND "
                      "tbl_name = ?1 COLLATE NOCASE ORDER BY type, rowid";
    CCatalogQuery stmt(*this, m_pDb, sql, m_statements.Take(sql));
    if (stmt.Get() == nullptr)
        return dependents;
    std::string name = WinWideToUtf8(strTable);
    sqlite3_bind_text(stmt.Get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(stmt.Get()) == SQLITE_ROW)
        dependents.push_back(Text(stmt.Get(), 0));
    return dependents;
}

bool CSqliteProvider::IdentityInsert(const std::wstring& strSchema, const std::wstring& strTable) {
    return m_session.identityInsert.count(Lower(strSchema + L"." + strTable)) > 0;
}
