// The readers' text of every kind of cell is the text the data-access objects give: Fields,
// Item and Value for the cell, VariantChangeType to a string, trailing then leading white space
// trimmed. The readers take a shorter way to the same cells; these tests hold the two together
// on values where the ways could part: stored text of every shape in columns of every type.
#include <sqlite3.h>

#include <cwctype>

#include "ReaderTestSupport.h"
#include "platform/ado/AdoInterfaces.h"
#include "platform/win/TextEncoding.h"
#include "support/TempDir.h"

namespace {

// The characters themselves, embedded NULs included.
std::wstring Text(const CString& s) {
    return std::wstring(s.GetString(), static_cast<size_t>(s.GetLength()));
}

std::vector<std::wstring> Texts(const CStringArray& arr) {
    std::vector<std::wstring> out;
    for (INT_PTR i = 0; i < arr.GetSize(); ++i)
        out.push_back(Text(arr[i]));
    return out;
}

// Runs SQL on the file with SQLite itself: SQL Server would refuse to store most of these texts
// in typed columns, but a file written by other tools may hold them, and readers must read them.
void RawExec(const std::string& strPath, const std::wstring& strSql) {
    sqlite3* pDb = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(strPath.c_str(), &pDb));
    std::string sql = WinWideToUtf8(strSql);
    char* pszError = nullptr;
    int rc = sqlite3_exec(pDb, sql.c_str(), nullptr, nullptr, &pszError);
    EXPECT_EQ(SQLITE_OK, rc) << (pszError ? pszError : "") << " in " << sql;
    sqlite3_free(pszError);
    sqlite3_close(pDb);
}

// The cells of a result as the objects give them, walked on a connection of its own.
std::vector<std::wstring> ObjectsText(const std::wstring& strConnection, const wchar_t* sql) {
    _ConnectionPtr pConn;
    EXPECT_TRUE(SUCCEEDED(pConn.CreateInstance(L"ADODB.Connection")));
    pConn->Open(strConnection.c_str(), L"", L"", -1);
    _RecordsetPtr pRs = pConn->Execute(sql, nullptr, adCmdText);
    std::vector<std::wstring> out;
    LONG nCols = pRs->GetFields()->GetCount();
    for (; !pRs->GetadoEOF(); pRs->MoveNext())
        for (LONG c = 0; c < nCols; ++c) {
            _variant_t value = pRs->GetFields()->GetItem(_variant_t(c))->GetValue();
            std::wstring s;
            if (value.vt != VT_EMPTY && value.vt != VT_NULL) {
                _variant_t text;
                EXPECT_EQ(S_OK, VariantChangeType(&text, &value, 0, VT_BSTR));
                s.assign(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal));
            }
            while (!s.empty() && iswspace(static_cast<wint_t>(s.back())))
                s.pop_back();
            size_t b = 0;
            while (b < s.size() && iswspace(static_cast<wint_t>(s[b])))
                ++b;
            out.push_back(s.substr(b));
        }
    pConn->Close();
    return out;
}

// Stored text of many shapes: blanks, NULs, invalid UTF-8, characters beyond ASCII, text long
// enough to leave the readers' stack buffer, and dates in every form the date columns meet.
const wchar_t* const kTexts[] = {
    L"'plain'",
    L"'  padded \t'",
    L"''",
    L"'   '",
    L"CAST(X'610062' AS TEXT)",
    L"CAST(X'61FF62C3' AS TEXT)",
    L"CAST(X'C0AF20E282' AS TEXT)",
    L"'  Łódź Ærø  '",
    L"char(160, 97, 12288)",
    L"char(28, 98, 31)",
    L"'  ' || printf('%.280c', 'x') || 'ж  '",
    L"'2024-01-02 03:04:05'",
    L"'2024-01-02 00:00:00'",
    L"'1899-12-30 10:00:00'",
    L"'1899-12-30 00:00:00'",
    L"'2024-02-30 01:00:00'",
    L"'2023-02-29 01:00:00'",
    L"'2024-02-29 23:59:59'",
    L"'2024-01-02T03:04:05'",
    L"' 2024-01-02 03:04:05'",
    L"'2024-01-02 03:04:05 '",
    L"'2024-01-02 03:04:05.5'",
    L"'2024-1-2 3:04:05'",
    L"'2024-01-02 24:00:00'",
    L"'2024-01-02 23:60:00'",
    L"'0099-01-01 01:00:00'",
    L"'0100-01-01 01:00:00'",
    L"'9999-12-31 23:59:59'",
    L"'2024-01-02'",
    L"'12:34'",
    L"'2024-01-02 03:04:0x'",
    L"'2024/01/02 03:04:05'",
    L"'not a date'",
    L"'12'",
    L"'2.5e3 '",
    L"'1.500'",
    L"45000.5",
    L"20240102",
    L"NULL",
};

} // namespace

TEST(CellText, ReadersGiveWhatTheObjectsGive) {
    RecordingApp app;
    TempDir dir;
    std::wstring strConnection = L"Provider=SQLite; Data Source=" + dir.WideFile("cells.sqlite");
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(strConnection.c_str()));
    // Every text in a column of every type that keeps text as it came.
    std::wstring strRows = L"CREATE TABLE c(k int, s nvarchar(300), a char(10), d datetime, "
                           L"dd date, t time, i int, g bigint, f float, r real, b bit, "
                           L"u uniqueidentifier, n);";
    int k = 0;
    for (const wchar_t* text : kTexts) {
        std::wstring v(text);
        std::wstring sql = L"INSERT INTO c VALUES (" + std::to_wstring(++k);
        for (int c = 0; c < 12; ++c)
            sql += L", " + v;
        strRows += sql + L");";
    }
    RawExec(dir.File("cells.sqlite"), strRows);
    const wchar_t* sql = L"SELECT k, s, a, d, dd, t, i, g, f, r, b, u, n, s || '', "
                         L"CAST(d AS TEXT) FROM c ORDER BY k";
    const std::vector<std::wstring> expected = ObjectsText(strConnection, sql);
    ASSERT_EQ(std::size(kTexts) * 15, expected.size());

    CStringArray arr;
    EXPECT_EQ(static_cast<int>(std::size(kTexts)), server.GetSelData(sql, arr));
    EXPECT_EQ(expected, Texts(arr));

    CZORValueTable table;
    EXPECT_EQ(static_cast<int>(std::size(kTexts)), server.GetSelData(sql, table, 0));
    std::vector<std::wstring> cells;
    for (INT_PTR i = 0; i < table.m_RecordAr.GetSize(); ++i)
        for (const std::wstring& s : Texts(table.m_RecordAr[i].m_LableValueAr))
            cells.push_back(s);
    EXPECT_EQ(expected, cells);

    // The one-value reader reads its cell the same way.
    for (size_t row = 0; row < std::size(kTexts); ++row)
        for (const wchar_t* col : {L"s", L"d", L"i", L"f"}) {
            std::wstring one =
                L"SELECT " + std::wstring(col) + L" FROM c WHERE k = " + std::to_wstring(row + 1);
            CString str(L"old");
            EXPECT_EQ(1, server.GetSelData(one.c_str(), str));
            std::vector<std::wstring> objects = ObjectsText(strConnection, one.c_str());
            ASSERT_EQ(1u, objects.size());
            EXPECT_EQ(objects[0], Text(str)) << one;
        }
    EXPECT_TRUE(app.m_boxes.empty());
}

// A cell that has no text (a binary value) fails in the readers as its coercion fails.
TEST(CellText, BinaryCellFailsAsTheCoercionDoes) {
    RecordingApp app;
    CZORADORXServer server;
    TempDir dir;
    RawExec(dir.File("b.sqlite"), L"CREATE TABLE b(k int, v varbinary(10));"
                                  L"INSERT INTO b VALUES (1, X'0102'), (2, 'text')");
    std::wstring strConnection = L"Provider=SQLite; Data Source=" + dir.WideFile("b.sqlite");
    ASSERT_EQ(1, server.InitADOServer(strConnection.c_str()));
    CStringArray arr;
    EXPECT_EQ(-1, server.GetSelData(L"SELECT k, v FROM b ORDER BY k", arr));
    EXPECT_EQ(Strings{L"1"}, Contents(arr));
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_EQ(L"Error:\n\tCode = 80020005\n\tCode meaning = Type mismatch.\n\tSource = (null)\n"
              L"\tDescription = (null)\n",
              app.m_boxes[0].strText);
}
