// The SQL Server statements the module's schema operations build, run unchanged through
// Connection.Execute on embedded databases, and the file they leave behind read by plain
// SQLite.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "SqlServerScriptSupport.h"
#include "platform/ado/AdoInterfaces.h"
#include "platform/win/TextEncoding.h"
#include "support/TempDir.h"

namespace {

const wchar_t kCreate[] =
    L"CREATE TABLE [db].[dbo].[T] ([ID] int PRIMARY KEY,[Name] varchar (50) NULL,[Created] "
    L"datetime DEFAULT GETDATE(),[Photo] image NULL,[Memo] text NULL,[Score] float NOT NULL)";
const wchar_t kColumns[] =
    L"SELECT name, xtype, length FROM db.dbo.syscolumns WHERE id = (SELECT id FROM "
    L"db.dbo.sysobjects WHERE name = 'T') ORDER BY colid";
const wchar_t kExists[] = L"SELECT name FROM db.dbo.sysobjects WHERE name = 'T'";
const Rows kColumnsOfT = {{L"ID", L"56", L"4"},      {L"Name", L"167", L"50"},
                          {L"Created", L"61", L"8"}, {L"Photo", L"34", L"16"},
                          {L"Memo", L"35", L"16"},   {L"Score", L"62", L"8"}};

void ExpectUnknownDatabase(_ConnectionPtr& pConn, const std::wstring& strSql,
                           const std::wstring& strDatabase) {
    Outcome f = RunBatch(pConn, strSql);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, f.hr) << WinWideToUtf8(strSql);
    EXPECT_EQ(L"Database '" + strDatabase +
                  L"' does not exist. Make sure that the name is entered correctly.",
              f.strError);
}

// Plain SQLite, the library the provider loaded, reached without the provider: no functions
// or views of ours are registered on its connections.
template <typename Fn> Fn* Plain(const char* pszName) {
    Fn* p = reinterpret_cast<Fn*>(dlsym(RTLD_DEFAULT, pszName));
    if (p == nullptr)
        std::abort();
    return p;
}

// Every cell of every row, in order, read on a plain connection.
std::vector<std::string> PlainQuery(sqlite3* pDb, const char* pszSql) {
    std::vector<std::string> cells;
    auto collect = [](void* p, int n, char** values, char**) {
        for (int i = 0; i < n; ++i)
            static_cast<std::vector<std::string>*>(p)->push_back(values[i] ? values[i] : "NULL");
        return 0;
    };
    EXPECT_EQ(SQLITE_OK,
              Plain<decltype(sqlite3_exec)>("sqlite3_exec")(pDb, pszSql, collect, &cells, nullptr))
        << pszSql;
    return cells;
}

// Seconds between a stored "YYYY-MM-DD HH:MM:SS", read as local time, and now.
double SecondsFromNow(const std::string& strStored) {
    std::tm tm = {};
    if (strptime(strStored.c_str(), "%Y-%m-%d %H:%M:%S", &tm) == nullptr)
        return 1e9;
    tm.tm_isdst = -1;
    return std::difftime(std::mktime(&tm), std::time(nullptr));
}

class SchemaStatements : public ::testing::Test {
protected:
    void SetUp() override {
        // Far from UTC, so local time cannot pass for UTC.
        setenv("TZ", "ZQK-05:45", 1);
        tzset();
        CoInitialize(nullptr);
        m_pConn.CreateInstance(L"ADODB.Connection");
    }
    void TearDown() override {
        m_pConn = nullptr;
        CoUninitialize();
    }
    _ConnectionPtr m_pConn;
};

} // namespace

TEST_F(SchemaStatements, CreateReadAlterAndDropOnDisk) {
    TempDir dir;
    // The database name is the file name without extension, in any case.
    m_pConn->Open((L"Provider=SQLite; Data Source=" + dir.WideFile("DB.sqlite")).c_str(), L"", L"",
                  -1);
    EXPECT_TRUE(Query(m_pConn, kExists).empty());
    Query(m_pConn, kCreate);
    EXPECT_EQ(kColumnsOfT, Query(m_pConn, kColumns));
    EXPECT_EQ((Rows{{L"T"}}), Query(m_pConn, kExists));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, RunBatch(m_pConn, kCreate).hr);

    // The type map the structure reader builds from systypes.
    std::map<std::wstring, std::wstring> types;
    const Rows typeRows = Query(m_pConn, L"SELECT xtype,name from db.dbo.systypes");
    for (const auto& row : typeRows)
        types[row.at(0)] = row.at(1);
    EXPECT_EQ(L"nvarchar", types[L"231"]);
    EXPECT_EQ(typeRows, Query(m_pConn, L"SELECT xtype,name from systypes"));

    Query(m_pConn, L"CREATE TABLE [db].[dbo].[Orders] ([ID] int PRIMARY KEY)");
    Query(m_pConn, L"CREATE TABLE [db].[dbo].[Items] ([Qty] int NOT NULL)");
    Query(m_pConn, L"CREATE VIEW V AS SELECT ID FROM T");
    Rows tables = Query(m_pConn, L"SELECT name FROM db.dbo.sysobjects where xtype='U'");
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ((Rows{{L"Items"}, {L"Orders"}, {L"T"}}), tables);

    Query(m_pConn, L"ALTER TABLE [db].[dbo].[T] ADD [Extra] varchar(20)");
    Query(m_pConn, L"ALTER TABLE [db].[dbo].[T] ADD [Note] NVarChar(10)");
    Query(m_pConn, L"ALTER TABLE [db].[dbo].[T] ADD [Price] decimal(10,2)");
    Rows expected = kColumnsOfT;
    expected.insert(
        expected.end(),
        {{L"Extra", L"167", L"20"}, {L"Note", L"231", L"20"}, {L"Price", L"106", L"9"}});
    EXPECT_EQ(expected, Query(m_pConn, kColumns));
    Query(m_pConn, L"ALTER TABLE [db].[dbo].[T] DROP COLUMN [Extra]");
    expected.erase(expected.begin() + 6);
    EXPECT_EQ(expected, Query(m_pConn, kColumns));

    // Statements naming no database of this connection, or a database part that is no name.
    ExpectUnknownDatabase(m_pConn, L"CREATE TABLE [other].[dbo].[X] ([ID] int PRIMARY KEY)",
                          L"other");
    ExpectUnknownDatabase(m_pConn, L"SELECT name FROM other.dbo.sysobjects where xtype='U'",
                          L"other");
    ExpectUnknownDatabase(m_pConn, L"ALTER TABLE [(null)].[dbo].[T] ADD [X] int", L"(null)");
    for (const wchar_t* pszSql :
         {L"SELECT name FROM (null).dbo.sysobjects WHERE name = 'T'",
          L"SELECT name, xtype, length FROM (null).dbo.syscolumns WHERE id = (SELECT id FROM "
          L"(null).dbo.sysobjects WHERE name = 'T') ORDER BY colid",
          L"CREATE TABLE [db].[dbo].[Empty] )", L"CREATE TABLE Empty )"})
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, RunBatch(m_pConn, pszSql).hr) << WinWideToUtf8(pszSql);

    // The default fills in local time; the file stays plain SQLite, readable without us.
    Query(m_pConn, L"INSERT INTO db.dbo.T ([ID], [Name], [Score]) VALUES (1, N'Grüße', 2.5)");
    EXPECT_EQ((Rows{{L"Grüße"}}),
              Query(m_pConn, L"SELECT TOP 1 Name FROM dbo.T WHERE Created IS NOT NULL"));
    Query(m_pConn, L"DROP TABLE [Orders]");
    m_pConn->Close();

    sqlite3* pDb = nullptr;
    ASSERT_EQ(SQLITE_OK, Plain<decltype(sqlite3_open_v2)>("sqlite3_open_v2")(
                             dir.File("DB.sqlite").c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr));
    EXPECT_EQ(
        (std::vector<std::string>{"Items", "T", "V"}),
        PlainQuery(pDb,
                   "SELECT name FROM sqlite_schema WHERE type IN ('table','view') ORDER BY name"));
    // SQL Server's rules travel with the table as plain SQLite constraints.
    EXPECT_EQ(
        (std::vector<std::string>{
            "CREATE TABLE [T] ([ID] int NOT NULL PRIMARY KEY CONSTRAINT \"zqk_type:int\" CHECK "
            "(typeof(\"ID\") IN ('integer','null')) CONSTRAINT \"zqk_range:int\" CHECK (\"ID\" "
            "BETWEEN -2147483648 AND 2147483647), [Name] varchar(50) COLLATE "
            "SQL_Latin1_General_CP1_CI_AS CONSTRAINT \"zqk_truncation\" CHECK "
            "(length(rtrim(\"Name\", ' ')) <= 50), [Created] datetime COLLATE zqk_datetime DEFAULT "
            "(datetime('now','localtime')), [Photo] image CONSTRAINT \"zqk_binary:image\" CHECK "
            "(typeof(\"Photo\") IN ('blob','null')), [Memo] text COLLATE "
            "SQL_Latin1_General_CP1_CI_AS, [Score] float NOT NULL CONSTRAINT \"zqk_type:float\" "
            "CHECK (typeof(\"Score\") IN ('integer','real','null')), [Note] NVarChar(10) COLLATE "
            "SQL_Latin1_General_CP1_CI_AS CONSTRAINT \"zqk_truncation\" CHECK "
            "(length(rtrim(\"Note\", ' ')) <= 10), [Price] decimal(10,2) CONSTRAINT "
            "\"zqk_type:decimal\" CHECK (typeof(\"Price\") IN ('integer','real','null')) "
            "CONSTRAINT \"zqk_range:decimal\" CHECK (abs(\"Price\") < 1e8))"}),
        PlainQuery(pDb, "SELECT substr(sql, 1, 16) || substr(sql, instr(sql, '*/') + 2) FROM "
                        "sqlite_schema WHERE name = 'T'")); // without the creation time
    PlainQuery(pDb, "INSERT INTO T (ID, Score) VALUES (2, 1.5)");
    const std::vector<std::string> stamps = PlainQuery(pDb, "SELECT Created FROM T ORDER BY ID");
    ASSERT_EQ(2u, stamps.size());
    for (const std::string& s : stamps)
        EXPECT_LE(std::abs(SecondsFromNow(s)), 5.0) << s;
    Plain<decltype(sqlite3_close)>("sqlite3_close")(pDb);

    m_pConn->Open((L"Provider=SQLite; Data Source=" + dir.WideFile("DB.sqlite")).c_str(), L"", L"",
                  -1);
    Query(m_pConn, L"DROP TABLE [T]");
    EXPECT_TRUE(Query(m_pConn, kExists).empty());
    EXPECT_TRUE(Query(m_pConn, kColumns).empty());
}

TEST_F(SchemaStatements, NullDatabaseFormsInMemory) {
    m_pConn->Open(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=Shop", L"", L"", -1);
    Query(
        m_pConn,
        L"CREATE TABLE T ([ID] int PRIMARY KEY,[Name] varchar (50) NULL,[Created] datetime DEFAULT "
        L"GETDATE(),[Photo] image NULL,[Memo] text NULL,[Score] float NOT NULL)");
    EXPECT_EQ(kColumnsOfT,
              Query(m_pConn,
                    L"SELECT name, xtype, length FROM syscolumns WHERE id = (SELECT id FROM "
                    L"sysobjects WHERE name = 'T') ORDER BY colid"));
    EXPECT_EQ(Query(m_pConn, L"SELECT xtype,name from systypes"),
              Query(m_pConn, L"SELECT xtype,name from SHOP.dbo.systypes"));
    EXPECT_EQ((Rows{{L"T"}}),
              Query(m_pConn, L"SELECT name FROM shop.dbo.sysobjects where xtype='U'"));
    ExpectUnknownDatabase(m_pConn, kExists, L"db");

    // Reading values back through the other translations.
    Query(m_pConn, L"INSERT INTO Shop..T (ID, Name, Score) VALUES (1, N'it''s  ', 1), (2, NULL, "
                   L"2), (3, 'c', 3)");
    EXPECT_EQ(
        (Rows{{L"4", L"it's", L"none"}, {L"0", L"", L"none"}}),
        Query(
            m_pConn,
            L"SELECT TOP (2) LEN(ISNULL(Name, '')), rtrim(ISNULL(Name, '')), ISNULL(Memo, N'none') "
            L"FROM dbo.T ORDER BY ID -- first two"));
    EXPECT_EQ((Rows{{L"3"}}),
              Query(m_pConn, L"SELECT count(*) FROM T WHERE Created >= datetime(GETDATE(), '-5 "
                             L"seconds') AND Created <= GETDATE()"));
    Outcome f = RunBatch(m_pConn, L"SELECT TOP 10 PERCENT ID FROM T");
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, f.hr);
    EXPECT_EQ(L"TOP ... PERCENT is not supported by the embedded database.", f.strError);
    Query(m_pConn, L"DROP TABLE [T]");
    EXPECT_TRUE(Query(m_pConn, L"SELECT name FROM sysobjects").empty());
}
