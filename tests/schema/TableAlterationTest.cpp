#include "SchemaTestSupport.h"

namespace {

class Alteration : public SchemaTest {
protected:
    void SetUp() override {
        SchemaTest::SetUp();
        Exec(L"CREATE TABLE T (ID int, Old int, A int, B int)");
    }
};

TEST_F(Alteration, ColumnsAreDroppedAndAddedExactly) {
    EXPECT_EQ(1, m_server.DeleteTableFields(L"T", L"Old", L"db"));
    EXPECT_EQ(Strings({L"ALTER TABLE [db].[dbo].[T] DROP COLUMN [Old]"}), Sent());
    EXPECT_EQ(Strings({L"id", L"a", L"b"}), ColumnNames(L"T"));

    // The length goes only with varchar and nvarchar, in any case; other types pass through
    // as written, and the flags are never used.
    CZORTableField name = Field(L"Name", L"VarChar", 20),
                   qty = Field(L"Qty", L"int", 99, FALSE, TRUE);
    CZORTableField wide = Field(L"Wide", L"nvarchar", 5, FALSE),
                   small = Field(L"Small", L"smallint", 3);
    CZORTableField price = Field(L"Price", L"decimal(10,2)", 7);
    for (CZORTableField* pField : {&name, &qty, &wide, &small, &price})
        EXPECT_EQ(1, m_server.AppendTableFields(L"T", *pField, L"db"));
    EXPECT_EQ(Strings({L"ALTER TABLE [db].[dbo].[T] ADD [Name] VarChar(20)",
                       L"ALTER TABLE [db].[dbo].[T] ADD [Qty] int",
                       L"ALTER TABLE [db].[dbo].[T] ADD [Wide] nvarchar(5)",
                       L"ALTER TABLE [db].[dbo].[T] ADD [Small] smallint",
                       L"ALTER TABLE [db].[dbo].[T] ADD [Price] decimal(10,2)"}),
              Sent());
    EXPECT_EQ(Strings({L"ID int 4", L"A int 4", L"B int 4", L"Name varchar 20", L"Qty int 4",
                       L"Wide nvarchar 10", L"Small smallint 2", L"Price decimal 9"}),
              Describe(L"T"));
    // Without NOT NULL the new columns take NULL.
    EXPECT_EQ(1, m_server.ExecuteSQL(L"INSERT INTO T (ID) VALUES (1)"));
    EXPECT_TRUE(Boxes().empty());

    // A failure is reported by the execution and does not change the answer.
    EXPECT_EQ(1, m_server.DeleteTableFields(L"T", L"Missing", L"db"));
    EXPECT_EQ(1, m_server.AppendTableFields(L"T", qty, L"db"));
    EXPECT_EQ(Strings({RejectedReport(L"ALTER TABLE DROP COLUMN failed because column 'Missing' "
                                      L"does not exist in table 'T'."),
                       RejectedReport(L"duplicate column name: Qty")}),
              Boxes());
    EXPECT_EQ(8u, Describe(L"T").size());
}

TEST_F(Alteration, ArrayFormsTryEveryElementInOrder) {
    CStringArray drop;
    EXPECT_EQ(1, m_server.DeleteTableFields(L"T", Fill(drop, {L"A", L"Missing", L"B"}), L"db"));
    EXPECT_EQ(Strings({L"ALTER TABLE [db].[dbo].[T] DROP COLUMN [A]",
                       L"ALTER TABLE [db].[dbo].[T] DROP COLUMN [Missing]",
                       L"ALTER TABLE [db].[dbo].[T] DROP COLUMN [B]"}),
              Sent());
    EXPECT_EQ(1u, Boxes().size());
    EXPECT_EQ(Strings({L"id", L"old"}), ColumnNames(L"T"));

    FieldArray add;
    Fill(add, {Field(L"ID", L"int"), Field(L"C", L"varchar", 4), Field(L"D", L"float")});
    EXPECT_EQ(1, m_server.AppendTableFields(L"T", add, L"db"));
    EXPECT_EQ(Strings({L"ALTER TABLE [db].[dbo].[T] ADD [ID] int",
                       L"ALTER TABLE [db].[dbo].[T] ADD [C] varchar(4)",
                       L"ALTER TABLE [db].[dbo].[T] ADD [D] float"}),
              Sent());
    EXPECT_EQ(1u, Boxes().size()); // ID is there already
    EXPECT_EQ(Strings({L"ID int 4", L"Old int 4", L"C varchar 4", L"D float 8"}), Describe(L"T"));

    // Empty containers and null names send nothing.
    CStringArray noNames;
    FieldArray noFields;
    EXPECT_EQ(1, m_server.DeleteTableFields(L"T", noNames, L"db"));
    EXPECT_EQ(1, m_server.AppendTableFields(L"T", noFields, L"db"));
    EXPECT_EQ(1, m_server.DeleteTable(noNames));
    EXPECT_EQ(0, m_server.DeleteTableFields(nullptr, drop, L"db"));
    EXPECT_EQ(0, m_server.DeleteTableFields(nullptr, L"Old", L"db"));
    EXPECT_EQ(0, m_server.DeleteTableFields(L"T", nullptr, L"db"));
    EXPECT_EQ(0, m_server.AppendTableFields(nullptr, add, L"db"));
    EXPECT_EQ(0, m_server.AppendTableFields(nullptr, add[0], L"db"));
    EXPECT_EQ(0, m_server.DeleteTable(static_cast<LPCWSTR>(nullptr)));
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Alteration, NullDatabaseName) {
    // Dropping a column needs the database: the single form refuses, the array form skips all.
    CStringArray drop;
    EXPECT_EQ(0, m_server.DeleteTableFields(L"T", L"A", nullptr));
    EXPECT_EQ(1, m_server.DeleteTableFields(L"T", Fill(drop, {L"A", L"B"}), nullptr));
    EXPECT_TRUE(Sent().empty());

    // Adding one sends a statement that names no real database; it fails and is reported.
    CZORTableField field = Field(L"C", L"int");
    FieldArray add;
    Fill(add, {Field(L"D", L"int"), Field(L"E", L"varchar", 3)});
    EXPECT_EQ(1, m_server.AppendTableFields(L"T", field, nullptr));
    EXPECT_EQ(1, m_server.AppendTableFields(L"T", add, nullptr));
    EXPECT_EQ(3u, Sent().size());
    Strings boxes = Boxes();
    ASSERT_EQ(3u, boxes.size());
    for (const std::wstring& strBox : boxes)
        EXPECT_EQ(0u, strBox.find(L"Error:\n\tCode = 80040e14\n")) << strBox;
    EXPECT_EQ(Strings({L"id", L"old", L"a", L"b"}), ColumnNames(L"T"));

    // Not even where the database is called "(null)".
    CZORADORXServer named;
    ASSERT_EQ(
        1, named.InitADOServer(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=(null)"));
    ASSERT_EQ(1, named.ExecuteSQL(L"CREATE TABLE T (ID int)"));
    EXPECT_EQ(1, named.AppendTableFields(L"T", field, nullptr));
    EXPECT_EQ(1u, Boxes().size());
    EXPECT_EQ(1, named.IsSelEmpty(L"SELECT name FROM syscolumns WHERE name = 'C'"));
}

TEST_F(Alteration, TablesAreDroppedByBareName) {
    EXPECT_EQ(1, m_server.DeleteTable(L"T"));
    EXPECT_EQ(Strings({L"DROP TABLE [T]"}), Sent());
    EXPECT_EQ(Strings(), ColumnNames(L"T"));

    // Every name is tried, in order, whatever happened to the one before.
    Exec(L"CREATE TABLE A (x int)");
    Exec(L"CREATE TABLE B (x int)");
    CStringArray tables;
    EXPECT_EQ(1, m_server.DeleteTable(Fill(tables, {L"T", L"A", L"B"})));
    EXPECT_EQ(Strings({L"DROP TABLE [T]", L"DROP TABLE [A]", L"DROP TABLE [B]"}), Sent());
    EXPECT_EQ(Strings({RejectedReport(
                  L"Cannot drop the table 'T', because it does not exist or you do not have "
                  L"permission.")}),
              Boxes());
    CStringArray names;
    m_server.GetSQLSrvTableNames(names, L"db");
    EXPECT_EQ(0, names.GetSize());
}

} // namespace
