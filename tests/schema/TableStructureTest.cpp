#include <thread>

#include "SchemaTestSupport.h"

namespace {

class Structure : public SchemaTest {
protected:
    void SetUp() override {
        SchemaTest::SetUp();
        Exec(L"CREATE TABLE T (ID int, Name varchar(20), Note nvarchar(10))");
    }
};

TEST_F(Structure, CatalogueColumnsAppendNameTypeAndByteLength) {
    const Strings expected = {L"ID int 4", L"Name varchar 20", L"Note nvarchar 20"};
    FieldArray fields;
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"T", fields, L"db"));
    EXPECT_EQ(expected, Columns(fields));
    EXPECT_EQ(
        Strings({L"SELECT name, xtype, length FROM db.dbo.syscolumns WHERE id = (SELECT id FROM "
                 L"db.dbo.sysobjects WHERE name = 'T') ORDER BY colid",
                 L"SELECT xtype,name from db.dbo.systypes"}),
        Sent());

    // Without a database name the current database's catalogue is asked.
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"T", fields, nullptr));
    EXPECT_EQ(Strings({L"SELECT name, xtype, length FROM syscolumns WHERE id = (SELECT id FROM "
                       L"sysobjects WHERE name = 'T') ORDER BY colid",
                       L"SELECT xtype,name from systypes"}),
              Sent());
    Strings twice = expected;
    twice.insert(twice.end(), expected.begin(), expected.end());
    EXPECT_EQ(twice, Columns(fields));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Structure, NamesMatchTheCatalogueWithoutRegardToCaseOrTrailingBlanks) {
    FieldArray fields;
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"t ", fields, L"db"));
    EXPECT_EQ(Strings({L"ID int 4", L"Name varchar 20", L"Note nvarchar 20"}), Columns(fields));
    EXPECT_EQ(1, m_server.IsSQLSrvTableExist(L"T  ", L"db"));
    EXPECT_EQ(0, m_server.IsSQLSrvTableExist(L" T", L"db")); // leading blanks count
    Sent();
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Structure, NoRowsAppendNothing) {
    // A null name names no table, not even one called "(null)".
    Exec(L"CREATE TABLE [(null)] (x int)");
    FieldArray fields;
    EXPECT_EQ(0, m_server.GetSQLSrvTableStru(L"Missing", fields, L"db"));
    EXPECT_EQ(0, m_server.GetSQLSrvTableStru(nullptr, fields, L"db"));
    EXPECT_EQ(0, m_server.GetSQLSrvTableStru(nullptr, fields, nullptr));
    EXPECT_EQ(0, fields.GetSize());
    EXPECT_TRUE(Boxes().empty());

    // The result only says whether the array holds anything afterwards.
    Fill(fields, {Field(L"Kept", L"bit", 3, FALSE, TRUE)});
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"Missing", fields, L"db"));
    EXPECT_EQ(Strings({L"Kept bit 3 NOT NULL KEY"}), Columns(fields));

    // A database that is not there fails both queries, each reported by its reader, whether
    // or not a table name is given.
    FieldArray other;
    Sent();
    EXPECT_EQ(0, m_server.GetSQLSrvTableStru(L"T", other, L"other"));
    EXPECT_EQ(2u, Sent().size());
    EXPECT_EQ(Strings(2, NoDatabaseReport(L"other")), Boxes());
    EXPECT_EQ(0, m_server.GetSQLSrvTableStru(nullptr, other, L"other"));
    EXPECT_EQ(2u, Sent().size());
    EXPECT_EQ(Strings(2, NoDatabaseReport(L"other")), Boxes());
}

TEST_F(Structure, ColumnNameListIsLowerCased) {
    CStringList names;
    names.AddTail(L"Before");
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"T", names, L"db"));
    EXPECT_EQ(
        Strings({L"SELECT name FROM db.dbo.syscolumns WHERE id = (SELECT id FROM db.dbo.sysobjects "
                 L"WHERE name = 'T') ORDER BY colid"}),
        Sent());
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"T", names, nullptr));
    EXPECT_EQ(Strings({L"Before", L"id", L"name", L"note", L"id", L"name", L"note"}),
              Contents(names));

    // A missing table or a failing query adds nothing and still answers 1.
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"Missing", names, L"db"));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(1, m_server.GetSQLSrvTableStru(L"T", names, L"other"));
    EXPECT_EQ(Strings({NoDatabaseReport(L"other")}), Boxes());
    EXPECT_EQ(7, names.GetCount());

    Sent();
    EXPECT_EQ(0, m_server.GetSQLSrvTableStru(nullptr, names, L"db"));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Structure, ProviderFieldDescriptionsMapToServerTypes) {
    Exec(L"CREATE TABLE P (A varchar(30), B int, C datetime, D nvarchar(10), E bit, F float, G "
         L"text, "
         L"H image, I smallint, J real, K varbinary(9))");
    FieldArray fields;
    Fill(fields, {Field(L"Kept", L"x", 1)});
    EXPECT_EQ(1, m_server.GetTableStructInfoEx(L"P", fields));
    EXPECT_EQ(Strings({L"Kept x 1", L"A varchar 30", L"B int 4", L"C datetime 8", L"D varchar 50",
                       L"E varchar 50", L"F float 8", L"G text 16", L"H image 16", L"I smallint 2",
                       L"J real 4", L"K varbinary 50"}),
              Columns(fields));
    EXPECT_EQ(Strings({L"P"}), Sent()); // opened by name, not through a query

    EXPECT_EQ(1, m_server.GetTableStructInfoEx(L"T", fields));
    EXPECT_EQ(0, m_server.GetTableStructInfoEx(nullptr, fields));
    EXPECT_EQ(15, fields.GetSize());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Structure, UnopenableTableIsReportedThenReadAsItStands) {
    // A recordset that never opened has no fields: nothing follows the reported error.
    FieldArray fields;
    EXPECT_EQ(1, m_server.GetTableStructInfoEx(L"Missing", fields));
    EXPECT_EQ(Strings({L"Missing"}), Sent());
    EXPECT_EQ(
        Strings({L"Error:\n\tCode = 80040e37\n\tCode meaning = IDispatch error #3127\n\tSource = "
                 L"SQLite\n\tDescription = Invalid object name 'Missing'.\n"}),
        Boxes());

    // The same over a connection that never opened, and over none at all.
    CZORADORXServer closed, never;
    EXPECT_EQ(0, closed.InitADOServer(L"Provider=SQLite; Data Source=/nonexistent/dir/x.db"));
    Boxes();
    EXPECT_EQ(1, closed.GetTableStructInfoEx(L"T", fields));
    EXPECT_EQ(1, never.GetTableStructInfoEx(L"T", fields));
    EXPECT_EQ(0, fields.GetSize());
    EXPECT_EQ(
        Strings(2,
                L"Error:\n\tCode = 800a0e7d\n\tCode meaning = Unknown error 0x800A0E7D\n\tSource = "
                L"ADODB.Recordset\n\tDescription = The connection cannot be used to perform this "
                L"operation. It is either closed or invalid in this context.\n"),
        Boxes());

    // Failing to create the recordset (no COM on this thread) is not caught here.
    HRESULT hr = S_OK;
    std::thread([&] {
        try {
            m_server.GetTableStructInfoEx(L"T", fields);
        } catch (_com_error& e) {
            hr = e.Error();
        }
    }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, hr);
    EXPECT_EQ(0, fields.GetSize());
    EXPECT_TRUE(Boxes().empty());
}

} // namespace
