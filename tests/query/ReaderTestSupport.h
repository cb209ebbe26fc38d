// Shared set-up for the reader tests: a server on a fresh in-memory database, numbered tables,
// and the containers' contents as plain vectors so that whole results compare in one assertion.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/RecordingApp.h"
#include "zqk_vododuvod.h"
#include "support/Contents.h"

// The detailed report a reader shows when the server has no connection.
inline const wchar_t kNoConnectionReport[] =
    L"Error:\n\tCode = 80004003\n\tCode meaning = Invalid pointer\n\tSource = "
    L"(null)\n\tDescription = (null)\n";

// Fails on its third row (id 3): abs() of the smallest 64-bit integer overflows there, after the
// first two rows have already been handed out. No ORDER BY: a sort would evaluate every row
// before the first one comes back; the plain scan yields the rows in insertion order.
inline const wchar_t kFailsOnRow3[] =
    L"SELECT CASE WHEN id = 3 THEN abs(-9223372036854775807 - 1) ELSE id END FROM n";

inline void OpenMemoryDatabase(CZORADORXServer& server) {
    ASSERT_EQ(1,
              server.InitADOServer(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db"));
}

// Table n(id int, name nvarchar(20)) with ids 1..nRows and names "r1".."rN".
inline void CreateNumbered(CZORADORXServer& server, int nRows) {
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE n(id int, name nvarchar(20))"));
    std::wstring sql = L"INSERT INTO n VALUES ";
    for (int i = 1; i <= nRows; ++i)
        sql += (i > 1 ? L", (" : L"(") + std::to_wstring(i) + L", 'r" + std::to_wstring(i) + L"')";
    ASSERT_EQ(1, server.ExecuteSQL(sql.c_str()));
}

// "SELECT id FROM n WHERE id <= nRows ORDER BY id": the first nRows ids, one per row.
inline std::wstring FirstIds(int nRows) {
    return L"SELECT id FROM n WHERE id <= " + std::to_wstring(nRows) + L" ORDER BY id";
}

inline Strings Ids(int nFirst, int nLast) {
    Strings out;
    for (int i = nFirst; i <= nLast; ++i)
        out.push_back(std::to_wstring(i));
    return out;
}

inline std::vector<Strings> Rows(CZORValueTable& table) {
    std::vector<Strings> out;
    for (INT_PTR i = 0; i < table.m_RecordAr.GetSize(); ++i)
        out.push_back(Contents(table.m_RecordAr[i].m_LableValueAr));
    return out;
}

inline Strings Labels(CZORValueTable& table) {
    return Contents(table.m_LableRecord.m_LableValueAr);
}

// Map entries sorted by key.
inline std::vector<std::pair<std::wstring, std::wstring>> Entries(const CMapStringToString& map) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    CString strKey, strValue;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr;) {
        map.GetNextAssoc(pos, strKey, strValue);
        out.emplace_back(static_cast<LPCWSTR>(strKey), static_cast<LPCWSTR>(strValue));
    }
    std::sort(out.begin(), out.end());
    return out;
}
