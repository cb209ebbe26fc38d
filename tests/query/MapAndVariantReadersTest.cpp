// The key/value and field-name map readers, the variant array reader and the emptiness test.
#include "ReaderTestSupport.h"

#include "platform/com/ComError.h"

using Entry = std::pair<std::wstring, std::wstring>;

TEST(MapReaders, KeyValueRows) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    ASSERT_EQ(1, server.ExecuteSQL(
                     L"CREATE TABLE kv(n int, k nvarchar(9), v nvarchar(9), extra nvarchar(9))"));
    ASSERT_EQ(1,
              server.ExecuteSQL(L"INSERT INTO kv VALUES (1, 'a', '1', 'x'), (2, ' b ', '2', 'y'), "
                                L"(3, 'a', ' 3 ', 'z'), (4, NULL, NULL, 'w'), (5, 'A', '5', 'v')"));

    // Later rows replace earlier values of the same key; keys keep their case; NULL keys are "".
    CMapStringToString map;
    map[L"old"] = L"kept";
    EXPECT_EQ(5, server.GetSelData(L"SELECT k, v, extra FROM kv ORDER BY n", map));
    EXPECT_EQ((std::vector<Entry>{
                  {L"", L""}, {L"A", L"5"}, {L"a", L"3"}, {L"b", L"2"}, {L"old", L"kept"}}),
              Entries(map));

    CMapStringToString small;
    EXPECT_EQ(3, server.GetSelData(L"SELECT k, v FROM kv WHERE n <= 3 ORDER BY n", small));
    EXPECT_EQ((std::vector<Entry>{{L"a", L"3"}, {L"b", L"2"}}), Entries(small));

    // Results that are not key/value rows.
    EXPECT_EQ(-1, server.GetSelData(nullptr, small));
    EXPECT_EQ(-1, server.GetSelData(L"SELECT k FROM kv", small));
    EXPECT_EQ(0, server.GetSelData(L"SELECT k, v FROM kv WHERE n > 9", small));
    EXPECT_EQ(-1, server.GetSelData(L"UPDATE kv SET extra = 'u'", small));
    EXPECT_EQ(2, small.GetCount());
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(MapReaders, FieldNamesOfFirstRow) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 5);

    CMapStringToString map;
    EXPECT_EQ(
        1, server.GetSelDataEx(
               L"SELECT id, name AS [ label ], 'k' AS kind, NULL AS gone FROM n ORDER BY id DESC",
               map));
    EXPECT_EQ(
        (std::vector<Entry>{{L"gone", L""}, {L"id", L"5"}, {L"kind", L"k"}, {L"label", L"r5"}}),
        Entries(map));

    // Two fields with one name: the later column wins.
    CMapStringToString twice;
    EXPECT_EQ(1, server.GetSelDataEx(L"SELECT 1 AS c, 2 AS [c ]", twice));
    EXPECT_EQ((std::vector<Entry>{{L"c", L"2"}}), Entries(twice));

    EXPECT_EQ(0, server.GetSelDataEx(nullptr, twice));
    EXPECT_EQ(-1, server.GetSelDataEx(L"SELECT id FROM n", twice));
    EXPECT_EQ(0, server.GetSelDataEx(L"SELECT id, name FROM n WHERE id > 9", twice));
    EXPECT_EQ(-1, server.GetSelDataEx(L"UPDATE n SET name = 'z'", twice));
    EXPECT_EQ((std::vector<Entry>{{L"c", L"2"}}), Entries(twice));
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(VariantReader, WholeResultAsArray) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    ASSERT_EQ(1,
              server.ExecuteSQL(L"CREATE TABLE g(a int, b nvarchar(9), c float, d nvarchar(9))"));
    ASSERT_EQ(
        1, server.ExecuteSQL(L"INSERT INTO g VALUES (1, 'one', 1.5, NULL), (2, 'two', 2.5, 'x'), "
                             L"(3, '  three  ', 3.5, 'y')"));

    _variant_t var;
    LONG nRows = 0, nCols = 0;
    EXPECT_EQ(1, server.GetSelData(L"SELECT a, b, c, d FROM g ORDER BY a", var, nRows, nCols));
    EXPECT_EQ(3, nRows);
    EXPECT_EQ(4, nCols);
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, var.vt);
    ASSERT_EQ(2u, SafeArrayGetDim(var.parray));

    // The first index is the column, the second the row; values keep their types, untrimmed.
    auto element = [&](LONG nCol, LONG nRow) {
        LONG indices[2] = {nCol, nRow};
        _variant_t v;
        EXPECT_EQ(S_OK, SafeArrayGetElement(var.parray, indices, &v));
        return v;
    };
    ASSERT_EQ(VT_BSTR, element(1, 2).vt);
    EXPECT_STREQ(L"  three  ", element(1, 2).bstrVal);
    EXPECT_EQ(VT_I4, element(0, 0).vt);
    EXPECT_EQ(2.5, element(2, 1).dblVal);
    EXPECT_EQ(VT_NULL, element(3, 0).vt);

    // An empty result leaves all three outputs as they were.
    EXPECT_EQ(0, server.GetSelData(L"SELECT a, b FROM g WHERE a > 9", var, nRows, nCols));
    EXPECT_EQ(3, nRows);
    EXPECT_EQ(4, nCols);
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, var.vt);
    EXPECT_EQ(-1, server.GetSelData(nullptr, var, nRows, nCols));

    // A second read replaces the array.
    EXPECT_EQ(1, server.GetSelData(L"SELECT b FROM g WHERE a = 2", var, nRows, nCols));
    EXPECT_EQ(1, nRows);
    EXPECT_EQ(1, nCols);
    EXPECT_STREQ(L"two", element(0, 0).bstrVal);
    EXPECT_TRUE(app.m_boxes.empty());

    // A statement without rows leaves the result set closed, so reading it fails.
    EXPECT_EQ(-1, server.GetSelData(L"UPDATE g SET a = a + 1", var, nRows, nCols));
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_NE(std::wstring::npos, app.m_boxes[0].strText.find(L"Code = 800a0e78"));
    EXPECT_EQ(1, nRows);
    EXPECT_EQ(1, nCols);
    EXPECT_STREQ(L"two", element(0, 0).bstrVal);
}

TEST(VariantReader, CountsInTheHostsOwnLong) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE g(a int, b int)"));
    ASSERT_EQ(1, server.ExecuteSQL(L"INSERT INTO g VALUES (1, 2), (3, 4), (5, 6)"));
    _variant_t var;
    long nRows = 1L << 40, nCols = -(1L << 40);
    // Nothing read: the caller's values stay, even those no 32-bit count can hold.
    EXPECT_EQ(0, server.GetSelData(L"SELECT a FROM g WHERE a > 9", var, nRows, nCols));
    EXPECT_EQ(1L << 40, nRows);
    EXPECT_EQ(-(1L << 40), nCols);
    EXPECT_EQ(-1, server.GetSelData(nullptr, var, nRows, nCols));
    EXPECT_EQ(1L << 40, nRows);
    EXPECT_EQ(1, server.GetSelData(L"SELECT a, b FROM g", var, nRows, nCols));
    EXPECT_EQ(3, nRows);
    EXPECT_EQ(2, nCols);
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, var.vt);
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(IsSelEmpty, Results) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 2);

    EXPECT_EQ(0, server.IsSelEmpty(nullptr));
    EXPECT_EQ(1, server.IsSelEmpty(L"SELECT id FROM n WHERE id > 2"));
    EXPECT_EQ(0, server.IsSelEmpty(L"SELECT id FROM n"));
    EXPECT_EQ(1, server.IsSelEmpty(L"DELETE FROM n WHERE id = 1"));
    EXPECT_EQ(0, server.IsSelEmpty(L"SELECT id FROM n"));
    EXPECT_EQ(1, server.IsSelEmpty(L"DELETE FROM n"));
    EXPECT_EQ(1, server.IsSelEmpty(L"SELECT id FROM n"));

    // Failures reach the caller, unreported.
    try {
        server.IsSelEmpty(L"SELECT nothing FROM nowhere");
        ADD_FAILURE() << "no error raised";
    } catch (_com_error& e) {
        EXPECT_EQ(static_cast<HRESULT>(0x80040E14), e.Error());
    }
    CZORADORXServer idle;
    try {
        idle.IsSelEmpty(L"SELECT 1");
        ADD_FAILURE() << "no error raised";
    } catch (_com_error& e) {
        EXPECT_EQ(E_POINTER, e.Error());
    }
    EXPECT_EQ(0, idle.IsSelEmpty(nullptr));
    EXPECT_TRUE(app.m_boxes.empty());
}
