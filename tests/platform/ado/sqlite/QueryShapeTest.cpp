// A query's shape takes out only the literals that compare a column in a condition, and a
// statement of the shape, with them bound, reads exactly what the text with the literals reads:
// the same rows, columns, names and types, over values of every storage class and affinity,
// also when one statement is bound again and again with literals of other kinds.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/ado/sqlite/SqliteQueryShape.h"

namespace {

// The shape's text and its literals as "5", "'x'" (empty text: no shape).
struct CShapeSeen {
    std::string strSql;
    std::vector<std::string> literals;
};

CShapeSeen ShapeOf(const std::string& sql) {
    CSqliteQueryShaper shaper;
    CShapeSeen seen;
    const CSqliteQueryShape* p = shaper.Shape(sql);
    if (p == nullptr)
        return seen;
    seen.strSql = p->strSql;
    for (const CSqliteLiteral& v : p->literals)
        seen.literals.push_back(v.nKind == CSqliteLiteral::kInteger ? std::to_string(v.nValue)
                                                                    : "'" + v.strText + "'");
    return seen;
}

// Everything a statement shows: its columns, then each row's values by storage class.
std::vector<std::string> Read(sqlite3_stmt* p) {
    std::vector<std::string> out;
    for (int i = 0; i < sqlite3_column_count(p); ++i) {
        const char* pszType = sqlite3_column_decltype(p, i);
        out.push_back(std::string(sqlite3_column_name(p, i)) + ":" + (pszType ? pszType : "-"));
    }
    int rc;
    while ((rc = sqlite3_step(p)) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(p); ++i) {
            int nType = sqlite3_column_type(p, i);
            const char* pb = static_cast<const char*>(sqlite3_column_blob(p, i));
            row += std::to_string(nType) + "[" +
                   std::string(pb ? pb : "", static_cast<size_t>(sqlite3_column_bytes(p, i))) + "]";
        }
        out.push_back(row);
    }
    out.push_back("rc " + std::to_string(rc));
    return out;
}

struct CDb {
    sqlite3* p = nullptr;
    CDb() {
        sqlite3_open(":memory:", &p);
        sqlite3_exec(p,
                     "CREATE TABLE v(id INTEGER PRIMARY KEY, i int, t text, n numeric, r real, "
                     "b blob, x, c text COLLATE NOCASE);"
                     "CREATE INDEX v_big ON v(i) WHERE i > 10;"
                     "CREATE INDEX v_c ON v(c);"
                     "INSERT INTO v VALUES (1, 5, '5', 5, 5.0, X'35', 5, 'Abc'),"
                     "(2, -5, '-5', -5, -5.0, X'2D35', '5', 'abc'),"
                     "(3, 0, '0', 0, -0.0, X'00', 0.0, 'ABC'),"
                     "(4, 1000, '1e3', 1e3, 1000.0, X'', '1000', 'x''y'),"
                     "(5, NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
                     "(6, 16, '0x10', 16, 16.0, X'10', X'35', 'a_c'),"
                     "(7, 922337203685477580, ' 5', '5.0', 5.5, 'x''y', 'ABC', ''),"
                     "(8, 12, '', 12, 12.0, '', '', 'abd')",
                     nullptr, nullptr, nullptr);
    }
    ~CDb() { sqlite3_close(p); }
    std::vector<std::string> Run(const std::string& sql,
                                 const std::vector<CSqliteLiteral>* pLiterals = nullptr) {
        sqlite3_stmt* pStmt = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(p, sql.c_str(), -1, &pStmt, nullptr)) << sql;
        if (pLiterals) {
            EXPECT_EQ(SQLITE_OK, SqliteBindLiterals(pStmt, *pLiterals));
        }
        std::vector<std::string> out = Read(pStmt);
        sqlite3_finalize(pStmt);
        return out;
    }
};

} // namespace

TEST(QueryShape, TakesOnlyLiteralsThatCompareAColumnInACondition) {
    struct {
        const char* sql;
        const char* shape; // "" for none
        std::vector<std::string> literals;
    } cases[] = {
        {"SELECT name FROM t WHERE id = 5", "SELECT name FROM t WHERE id = ?", {"5"}},
        {"select a from t where a='x''y' and t.b <> -12 OR 7>=s.t.c;",
         "select a from t where a=? and t.b <> ? OR ?>=s.t.c;",
         {"'x'y'", "-12", "7"}},
        {"SELECT a FROM t WHERE (a == 00042 OR \"b c\" != '') AND [d] < - 0",
         "SELECT a FROM t WHERE (a == ? OR \"b c\" != ?) AND [d] < ?",
         {"42", "''", "0"}},
        {"SELECT a FROM t JOIN u ON u.a = 5 LEFT JOIN w ON w.b = 'z' WHERE t.b = 1 ORDER BY a",
         "SELECT a FROM t JOIN u ON u.a = ? LEFT JOIN w ON w.b = ? WHERE t.b = ? ORDER BY a",
         {"5", "'z'", "1"}},
        {"SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c = 3) AND EXISTS (SELECT 1 FROM w "
         "WHERE d > 4)",
         "SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c = ?) AND EXISTS (SELECT 1 FROM w "
         "WHERE d > ?)",
         {"3", "4"}},
        {"WITH c AS (SELECT a FROM t WHERE a = 1) SELECT a FROM c WHERE a = 2 GROUP BY a HAVING "
         "a > 0 LIMIT 5",
         "WITH c AS (SELECT a FROM t WHERE a = 1) SELECT a FROM c WHERE a = ? GROUP BY a HAVING "
         "a > ? LIMIT 5",
         {"2", "0"}},
        {"SELECT a FROM t WHERE a IN (1, -2, 'x') AND t.b NOT IN ('y') OR (c IN (3))",
         "SELECT a FROM t WHERE a IN (?, ?, ?) AND t.b NOT IN (?) OR (c IN (?))",
         {"1", "-2", "'x'", "'y'", "3"}},
        {"SELECT a FROM t WHERE a IN (1, 1.5) OR a + 1 IN (1) OR f(a) IN (1) OR a IN () OR "
         "a IN (1) = 0 OR a IN (SELECT 1) OR NOT a IN (1)",
         "",
         {}},
        {"SELECT a FROM t WHERE a = 123456789012345678",
         "SELECT a FROM t WHERE a = ?",
         {"123456789012345678"}},
        // Select lists (also inside a subquery there), FROM, ORDER BY and LIMIT keep theirs.
        {"SELECT a = 5, (SELECT b FROM u WHERE u.a = 5) FROM t", "", {}},
        {"SELECT * FROM (SELECT a FROM t WHERE a = 5) ORDER BY a = 1 LIMIT 5 OFFSET 2", "", {}},
        // So do operands of anything but a comparison with a plain column.
        {"SELECT a FROM t WHERE f(a = 5) AND abs(a) = 5 AND a IN (1, b) AND a BETWEEN 1 AND 5",
         "",
         {}},
        {"SELECT a FROM t WHERE a = 'x' COLLATE NOCASE OR a = 5 + 1 OR a + 1 = 5 OR a = - - 5",
         "",
         {}},
        {"SELECT a FROM t WHERE NOT a = 5 OR a = 5 IS NULL OR CASE WHEN a = 5 THEN 1 END = 1",
         "",
         {}},
        // A comparison in parentheses that is an operand (an expression index may match its
        // literal), and BETWEEN's AND, which joins bounds, not terms.
        {"SELECT a FROM t WHERE (s = 'open') = 1 OR 1 = (s = 'open') OR (a = 5) IS NULL OR "
         "x BETWEEN 1 AND a = 2 OR x BETWEEN a AND (b = 5) OR ((a = 6)) + 1 > 0",
         "",
         {}},
        {"SELECT a FROM t WHERE ((a = 5)) AND x BETWEEN 1 AND 9 AND (b = 6 OR c = 7)",
         "SELECT a FROM t WHERE ((a = ?)) AND x BETWEEN 1 AND 9 AND (b = ? OR c = ?)",
         {"5", "6", "7"}},
        // Only queries: a statement that writes is prepared once, as written.
        {"UPDATE t SET b = 1 WHERE a = 5", "", {}},
        {"DELETE FROM t WHERE a = 5", "", {}},
        {"SELECT a FROM t WHERE a = 1.5 OR a = 0x10 OR a = X'35' OR a = 1e3 OR a = 1e-5 OR "
         "a = 1234567890123456789 OR a = -'5' OR a = NULL OR NULL = 5 OR left = 5",
         "",
         {}},
        // Texts it does not read whole run as written.
        {"SELECT a FROM t WHERE a = 5 -- 6", "", {}},
        {"SELECT a FROM t WHERE a = 5 /* 6 */", "", {}},
        {"SELECT a FROM t WHERE a = ? AND b = 5", "", {}},
        {"SELECT a FROM t WHERE a = @x AND b = 5", "", {}},
        {"SELECT a FROM t WHERE a = :x AND b = 5", "", {}},
        {"SELECT a FROM t WHERE a = 'x", "", {}},
        {"SELECT a FROM t WHERE (a = 5", "", {}},
        {"SELECT a FROM t WHERE a = 5)", "", {}},
    };
    for (const auto& c : cases) {
        CShapeSeen seen = ShapeOf(c.sql);
        EXPECT_EQ(c.shape, seen.strSql) << c.sql;
        EXPECT_EQ(c.literals, seen.literals) << c.sql;
    }
    // A NUL byte anywhere, also inside a literal, ends SQLite's text: run as written.
    const char kNulInside[] = "SELECT a FROM t WHERE a = 5 AND b = 'x\0y'";
    EXPECT_EQ("", ShapeOf(std::string(kNulInside, sizeof kNulInside - 1)).strSql);
    std::string strLong = "SELECT a FROM t WHERE a = 5 AND b = '" + std::string(4100, 'x') + "'";
    EXPECT_EQ("", ShapeOf(strLong).strSql);

    // One shaper read after another: nothing of the previous text stays.
    CSqliteQueryShaper shaper;
    ASSERT_NE(nullptr, shaper.Shape("SELECT a FROM t WHERE a = 'x' AND b = 2"));
    const CSqliteQueryShape* p = shaper.Shape("SELECT a FROM t WHERE a = 3");
    ASSERT_NE(nullptr, p);
    EXPECT_EQ("SELECT a FROM t WHERE a = ?", p->strSql);
    ASSERT_EQ(1u, p->literals.size());
    EXPECT_EQ(3, p->literals[0].nValue);
    EXPECT_EQ(nullptr, shaper.Shape("SELECT a FROM t"));
}

// Every column kind against every kind of literal, compared and in IN lists: the shape, bound,
// reads what the text reads, and one statement of a shape re-bound literal after literal (as
// the cache reuses it, crossing the partial index's condition) reads the same again.
TEST(QueryShape, BoundLiteralsReadAsTheTextReadsThem) {
    CDb db;
    const char* columns[] = {"i", "t", "n", "r", "b", "x", "c", "v.c", "id"};
    const char* literals[] = {"5",
                              "'5'",
                              "-5",
                              "'-5'",
                              "0",
                              "-0",
                              "'0'",
                              "00005",
                              "'1e3'",
                              "1000",
                              "'1000'",
                              "'x''y'",
                              "'ABC'",
                              "'abc'",
                              "''",
                              "' 5'",
                              "12",
                              "11",
                              "922337203685477580",
                              "'5.0'",
                              "1e3",
                              "0x10",
                              "X'35'",
                              "NULL",
                              "-922337203685477580"};
    // The column as c, the literal as l.
    const char* conditions[] = {"c = l",       "l = c",  "c <> l",
                                "l <> c",      "c < l",  "l < c",
                                "c >= l",      "l >= c", "c IN (l, '5', -5)",
                                "c NOT IN (l)"};
    size_t nShaped = 0;
    for (const char* column : columns) {
        for (const char* condition : conditions) {
            std::string strShape;
            sqlite3_stmt* pShared = nullptr;
            for (const char* literal : literals) {
                std::string cond;
                for (const char* p = condition; *p; ++p)
                    cond += *p == 'c' ? column : *p == 'l' ? literal : std::string(1, *p);
                std::string sql = "SELECT id, " + std::string(column) + " AS col FROM v WHERE " +
                                  cond + " ORDER BY id";
                std::vector<std::string> expected = db.Run(sql);
                CSqliteQueryShaper shaper;
                const CSqliteQueryShape* pShape = shaper.Shape(sql);
                if (pShape == nullptr)
                    continue;
                ++nShaped;
                EXPECT_EQ(expected, db.Run(pShape->strSql, &pShape->literals)) << sql;
                if (pShared == nullptr) {
                    strShape = pShape->strSql;
                    ASSERT_EQ(SQLITE_OK,
                              sqlite3_prepare_v2(db.p, strShape.c_str(), -1, &pShared, nullptr));
                }
                ASSERT_EQ(strShape, pShape->strSql) << sql;
                ASSERT_EQ(SQLITE_OK, SqliteBindLiterals(pShared, pShape->literals));
                EXPECT_EQ(expected, Read(pShared)) << sql << " (re-bound)";
                sqlite3_reset(pShared);
            }
            sqlite3_finalize(pShared);
        }
    }
    // Integers and strings of either sign are taken, reals, blobs and NULL not.
    EXPECT_EQ(9u * 10 * 21, nShaped);
}

// Without ORDER BY the rows come in the order of the plan: a statement of a shape is planned
// again for values that a partial index's condition names, so it takes the index exactly when
// the text does, also when one statement is bound to one value after another.
TEST(QueryShape, PartialIndexesServeShapesAsTheirTexts) {
    CDb db;
    sqlite3_exec(db.p,
                 "CREATE TABLE p(id INTEGER PRIMARY KEY, k int, status text);"
                 "INSERT INTO p VALUES (1, 9, 'open'), (2, 8, 'closed'), (3, 7, 'open'), "
                 "(4, 6, 'open'), (5, 5, 'closed'), (6, 4, 'open');"
                 "CREATE INDEX p_open ON p(k) WHERE status = 'open';"
                 "CREATE INDEX p_high ON p(k) WHERE id > 3",
                 nullptr, nullptr, nullptr);
    const char* texts[] = {
        "SELECT k FROM p WHERE status = 'open'", "SELECT k FROM p WHERE status = 'closed'",
        "SELECT k FROM p WHERE status = 'open'", "SELECT k FROM p WHERE id > 3",
        "SELECT k FROM p WHERE id > 2",          "SELECT k FROM p WHERE id > 3"};
    std::vector<std::string> byIndex = db.Run(texts[0]); // k ascending
    EXPECT_EQ((std::vector<std::string>{"1[4]", "1[6]", "1[7]", "1[9]", "rc 101"}),
              std::vector<std::string>(byIndex.begin() + 1, byIndex.end()));
    sqlite3_stmt* pShared = nullptr;
    std::string strShared;
    for (const char* text : texts) {
        CSqliteQueryShaper shaper;
        const CSqliteQueryShape* pShape = shaper.Shape(text);
        ASSERT_NE(nullptr, pShape) << text;
        std::vector<std::string> expected = db.Run(text);
        EXPECT_EQ(expected, db.Run(pShape->strSql, &pShape->literals)) << text;
        if (pShape->strSql != strShared) {
            sqlite3_finalize(pShared);
            strShared = pShape->strSql;
            ASSERT_EQ(SQLITE_OK,
                      sqlite3_prepare_v2(db.p, strShared.c_str(), -1, &pShared, nullptr));
        }
        ASSERT_EQ(SQLITE_OK, SqliteBindLiterals(pShared, pShape->literals));
        EXPECT_EQ(expected, Read(pShared)) << text << " (re-bound)";
        sqlite3_reset(pShared);
    }
    sqlite3_finalize(pShared);
}
