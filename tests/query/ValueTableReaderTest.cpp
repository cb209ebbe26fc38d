// The readers into CZORValueTable: field names as the label record, one record per row.
#include "ReaderTestSupport.h"

TEST(ValueTableReader, LabelsAndRows) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(id int, name nvarchar(20))"));
    ASSERT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1, '  a  '), (2, NULL)"));

    // Blanks around an alias are not part of the label.
    CZORValueTable table;
    EXPECT_EQ(1, server.GetSelData(L"SELECT 1 AS [ x ], '  v  ' AS [y   ]", table, 1));
    EXPECT_EQ((Strings{L"x", L"y"}), Labels(table));
    EXPECT_EQ((std::vector<Strings>{{L"1", L"v"}}), Rows(table));

    // A second call appends its rows and replaces the labels; a NULL row still becomes a record.
    EXPECT_EQ(2, server.GetSelData(L"SELECT id, name, NULL AS blank FROM t ORDER BY id", table, 1));
    EXPECT_EQ((Strings{L"id", L"name", L"blank"}), Labels(table));
    EXPECT_EQ((std::vector<Strings>{{L"1", L"v"}, {L"1", L"a", L""}, {L"2", L"", L""}}),
              Rows(table));
    EXPECT_EQ(1, server.GetSelData(L"SELECT NULL, NULL", table, 0));
    EXPECT_EQ((Strings{L"", L""}), Rows(table).back());

    // Without the flag the labels stay as they were.
    EXPECT_EQ(2, server.GetSelData(L"SELECT name AS other FROM t ORDER BY id", table, 0));
    EXPECT_EQ((Strings{L"id", L"name", L"blank"}), Labels(table));
    EXPECT_EQ(6, table.m_RecordAr.GetSize());

    // An empty result still names the columns when asked, and only then.
    CZORValueTable empty;
    EXPECT_EQ(0, server.GetSelData(L"SELECT name, id FROM t WHERE id > 5", empty, 0));
    EXPECT_TRUE(Labels(empty).empty());
    EXPECT_EQ(0, server.GetSelData(L"SELECT name, id FROM t WHERE id > 5", empty, 1));
    EXPECT_EQ((Strings{L"name", L"id"}), Labels(empty));
    EXPECT_EQ(0, empty.m_RecordAr.GetSize());
    EXPECT_EQ(0, server.GetSelData(L"SELECT id AS late FROM t WHERE id > 5", empty, 0, 3, 1));
    EXPECT_EQ((Strings{L"late"}), Labels(empty));
    EXPECT_EQ(0, empty.m_RecordAr.GetSize());
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ValueTableReader, ResultsAndRange) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 10);

    CZORValueTable table;
    EXPECT_EQ(0, server.GetSelData(nullptr, table, 1));
    EXPECT_EQ(0, server.GetSelData(nullptr, table, 0, 3, 1));
    EXPECT_EQ(-1, server.GetSelData(L"UPDATE n SET name = upper(name)", table, 1));
    EXPECT_EQ(-1, server.GetSelData(L"DELETE FROM n WHERE id > 5", table, 0, 3, 1));
    EXPECT_TRUE(Labels(table).empty());
    EXPECT_EQ(0, table.m_RecordAr.GetSize());

    // Rows 1 and 2 of five; the result is the range counter, one less than the rows added.
    EXPECT_EQ(1, server.GetSelData(L"SELECT id, name FROM n ORDER BY id", table, 1, 2, 1));
    EXPECT_EQ((Strings{L"id", L"name"}), Labels(table));
    EXPECT_EQ((std::vector<Strings>{{L"2", L"R2"}, {L"3", L"R3"}}), Rows(table));

    // The result set runs out first: every row from the start is added and counted.
    EXPECT_EQ(2, server.GetSelData(L"SELECT id FROM n ORDER BY id", table, 3, 8, 0));
    // End before start: the start row alone.
    EXPECT_EQ(0, server.GetSelData(L"SELECT id FROM n ORDER BY id", table, 2, 0, 0));
    // Start past the end: nothing, and no complaint.
    EXPECT_EQ(0, server.GetSelData(L"SELECT id FROM n ORDER BY id", table, 7, 9, 0));
    EXPECT_EQ((std::vector<Strings>{{L"2", L"R2"}, {L"3", L"R3"}, {L"4"}, {L"5"}, {L"3"}}),
              Rows(table));
    EXPECT_EQ((Strings{L"id", L"name"}), Labels(table));
    EXPECT_TRUE(app.m_boxes.empty());
}
