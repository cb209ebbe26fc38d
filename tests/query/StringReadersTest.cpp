// The readers into CString, CStringArray and CStringList, through the facade on a real database.
#include "ReaderTestSupport.h"

// Null text, an empty result and a statement without a result set, for all five readers.
TEST(StringReaders, ResultsWithoutRows) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 3);

    CString str(L"keep");
    CStringArray arr;
    arr.Add(L"old");
    CStringList lst;
    lst.AddTail(L"old");

    EXPECT_EQ(-1, server.GetSelData(nullptr, str));
    EXPECT_EQ(0, server.GetSelData(nullptr, arr));
    EXPECT_EQ(0, server.GetSelData(nullptr, arr, 0, 5));
    EXPECT_EQ(-1, server.GetSelData(nullptr, lst, 0));
    EXPECT_EQ(-1, server.GetSelData(nullptr, lst, 0, 5, 0));

    const wchar_t* empty = L"SELECT id, name FROM n WHERE id > 100";
    EXPECT_EQ(-1, server.GetSelData(empty, str));
    EXPECT_EQ(0, server.GetSelData(empty, arr));
    EXPECT_EQ(0, server.GetSelData(empty, arr, 0, 5));
    EXPECT_EQ(0, server.GetSelData(empty, lst, 1));
    EXPECT_EQ(0, server.GetSelData(empty, lst, 0, 5, 1));

    // Each UPDATE still runs: the readers only refuse its missing result set.
    const wchar_t* update = L"UPDATE n SET id = id + 10";
    EXPECT_EQ(-1, server.GetSelData(update, str));
    EXPECT_EQ(-1, server.GetSelData(update, arr));
    EXPECT_EQ(-1, server.GetSelData(update, arr, 0, 5));
    EXPECT_EQ(-1, server.GetSelData(update, lst, 0));
    EXPECT_EQ(-1, server.GetSelData(update, lst, 0, 5, 0));
    EXPECT_EQ(1, server.GetSelData(L"SELECT min(id) FROM n", str));
    EXPECT_STREQ(L"51", str);

    EXPECT_EQ(Strings{L"old"}, Contents(arr));
    EXPECT_EQ(Strings{L"old"}, Contents(lst));
    EXPECT_TRUE(app.m_boxes.empty());
}

// Every kind of cell as text: trimmed, empty for NULL, numbers and dates as the platform renders
// them.
TEST(StringReaders, CellText) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE v(k int, s nvarchar(20), c char(6), d datetime, "
                                   L"b bit, m money, x decimal(10,3), r real, g bigint)"));
    ASSERT_EQ(1, server.ExecuteSQL(
                     L"INSERT INTO v VALUES (1, '  abc  ', 'ab    ', "
                     L"'2024-01-02 03:04:05', 1, 12.50, '1.500', 2.5, 9223372036854775807), "
                     L"(2, NULL, NULL, '2024-01-02', 0, NULL, NULL, NULL, NULL), "
                     L"(3, ' \t  ', '      ', NULL, NULL, NULL, NULL, NULL, NULL)"));

    CStringArray arr;
    EXPECT_EQ(3, server.GetSelData(L"SELECT k, s, c, d, b, m, x, r, g FROM v ORDER BY k", arr));
    Strings expected{L"1", L"abc", L"ab", L"2024-01-02 03:04:05", L"-1", L"12.5", L"1.5", L"2.5"};
    expected.push_back(L"9223372036854775807");
    for (const wchar_t* cell : {L"2", L"", L"", L"2024-01-02", L"0"})
        expected.push_back(cell);
    expected.resize(18); // the rest of row 2 is NULL
    expected.push_back(L"3");
    expected.resize(27); // row 3 is blanks and NULLs
    EXPECT_EQ(expected, Contents(arr));

    CString str;
    EXPECT_EQ(1, server.GetSelData(L"SELECT 0.1 + 0.2", str));
    EXPECT_STREQ(L"0.3", str);
    EXPECT_EQ(1, server.GetSelData(L"SELECT 1e20", str));
    EXPECT_STREQ(L"1E+20", str);
    EXPECT_TRUE(app.m_boxes.empty());
}

// Row-major flat layout appended after what the containers hold; the CString reader takes only
// the first cell; only the lists lower-case.
TEST(StringReaders, ContainersAndCase) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(id int, name nvarchar(20))"));
    ASSERT_EQ(
        1, server.ExecuteSQL(L"INSERT INTO t VALUES (1, 'ABC'), (2, NULL), (3, ' Mixed Case ')"));
    const wchar_t* sql = L"SELECT id, name FROM t ORDER BY id";

    CStringArray arr;
    arr.Add(L"first");
    EXPECT_EQ(3, server.GetSelData(sql, arr));
    EXPECT_EQ((Strings{L"first", L"1", L"ABC", L"2", L"", L"3", L"Mixed Case"}), Contents(arr));
    EXPECT_EQ(3, server.GetSelData(sql, arr));
    EXPECT_EQ(13, arr.GetSize());

    CStringList lst;
    lst.AddTail(L"Head");
    EXPECT_EQ(6, server.GetSelData(sql, lst, 1));
    EXPECT_EQ((Strings{L"Head", L"1", L"abc", L"2", L"", L"3", L"mixed case"}), Contents(lst));
    CStringList kept;
    EXPECT_EQ(6, server.GetSelData(sql, kept, 0));
    EXPECT_EQ((Strings{L"1", L"ABC", L"2", L"", L"3", L"Mixed Case"}), Contents(kept));

    CString str(L"old");
    EXPECT_EQ(1, server.GetSelData(L"SELECT name, id FROM t ORDER BY id DESC", str));
    EXPECT_STREQ(L"Mixed Case", str);
    EXPECT_EQ(-1, server.GetSelData(L"SELECT name FROM t WHERE id > 3", str));
    EXPECT_STREQ(L"Mixed Case", str);
    EXPECT_EQ(1, server.GetSelData(L"SELECT name FROM t WHERE id = 2", str));
    EXPECT_STREQ(L"", str);
    EXPECT_TRUE(app.m_boxes.empty());
}

// Range walk: rows nStart..nEnd inclusive; the result counts the moves past copied rows.
TEST(StringReaders, RangeWalk) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 100);

    struct Case {
        int nRows, nStart, nEnd, nResult;
        Strings copied;
    };
    // Rows are counted from 0, ids from 1: row k holds id k + 1.
    const Case cases[] = {
        {10, 2, 4, 2, Ids(3, 5)}, // the end stops the walk: one less than copied
        {4, 2, 4, 2, Ids(3, 4)},  // the result set runs out first
        {10, 5, 1, 0, Ids(6, 6)}, // end before start: exactly the start row
        {100, 0, 9, 9, Ids(1, 10)}, {5, 0, 9, 5, Ids(1, 5)},
        {10, 0, 0, 0, Ids(1, 1)},   {4, 4, 6, 0, {}}, // the start move stops at the end
        {4, 9, 12, 0, {}},          {0, 0, 3, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nRows << " rows, " << c.nStart << ".." << c.nEnd);
        CStringArray arr;
        arr.Add(L"x");
        EXPECT_EQ(c.nResult, server.GetSelData(FirstIds(c.nRows).c_str(), arr, c.nStart, c.nEnd));
        Strings expected{L"x"};
        expected.insert(expected.end(), c.copied.begin(), c.copied.end());
        EXPECT_EQ(expected, Contents(arr));

        // The list form returns the strings it added, not the range counter.
        CStringList lst;
        EXPECT_EQ(static_cast<int>(c.copied.size()),
                  server.GetSelData(FirstIds(c.nRows).c_str(), lst, c.nStart, c.nEnd, 0));
        EXPECT_EQ(c.copied, Contents(lst));
    }

    // Two columns: four strings for rows 1 and 2, lower-cased only in the list.
    CStringArray arr;
    EXPECT_EQ(1, server.GetSelData(L"SELECT id, upper(name) FROM n ORDER BY id", arr, 1, 2));
    EXPECT_EQ((Strings{L"2", L"R2", L"3", L"R3"}), Contents(arr));
    CStringList lst;
    EXPECT_EQ(4, server.GetSelData(L"SELECT id, upper(name) FROM n ORDER BY id", lst, 1, 2, 1));
    EXPECT_EQ((Strings{L"2", L"r2", L"3", L"r3"}), Contents(lst));
    EXPECT_EQ(2, server.GetSelData(L"SELECT id, name FROM n ORDER BY id", lst, 0, 0, 0));
    EXPECT_EQ(6, lst.GetCount());
    EXPECT_TRUE(app.m_boxes.empty());

    // A start move on a result already at its end is refused: one box, -1, nothing copied.
    CStringArray none;
    EXPECT_EQ(-1, server.GetSelData(FirstIds(0).c_str(), none, 1, 3));
    EXPECT_EQ(0, none.GetSize());
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_NE(std::wstring::npos, app.m_boxes[0].strText.find(L"Code = 800a0bcd"));
    CStringList untouched;
    untouched.AddTail(L"u");
    EXPECT_EQ(-1, server.GetSelData(FirstIds(0).c_str(), untouched, 1, 3, 0));
    EXPECT_EQ(Strings{L"u"}, Contents(untouched));
    EXPECT_EQ(2u, app.m_boxes.size());
}
