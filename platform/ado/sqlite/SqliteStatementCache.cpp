#include "platform/ado/sqlite/SqliteStatementCache.h"

#include <strings.h>

#include <functional>

namespace {

size_t HashOf(const std::string& s) {
    return std::hash<std::string>()(s);
}

} // namespace

bool CSqliteStatementCache::Suits(const std::string& strSql, sqlite3_stmt* pStmt) {
    if (strSql.size() > kMaxText || !sqlite3_stmt_readonly(pStmt))
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
    for (CEntry& e : m_entries) {
        if (e.nHash == nHash && !e.bTaken && e.strSql == strSql) {
            e.bTaken = true;
            return e.pStmt;
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
    for (CEntry& e : m_entries) {
        if (e.nHash != nHash || e.strSql != strSql)
            continue;
        if (!e.bTaken) {
            sqlite3_finalize(pStmt); // the one kept already wins
            return;
        }
        // Back from a result: the entry is the text's again, counted anew if it is another
        // statement of the text (a second result's).
        sqlite3_reset(pStmt);
        // Its memory changes only when SQLite prepared it again (a schema change, a bound
        // value a partial index's condition names).
        int nPrepared = Reprepared(pStmt);
        if (pStmt != e.pStmt || nPrepared != e.nPrepared) {
            size_t nBytes = BytesOf(strSql, pStmt);
            m_nBytes = m_nBytes - e.nBytes + nBytes;
            e.nBytes = nBytes;
            e.nPrepared = nPrepared;
        }
        e.pStmt = pStmt;
        e.bTaken = false;
        e.nGiven = ++m_nClock;
        if (m_nBytes > m_nMaxBytes)
            MakeRoom(0);
        return;
    }
    if (!CameBefore(nHash)) {
        sqlite3_finalize(pStmt);
        return;
    }
    sqlite3_reset(pStmt);
    size_t nBytes = BytesOf(strSql, pStmt);
    if (m_nMax == 0 || nBytes > m_nMaxBytes) {
        sqlite3_finalize(pStmt);
        return;
    }
    MakeRoom(nBytes);
    m_entries.push_back({nHash, strSql, pStmt, nBytes, Reprepared(pStmt), false, ++m_nClock});
    m_nBytes += nBytes;
}

void CSqliteStatementCache::Discard(const std::string& strSql, sqlite3_stmt* pStmt) {
    size_t nHash = HashOf(strSql);
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].nHash == nHash && m_entries[i].bTaken && m_entries[i].pStmt == pStmt &&
            m_entries[i].strSql == strSql) {
            Drop(i); // taken: the statement is finalized below
            break;
        }
    sqlite3_finalize(pStmt);
}

int CSqliteStatementCache::Reprepared(sqlite3_stmt* pStmt) {
    return sqlite3_stmt_status(pStmt, SQLITE_STMTSTATUS_REPREPARE, 0);
}

size_t CSqliteStatementCache::BytesOf(const std::string& strSql, sqlite3_stmt* pStmt) {
    return static_cast<size_t>(sqlite3_stmt_status(pStmt, SQLITE_STMTSTATUS_MEMUSED, 0)) +
           sizeof(CEntry) + strSql.size();
}

void CSqliteStatementCache::MakeRoom(size_t nBytes) {
    while (!m_entries.empty() &&
           (m_entries.size() + (nBytes ? 1 : 0) > m_nMax || m_nBytes + nBytes > m_nMaxBytes)) {
        size_t nOldest = 0;
        for (size_t i = 1; i < m_entries.size(); ++i)
            if (m_entries[i].nGiven < m_entries[nOldest].nGiven)
                nOldest = i;
        Drop(nOldest);
    }
}

void CSqliteStatementCache::Drop(size_t i) {
    if (!m_entries[i].bTaken)
        sqlite3_finalize(m_entries[i].pStmt);
    m_nBytes -= m_entries[i].nBytes;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
}

void CSqliteStatementCache::Clear() {
    while (!m_entries.empty())
        Drop(m_entries.size() - 1);
}

size_t CSqliteStatementCache::Size() const {
    size_t n = 0;
    for (const CEntry& e : m_entries)
        n += e.bTaken ? 0 : 1;
    return n;
}
