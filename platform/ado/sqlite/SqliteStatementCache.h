// Prepared statements kept by their text, so that a query run again skips SQLite's parsing and
// planning. A statement is in the cache only while nobody steps it: whoever takes it owns it
// until it is handed back, so two results of the same text never share one. SQLite itself
// prepares a kept statement again when the schema changed since it was prepared.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <vector>

class CSqliteStatementCache {
public:
    // At most nMaxStatements statements, together with their texts using at most nMaxBytes.
    CSqliteStatementCache(size_t nMaxStatements, size_t nMaxBytes)
        : m_nMax(nMaxStatements), m_nMaxBytes(nMaxBytes) {}
    ~CSqliteStatementCache() { Clear(); }
    CSqliteStatementCache(const CSqliteStatementCache&) = delete;
    CSqliteStatementCache& operator=(const CSqliteStatementCache&) = delete;

    // Texts longer than this are run without keeping their statement.
    static const size_t kMaxText = 4096;

    // Whether a text is worth keeping: one query that only reads (SELECT or WITH first), of a
    // size that keeps the cache small.
    static bool Suits(const std::string& strSql, sqlite3_stmt* pStmt);
    // The kept statement of exactly this text, taken out of the cache; null when there is none.
    // Its entry stays, so that handing the statement back is cheap.
    sqlite3_stmt* Take(const std::string& strSql);
    // Keeps a statement prepared from strSql, reset, for the next Take, once its text has come
    // before: a text met for the first time is only noted and its statement finalized, so that
    // texts that never return (a key written into each) neither pay for the keeping nor push
    // out those that do. When the cache is full the statements used least recently are
    // finalized to make room; one of the same text already kept wins and pStmt is finalized,
    // as is one that alone would not fit.
    void Give(const std::string& strSql, sqlite3_stmt* pStmt);
    // Ends a statement taken from the cache that its taker cannot use (a failed bind or first
    // step): its entry goes, and the statement is finalized.
    void Discard(const std::string& strSql, sqlite3_stmt* pStmt);
    // Finalizes every kept statement (before the connection closes); taken ones stay their
    // takers'.
    void Clear();
    // The statements kept, not counting those taken, and the memory of all entries.
    size_t Size() const;
    size_t Bytes() const { return m_nBytes; }

private:
    struct CEntry {
        size_t nHash;
        std::string strSql;
        sqlite3_stmt* pStmt;
        size_t nBytes;             // the statement's memory and the text
        int nPrepared;             // how often SQLite had prepared it again when counted
        bool bTaken;               // pStmt is out with a result
        unsigned long long nGiven; // when it was last given back
    };
    static size_t BytesOf(const std::string& strSql, sqlite3_stmt* pStmt);
    static int Reprepared(sqlite3_stmt* pStmt);
    // Drops the entries given back least recently until one of nBytes fits (0: until the
    // entries are within their bounds).
    void MakeRoom(size_t nBytes);
    // Ends entry i: its statement is finalized unless taken.
    void Drop(size_t i);
    // Whether the text came recently; notes it when not.
    bool CameBefore(size_t nHash);

    size_t m_nMax, m_nMaxBytes;
    size_t m_nBytes = 0;
    unsigned long long m_nClock = 0; // counts the gives
    std::vector<CEntry> m_entries;
    static const size_t kNoted = 64;
    size_t m_noted[kNoted] = {}; // hashes of texts met lately, as a ring
    size_t m_nNext = 0;
};
