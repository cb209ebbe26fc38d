// How the readers fail: one detailed box and -1, what stays in the caller's container, and that
// nothing leaks into the connection or the statements.
#include "ReaderTestSupport.h"

#include "platform/com/ComObject.h"

// Every reader, in one call each, on the given SQL; returns the results in a fixed order.
static std::vector<int> ReadEverything(CZORADORXServer& server, const wchar_t* sql) {
    CString str;
    CStringArray arr;
    CStringList lst;
    CZORValueTable table;
    CMapStringToString map;
    return {server.GetSelData(sql, str),
            server.GetSelData(sql, arr),
            server.GetSelData(sql, arr, 0, 5),
            server.GetSelData(sql, lst, 0),
            server.GetSelData(sql, lst, 0, 5, 1),
            server.GetSelData(sql, table, 1),
            server.GetSelData(sql, table, 0, 5, 1),
            server.GetSelData(sql, map),
            server.GetSelDataEx(sql, map)};
}

TEST(ReaderFailures, ServerWithoutConnection) {
    RecordingApp app;
    CZORADORXServer server;
    const std::vector<int> results = ReadEverything(server, L"SELECT 1, 2");
    EXPECT_EQ(std::vector<int>(9, -1), results);
    // One box per reader: the list readers show only their inner array reader's.
    ASSERT_EQ(9u, app.m_boxes.size());
    for (const RecordingApp::Box& box : app.m_boxes) {
        EXPECT_EQ(kNoConnectionReport, box.strText);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.nType);
    }

    // The variant reader opens its own result set and shows what Open refuses.
    _variant_t var(7L);
    LONG nRows = 8, nCols = 9;
    EXPECT_EQ(-1, server.GetSelData(L"SELECT 1", var, nRows, nCols));
    ASSERT_EQ(10u, app.m_boxes.size());
    EXPECT_EQ(L"Error:\n\tCode = 800a0e7d\n\tCode meaning = Unknown error 0x800A0E7D\n"
              L"\tSource = ADODB.Recordset\n\tDescription = The connection cannot be used to "
              L"perform this operation. It is either closed or invalid in this context.\n",
              app.m_boxes.back().strText);
    EXPECT_EQ(VT_I4, var.vt);
    EXPECT_EQ(7, var.lVal);
    EXPECT_EQ(8, nRows);
    EXPECT_EQ(9, nCols);
}

// The third row raises a runtime error: what was copied stays, the list stays untouched.
TEST(ReaderFailures, FailureInTheMiddleOfTheWalk) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 5);
    const std::wstring overflow =
        L"Error:\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
        L"\tSource = SQLite\n\tDescription = integer overflow\n";
    size_t nBoxes = 0;
    auto expectOneNewBox = [&](const char* what) {
        SCOPED_TRACE(what);
        ASSERT_EQ(nBoxes + 1, app.m_boxes.size());
        EXPECT_EQ(overflow, app.m_boxes.back().strText);
        nBoxes = app.m_boxes.size();
    };

    CStringArray arr;
    arr.Add(L"before");
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, arr));
    EXPECT_EQ((Strings{L"before", L"1", L"2"}), Contents(arr));
    expectOneNewBox("array");

    CStringArray range;
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, range, 1, 4));
    EXPECT_EQ((Strings{L"2"}), Contents(range));
    expectOneNewBox("range array");
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, range, 3, 4));
    EXPECT_EQ((Strings{L"2"}), Contents(range));
    expectOneNewBox("range array, failing start move");

    CStringList lst;
    lst.AddTail(L"only");
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, lst, 1));
    expectOneNewBox("list");
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, lst, 0, 9, 0));
    expectOneNewBox("range list");
    EXPECT_EQ(Strings{L"only"}, Contents(lst));

    CZORValueTable table;
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, table, 1));
    EXPECT_EQ((std::vector<Strings>{{L"1"}, {L"2"}}), Rows(table));
    expectOneNewBox("value table");
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, table, 0, 9, 1));
    EXPECT_EQ(4, table.m_RecordAr.GetSize());
    expectOneNewBox("range value table");

    std::wstring keyed = kFailsOnRow3;
    keyed.replace(keyed.find(L" FROM"), 0, L", name");
    CMapStringToString map;
    EXPECT_EQ(-1, server.GetSelData(keyed.c_str(), map));
    EXPECT_EQ((std::vector<std::pair<std::wstring, std::wstring>>{{L"1", L"r1"}, {L"2", L"r2"}}),
              Entries(map));
    expectOneNewBox("map");

    _variant_t var(L"kept");
    LONG nRows = 0, nCols = 0;
    EXPECT_EQ(-1, server.GetSelData(kFailsOnRow3, var, nRows, nCols));
    EXPECT_EQ(VT_BSTR, var.vt);
    expectOneNewBox("variant");

    // Readers that stop at the first row never reach the failing one.
    CString str;
    EXPECT_EQ(1, server.GetSelData(kFailsOnRow3, str));
    EXPECT_STREQ(L"1", str);
    EXPECT_EQ(1, server.GetSelDataEx(keyed.c_str(), map));
    EXPECT_EQ(0, server.IsSelEmpty(kFailsOnRow3));
    EXPECT_EQ(nBoxes, app.m_boxes.size());
}

// A binary cell has no text: the reader stops there with a type mismatch.
TEST(ReaderFailures, BinaryCellCannotBeText) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    const wchar_t* sql = L"SELECT 'a', x'00ff'";
    const std::wstring mismatch = L"Error:\n\tCode = 80020005\n\tCode meaning = Type "
                                  L"mismatch.\n\tSource = (null)\n\tDescription = (null)\n";

    CStringArray arr;
    EXPECT_EQ(-1, server.GetSelData(sql, arr));
    EXPECT_EQ((Strings{L"a"}), Contents(arr)); // the row's first cell was already appended
    CString str(L"same");
    EXPECT_EQ(-1, server.GetSelData(L"SELECT x'00ff'", str));
    EXPECT_STREQ(L"same", str);
    CZORValueTable table;
    EXPECT_EQ(-1, server.GetSelData(sql, table, 1));
    EXPECT_EQ(0, table.m_RecordAr.GetSize()); // the unfinished row is not added
    CMapStringToString map;
    EXPECT_EQ(-1, server.GetSelDataEx(sql, map));
    ASSERT_EQ(4u, app.m_boxes.size());
    for (const RecordingApp::Box& box : app.m_boxes)
        EXPECT_EQ(mismatch, box.strText);

    // The variant reader hands the bytes over as they are.
    _variant_t var;
    LONG nRows = 0, nCols = 0;
    EXPECT_EQ(1, server.GetSelData(sql, var, nRows, nCols));
    EXPECT_EQ(4u, app.m_boxes.size());
}

// Statements reach the data-access layer exactly as given, and no reader keeps or loses a
// reference to the connection, whether it succeeds or fails.
TEST(ReaderFailures, StatementsAndReferencesUntouched) {
    RecordingApp app;
    CZORADORXServer server;
    OpenMemoryDatabase(server);
    CreateNumbered(server, 5);

    std::vector<std::wstring> traced;
    auto previous = AdoSetCommandTrace([&](LPCWSTR psz) { traced.emplace_back(psz); });
    const wchar_t* odd =
        L"  select id,\tname\nFROM n  WHERE name <> 'it''s [x]' -- N'' GETDATE()\n";
    ReadEverything(server, odd);
    _variant_t var;
    LONG nRows = 0, nCols = 0;
    server.GetSelData(odd, var, nRows, nCols);
    server.IsSelEmpty(odd);
    AdoSetCommandTrace(previous);
    EXPECT_EQ(std::vector<std::wstring>(11, odd), traced);
    EXPECT_TRUE(app.m_boxes.empty());

    IDispatch* pConnection = server.GetConnectionPtr();
    ASSERT_NE(nullptr, pConnection);
    const ULONG nBefore = ComRefCount(pConnection);
    for (int i = 0; i < 20; ++i) {
        ReadEverything(server, L"SELECT id, name FROM n ORDER BY id");
        ReadEverything(server, kFailsOnRow3);
        ReadEverything(server, L"SELECT x'00'");
        ReadEverything(server, L"UPDATE n SET name = name");
        server.GetSelData(L"SELECT id, name FROM n", var, nRows, nCols);
        server.GetSelData(kFailsOnRow3, var, nRows, nCols);
        server.IsSelEmpty(L"SELECT id FROM n");
    }
    EXPECT_EQ(nBefore, ComRefCount(pConnection));
    pConnection->Release();
}
