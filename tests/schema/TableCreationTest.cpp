#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "SchemaTestSupport.h"

namespace {

using Creation = SchemaTest;

const wchar_t kSixFieldStatement[] =
    L"CREATE TABLE [db].[dbo].[T] ([ID] int PRIMARY KEY,[Name] varchar (50) NULL,[Created] "
    L"datetime "
    L"DEFAULT GETDATE(),[Photo] image NULL,[Memo] text NULL,[Score] float NOT NULL)";
const wchar_t kExistsT[] = L"SELECT name FROM db.dbo.sysobjects WHERE name = 'T'";

// The clock SQLite reads: time() may lag it by a tick, and a second's turn falls in between.
std::wstring LocalNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::time_t now = ts.tv_sec;
    wchar_t sz[32];
    std::wcsftime(sz, 32, L"%Y-%m-%d %H:%M:%S", std::localtime(&now));
    return sz;
}

FieldArray& SixFields(FieldArray& fields) {
    return Fill(fields, {Field(L"ID", L"int", 0, TRUE, TRUE), Field(L"Name", L"varchar", 50),
                         Field(L"Created", L"datetime"), Field(L"Photo", L"image"),
                         Field(L"Memo", L"text"), Field(L"Score", L"float", 0, FALSE)});
}

TEST_F(Creation, SixFieldTableIsBuiltExactlyAndReallyExists) {
    FieldArray fields;
    EXPECT_EQ(1, m_server.CreateOLEDBTable(L"T", SixFields(fields), L"db"));
    EXPECT_EQ(Strings({kSixFieldStatement}), Sent());
    EXPECT_EQ(Strings({L"ID int 4", L"Name varchar 50", L"Created datetime 8", L"Photo image 16",
                       L"Memo text 16", L"Score float 8"}),
              Describe(L"T"));

    // Created defaults to the local date and time; a zone far from UTC tells the two apart.
    setenv("TZ", "ZQK-8", 1);
    tzset();
    std::wstring strBefore = LocalNow();
    Exec(L"INSERT INTO T (ID, Name, Score) VALUES (1, 'a', 2.5)");
    std::wstring strAfter = LocalNow();
    unsetenv("TZ");
    tzset();
    CString strCreated;
    EXPECT_EQ(1, m_server.GetSelData(L"SELECT Created FROM T WHERE ID = 1", strCreated));
    EXPECT_LE(strBefore, std::wstring(strCreated));
    EXPECT_GE(strAfter, std::wstring(strCreated));

    // The key and NOT NULL hold; Name, Photo and Memo take NULL.
    EXPECT_EQ(0, m_server.ExecuteSQL(L"INSERT INTO T (ID, Score) VALUES (1, 1)"));
    EXPECT_EQ(0, m_server.ExecuteSQL(L"INSERT INTO T (ID) VALUES (2)"));
    EXPECT_EQ(1, m_server.ExecuteSQL(L"INSERT INTO T VALUES (3, NULL, NULL, NULL, NULL, 0)"));
    EXPECT_EQ(2u, Boxes().size());
}

TEST_F(Creation, ColumnClauseRules) {
    // Other spellings are left out; only int and smallint ignore case, and both give int.
    FieldArray mixed, fixed;
    Fill(mixed, {Field(L"A", L"VARCHAR", 5), Field(L"B", L"INT", 0, FALSE), Field(L"C", L"Float"),
                 Field(L"D", L"SmallInt"), Field(L"E", L"bigint"), Field(L"F", L"real", 0, FALSE),
                 Field(L"G", L"varchar", 0), Field(L"H", L"nvarchar", 7, FALSE, TRUE)});
    // Flags mean nothing to image, datetime, text and ntext; a % in a name stays as it is.
    Fill(fixed, {Field(L"I", L"image", 0, FALSE, TRUE), Field(L"D", L"datetime", 0, FALSE, TRUE),
                 Field(L"T", L"text", 0, FALSE, TRUE), Field(L"N", L"ntext", 0, FALSE),
                 Field(L"P%d%s", L"int", 0, FALSE)});
    EXPECT_EQ(1, m_server.CreateOLEDBTable(L"M", mixed, L"db"));
    EXPECT_EQ(1, m_server.CreateOLEDBTable(L"X", fixed, nullptr));
    EXPECT_EQ(
        Strings({L"CREATE TABLE [db].[dbo].[M] ([B] int NOT NULL,[D] int NULL,[F] real NOT NULL,"
                 L"[G] varchar (0) NULL,[H] nvarchar (7) PRIMARY KEY)",
                 L"CREATE TABLE X ([I] image NULL,[D] datetime DEFAULT GETDATE(),[T] text NULL,"
                 L"[N] ntext NULL,[P%d%s] int NOT NULL)"}),
        Sent());
    // As on SQL Server, a varchar of length 0 makes the whole table fail.
    EXPECT_TRUE(ColumnNames(L"M").empty());
    EXPECT_EQ(Strings({L"i", L"d", L"t", L"n", L"p%d%s"}), ColumnNames(L"X"));
    EXPECT_EQ(Strings({RejectedReport(L"Length or precision 0 is invalid.")}), Boxes());
    EXPECT_EQ(5, fixed.GetSize()); // only read

    // Without a clause the opening parenthesis becomes the closing one: the server rejects
    // that, ExecuteSQL reports it, and the statement still counts as submitted.
    FieldArray none, unknown;
    Fill(unknown, {Field(L"A", L"VARCHAR", 5), Field(L"B", L"")});
    EXPECT_EQ(1, m_server.CreateOLEDBTable(L"T", none, L"db"));
    EXPECT_EQ(1, m_server.CreateOLEDBTable(L"T", unknown, L"db"));
    EXPECT_EQ(1, m_server.CreateOLEDBTable(L"T", none, nullptr));
    EXPECT_EQ(Strings({L"CREATE TABLE [db].[dbo].[T] )", L"CREATE TABLE [db].[dbo].[T] )",
                       L"CREATE TABLE T )"}),
              Sent());
    EXPECT_EQ(Strings(3, RejectedReport(L"Incorrect syntax near ')'.")), Boxes());

    EXPECT_EQ(0, m_server.CreateOLEDBTable(nullptr, mixed, L"db"));
    EXPECT_TRUE(Sent().empty());

    // A COM error raised by the execution (here: no COM on this thread) is reported here.
    int nResult = -1;
    std::thread([&] { nResult = m_server.CreateOLEDBTable(L"T", mixed, L"db"); }).join();
    EXPECT_EQ(0, nResult);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(
        Strings({L"Error:\n\tCode = 800401f0\n\tCode meaning = CoInitialize has not been called."
                 L"\n\tSource = (null)\n\tDescription = (null)\n"}),
        Boxes());
}

TEST_F(Creation, ExistenceDecidesWhetherToCreate) {
    FieldArray fields;
    Fill(fields, {Field(L"ID", L"int")});
    EXPECT_EQ(0, m_server.IsSQLSrvTableExist(L"T", L"db"));
    EXPECT_EQ(1, m_server.CreateSQLSrvTable(L"T", fields, L"db"));
    EXPECT_EQ(Strings({kExistsT, kExistsT, L"CREATE TABLE [db].[dbo].[T] ([ID] int NULL)"}),
              Sent());
    EXPECT_EQ(1, m_server.IsSQLSrvTableExist(L"t", L"db")); // the catalogue ignores case

    // Any kind of object counts, and an existing one stops creation without a word.
    Exec(L"CREATE VIEW V AS SELECT ID FROM T");
    Sent();
    EXPECT_EQ(0, m_server.CreateSQLSrvTable(L"V", fields, L"db"));
    EXPECT_EQ(0, m_server.CreateSQLSrvTable(L"T", fields, L"db"));
    EXPECT_EQ(Strings({L"SELECT name FROM db.dbo.sysobjects WHERE name = 'V'", kExistsT}), Sent());
    EXPECT_TRUE(Boxes().empty());

    // Two objects of one name count as none (a trigger may share a table's name), and
    // creation is attempted.
    Exec(L"CREATE TABLE L (ID int)");
    Exec(L"CREATE TRIGGER l AFTER INSERT ON T BEGIN INSERT INTO L VALUES (NEW.ID); END");
    EXPECT_EQ(0, m_server.IsSQLSrvTableExist(L"L", L"db"));
    EXPECT_EQ(1, m_server.CreateSQLSrvTable(L"L", fields, L"db"));
    EXPECT_EQ(L"CREATE TABLE [db].[dbo].[L] ([ID] int NULL)", Sent().back());
    EXPECT_EQ(Strings({RejectedReport(L"There is already an object named 'L' in the database.")}),
              Boxes());

    // Without a database name the query fails and is reported; creation then goes on,
    // unqualified, in the current database.
    EXPECT_EQ(0, m_server.IsSQLSrvTableExist(L"T", nullptr));
    EXPECT_EQ(1, m_server.CreateSQLSrvTable(L"N", fields, nullptr));
    Strings sent = Sent();
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ(L"CREATE TABLE N ([ID] int NULL)", sent[2]);
    EXPECT_EQ(Strings(2, NoDatabaseReport(L"")), Boxes());
    EXPECT_EQ(Strings({L"id"}), ColumnNames(L"N"));

    // A null table name matches nothing, not even a table called "(null)"; creation stops
    // after the query.
    Exec(L"CREATE TABLE [(null)] (x int)");
    EXPECT_EQ(0, m_server.IsSQLSrvTableExist(nullptr, L"db"));
    EXPECT_EQ(0, m_server.CreateSQLSrvTable(nullptr, fields, L"db"));
    EXPECT_EQ(2u, Sent().size());
    EXPECT_TRUE(Boxes().empty());

    // Nor does a null database name find a table in a database called "(null)".
    ASSERT_EQ(1, m_server.InitADOServer(
                     L"Provider=SQLite; Data Source=:memory:; Initial Catalog=(null)"));
    Exec(L"CREATE TABLE T (ID int)");
    EXPECT_EQ(0, m_server.IsSQLSrvTableExist(L"T", nullptr));
    EXPECT_EQ(Strings({NoDatabaseReport(L"")}), Boxes());
}

TEST(CreationOnFile, TableOutlivesTheConnection) {
    RecordingApp app;
    std::string strPath = ::testing::TempDir() + "zqk_schema_creation.db";
    std::remove(strPath.c_str());
    // The file's name without its extension is the database's name.
    std::wstring strConnect =
        L"Provider=SQLite; Data Source=" + std::wstring(strPath.begin(), strPath.end());
    {
        CZORADORXServer server;
        ASSERT_EQ(1, server.InitADOServer(strConnect.c_str()));
        FieldArray fields;
        EXPECT_EQ(1, server.CreateSQLSrvTable(L"T", SixFields(fields), L"zqk_schema_creation"));
    }
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(strConnect.c_str()));
    EXPECT_EQ(1, server.IsSQLSrvTableExist(L"T", L"zqk_schema_creation"));
    FieldArray read;
    EXPECT_EQ(1, server.GetSQLSrvTableStru(L"T", read, L"zqk_schema_creation"));
    EXPECT_EQ(6, read.GetSize());
    EXPECT_TRUE(app.m_boxes.empty());
    std::remove(strPath.c_str());
}

} // namespace
