// What the database child program and the tests that run it agree on.
#pragma once

#include <string>

// The embedded connection to the database file at strPath.
inline std::wstring ChildConnection(const std::string& strPath) {
    return L"Provider=SQLite; Data Source=" + std::wstring(strPath.begin(), strPath.end()) +
           L"; Initial Catalog=x";
}

// The text of row n of batch nBatch: long enough that a batch spans many pages, and different
// for every row so a torn or misplaced row shows.
inline std::wstring ChildPayload(int nBatch, int n) {
    std::wstring strUnit = L"b" + std::to_wstring(nBatch) + L"r" + std::to_wstring(n) + L";";
    std::wstring s;
    while (s.size() < 2000)
        s += strUnit;
    return s;
}

// A batch of 2.4 MB outgrows the page cache, so its transaction writes into the file itself
// before it commits.
const int kChildRowsPerBatch = 1200;
