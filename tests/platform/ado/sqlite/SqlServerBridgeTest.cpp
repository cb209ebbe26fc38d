// The bridge's translations as text, with a fake resolver: "db" is the connection's own
// database, "arch" an attached one (its SQLite name "Arch"), "gone" an attached one whose
// catalogue cannot be made.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/win/TextEncoding.h"

namespace {

struct Outcome {
    bool bOk;
    std::wstring strText; // the translation, or the error
    bool bUnknownDatabase;
};

// "db" is the connection's own database (and "shop-2024" another connection's name for it),
// "arch" an attached one (its SQLite name "Arch"), "gone" an attached one whose catalogue
// cannot be made. Tables: T(ID identity, Name, Qty).
class CFakeSchema : public CSqlServerSchema {
public:
    std::wstring m_strCatalog = L"db";
    CSqlDatabaseRef ResolveDatabase(const std::wstring& strDatabase) override {
        CSqlDatabaseRef ref;
        if (wcscasecmp(strDatabase.c_str(), m_strCatalog.c_str()) == 0) {
            ref.nKind = CSqlDatabaseRef::kMain;
        } else if (wcscasecmp(strDatabase.c_str(), L"arch") == 0 ||
                   wcscasecmp(strDatabase.c_str(), L"gone") == 0) {
            ref.nKind = CSqlDatabaseRef::kAttached;
            ref.strSchema = wcscasecmp(strDatabase.c_str(), L"arch") == 0 ? L"Arch" : L"Gone";
        } else if (wcscasecmp(strDatabase.c_str(), L"tempdb") == 0) {
            ref.nKind = CSqlDatabaseRef::kAttached;
            ref.strSchema = L"temp";
        }
        return ref;
    }
    std::wstring CatalogName() override { return m_strCatalog; }
    bool AttachedCatalog(const std::wstring& strSchema, std::wstring* pPrefix) override {
        *pPrefix = strSchema + L"$";
        return strSchema != L"Gone";
    }
    // The fake's tables, as the UTF-8 SQLite keeps.
    bool TableSqlUtf8(const std::wstring& strSchema, const std::wstring& strTable,
                      std::string* pstrName, std::string* pstrSql) override {
        if (strSchema != L"main" || wcscasecmp(strTable.c_str(), L"T") != 0)
            return false;
        *pstrName = "T";
        *pstrSql = "CREATE TABLE T ([ID] INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT CONSTRAINT "
                   "\"zqk_identity:int:1:1\" CHECK (1), [Name] nvarchar(20), [Qty] int)";
        return true;
    }
    // The fake holds no schema in memory: the bridge reads the definitions instead.
    bool ColumnType(const std::wstring&, const std::wstring&, const std::wstring&,
                    std::string*) override {
        return false;
    }
    bool ResultColumns(const std::wstring&, std::vector<CSqlResultColumn>*) override {
        return false; // no query is prepared here
    }
    std::vector<std::wstring> TableDependents(const std::wstring&, const std::wstring&) override {
        return {};
    }
    bool IdentityInsert(const std::wstring&, const std::wstring&) override { return m_bInsert; }
    bool m_bInsert = false;
};

Outcome Translate(const std::wstring& strIn, CFakeSchema* pSchema = nullptr) {
    CFakeSchema fallback;
    CSqlServerBridge bridge(pSchema ? *pSchema : fallback);
    Outcome o{false, L"", false};
    std::wstring strOut;
    CSqlBridgeError error;
    o.bOk = bridge.Translate(strIn, &strOut, &error);
    o.bUnknownDatabase = error.bUnknownDatabase;
    o.strText = o.bOk ? strOut : error.strText;
    return o;
}

// Each input must translate to exactly its expected text.
void ExpectTranslations(const std::vector<std::pair<std::wstring, std::wstring>>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first.begin(), c.first.end()));
        Outcome o = Translate(c.first);
        EXPECT_TRUE(o.bOk);
        EXPECT_FALSE(o.bUnknownDatabase);
        EXPECT_EQ(c.second, o.strText);
    }
}

// Each input must be refused with exactly its expected error.
void ExpectRefusals(const std::vector<std::pair<std::wstring, std::wstring>>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first.begin(), c.first.end()));
        Outcome o = Translate(c.first);
        EXPECT_FALSE(o.bOk);
        EXPECT_FALSE(o.bUnknownDatabase);
        EXPECT_EQ(c.second, o.strText);
    }
}

const wchar_t kTopCompound[] =
    L"TOP is not supported in a SELECT that is part of UNION, EXCEPT or INTERSECT.";
const wchar_t kTopForm[] = L"TOP is supported only with a whole number of rows (TOP n or TOP (n)).";

} // namespace

TEST(SqlServerBridge, RewritesQualifiedNamesOutsideLiteralsAndComments) {
    ExpectTranslations({
        {L"SELECT * FROM db.dbo.T", L"SELECT * FROM main.T"},
        {L"SELECT * FROM [db].[dbo].[T]", L"SELECT * FROM main.[T]"},
        {L"SELECT * FROM \"DB\".\"DBO\".\"T\"", L"SELECT * FROM main.\"T\""},
        {L"SELECT * FROM Db..T x", L"SELECT * FROM main.T x"},
        {L"SELECT * FROM db . dbo . T", L"SELECT * FROM main.T"},
        {L"SELECT * FROM dbo.T, [dbo].[U]", L"SELECT * FROM [T], [U]"},
        {L"SELECT T.a FROM db.dbo.T JOIN dbo.U ON T.a = U.a",
         L"SELECT T.a FROM main.T JOIN [U] ON T.a = U.a"},
        // The catalogue views of the main database are the temporary views themselves.
        {L"SELECT name FROM db.dbo.SysObjects, [db]..[syscolumns], dbo.SYSTYPES",
         L"SELECT name FROM sysobjects, syscolumns, systypes"},
        {L"SELECT * FROM INFORMATION_SCHEMA.TABLES t, db.INFORMATION_SCHEMA.COLUMNS",
         L"SELECT * FROM \"INFORMATION_SCHEMA.TABLES\" t, \"INFORMATION_SCHEMA.COLUMNS\""},
        {L"SELECT * FROM arch.dbo.T", L"SELECT * FROM \"Arch\".T"},
        {L"SELECT name FROM [ARCH].[dbo].[sysobjects]", L"SELECT name FROM \"Arch$sysobjects\""},
        // Owners other than dbo keep their objects apart; temporary tables live in tempdb.
        {L"SELECT a FROM db.sa.T JOIN sa.U ON 1=1, dbo.V", L"SELECT a FROM main.\"sa.T\" JOIN "
                                                           L"\"sa.U\" ON 1=1, [V]"},
        {L"SELECT * FROM #t JOIN tempdb..#u ON #t.a = #u.a",
         L"SELECT * FROM \"temp\".\"#t\" JOIN \"temp\".\"#u\" ON \"#t\".a = \"#u\".a"},
        // SQLite's own schema.table stays as it is.
        {L"SELECT * FROM main.T, arch.U", L"SELECT * FROM main.T, arch.U"},
        // Nothing inside literals, quoted names or comments is a name to rewrite.
        {L"SELECT 'db.dbo.T' /* dbo.T */, [x.dbo.T], \"y..T\" -- other.dbo.T\nFROM t",
         L"SELECT 'db.dbo.T' /* dbo.T */, [x.dbo.T], \"y..T\" -- other.dbo.T\nFROM t"},
        {L"SELECT 'it''s other.dbo.T' AS [a]]b.dbo.c]",
         L"SELECT 'it''s other.dbo.T' AS [a]]b.dbo.c]"},
        // schema.table.column is no three-part name.
        {L"SELECT db.dbo.T.a FROM t", L"SELECT db.dbo.T.a FROM t"},
        // A database part that is not a name is left as it is, so the statement fails there.
        {L"SELECT name FROM (null).dbo.sysobjects", L"SELECT name FROM (null).dbo.sysobjects"},
        // Table hints mean nothing to SQLite's locking.
        {L"SELECT * FROM T WITH (NOLOCK) JOIN U u (NOLOCK, INDEX(ix)) ON 1=1",
         L"SELECT * FROM T   JOIN U u  ON 1=1"},
        {L"SELECT * FROM T OPTION (RECOMPILE)", L"SELECT * FROM T"},
    });
    // The database's name as the host spells it, even where it is no plain identifier.
    CFakeSchema shop;
    shop.m_strCatalog = L"shop-2024";
    Outcome o =
        Translate(L"SELECT name FROM shop-2024.dbo.sysobjects WHERE name = 'shop-2024'", &shop);
    EXPECT_EQ(L"SELECT name FROM sysobjects WHERE name = 'shop-2024'", o.strText);
    Outcome four = Translate(L"SELECT * FROM srv.db.dbo.T");
    EXPECT_EQ(L"Names of linked servers (server.database.owner.object) are not supported by the "
              L"embedded database.",
              four.strText);
}

TEST(SqlServerBridge, RefusesDatabasesTheConnectionDoesNotHave) {
    for (const wchar_t* pszIn :
         {L"SELECT * FROM other.dbo.T", L"SELECT * FROM [other].[dbo].[sysobjects]",
          L"DROP TABLE other..T", L"SELECT 1; SELECT * FROM db.dbo.T, other.dbo.U", L"USE other"}) {
        SCOPED_TRACE(std::string(pszIn, pszIn + wcslen(pszIn)));
        Outcome o = Translate(pszIn);
        EXPECT_FALSE(o.bOk);
        EXPECT_TRUE(o.bUnknownDatabase);
        EXPECT_EQ(L"Database 'other' does not exist. Make sure that the name is entered correctly.",
                  o.strText);
    }
    Outcome o = Translate(L"SELECT * FROM [My ]]Db]..T");
    EXPECT_TRUE(o.bUnknownDatabase);
    EXPECT_EQ(L"Database 'My ]Db' does not exist. Make sure that the name is entered correctly.",
              o.strText);
    // An attached database whose catalogue cannot be made is as good as missing.
    o = Translate(L"SELECT name FROM gone.dbo.sysobjects");
    EXPECT_TRUE(o.bUnknownDatabase);
    EXPECT_EQ(L"Database 'gone' does not exist. Make sure that the name is entered correctly.",
              o.strText);
    EXPECT_EQ(L"SELECT * FROM \"Gone\".T", Translate(L"SELECT * FROM gone.dbo.T").strText);
    EXPECT_EQ(L"", Translate(L"USE [db]").strText);
}

TEST(SqlServerBridge, TranslatesBuiltinsAndLiterals) {
    ExpectTranslations({
        {L"SELECT GETDATE(), getdate ( /* now */ ), GETUTCDATE(), current_timestamp",
         L"SELECT datetime('now','localtime') AS \"GETDATE()\", datetime('now','localtime') AS "
         L"\"getdate ( /* now */ )\", datetime('now') AS \"GETUTCDATE()\", "
         L"datetime('now','localtime')"},
        {L"SELECT 'GETDATE()', [GETDATE], \"CURRENT_TIMESTAMP\", GETDATE",
         L"SELECT 'GETDATE()', [GETDATE], \"CURRENT_TIMESTAMP\", GETDATE"},
        {L"SELECT N'abc', n'it''s', N'', N'Grüße 日本 \U0001F600'",
         L"SELECT 'abc' AS \"N'abc'\", 'it''s' AS \"N'it''s'\", '' AS \"N''\", 'Grüße 日本 "
         L"\U0001F600' AS \"N'Grüße 日本 \U0001F600'\""},
        {L"WHERE a IN (N'x',N'y') AND COLUMN_N='z'", L"WHERE a IN ('x','y') AND COLUMN_N='z'"},
        // Literals or quoted names side by side must stay two, not merge into one.
        {L"SELECT 'a'N'b'", L"SELECT 'a' 'b'"},
        {L"SELECT dbo.T]", L"SELECT [T] ] AS \"dbo.T]\""},
        {L"SELECT ISNULL(a, 'x'), LEN(a), len (b) FROM t",
         L"SELECT ifnull(a, 'x') AS \"ISNULL(a, 'x')\", length(rtrim(a)) AS \"LEN(a)\", "
         L"length(rtrim(b)) AS \"len (b)\" FROM t"},
        {L"SELECT LEN(ISNULL(a, (b + 'c'))) * 2",
         L"SELECT length(rtrim(ifnull(a, (zqk_add(b , 'c'))))) * 2 AS \"LEN(ISNULL(a, (b + "
         L"'c'))) * 2\""},
        {L"SELECT LEN(LEN(a)), LEN('x)')",
         L"SELECT length(rtrim(length(rtrim(a)))) AS \"LEN(LEN(a))\", length(rtrim('x)')) AS "
         L"\"LEN('x)')\""},
        // Only calls of the builtins are translated, not those of qualified names.
        {L"SELECT dbo.LEN(a), dbo.ISNULL(a, b), x.GETDATE() FROM t",
         L"SELECT [LEN](a) AS \"dbo.LEN(a)\", [ISNULL](a, b) AS \"dbo.ISNULL(a, b)\", x.GETDATE() "
         L"AS \"x.GETDATE()\" FROM t"},
        {L"SELECT CAST(a AS nvarchar(max)), 'varchar(max)', [nvarchar](max)",
         L"SELECT zqk_convert(a, 'nvarchar(max)') AS \"CAST(a AS nvarchar(max))\", "
         L"'varchar(max)', [nvarchar](max) AS \"[nvarchar](max)\""},
        {L"SELECT @@IDENTITY, SCOPE_IDENTITY(), @@ROWCOUNT, @@TRANCOUNT",
         L"SELECT zqk_identity() AS \"@@IDENTITY\", zqk_scope_identity() AS "
         L"\"SCOPE_IDENTITY()\", zqk_rowcount() AS \"@@ROWCOUNT\", zqk_trancount() AS "
         L"\"@@TRANCOUNT\""},
        {L"SELECT 0x0102, 0xA, a !< 2",
         L"SELECT X'0102' AS \"0x0102\", X'0A' AS \"0xA\", a >= 2 AS \"a !< 2\""},
        {L"SELECT OBJECT_ID(N'[dbo].[T]', 'U'), OBJECT_ID('tempdb..#t'), OBJECT_ID('other..T')",
         L"SELECT (SELECT rowid FROM \"main\".sqlite_schema WHERE name = 'T' COLLATE NOCASE AND "
         L"type = 'table') AS \"OBJECT_ID(N'[dbo].[T]', 'U')\", (SELECT rowid FROM "
         L"\"temp\".sqlite_schema WHERE name = '#t' COLLATE NOCASE AND type IN "
         L"('table','view','trigger')) AS \"OBJECT_ID('tempdb..#t')\", NULL AS "
         L"\"OBJECT_ID('other..T')\""},
    });
    EXPECT_EQ(L"OBJECT_ID and COL_LENGTH are supported only with literal names.",
              Translate(L"SELECT OBJECT_ID(name) FROM t").strText);
}

TEST(SqlServerBridge, GivesPlusAndDivisionSqlServersMeaning) {
    ExpectTranslations({
        // Strings join, numbers add; where the types are not known the function decides.
        {L"SELECT 'a' + 'b', N'x' + 'y' + 'z', 1 + 2, a + 1, a + b * 2 AS n FROM t",
         L"SELECT ('a' || 'b') AS \"'a' + 'b'\", (('x' || 'y' )|| 'z') AS \"N'x' + 'y' + 'z'\", "
         L"1 + 2 AS \"1 + 2\", zqk_add(a , 1) AS \"a + 1\", zqk_add(a , b * 2) AS n FROM t"},
        {L"SELECT UPPER(a) + ' ' + CAST(n AS varchar(5)), - 1 + a",
         L"SELECT ((UPPER(a) || ' ' )|| zqk_convert(n, 'varchar(5)')) AS \"UPPER(a) + ' ' + "
         L"CAST(n AS varchar(5))\", zqk_add(- 1 , a) AS \"- 1 + a\""},
        {L"SELECT a - b + c", L"SELECT zqk_add(zqk_subtract(a , b ), c) AS \"a - b + c\""},
        {L"SELECT CASE WHEN a + 'x' = 'yx' THEN 1 END FROM t WHERE b + 1 > 2",
         L"SELECT CASE WHEN zqk_add(a , 'x') COLLATE SQL_Latin1_General_CP1_CI_AS = 'yx' THEN 1 "
         L"END AS \"CASE WHEN a + 'x' = 'yx' "
         L"THEN 1 END\" FROM t WHERE zqk_add(b , 1) > 2"},
        {L"SELECT a / b, a % (b - 1), a / 2, a / 0, T.* FROM T",
         L"SELECT a / zqk_divisor(b) AS \"a / b\", a % zqk_divisor((zqk_subtract(b , 1))) AS "
         L"\"a % (b - 1)\", a / 2 AS \"a / 2\", a / zqk_divisor(0) AS \"a / 0\", T.* FROM T"},
        // An int times an int is kept to an int, which fails beyond its range.
        {L"SELECT COUNT(*) * 2, '+' FROM t",
         L"SELECT zqk_convert(COUNT(*) * 2,'int') AS \"COUNT(*) * 2\", '+' FROM t"},
    });
}

TEST(SqlServerBridge, TurnsTopAndOffsetIntoLimit) {
    ExpectTranslations({
        {L"SELECT TOP 5 a FROM t", L"SELECT  a FROM t LIMIT 5"},
        {L"SELECT TOP (12) a FROM t ORDER BY a;", L"SELECT  a FROM t ORDER BY a LIMIT 12"},
        {L"select distinct top(2) a from t -- last\n", L"select distinct  a from t LIMIT 2"},
        {L"SELECT TOP 1 a FROM t WHERE b IN (SELECT TOP 2 b FROM u ORDER BY b) /* x */ ; SELECT "
         L"TOP 3 * FROM u",
         L"SELECT  a FROM t WHERE b IN (SELECT  b FROM u ORDER BY b LIMIT 2) LIMIT 1; SELECT  * "
         L"FROM u LIMIT 3"},
        {L"INSERT INTO x SELECT TOP 1 a FROM u", L"INSERT INTO x SELECT  a FROM u LIMIT 1"},
        {L"SELECT a FROM t ORDER BY a OFFSET 10 ROWS FETCH NEXT 5 ROWS ONLY",
         L"SELECT a FROM t ORDER BY a LIMIT 5 OFFSET 10"},
        {L"SELECT a FROM t ORDER BY a OFFSET 3 ROWS",
         L"SELECT a FROM t ORDER BY a LIMIT -1 OFFSET 3"},
    });
    ExpectRefusals({
        {L"SELECT TOP 1 a FROM t UNION SELECT b FROM u", kTopCompound},
        {L"SELECT a FROM t UNION ALL SELECT TOP 1 b FROM u", kTopCompound},
        {L"SELECT TOP 10 PERCENT a FROM t",
         L"TOP ... PERCENT is not supported by the embedded database."},
        {L"SELECT TOP 5 WITH TIES a FROM t ORDER BY a",
         L"TOP ... WITH TIES is not supported by the embedded database."},
        {L"SELECT TOP @n a FROM t", kTopForm},
        {L"SELECT TOP 1.5 a FROM t", kTopForm},
        {L"SELECT TOP (1 a FROM t", kTopForm},
        {L"SELECT TOP", kTopForm},
        {L"SELECT TOP 1 a FROM t LIMIT 3", L"TOP cannot be combined with LIMIT."},
        {L"DELETE TOP (5) FROM t", L"TOP is supported only in SELECT."},
    });
}

TEST(SqlServerBridge, RefusesUnclosedText) {
    for (const wchar_t* pszIn : {L"SELECT 'abc", L"SELECT N'it''", L"SELECT [abc", L"SELECT \"abc",
                                 L"SELECT `a", L"SELECT 1 /* comment", L"SELECT [a]]"}) {
        SCOPED_TRACE(std::string(pszIn, pszIn + wcslen(pszIn)));
        Outcome o = Translate(pszIn);
        EXPECT_FALSE(o.bOk);
        EXPECT_EQ(L"The statement has an unclosed string, name or comment.", o.strText);
    }
    // A line comment ends the text without a newline.
    ExpectTranslations({{L"SELECT 1 -- 'open", L"SELECT 1"}, {L"", L""}});
}

namespace {

// A batch's steps as text: "S" and the statement's first word for a statement, "I>n" for an
// IF that goes on with step n when false, "J>n" for a jump.
std::vector<std::wstring> Steps(const std::wstring& strBatch, std::wstring* pstrError = nullptr) {
    CFakeSchema schema;
    CSqlServerBridge bridge(schema);
    CSqlBatch batch;
    CSqlBridgeError e;
    std::vector<std::wstring> out;
    if (!bridge.Split(strBatch, &batch, &e)) {
        if (pstrError)
            *pstrError = e.strText;
        return out;
    }
    for (const CSqlStep& s : batch.steps) {
        if (s.nKind == CSqlStep::kStatement)
            out.push_back(L"S " + batch.tokens[s.nBegin].strText);
        else
            out.push_back((s.nKind == CSqlStep::kIf ? L"I>" : L"J>") + std::to_wstring(s.nTarget));
    }
    return out;
}

} // namespace

TEST(SqlServerBridge, SplitsBatchesIntoStatementsAndBlocks) {
    typedef std::vector<std::wstring> V;
    // Statements need no semicolons; what continues a statement stays in it.
    EXPECT_EQ((V{L"S CREATE", L"S INSERT", L"S INSERT", L"S SELECT"}),
              Steps(L"CREATE TABLE T (a int) INSERT INTO T VALUES (1)\nINSERT T SELECT a FROM T "
                    L"UNION ALL SELECT 2 SELECT * FROM T WITH (NOLOCK)"));
    EXPECT_EQ((V{L"S UPDATE", L"S SET", L"S DELETE"}),
              Steps(L"UPDATE T SET a = 1 WHERE a IN (SELECT a FROM U) SET @x = 2 DELETE T"));
    EXPECT_EQ((V{L"S SELECT", L"S WITH", L"S ALTER", L"S DROP"}),
              Steps(L"SELECT CASE WHEN a = 1 THEN 'x' ELSE 'y' END FROM T;WITH c AS (SELECT 1 AS "
                    L"n) SELECT n FROM c ALTER TABLE T DROP COLUMN a DROP TABLE T"));
    EXPECT_EQ((V{L"S CREATE", L"S SELECT"}),
              Steps(L"CREATE TRIGGER tr AFTER INSERT ON T BEGIN UPDATE T SET a = 1; DELETE FROM U; "
                    L"END SELECT 1"));
    EXPECT_EQ((V{L"S CREATE", L"S CREATE"}),
              Steps(L"CREATE TABLE R (a int REFERENCES T ON DELETE SET NULL ON UPDATE CASCADE) "
                    L"CREATE VIEW V AS SELECT a FROM R"));
    // IF, ELSE and BEGIN ... END become steps and jumps.
    EXPECT_EQ((V{L"I>3", L"S DROP", L"J>4", L"S SELECT", L"S CREATE"}),
              Steps(L"IF OBJECT_ID('T') IS NOT NULL DROP TABLE T ELSE SELECT 'none' CREATE TABLE "
                    L"T (a int)"));
    EXPECT_EQ((V{L"I>5", L"S SET", L"I>4", L"S SELECT", L"J>6", L"S SELECT"}),
              Steps(L"IF @a > 1\nBEGIN\n SET @b = 1\n IF @b = 1 SELECT 1\nEND\nELSE\nBEGIN "
                    L"SELECT 2 END"));
    std::wstring error;
    EXPECT_TRUE(Steps(L"IF 1 = 1 BEGIN SELECT 1", &error).empty());
    EXPECT_EQ(L"Incorrect syntax near 'BEGIN': the block has no END.", error);
    EXPECT_TRUE(Steps(L"SELECT 1 ELSE SELECT 2", &error).empty());
    EXPECT_EQ(L"Incorrect syntax near the keyword 'ELSE'.", error);
    EXPECT_TRUE(Steps(L"IF 1 = 1", &error).empty());
    EXPECT_EQ(L"Incorrect syntax near the keyword 'IF'.", error);
}

TEST(SqlServerBridge, WritesTablesWithSqlServersRules) {
    // An identity in the table's key becomes SQLite's AUTOINCREMENT key, its seed a sequence.
    Outcome o = Translate(L"CREATE TABLE [dbo].[O] ([ID] [bigint] IDENTITY(100,1) NOT NULL, "
                          L"[Code] [char](3) NULL, CONSTRAINT [PK_O] PRIMARY KEY CLUSTERED ([ID] "
                          L"ASC) WITH (FILLFACTOR = 90) ON [PRIMARY]) ON [PRIMARY]");
    ASSERT_TRUE(o.bOk) << WinWideToUtf8(o.strText);
    std::wstring s = o.strText;
    size_t nComment = s.find(L"/*zqk_created:"), nClose = s.find(L"*/");
    ASSERT_NE(std::wstring::npos, nComment);
    s.erase(nComment, nClose + 3 - nComment);
    EXPECT_EQ(L"CREATE TABLE [O] ([ID] INTEGER NOT NULL CONSTRAINT \"PK_O\" PRIMARY KEY "
              L"AUTOINCREMENT CONSTRAINT \"zqk_type:bigint\" CHECK (typeof(\"ID\") IN "
              L"('integer','null')) CONSTRAINT \"zqk_identity:bigint:100:1\" CHECK (1), [Code] "
              L"char(3) COLLATE SQL_Latin1_General_CP1_CI_AS CONSTRAINT \"zqk_truncation\" CHECK "
              L"(length(rtrim(\"Code\", ' ')) <= 3)); INSERT INTO \"main\".sqlite_sequence (name, "
              L"seq) VALUES ('O', 99)",
              s);
    ExpectRefusals({
        {L"CREATE TABLE E (A int IDENTITY(1,2))",
         L"IDENTITY(1,2) on column 'A': the embedded database numbers identities only upwards by "
         L"1 from a seed of 1 or more."},
        {L"CREATE TABLE E (A int IDENTITY, B int PRIMARY KEY)",
         L"The identity column 'A' is not the primary key of table 'dbo.E': the embedded database "
         L"keeps identities only in the table's one key column."},
        {L"SET ANSI_NULLS OFF", L"SET ANSI_NULLS OFF is not supported by the embedded database."},
        {L"SET ROWCOUNT 10",
         L"SET ROWCOUNT with a limit is not supported by the embedded database."},
        {L"MERGE T USING U ON 1=1 WHEN MATCHED THEN DELETE;",
         L"MERGE is not supported by the embedded database."},
        {L"CREATE PROCEDURE p AS SELECT 1",
         L"CREATE PROCEDURE is not supported by the embedded database: loops, cursors, "
         L"procedures, EXEC and dynamic SQL need SQL Server itself, which the ODBC provider "
         L"reaches."},
        {L"CREATE TRIGGER tr ON T AFTER INSERT AS SELECT 1",
         L"CREATE TRIGGER with a Transact-SQL body is not supported by the embedded database: "
         L"loops, cursors, procedures, EXEC and dynamic SQL need SQL Server itself, which the "
         L"ODBC provider reaches."},
    });
    // SQLite's own DDL goes to SQLite as written, apart from the names.
    ExpectTranslations({
        {L"CREATE TABLE t(id integer PRIMARY KEY, n text NOT NULL ON CONFLICT REPLACE)",
         L"CREATE TABLE t(id integer PRIMARY KEY, n text NOT NULL ON CONFLICT REPLACE)"},
        {L"CREATE INDEX IX ON dbo.T (a DESC) INCLUDE (b) WHERE a > 0 WITH (ONLINE = ON) ON "
         L"[PRIMARY]",
         L"CREATE INDEX IX ON \"T\" (a DESC) WHERE a > 0"},
        {L"DROP INDEX T.IX; DROP INDEX IX ON db.dbo.T; DROP TABLE IF EXISTS a, dbo.b",
         L"DROP INDEX \"IX\"; DROP INDEX IF EXISTS \"zqk_unique_null:IX\"; DROP INDEX \"IX\"; DROP "
         L"INDEX IF EXISTS \"zqk_unique_null:IX\"; DROP TABLE IF EXISTS a; DROP TABLE IF EXISTS "
         L"[b]"},
        {L"INSERT INTO T VALUES (N'x', '5')",
         L"INSERT INTO T (\"Name\", \"Qty\") VALUES ('x', zqk_convert('5', 'int'))"},
    });
    ExpectRefusals({{L"INSERT T (ID, Name) SELECT 1, 'a'",
                     L"Cannot insert explicit value for identity column in table 'T' when "
                     L"IDENTITY_INSERT is set to OFF."}});
}

TEST(SqlServerBridge, IsNullCallsTakePartInPlus) {
    ExpectTranslations({
        {L"SELECT ISNULL(a, '-') + 'x' AS v", L"SELECT zqk_add(ifnull(a, '-') , 'x') AS v"},
        {L"SELECT a + ISNULL(b, '-') + '>' AS v",
         L"SELECT zqk_add(zqk_add(a , ifnull(b, '-') ), '>') AS v"},
        // SQLite's own postfix ISNULL still ends the expression.
        {L"SELECT a + 1 ISNULL", L"SELECT zqk_add(a , 1) ISNULL"},
    });
}

TEST(SqlServerBridge, TokenHelpersQuoteAndCompareNamesExactly) {
    // Quotes inside are doubled wherever they stand, in both widths.
    EXPECT_EQ(L"\"\"", SqlQuote(std::wstring(), L'"'));
    EXPECT_EQ(L"\"a\"\"b\"\"\"\"c\"\"\"", SqlQuote(std::wstring(L"a\"b\"\"c\""), L'"'));
    EXPECT_EQ("'it''s'", SqlQuote(std::string("it's"), '\''));
    // Names compare without regard to case, beyond ASCII too, and only letters fold.
    EXPECT_TRUE(SqlSameName(L"Price", L"pRICE"));
    EXPECT_TRUE(SqlSameName(L"Größe", L"GRÖßE"));
    EXPECT_FALSE(SqlSameName(L"a_b", L"a\x7f"
                                     L"b")); // '_' and DEL differ by the case bit
    EXPECT_FALSE(SqlSameName(L"ab", L"abc"));
    // A keyword set finds its words by first letter, in any case, and words only.
    static const wchar_t* const kWords[] = {L"SELECT", L"SET", L"WITH"};
    CSqlWordSet words(kWords);
    CSqlTokens t;
    ASSERT_TRUE(SqlTokenize(L"select Sets with 'set' [set] _x", &t));
    std::vector<bool> found;
    for (const CSqlToken& token : t)
        if (!SqlIsBlank(token))
            found.push_back(words.Has(token));
    EXPECT_EQ((std::vector<bool>{true, false, true, false, false, false}), found);
}
