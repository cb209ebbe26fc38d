#include "platform/ado/sqlite/SqliteStatementCache.h"

#include <strings.h>

#include <functional>

namespace {

// Texts longer than this are run without keeping their statement.
const size_t kMaxKeptText = 4096;

size_t HashOf(const std::string& s) {
    return std::hash<std::string>()(s);
}

} // namespace

bool CSqliteStatementCache::Suits(const std::string& strSql, sqlite3_stmt* pStmt) {
    if (strSql.size() > kMaxKeptText || !sqlite3_stmt_readonly(pStmt))
        return false;
    size_t i = strSql.find_first_not_of(" \t\r\n");
    if (i == std::string::npos)
        return false;
    // PRAGMA and EXPLAIN read too, but may settle their answer when prepared.
    const char* p = strSql.c_str() + i;
    return strncasecmp(p, "SELECT", 6) == 0 || strncasecmp(p, "WITH", 4) == 0;
}

sqlite3_stmt* CSqliteStatementCache::Take(const std::string& strSql) {
    size_t nHash = HashOf(strSql);
    for (size_t i = m_entries.size(); i-- > 0;) {
        CEntry& e = m_entries[i];
        if (e.nHash == nHash && e.strSql == strSql) {
            sqlite3_stmt* pStmt = e.pStmt;
            m_nBytes -= e.nBytes;
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
            return pStmt;
        }
    }
    return nullptr;
}

bool CSqliteStatementCache::CameBefore(size_t nHash) {
    for (size_t n : m_noted)
        if (n == nHash)
            return true;
    m_noted[m_nNext] = nHash;
    m_nNext = (m_nNext + 1) % kNoted;
    return false;
}

void CSqliteStatementCache::Give(const std::string& strSql, sqlite3_stmt* pStmt) {
    size_t nHash = HashOf(strSql);
    if (!CameBefore(nHash)) {
        sqlite3_finalize(pStmt);
        return;
    }
    sqlite3_reset(pStmt);
    for (const CEntry& e : m_entries)
        if (e.nHash == nHash && e.strSql == strSql) {
            sqlite3_finalize(pStmt);
            return;
        }
    size_t nBytes = static_cast<size_t>(sqlite3_stmt_status(pStmt, SQLITE_STMTSTATUS_MEMUSED, 0)) +
                    sizeof(CEntry) + strSql.size();
    if (m_nMax == 0 || nBytes > m_nMaxBytes) {
        sqlite3_finalize(pStmt);
        return;
    }
    while (!m_entries.empty() && (m_entries.size() >= m_nMax || m_nBytes + nBytes > m_nMaxBytes))
        Drop(0);
    m_entries.push_back({nHash, strSql, pStmt, nBytes});
    m_nBytes += nBytes;
}

void CSqliteStatementCache::Drop(size_t i) {
    sqlite3_finalize(m_entries[i].pStmt);
    m_nBytes -= m_entries[i].nBytes;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
}

void CSqliteStatementCache::Clear() {
    while (!m_entries.empty())
        Drop(m_entries.size() - 1);
}
