// Queries keep their prepared statements for the next run of the same text. The kept statements
// are bounded, never shared by two open results, and a result always describes and reads the
// tables as they are now: after schema changes (on this connection or another), inside and
// after transactions, and after the connection was closed.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/ado/AdoInterfaces.h"
#include "platform/ado/sqlite/SqliteStatementCache.h"
#include "platform/ado/AdoTestSupport.h"

namespace {

sqlite3_stmt* Prepare(sqlite3* pDb, const std::string& sql) {
    sqlite3_stmt* pStmt = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(pDb, sql.c_str(), -1, &pStmt, nullptr)) << sql;
    return pStmt;
}

std::string Select(int n) {
    return "SELECT " + std::to_string(n) + " AS v";
}

// The statements the connection has prepared and not finalized.
int LiveStatements(sqlite3* pDb) {
    int n = 0;
    for (sqlite3_stmt* p = sqlite3_next_stmt(pDb, nullptr); p; p = sqlite3_next_stmt(pDb, p))
        ++n;
    return n;
}

// Gives the cache a statement of the text twice: the first time the text is only noted.
void Keep(CSqliteStatementCache& cache, sqlite3* pDb, const std::string& sql) {
    cache.Give(sql, Prepare(pDb, sql));
    cache.Give(sql, Prepare(pDb, sql));
}

struct CMemoryDb {
    sqlite3* pDb = nullptr;
    CMemoryDb() { sqlite3_open(":memory:", &pDb); }
    ~CMemoryDb() { sqlite3_close(pDb); }
};

} // namespace

TEST(StatementCache, KeepsOnlyQueriesThatRead) {
    CMemoryDb db;
    sqlite3_exec(db.pDb, "CREATE TABLE t(a)", nullptr, nullptr, nullptr);
    struct {
        const char* sql;
        bool bSuits;
    } cases[] = {{"SELECT a FROM t", true},
                 {"  select a FROM t", true},
                 {"WITH x AS (SELECT 1) SELECT * FROM x", true},
                 {"INSERT INTO t VALUES (1) RETURNING a", false},
                 {"WITH x AS (SELECT 1) DELETE FROM t RETURNING a", false},
                 {"PRAGMA table_info(t)", false},
                 {"EXPLAIN SELECT a FROM t", false},
                 {"VALUES (1)", false}};
    for (const auto& c : cases) {
        sqlite3_stmt* pStmt = Prepare(db.pDb, c.sql);
        EXPECT_EQ(c.bSuits, CSqliteStatementCache::Suits(c.sql, pStmt)) << c.sql;
        sqlite3_finalize(pStmt);
    }
    std::string strLong = "SELECT '" + std::string(5000, 'x') + "'";
    sqlite3_stmt* pStmt = Prepare(db.pDb, strLong);
    EXPECT_FALSE(CSqliteStatementCache::Suits(strLong, pStmt));
    sqlite3_finalize(pStmt);
}

// A text is kept from its second run on; taken statements leave the cache; the least recently
// given go first when it is full, by count or by memory; a text kept twice keeps one
// statement; nothing leaks.
TEST(StatementCache, BoundedAndNeverShared) {
    CMemoryDb db;
    {
        CSqliteStatementCache cache(3, 1 << 20);
        cache.Give(Select(9), Prepare(db.pDb, Select(9)));
        EXPECT_EQ(0u, cache.Size());
        EXPECT_EQ(0, LiveStatements(db.pDb));
        for (int i = 0; i < 5; ++i)
            Keep(cache, db.pDb, Select(i));
        EXPECT_EQ(3u, cache.Size());
        EXPECT_EQ(3, LiveStatements(db.pDb));
        EXPECT_EQ(nullptr, cache.Take(Select(0)));
        EXPECT_EQ(nullptr, cache.Take(Select(1)));
        sqlite3_stmt* p2 = cache.Take(Select(2));
        ASSERT_NE(nullptr, p2);
        EXPECT_STREQ(Select(2).c_str(), sqlite3_sql(p2));
        EXPECT_EQ(nullptr, cache.Take(Select(2))); // taken: a second result gets its own
        EXPECT_EQ(2u, cache.Size());

        // A statement handed back stopped half-way is reset: it runs from the start again.
        sqlite3_step(p2);
        cache.Give(Select(2), p2);
        cache.Give(Select(2), Prepare(db.pDb, Select(2))); // the one kept already wins
        EXPECT_EQ(3u, cache.Size());
        EXPECT_EQ(3, LiveStatements(db.pDb));
        p2 = cache.Take(Select(2));
        ASSERT_EQ(SQLITE_ROW, sqlite3_step(p2));
        EXPECT_EQ(2, sqlite3_column_int(p2, 0));
        sqlite3_finalize(p2);
    }
    EXPECT_EQ(0, LiveStatements(db.pDb)); // the cache's end finalizes what it kept

    // By memory: only as many as fit, and one that alone does not fit is not kept.
    sqlite3_stmt* pOne = Prepare(db.pDb, Select(0));
    size_t nOne = static_cast<size_t>(sqlite3_stmt_status(pOne, SQLITE_STMTSTATUS_MEMUSED, 0));
    sqlite3_finalize(pOne);
    CSqliteStatementCache small(100, 3 * nOne + 600);
    for (int i = 0; i < 6; ++i)
        Keep(small, db.pDb, Select(i));
    EXPECT_LT(small.Size(), 6u);
    EXPECT_GT(small.Size(), 0u);
    EXPECT_LE(small.Bytes(), 3 * nOne + 600);
    EXPECT_NE(nullptr, small.Take(Select(5)));
    CSqliteStatementCache tiny(100, 10);
    Keep(tiny, db.pDb, Select(7));
    EXPECT_EQ(0u, tiny.Size());
    small.Clear();
    EXPECT_EQ(1, LiveStatements(db.pDb)); // the one taken above
    sqlite3_finalize(sqlite3_next_stmt(db.pDb, nullptr));
}

// A taken statement stays its taker's: neither making room nor clearing finalizes it, and the
// text's entry takes it back, or another statement of the text when the taker finalized its
// own; the least recently given back go first.
TEST(StatementCache, TakenStatementsStayTheirTakers) {
    CMemoryDb db;
    CSqliteStatementCache cache(2, 1 << 20);
    Keep(cache, db.pDb, Select(1));
    Keep(cache, db.pDb, Select(2));
    sqlite3_stmt* p1 = cache.Take(Select(1));
    ASSERT_NE(nullptr, p1);
    EXPECT_EQ(1u, cache.Size());
    Keep(cache, db.pDb, Select(3)); // makes room: the taken one's entry is the oldest
    EXPECT_EQ(2u, cache.Size());
    EXPECT_EQ(3, LiveStatements(db.pDb));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(p1));
    EXPECT_EQ(1, sqlite3_column_int(p1, 0));
    sqlite3_finalize(p1);

    // Taken, finalized by the taker, and another statement of the text handed back.
    sqlite3_stmt* p3 = cache.Take(Select(3));
    ASSERT_NE(nullptr, p3);
    sqlite3_finalize(p3);
    cache.Give(Select(3), Prepare(db.pDb, Select(3)));
    EXPECT_EQ(2u, cache.Size());
    p3 = cache.Take(Select(3));
    ASSERT_NE(nullptr, p3);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(p3));
    cache.Give(Select(3), p3);      // stopped half-way: reset when given back
    Keep(cache, db.pDb, Select(4)); // 2 was given back before 3: 2 goes
    EXPECT_EQ(nullptr, cache.Take(Select(2)));
    p3 = cache.Take(Select(3));
    ASSERT_NE(nullptr, p3);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(p3));
    EXPECT_EQ(3, sqlite3_column_int(p3, 0));
    cache.Clear();
    EXPECT_EQ(1, LiveStatements(db.pDb)); // the taken one
    sqlite3_finalize(p3);

    // A taken statement its taker cannot use goes with its entry; the text is kept again from
    // its next statement on.
    Keep(cache, db.pDb, Select(5));
    const size_t nBytes = cache.Bytes();
    sqlite3_stmt* p5 = cache.Take(Select(5));
    ASSERT_NE(nullptr, p5);
    cache.Discard(Select(5), p5);
    EXPECT_EQ(0u, cache.Bytes());
    EXPECT_EQ(0, LiveStatements(db.pDb));
    EXPECT_EQ(nullptr, cache.Take(Select(5)));
    cache.Give(Select(5), Prepare(db.pDb, Select(5)));
    EXPECT_EQ(nBytes, cache.Bytes());
    p5 = cache.Take(Select(5));
    EXPECT_NE(nullptr, p5);
    cache.Discard(Select(5), p5);
    EXPECT_EQ(0, LiveStatements(db.pDb));
}

class StatementReuse : public AdoTest {
protected:
    // The field names and the rows of a query.
    static std::vector<std::wstring> Names(_Recordset* pRs) {
        std::vector<std::wstring> names;
        FieldsPtr pFields = pRs->GetFields();
        for (LONG i = 0; i < pFields->GetCount(); ++i)
            names.push_back(static_cast<const wchar_t*>(pFields->GetItem(i)->GetName()));
        return names;
    }
    static std::vector<std::vector<std::wstring>> Rows(_Connection* pConn, const wchar_t* sql) {
        _RecordsetPtr pRs = pConn->Execute(sql, nullptr, adCmdText);
        return AdoReadRows(pRs);
    }
};

// Two results of the same text at once walk their own rows.
TEST_F(StatementReuse, OpenResultsOfOneTextAreIndependent) {
    _ConnectionPtr pConn = OpenMemory();
    pConn->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);
    pConn->Execute(L"INSERT INTO t VALUES (1), (2), (3)", nullptr, adCmdText);
    const wchar_t* sql = L"SELECT a FROM t ORDER BY a";
    for (int nRun = 0; nRun < 3; ++nRun) {
        _RecordsetPtr p1 = pConn->Execute(sql, nullptr, adCmdText);
        p1->MoveNext();
        _RecordsetPtr p2 = pConn->Execute(sql, nullptr, adCmdText);
        EXPECT_EQ(2L, static_cast<long>(p1->GetFields()->GetItem(0L)->GetValue()));
        EXPECT_EQ(1L, static_cast<long>(p2->GetFields()->GetItem(0L)->GetValue()));
        p2->MoveNext();
        p2->MoveNext();
        p1->MoveNext();
        EXPECT_EQ(3L, static_cast<long>(p1->GetFields()->GetItem(0L)->GetValue()));
        EXPECT_EQ(3L, static_cast<long>(p2->GetFields()->GetItem(0L)->GetValue()));
        p1->MoveNext();
        EXPECT_TRUE(p1->GetadoEOF());
        EXPECT_FALSE(p2->GetadoEOF());
    }
}

// The same text after the table changed: its columns as they are now, from this connection
// or another one, and the failure of a fresh statement once the table is gone.
TEST_F(StatementReuse, ResultsFollowTheSchema) {
    _ConnectionPtr pConn = OpenFile("s.sqlite"), pOther = OpenFile("s.sqlite");
    pConn->Execute(L"CREATE TABLE t(a int, b nvarchar(10))", nullptr, adCmdText);
    pConn->Execute(L"INSERT INTO t VALUES (1, 'x')", nullptr, adCmdText);
    const wchar_t* sql = L"SELECT * FROM t";
    const wchar_t* count = L"SELECT count(*) FROM t";
    for (int nRun = 0; nRun < 2; ++nRun) {
        _RecordsetPtr pRs = pConn->Execute(sql, nullptr, adCmdText);
        EXPECT_EQ((std::vector<std::wstring>{L"a", L"b"}), Names(pRs));
        EXPECT_EQ(adVarWChar, pRs->GetFields()->GetItem(1L)->GetType());
    }
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"1"}}), Rows(pConn, count));

    pConn->Execute(L"ALTER TABLE t ADD c float NOT NULL DEFAULT 2.5", nullptr, adCmdText);
    _RecordsetPtr pRs = pConn->Execute(sql, nullptr, adCmdText);
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c"}), Names(pRs));
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"1", L"x", L"2.5"}}), AdoReadRows(pRs));
    pRs = nullptr;

    // Another connection replaces the table and adds a row.
    pOther->Execute(L"DROP TABLE t", nullptr, adCmdText);
    pOther->Execute(L"CREATE TABLE t(z float)", nullptr, adCmdText);
    pOther->Execute(L"INSERT INTO t VALUES (1.5), (2.5)", nullptr, adCmdText);
    pRs = pConn->Execute(sql, nullptr, adCmdText);
    EXPECT_EQ((std::vector<std::wstring>{L"z"}), Names(pRs));
    EXPECT_EQ(adDouble, pRs->GetFields()->GetItem(0L)->GetType());
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"1.5"}, {L"2.5"}}), AdoReadRows(pRs));
    pRs = nullptr;
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"2"}}), Rows(pConn, count));

    // Gone: the same failure as a connection that never ran the text.
    pOther->Execute(L"DROP TABLE t", nullptr, adCmdText);
    _ConnectionPtr pFresh = OpenFile("s.sqlite");
    AdoRaised fresh = AdoCatch([&] { pFresh->Execute(sql, nullptr, adCmdText); });
    AdoRaised reused = AdoCatch([&] { pConn->Execute(sql, nullptr, adCmdText); });
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, fresh.hr);
    EXPECT_EQ(fresh.hr, reused.hr);
    EXPECT_EQ(fresh.description, reused.description);
    EXPECT_EQ(L"Invalid object name 't'.", reused.description);
}

// Rows written and taken back by transactions show in the next run of a query.
TEST_F(StatementReuse, ResultsFollowTransactions) {
    _ConnectionPtr pConn = OpenFile("tx.sqlite");
    pConn->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);
    const wchar_t* count = L"SELECT count(*) FROM t";
    typedef std::vector<std::vector<std::wstring>> Table;
    EXPECT_EQ((Table{{L"0"}}), Rows(pConn, count));
    pConn->BeginTrans();
    pConn->Execute(L"INSERT INTO t VALUES (1)", nullptr, adCmdText);
    EXPECT_EQ((Table{{L"1"}}), Rows(pConn, count));
    pConn->RollbackTrans();
    EXPECT_EQ((Table{{L"0"}}), Rows(pConn, count));
    pConn->BeginTrans();
    pConn->Execute(L"INSERT INTO t VALUES (1), (2)", nullptr, adCmdText);
    pConn->CommitTrans();
    EXPECT_EQ((Table{{L"2"}}), Rows(pConn, count));
    // A result left open does not keep the next writer out once it is released.
    _RecordsetPtr pOpen = pConn->Execute(L"SELECT a FROM t", nullptr, adCmdText);
    pOpen = nullptr;
    _ConnectionPtr pOther = OpenFile("tx.sqlite");
    pOther->Execute(L"INSERT INTO t VALUES (3)", nullptr, adCmdText);
    EXPECT_EQ((Table{{L"3"}}), Rows(pConn, count));
}

// Closing the connection ends what it kept; opened again, the texts run anew, and a result
// still held fails as closed.
TEST_F(StatementReuse, ClosingTheConnectionEndsTheKeptStatements) {
    _ConnectionPtr pConn = OpenFile("c.sqlite");
    pConn->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);
    pConn->Execute(L"INSERT INTO t VALUES (7)", nullptr, adCmdText);
    const wchar_t* sql = L"SELECT a FROM t";
    typedef std::vector<std::vector<std::wstring>> Table;
    EXPECT_EQ((Table{{L"7"}}), Rows(pConn, sql));
    _RecordsetPtr pHeld = pConn->Execute(sql, nullptr, adCmdText);
    pConn->Close();
    EXPECT_EQ(adStateClosed, pHeld->GetState());
    EXPECT_EQ(static_cast<HRESULT>(adErrObjectClosed), AdoCatch([&] { pHeld->MoveNext(); }).hr);
    pHeld = nullptr;
    pConn->Open(SqliteString(m_dir.WideFile("c.sqlite")).c_str(), L"", L"", adConnectUnspecified);
    EXPECT_EQ((Table{{L"7"}}), Rows(pConn, sql));
    EXPECT_EQ((Table{{L"7"}}), Rows(pConn, sql));
}

// Lookups that differ only in their keys share one kept statement: each reads its own row, with
// the columns and types of a query without keys, also two at once; a failing lookup fails in the
// words of its own text; the columns follow the table when it is made again.
TEST_F(StatementReuse, LookupsByOtherKeysReadTheirOwnRows) {
    _ConnectionPtr pConn = OpenFile("k.sqlite");
    pConn->Execute(L"CREATE TABLE t(id int, code nvarchar(10), name nvarchar(20))", nullptr,
                   adCmdText);
    pConn->Execute(L"INSERT INTO t VALUES (1, '5', 'one'), (2, ' 5', 'two'), (-3, 'x''y', "
                   L"'three'), (4, NULL, 'four'), (5, '', 'five')",
                   nullptr, adCmdText);
    typedef std::vector<std::vector<std::wstring>> Table;
    struct {
        const wchar_t* sql;
        Table rows;
    } lookups[] = {
        {L"SELECT name FROM t WHERE id = 1", {{L"one"}}},
        {L"SELECT name FROM t WHERE id = 2", {{L"two"}}},
        {L"SELECT name FROM t WHERE id = -3", {{L"three"}}},
        {L"SELECT name FROM t WHERE id = 6", {}},
        {L"SELECT name FROM t WHERE code = 'x''y'", {{L"three"}}},
        {L"SELECT name FROM t WHERE code = ''", {{L"five"}}},
        {L"SELECT name FROM t WHERE code = N'5'", {{L"one"}}},
        {L"SELECT id, name FROM t WHERE id > 2 AND name <> 'four'", {{L"5", L"five"}}},
        {L"SELECT name FROM t WHERE id IN (1, -3) ORDER BY id", {{L"three"}, {L"one"}}},
        {L"SELECT name FROM t WHERE id IN (2, 4) ORDER BY id", {{L"two"}, {L"four"}}},
    };
    for (int nRun = 0; nRun < 3; ++nRun)
        for (const auto& l : lookups)
            EXPECT_EQ(l.rows, Rows(pConn, l.sql)) << l.sql;

    _RecordsetPtr pAll = pConn->Execute(L"SELECT id, code FROM t", nullptr, adCmdText);
    _RecordsetPtr p1 = pConn->Execute(L"SELECT id, code FROM t WHERE id = 1", nullptr, adCmdText);
    _RecordsetPtr p2 = pConn->Execute(L"SELECT id, code FROM t WHERE id = 2", nullptr, adCmdText);
    EXPECT_EQ(Names(pAll), Names(p1));
    for (LONG i = 0; i < 2; ++i) {
        EXPECT_EQ(pAll->GetFields()->GetItem(i)->GetType(), p1->GetFields()->GetItem(i)->GetType());
        EXPECT_EQ(pAll->GetFields()->GetItem(i)->GetDefinedSize(),
                  p2->GetFields()->GetItem(i)->GetDefinedSize());
    }
    EXPECT_EQ((Table{{L"1", L"5"}}), AdoReadRows(p1));
    EXPECT_EQ((Table{{L"2", L" 5"}}), AdoReadRows(p2));
    pAll = p1 = p2 = nullptr;

    AdoRaised e = AdoCatch([&] { Rows(pConn, L"SELECT name FROM t WHERE nosuch = 5"); });
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, e.hr);
    EXPECT_EQ(L"Invalid column name 'nosuch'.", e.description);

    // Made again by another connection with other types: read as they are now.
    _ConnectionPtr pOther = OpenFile("k.sqlite");
    pOther->Execute(L"DROP TABLE t", nullptr, adCmdText);
    pOther->Execute(L"CREATE TABLE t(id nvarchar(5), name float)", nullptr, adCmdText);
    pOther->Execute(L"INSERT INTO t VALUES ('7', 1.5)", nullptr, adCmdText);
    _RecordsetPtr pNow = pConn->Execute(L"SELECT name FROM t WHERE id = '7'", nullptr, adCmdText);
    EXPECT_EQ(adDouble, pNow->GetFields()->GetItem(0L)->GetType());
    EXPECT_EQ((Table{{L"1.5"}}), AdoReadRows(pNow));
}
