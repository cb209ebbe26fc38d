// A failed statement's error as SQL Server gives it: a violated constraint named, with the
// statement's verb and the tables involved; a broken foreign key found by running the
// statement again with the check deferred, then undoing it.
#include <cstdlib>
#include <set>

#include "platform/ado/sqlite/SqlServerViolations.h"
#include "platform/ado/sqlite/SqliteProvider.h"
#include "platform/win/TextEncoding.h"

namespace {

// What a statement changes: its verb and its table.
struct CTarget {
    SqlVerb nVerb = SqlVerb::kInsert;
    std::wstring strTable;
};

CTarget TargetOf(const char* pszSql) {
    CTarget target;
    CSqlTokens t;
    if (pszSql == nullptr || !SqlTokenize(WinUtf8ToWide(pszSql), &t))
        return target;
    CSqlCursor c(t, 0, t.size());
    int nDepth = 0;
    for (; !c.AtEnd(); c.Advance()) {
        if (c.IsPunct(L"("))
            ++nDepth;
        else if (c.IsPunct(L")"))
            --nDepth;
        else if (nDepth == 0 && SqlIsOneOf(c.Peek(), {L"INSERT", L"REPLACE", L"UPDATE", L"DELETE"}))
            break;
    }
    if (c.AtEnd())
        return target;
    target.nVerb = c.IsWord(L"UPDATE")   ? SqlVerb::kUpdate
                   : c.IsWord(L"DELETE") ? SqlVerb::kDelete
                                         : SqlVerb::kInsert;
    c.Advance();
    if (c.Accept(L"OR"))
        c.Advance();
    c.Accept(L"INTO") || c.Accept(L"FROM");
    while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
        target.strTable = SqlNameOf(c.Peek());
        c.Advance();
        if (!c.AcceptPunct(L"."))
            break;
    }
    return target;
}

std::wstring Text(sqlite3_stmt* p, int n) {
    const unsigned char* psz = sqlite3_column_text(p, n);
    return psz ? WinUtf8ToWide(reinterpret_cast<const char*>(psz)) : std::wstring();
}

// The rows that break a foreign key now: "table|rowid|fkid".
std::set<std::wstring> Broken(sqlite3* pDb) {
    std::set<std::wstring> rows;
    sqlite3_stmt* p = nullptr;
    if (sqlite3_prepare_v2(pDb, "PRAGMA foreign_key_check", -1, &p, nullptr) == SQLITE_OK)
        while (sqlite3_step(p) == SQLITE_ROW)
            rows.insert(Text(p, 0) + L"|" + Text(p, 1) + L"|" + Text(p, 3));
    sqlite3_finalize(p);
    return rows;
}

} // namespace

bool CSqliteProvider::FindBrokenForeignKey(sqlite3_stmt* pStmt, CSqlForeignKeyFailure* pOut) {
    std::set<std::wstring> before = Broken(m_pDb);
    // The connection's own setting comes back afterwards.
    bool bDeferred = false;
    sqlite3_stmt* pSetting = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "PRAGMA defer_foreign_keys", -1, &pSetting, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(pSetting) == SQLITE_ROW)
        bDeferred = sqlite3_column_int(pSetting, 0) != 0;
    sqlite3_finalize(pSetting);
    if (sqlite3_exec(m_pDb, "SAVEPOINT zqk_probe; PRAGMA defer_foreign_keys = ON", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        return false;
    sqlite3_reset(pStmt);
    int rc = sqlite3_step(pStmt);
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(pStmt);
    std::set<std::wstring> after = rc == SQLITE_DONE ? Broken(m_pDb) : before;
    sqlite3_reset(pStmt);
    sqlite3_exec(m_pDb,
                 bDeferred ? "ROLLBACK TO zqk_probe; RELEASE zqk_probe"
                           : "PRAGMA defer_foreign_keys = OFF; ROLLBACK TO zqk_probe; RELEASE "
                             "zqk_probe",
                 nullptr, nullptr, nullptr);
    for (const std::wstring& row : after) {
        if (before.count(row))
            continue;
        size_t nBar = row.find(L'|'), nLast = row.rfind(L'|');
        pOut->strTable = row.substr(0, nBar);
        std::string id = WinWideToUtf8(row.substr(nLast + 1));
        sqlite3_stmt* p = nullptr;
        if (sqlite3_prepare_v2(m_pDb,
                               "SELECT \"table\", \"from\" FROM pragma_foreign_key_list(?1) "
                               "WHERE id = ?2 ORDER BY seq",
                               -1, &p, nullptr) == SQLITE_OK) {
            std::string table = WinWideToUtf8(pOut->strTable);
            sqlite3_bind_text(p, 1, table.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(p, 2, atoi(id.c_str()));
            while (sqlite3_step(p) == SQLITE_ROW) {
                pOut->strParent = Text(p, 0);
                pOut->columns.push_back(Text(p, 1));
            }
        }
        sqlite3_finalize(p);
        return !pOut->columns.empty();
    }
    return false;
}

CAdoError CSqliteProvider::StatementError(int rc, sqlite3_stmt* pStmt) {
    CAdoError error = Error(rc);
    if ((rc & 0xFF) != SQLITE_CONSTRAINT || pStmt == nullptr)
        return error;
    std::wstring message = WinUtf8ToWide(sqlite3_errmsg(m_pDb));
    const char* pszSql = sqlite3_sql(pStmt);
    CTarget target = TargetOf(pszSql);
    CSqlForeignKeyFailure foreign;
    bool bForeign = rc == SQLITE_CONSTRAINT_FOREIGNKEY && FindBrokenForeignKey(pStmt, &foreign);
    foreign.bReferenced = target.nVerb == SqlVerb::kDelete ||
                          wcscasecmp(target.strTable.c_str(), foreign.strTable.c_str()) != 0;
    // The values bound for the batch's variables show in the text as SQL Server shows them.
    char* pszExpanded = sqlite3_expanded_sql(pStmt);
    std::wstring statement = WinUtf8ToWide(pszExpanded ? pszExpanded : pszSql ? pszSql : "");
    sqlite3_free(pszExpanded);
    CSqlViolation v;
    if (!SqlServerViolation(m_pDb, rc, message, statement, target.nVerb, m_strCatalog,
                            bForeign ? &foreign : nullptr, &v))
        return error;
    return CAdoError::Make(DB_E_INTEGRITYVIOLATION, v.strText, error.strSource, v.nNumber);
}
