#include "SchemaTestSupport.h"

namespace {

class Names : public SchemaTest {
protected:
    void SetUp() override {
        SchemaTest::SetUp();
        Exec(L"CREATE TABLE Orders (id int)");
        Exec(L"CREATE TABLE Items (id int)");
        Exec(L"CREATE VIEW Recent AS SELECT id FROM Orders");
    }
};

const wchar_t kUserTables[] = L"SELECT name FROM db.dbo.sysobjects where xtype='U'";
const wchar_t kNoConnection[] = L"数据库没有正常连接...";

TEST_F(Names, CatalogueListsUserTables) {
    CStringArray arr;
    m_server.GetSQLSrvTableNames(Fill(arr, {L"Before"}), L"db");
    m_server.GetSQLSrvTableNames(arr, L"db");
    EXPECT_EQ(Strings({L"Before", L"Orders", L"Items", L"Orders", L"Items"}), Contents(arr));

    CStringList lst;
    m_server.GetSQLSrvTableNames(lst, L"db");
    m_server.GetSQLSrvTableNames(lst, L"db");
    EXPECT_EQ(Strings({kUserTables, kUserTables, kUserTables, kUserTables}), Sent());
    EXPECT_EQ(Strings({L"orders", L"items", L"orders", L"items"}), Contents(lst));
    EXPECT_TRUE(Boxes().empty());

    // Without a database name nothing is asked.
    m_server.GetSQLSrvTableNames(arr, nullptr);
    m_server.GetSQLSrvTableNames(lst, nullptr);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(5, arr.GetSize());
    EXPECT_EQ(4, lst.GetCount());

    // A database that is not there is reported by the reader and adds nothing.
    m_server.GetSQLSrvTableNames(arr, L"other");
    m_server.GetSQLSrvTableNames(lst, L"other");
    EXPECT_EQ(Strings(2, NoDatabaseReport(L"other")), Boxes());
    EXPECT_EQ(5, arr.GetSize());
    EXPECT_EQ(4, lst.GetCount());
}

TEST_F(Names, ProviderRowsetFiltersByType) {
    Exec(L"CREATE TABLE [Padded  ] (id int)");
    Exec(L"CREATE TABLE [  Lead] (id int)");
    const Strings tables = {L"  Lead", L"Items", L"Orders", L"Padded"};

    // No type means TABLE, compared without regard to case.
    CStringList lstDefault, lstLower;
    m_server.GetOLDBTableNameList(lstDefault, nullptr);
    m_server.GetOLDBTableNameList(lstLower, L"table");
    EXPECT_EQ(tables, Contents(lstDefault));
    EXPECT_EQ(tables, Contents(lstLower));

    CStringArray arrOLDB, arrPlain;
    m_server.GetOLDBTableNameArray(Fill(arrOLDB, {L"Before"}), L"TABLE");
    m_server.GetTableNameArray(Fill(arrPlain, {L"Before"}), L"Table");
    Strings expected = {L"Before"};
    expected.insert(expected.end(), tables.begin(), tables.end());
    EXPECT_EQ(expected, Contents(arrOLDB));
    EXPECT_EQ(expected, Contents(arrPlain));

    // Other types the provider reports can be asked for; a second call lists again.
    CStringArray views;
    m_server.GetOLDBTableNameArray(views, L"VIEW");
    m_server.GetTableNameArray(views, L"view");
    EXPECT_EQ(Strings({L"Recent", L"Recent"}), Contents(views));
    CStringList none;
    m_server.GetOLDBTableNameList(none, L"SYNONYM");
    EXPECT_EQ(0, none.GetCount());

    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST(NamesWithoutConnection, EveryListingSaysSoOnceAndReturns) {
    RecordingApp app;
    CZORADORXServer server;
    CStringList lst;
    CStringArray arr;
    server.GetOLDBTableNameList(lst, nullptr);
    server.GetOLDBTableNameArray(Fill(arr, {L"Before"}), L"TABLE");
    server.GetTableNameArray(arr, nullptr);
    ASSERT_EQ(3u, app.m_boxes.size());
    for (const RecordingApp::Box& box : app.m_boxes) {
        EXPECT_EQ(kNoConnection, box.strText);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.nType);
        EXPECT_EQ(0u, box.nIDHelp);
    }
    EXPECT_EQ(0, lst.GetCount());
    EXPECT_EQ(Strings({L"Before"}), Contents(arr));

    // A connection object that never opened fails inside the guarded part instead.
    EXPECT_EQ(0, server.InitADOServer(L"Provider=SQLite; Data Source=/nonexistent/dir/x.db"));
    app.m_boxes.clear();
    server.GetOLDBTableNameList(lst, nullptr);
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_EQ(
        L"Error:\n\tCode = 800a0e78\n\tCode meaning = Unknown error 0x800A0E78\n\tSource = "
        L"ADODB.Connection\n\tDescription = Operation is not allowed when the object is closed.\n",
        app.m_boxes[0].strText);
    EXPECT_EQ(0, lst.GetCount());
}

} // namespace
