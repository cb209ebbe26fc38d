// The bridge's translations as text, with a fake resolver: "db" is the connection's own
// database, "arch" an attached one (its SQLite name "Arch"), "gone" an attached one whose
// catalogue cannot be made.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ado/sqlite/SqlServerBridge.h"

namespace {

struct Outcome {
    bool bOk;
    std::wstring strText; // the translation, or the error
    bool bUnknownDatabase;
};

Outcome Translate(const std::wstring& strIn) {
    CSqlServerBridge bridge(
        [](const std::wstring& strDatabase) {
            CSqlDatabaseRef ref;
            if (wcscasecmp(strDatabase.c_str(), L"db") == 0) {
                ref.nKind = CSqlDatabaseRef::kMain;
            } else if (wcscasecmp(strDatabase.c_str(), L"arch") == 0 ||
                       wcscasecmp(strDatabase.c_str(), L"gone") == 0) {
                ref.nKind = CSqlDatabaseRef::kAttached;
                ref.strSchema = wcscasecmp(strDatabase.c_str(), L"arch") == 0 ? L"Arch" : L"Gone";
            }
            return ref;
        },
        [](const std::wstring& strSchema, std::wstring* pPrefix) {
            *pPrefix = strSchema + L"$";
            return strSchema != L"Gone";
        });
    Outcome o{false, L"", false};
    std::wstring strOut, strError;
    o.bOk = bridge.Translate(strIn, &strOut, &strError, &o.bUnknownDatabase);
    o.strText = o.bOk ? strOut : strError;
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

const wchar_t kNotTopLevel[] =
    L"TOP is supported only at the start of the outermost SELECT of a statement.";
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
        {L"SELECT * FROM arch.dbo.T", L"SELECT * FROM \"Arch\".T"},
        {L"SELECT name FROM [ARCH].[dbo].[sysobjects]", L"SELECT name FROM \"Arch$sysobjects\""},
        // Nothing inside literals, quoted names or comments is a name to rewrite.
        {L"SELECT 'db.dbo.T', [x.dbo.T], \"y..T\" FROM t -- other.dbo.T\n/* dbo.T */",
         L"SELECT 'db.dbo.T', [x.dbo.T], \"y..T\" FROM t -- other.dbo.T\n/* dbo.T */"},
        {L"SELECT 'it''s other.dbo.T' AS [a]]b.dbo.c]",
         L"SELECT 'it''s other.dbo.T' AS [a]]b.dbo.c]"},
        // Four parts and schema.table.column are not three-part names: left for SQLite to refuse.
        {L"SELECT * FROM srv.db.dbo.T", L"SELECT * FROM srv.db.dbo.T"},
        {L"SELECT db.dbo.T.a FROM t", L"SELECT db.dbo.T.a FROM t"},
        // A database part that is not a name is left as it is, so the statement fails there.
        {L"SELECT name FROM (null).dbo.sysobjects", L"SELECT name FROM (null).dbo.sysobjects"},
    });
}

TEST(SqlServerBridge, RefusesDatabasesTheConnectionDoesNotHave) {
    for (const wchar_t* pszIn :
         {L"SELECT * FROM other.dbo.T", L"SELECT * FROM [other].[dbo].[sysobjects]",
          L"DROP TABLE other..T", L"SELECT 1; SELECT * FROM db.dbo.T, other.dbo.U"}) {
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
}

TEST(SqlServerBridge, TranslatesCurrentDateAndTime) {
    ExpectTranslations({
        {L"SELECT GETDATE()", L"SELECT datetime('now','localtime')"},
        {L"select getdate ( /* now */ ), GetDate()",
         L"select datetime('now','localtime'), datetime('now','localtime')"},
        // A column default must be parenthesised for SQLite.
        {L"CREATE TABLE T ([C] datetime DEFAULT GETDATE(), D int)",
         L"CREATE TABLE T ([C] datetime DEFAULT (datetime('now','localtime')), D int)"},
        {L"CREATE TABLE T (C datetime DEFAULT (GETDATE()))",
         L"CREATE TABLE T (C datetime DEFAULT (datetime('now','localtime')))"},
        // SQLite's CURRENT_TIMESTAMP is UTC; SQL Server's is local like GETDATE().
        {L"CREATE TABLE T (C datetime DEFAULT CURRENT_TIMESTAMP)",
         L"CREATE TABLE T (C datetime DEFAULT (datetime('now','localtime')))"},
        {L"SELECT current_timestamp", L"SELECT datetime('now','localtime')"},
        {L"SELECT 'GETDATE()', [GETDATE], \"CURRENT_TIMESTAMP\", GETDATE",
         L"SELECT 'GETDATE()', [GETDATE], \"CURRENT_TIMESTAMP\", GETDATE"},
    });
}

TEST(SqlServerBridge, TurnsNationalLiteralsIntoPlainOnes) {
    ExpectTranslations({
        {L"SELECT N'abc', n'it''s', N''", L"SELECT 'abc', 'it''s', ''"},
        {L"SELECT N'Grüße 日本 \U0001F600'", L"SELECT 'Grüße 日本 \U0001F600'"},
        {L"WHERE a IN (N'x',N'y') AND COLUMN_N='z'", L"WHERE a IN ('x','y') AND COLUMN_N='z'"},
        {L"SELECT 'N''x', [N]", L"SELECT 'N''x', [N]"},
        // Literals or quoted names side by side must stay two, not merge into one.
        {L"SELECT 'a'N'b'", L"SELECT 'a' 'b'"},
        {L"SELECT N'a'N'b'", L"SELECT 'a' 'b'"},
        {L"SELECT dbo.T]", L"SELECT [T] ]"},
    });
}

TEST(SqlServerBridge, TurnsTopOfTheOutermostSelectIntoLimit) {
    ExpectTranslations({
        {L"SELECT TOP 5 a FROM t", L"SELECT  a FROM t LIMIT 5"},
        {L"SELECT TOP (12) a FROM t ORDER BY a;", L"SELECT  a FROM t ORDER BY a LIMIT 12;"},
        {L"select distinct top(2) a from t -- last\n",
         L"select distinct  a from t LIMIT 2 -- last\n"},
        {L"SELECT TOP 1 a FROM t WHERE b IN (SELECT b FROM u) /* x */ ; SELECT TOP 3 * FROM u",
         L"SELECT  a FROM t WHERE b IN (SELECT b FROM u) LIMIT 1 /* x */ ; SELECT  * FROM u LIMIT "
         L"3"},
        {L"SELECT TOP 1 LEN(a) FROM dbo.T", L"SELECT  length(rtrim(a)) FROM [T] LIMIT 1"},
    });
    ExpectRefusals({
        {L"SELECT a FROM t WHERE b = (SELECT TOP 1 b FROM u)", kNotTopLevel},
        {L"INSERT INTO t SELECT TOP 1 a FROM u", kNotTopLevel},
        // LIMIT would cut the whole compound, TOP only its own part.
        {L"SELECT TOP 1 a FROM t UNION SELECT b FROM u", kNotTopLevel},
        {L"SELECT a FROM t UNION ALL SELECT TOP 1 b FROM u", kNotTopLevel},
        {L"SELECT TOP 2 a FROM t EXCEPT SELECT b FROM u", kNotTopLevel},
        {L"SELECT TOP 10 PERCENT a FROM t", kTopForm},
        {L"SELECT TOP 5 WITH TIES a FROM t ORDER BY a", kTopForm},
        {L"SELECT TOP @n a FROM t", kTopForm},
        {L"SELECT TOP 1.5 a FROM t", kTopForm},
        {L"SELECT TOP (1 a FROM t", kTopForm},
        {L"SELECT TOP", kTopForm},
        {L"SELECT TOP 1 a FROM t LIMIT 3", L"TOP cannot be combined with LIMIT."},
    });
}

TEST(SqlServerBridge, TranslatesIsNullAndLen) {
    ExpectTranslations({
        {L"SELECT ISNULL(a, 'x') FROM t", L"SELECT ifnull(a, 'x') FROM t"},
        {L"SELECT LEN(a) FROM t", L"SELECT length(rtrim(a)) FROM t"},
        {L"SELECT len (a), (Len(b)) + 1", L"SELECT length(rtrim(a)), (length(rtrim(b))) + 1"},
        {L"SELECT LEN(ISNULL(a, (b || 'c'))) * 2",
         L"SELECT length(rtrim(ifnull(a, (b || 'c')))) * 2"},
        {L"SELECT LEN(LEN(a)), LEN('x)')",
         L"SELECT length(rtrim(length(rtrim(a)))), length(rtrim('x)'))"},
        // Only calls of the builtins are translated, not those of qualified names.
        {L"SELECT db.dbo.LEN(a), dbo.ISNULL(a, b), x.GETDATE(), T.varchar(max) FROM t",
         L"SELECT main.LEN(a), [ISNULL](a, b), x.GETDATE(), T.varchar(max) FROM t"},
        {L"SELECT [LEN](a), 'ISNULL(a)', len, isnull FROM t",
         L"SELECT [LEN](a), 'ISNULL(a)', len, isnull FROM t"},
    });
}

TEST(SqlServerBridge, QuotesMaxSizedTypes) {
    ExpectTranslations({
        {L"CREATE TABLE T (a nvarchar(max), b VARCHAR ( MAX ), c varbinary(max) NULL, d "
         L"varchar(10))",
         L"CREATE TABLE T (a \"nvarchar(max)\", b \"VARCHAR(max)\", c \"varbinary(max)\" NULL, d "
         L"varchar(10))"},
        {L"SELECT CAST(a AS nvarchar(max)), 'varchar(max)', [nvarchar](max), char(max)",
         L"SELECT CAST(a AS \"nvarchar(max)\"), 'varchar(max)', [nvarchar](max), char(max)"},
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
    ExpectTranslations({{L"SELECT 1 -- 'open", L"SELECT 1 -- 'open"}, {L"", L""}});
}
