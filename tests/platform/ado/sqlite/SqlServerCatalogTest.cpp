// SQL Server's catalogue over the embedded database: type codes and storage lengths of
// declared types, and the sysobjects, syscolumns and systypes views of a connection.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "SqlServerScriptSupport.h"
#include "platform/ado/AdoInterfaces.h"
#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/win/TextEncoding.h"
#include "support/TempDir.h"

namespace {

class SqlServerCatalog : public SqlServerScript {
protected:
    const wchar_t* Catalog() const override { return L"db"; }
};

} // namespace

TEST(SqlServerTypeOf, GivesCodesAndStorageLengths) {
    struct Expected {
        int nXtype, nLength, nPrec, nScale;
    };
    struct Case {
        const char* pszDeclared;
        Expected expected;
    };
    // clang-format off
    const Case cases[] = {
        {"int", {56, 4, 10, 0}}, {"INTEGER", {56, 4, 10, 0}}, {"smallint", {52, 2, 5, 0}},
        {"tinyint", {48, 1, 3, 0}}, {"bigint", {127, 8, 19, 0}}, {"bit", {104, 1, 1, 0}},
        {"datetime", {61, 8, 23, 3}}, {"smalldatetime", {58, 4, 16, 0}}, {"date", {40, 3, 10, 0}},
        {"float", {62, 8, 53, 0}}, {"float(53)", {62, 8, 53, 0}}, {"float(24)", {59, 4, 24, 0}},
        {"double precision", {62, 8, 53, 0}}, {"real", {59, 4, 24, 0}}, {"money", {60, 8, 19, 4}},
        {"text", {35, 16, 0, 0}}, {"ntext", {99, 16, 0, 0}}, {"image", {34, 16, 0, 0}},
        {"uniqueidentifier", {36, 16, 0, 0}}, {"sysname", {231, 256, 128, 0}},
        // Sized types: bytes, twice the characters for the national ones.
        {"char(10)", {175, 10, 10, 0}}, {"varchar (50)", {167, 50, 50, 0}},
        {"Binary(16)", {173, 16, 16, 0}}, {"varbinary(300)", {165, 300, 300, 0}},
        {"nchar(10)", {239, 20, 10, 0}}, {"NVarChar ( 10 )", {231, 20, 10, 0}},
        {"varchar", {167, 1, 1, 0}}, {"nvarchar", {231, 2, 1, 0}},
        {"nvarchar(max)", {231, -1, -1, 0}}, {"varchar( MAX )", {167, -1, -1, 0}},
        {"varchar(8001)", {167, -1, -1, 0}}, {"nvarchar(4000)", {231, 8000, 4000, 0}},
        {"nvarchar(2000000000)", {231, -1, -1, 0}}, {"varbinary(max)", {165, -1, -1, 0}},
        // Decimals by precision.
        {"decimal(9,2)", {106, 5, 9, 2}}, {"numeric(10)", {108, 9, 10, 0}},
        {"decimal(19, 4)", {106, 9, 19, 4}}, {"decimal(20,4)", {106, 13, 20, 4}},
        {"numeric(28)", {108, 13, 28, 0}}, {"numeric(29,1)", {108, 17, 29, 1}},
        {"decimal(38,10)", {106, 17, 38, 10}}, {"decimal", {106, 9, 18, 0}},
        // No type at all, and types SQL Server does not know: by SQLite's affinity rules, as
        // SQLite holds them (64-bit whole numbers, Unicode text).
        {"", {98, 8016, 0, 0}}, {nullptr, {98, 8016, 0, 0}}, {"  ", {98, 8016, 0, 0}},
        {"mediumint", {127, 8, 19, 0}}, {"floating point", {127, 8, 19, 0}},
        {"varchar2(30)", {231, 60, 30, 0}}, {"character varying", {99, 16, 0, 0}},
        {"clob", {99, 16, 0, 0}}, {"blob", {34, 16, 0, 0}}, {"double", {62, 8, 53, 0}},
        {"boolean", {104, 1, 1, 0}}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszDeclared ? c.pszDeclared : "(null)");
        CSqlDeclaredType t = SqlServerParseType(c.pszDeclared);
        EXPECT_EQ(c.expected.nXtype, t.Xtype());
        EXPECT_EQ(c.expected.nLength, t.StorageLength());
        EXPECT_EQ(c.expected.nPrec, t.CatalogPrec());
        EXPECT_EQ(c.expected.nScale, t.CatalogScale());
    }
}

TEST_F(SqlServerCatalog, SystypesListsSqlServerTypesInOrder) {
    // clang-format off
    const Rows expected = {
        {L"bigint", L"127", L"8"}, {L"binary", L"173", L"8000"}, {L"bit", L"104", L"1"},
        {L"char", L"175", L"8000"},
        {L"date", L"40", L"3"}, {L"datetime", L"61", L"8"}, {L"datetime2", L"42", L"8"},
        {L"decimal", L"106", L"17"}, {L"float", L"62", L"8"}, {L"image", L"34", L"16"},
        {L"int", L"56", L"4"}, {L"money", L"60", L"8"}, {L"nchar", L"239", L"8000"},
        {L"ntext", L"99", L"16"}, {L"numeric", L"108", L"17"}, {L"sysname", L"231", L"256"},
        {L"nvarchar", L"231", L"8000"}, {L"real", L"59", L"4"}, {L"smalldatetime", L"58", L"4"},
        {L"smallint", L"52", L"2"}, {L"smallmoney", L"122", L"4"}, {L"sql_variant", L"98", L"8016"},
        {L"text", L"35", L"16"}, {L"time", L"41", L"5"}, {L"timestamp", L"189", L"8"},
        {L"tinyint", L"48", L"1"}, {L"uniqueidentifier", L"36", L"16"},
        {L"varbinary", L"165", L"8000"}, {L"varchar", L"167", L"8000"}};
    // clang-format on
    EXPECT_EQ(expected, Query(m_pConn, L"SELECT name, xtype, length FROM systypes"));
    // Read in order into a map from code to name, 231 ends as nvarchar, not sysname.
    std::map<std::wstring, std::wstring> names;
    for (const auto& row : Query(m_pConn, L"SELECT xtype,name from db.dbo.systypes"))
        names[row[0]] = row[1];
    EXPECT_EQ(L"nvarchar", names[L"231"]);
    EXPECT_EQ(28u, names.size());
}

TEST_F(SqlServerCatalog, SysobjectsAndSyscolumnsDescribeTheSchema) {
    Query(m_pConn,
          L"CREATE TABLE T (a int NOT NULL, [B c] varchar(20), d decimal(10,2) PRIMARY KEY, e, "
          L"f nvarchar(max), g float(10))");
    Query(m_pConn,
          L"CREATE TABLE U (x INTEGER PRIMARY KEY AUTOINCREMENT); CREATE INDEX IU ON T(a); "
          L"CREATE VIEW V AS SELECT a FROM T; "
          L"CREATE TRIGGER TR AFTER INSERT ON T BEGIN SELECT 1; END");
    Rows objects =
        Query(m_pConn,
              L"SELECT name, xtype, type, uid, parent_obj, crdate FROM sysobjects ORDER BY name");
    const std::wstring idT =
        Query(m_pConn, L"SELECT id FROM sysobjects WHERE name = 'T'").at(0).at(0);
    // Tables and views carry their creation time; SQLite's triggers do not.
    const std::wstring created = objects.at(0).at(5);
    EXPECT_EQ(19u, created.size());
    EXPECT_EQ(Query(m_pConn, L"SELECT datetime('now','localtime') >= '" + created +
                                 L"' AND datetime('now','localtime','-60 seconds') <= '" + created +
                                 L"'"),
              (Rows{{L"1"}}));
    for (auto& row : objects)
        if (row.at(5) != L"NULL")
            row.at(5) = L"created";
    // No indexes, no SQLite bookkeeping (sqlite_sequence from AUTOINCREMENT); the keys are
    // objects of their tables, named as SQL Server names keys declared without a name.
    const std::wstring idU =
        Query(m_pConn, L"SELECT id FROM sysobjects WHERE name = 'U'").at(0).at(0);
    ASSERT_GE(objects.size(), 2u);
    EXPECT_EQ(0u, objects[0][0].find(L"PK__T__"));
    EXPECT_EQ(0u, objects[1][0].find(L"PK__U__"));
    objects[0][0] = L"PK T", objects[1][0] = L"PK U";
    EXPECT_EQ((Rows{{L"PK T", L"PK", L"K", L"1", idT, L"created"},
                    {L"PK U", L"PK", L"K", L"1", idU, L"created"},
                    {L"T", L"U", L"U", L"1", L"0", L"created"},
                    {L"TR", L"TR", L"TR", L"1", idT, L"NULL"},
                    {L"U", L"U", L"U", L"1", L"0", L"created"},
                    {L"V", L"V", L"V", L"1", L"0", L"created"}}),
              objects);
    EXPECT_EQ((Rows{{L"a", L"56", L"4", L"1", L"0", L"10", L"0"},
                    {L"B c", L"167", L"20", L"2", L"1", L"20", L"0"},
                    {L"d", L"106", L"9", L"3", L"0", L"10", L"2"},
                    {L"e", L"98", L"8016", L"4", L"1", L"0", L"0"},
                    {L"f", L"231", L"-1", L"5", L"1", L"-1", L"0"},
                    {L"g", L"59", L"4", L"6", L"1", L"24", L"0"}}),
              Query(m_pConn,
                    L"SELECT name, xtype, length, colid, isnullable, prec, scale FROM syscolumns "
                    L"WHERE id = " +
                        idT + L" ORDER BY colid"));
    EXPECT_EQ((Rows{{L"a"}}),
              Query(m_pConn, L"SELECT c.name FROM sysobjects o JOIN syscolumns c ON c.id = o.id "
                             L"WHERE o.name = 'V'"));
    // Ids stay while the schema of the object does not change; names compare regardless of case.
    Query(m_pConn, L"INSERT INTO T (a, d) VALUES (1, 2); CREATE TABLE W (z int); DROP TABLE U");
    EXPECT_EQ((Rows{{idT}}), Query(m_pConn, L"SELECT id FROM db.dbo.sysobjects WHERE name = 't'"));
    EXPECT_EQ((Rows{{L"B c"}}), Query(m_pConn, L"SELECT name FROM syscolumns WHERE id = " + idT +
                                                   L" AND name = 'b C'"));
    EXPECT_EQ((Rows{{L"T"}, {L"W"}}),
              Query(m_pConn, L"SELECT name FROM sysobjects WHERE xtype = 'U' ORDER BY name"));
}

TEST_F(SqlServerCatalog, NamesCompareAsTheDefaultCollationCompares) {
    // Case and trailing blanks do not count, accents do, in every view's names.
    Query(m_pConn, L"CREATE TABLE S (Col int PRIMARY KEY, [é] varchar(5))");
    const std::wstring idS =
        Query(m_pConn, L"SELECT id FROM sysobjects WHERE name = 'S'").at(0).at(0);
    RunScript(m_pConn,
              {{L"SELECT name FROM db.dbo.sysobjects WHERE name = 's  '", {{L"S"}}},
               {L"SELECT name FROM sysobjects WHERE name IN ('S ') AND xtype = 'U'", {{L"S"}}},
               {L"SELECT name FROM syscolumns WHERE name = 'COL  '", {{L"Col"}}},
               {L"SELECT count(*) FROM syscolumns WHERE name = 'e'", {{L"0"}}},
               {L"SELECT name FROM syscolumns WHERE name = 'É '", {{L"é"}}},
               {L"SELECT xtype FROM systypes WHERE name = 'INT  '", {{L"56"}}},
               {L"SELECT name FROM sys.objects WHERE name = 's ' AND type = 'U'", {{L"S"}}},
               {L"SELECT name FROM sys.tables WHERE name = 's '", {{L"S"}}},
               {L"SELECT name FROM sys.columns WHERE name = 'col '", {{L"Col"}}},
               {L"SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 's ' AND "
                L"TABLE_SCHEMA = 'DBO '",
                {{L"S"}}},
               {L"SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 's ' AND "
                L"COLUMN_NAME = 'col '",
                {{L"Col"}}},
               // The key the table declared is listed under its name the same way.
               {L"SELECT count(*) FROM sysobjects o JOIN sys.indexes i ON i.name = o.name WHERE "
                L"o.parent_obj = " +
                    idS + L" AND i.name = upper(o.name) || '  '",
                {{L"1"}}}});
    // Names sort by the same collation: 'b' between 'A' and 'C'.
    Query(m_pConn, L"CREATE TABLE b (x int); CREATE TABLE C (x int); CREATE TABLE A (x int)");
    EXPECT_EQ((Rows{{L"A"}, {L"b"}, {L"C"}, {L"S"}}),
              Query(m_pConn, L"SELECT name FROM sysobjects WHERE xtype = 'U' ORDER BY name"));
}

TEST_F(SqlServerCatalog, AttachedDatabasesHaveTheirOwnViews) {
    TempDir dir;
    Query(m_pConn, L"ATTACH '" + dir.WideFile("arch.db") + L"' AS Arch");
    Query(m_pConn, L"ATTACH '" + dir.WideFile("quote.db") + L"' AS [o'k]");
    Query(
        m_pConn,
        L"CREATE TABLE db.dbo.Here (h int); CREATE TABLE arch.dbo.Old (a varchar(5), b nchar(3)); "
        L"CREATE TABLE [o'k].[dbo].[Q] (q bit)");
    EXPECT_EQ((Rows{{L"Old"}}),
              Query(m_pConn, L"SELECT name FROM ARCH.dbo.sysobjects where xtype='U'"));
    EXPECT_EQ((Rows{{L"Here"}}),
              Query(m_pConn, L"SELECT name FROM db.dbo.sysobjects where xtype='U'"));
    EXPECT_EQ((Rows{{L"Q"}}), Query(m_pConn, L"SELECT name FROM [o'k]..sysobjects"));
    EXPECT_EQ((Rows{{L"a", L"167", L"5"}, {L"b", L"239", L"6"}}),
              Query(m_pConn,
                    L"SELECT name, xtype, length FROM arch.dbo.syscolumns WHERE id = "
                    L"(SELECT id FROM arch.dbo.sysobjects WHERE name = 'Old') ORDER BY colid"));
    EXPECT_EQ((Rows{{L"q", L"104", L"1"}}),
              Query(m_pConn, L"SELECT name, xtype, length FROM [o'k].dbo.syscolumns WHERE id = "
                             L"(SELECT id FROM [o'k].dbo.sysobjects WHERE name = 'Q')"));
    EXPECT_EQ((Rows{{L"29"}}), Query(m_pConn, L"SELECT count(*) FROM arch.dbo.systypes"));
    Query(m_pConn, L"DROP TABLE arch..Old");
    EXPECT_TRUE(Query(m_pConn, L"SELECT name FROM arch.dbo.sysobjects").empty());
}
