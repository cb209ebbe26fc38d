#include <gtest/gtest.h>

#include "support/RecordingApp.h"
#include "zqk_vododuvod.h"

TEST(ServerSmoke, OpenExecuteRead) {
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1,
              server.InitADOServer(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db"));
    EXPECT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(id int, name nvarchar(20))"));
    EXPECT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1, '  a  '), (2, NULL), (3, 'c')"));
    CStringArray arr;
    EXPECT_EQ(3, server.GetSelData(L"SELECT id, name FROM t ORDER BY id", arr));
    ASSERT_EQ(6, arr.GetSize());
    EXPECT_STREQ(L"a", arr[1]);
    EXPECT_STREQ(L"", arr[3]);
    CStringArray range;
    EXPECT_EQ(1, server.GetSelData(L"SELECT id FROM t ORDER BY id", range, 1, 2));
    EXPECT_EQ(2, range.GetSize());
    _variant_t v;
    LONG nRows = 0, nCols = 0;
    EXPECT_EQ(1, server.GetSelData(L"SELECT id, name FROM t", v, nRows, nCols));
    EXPECT_EQ(3, nRows);
    EXPECT_EQ(2, nCols);
    EXPECT_EQ(0, server.ExecuteSQL(L"BAD SQL"));
    ASSERT_EQ(1u, app.m_boxes.size());
    CArray<CZORTableField, CZORTableField&> fields;
    EXPECT_EQ(1, server.GetSQLSrvTableStru(L"t", fields, L"db"));
    ASSERT_EQ(2, fields.GetSize());
    EXPECT_STREQ(L"nvarchar", fields[1].m_strType);
    EXPECT_EQ(40, fields[1].m_nSize);
    CStringArray names;
    server.GetSQLSrvTableNames(names, L"db");
    EXPECT_EQ(1, names.GetSize());
    CStringList lst;
    server.GetOLDBTableNameList(lst, nullptr);
    EXPECT_EQ(1, lst.GetCount());
    server.BeginTrans();
    server.ExecuteSQL(L"DELETE FROM t");
    server.RollbackTrans();
    EXPECT_EQ(0, server.IsSelEmpty(L"SELECT * FROM t"));
}
