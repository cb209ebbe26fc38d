#include "platform/ado/sqlite/SqliteCursor.h"

#include <cstdint>

#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/ado/sqlite/SqliteProvider.h"
#include "platform/ado/sqlite/SqliteTypes.h"
#include "platform/win/TextEncoding.h"

CSqliteCursor::CSqliteCursor(CSqliteProvider& provider, sqlite3_stmt* pStmt, std::string strKeep,
                             int rcFirst, const std::vector<CSqlNumericType>& resultTypes)
    : m_pProvider(&provider), m_pStmt(pStmt), m_strKeep(std::move(strKeep)), m_rcFirst(rcFirst) {
    int n = sqlite3_column_count(pStmt);
    m_columns.resize(static_cast<size_t>(n));
    m_declared.resize(static_cast<size_t>(n));
    bool bTyped = resultTypes.size() == static_cast<size_t>(n);
    for (int i = 0; i < n; ++i) {
        const char* pszName = sqlite3_column_name(pStmt, i);
        const char* pszDeclared = sqlite3_column_decltype(pStmt, i);
        // An expression SQL Server would type reads as that type, as a column of it would.
        bool bComputed =
            pszDeclared == nullptr && bTyped && resultTypes[static_cast<size_t>(i)].Known();
        CSqliteColumnType t = bComputed
                                  ? SqliteMapType(resultTypes[static_cast<size_t>(i)].Declared())
                                  : provider.MapDeclaredType(pszDeclared);
        m_columns[i].strName = WinUtf8ToWide(pszName ? pszName : "");
        m_columns[i].nType = t.nType;
        m_columns[i].nDefinedSize = t.nDefinedSize;
        m_columns[i].nPrecision = t.nPrecision;
        m_columns[i].nNumericScale = t.nNumericScale;
        m_declared[i] = t.bDeclared;
        if (bComputed && resultTypes[static_cast<size_t>(i)].nKind == CSqlNumericType::kInteger &&
            resultTypes[static_cast<size_t>(i)].nPrec <= 10 &&
            resultTypes[static_cast<size_t>(i)].pOwnRow == nullptr) // a bit holds any integer
            m_intResults.push_back(i);
    }
}

CSqliteCursor::~CSqliteCursor() {
    // A statement that ended well goes back to the provider for the next run of its text.
    if (m_pStmt && !m_strKeep.empty()) {
        m_pProvider->KeepStatement(m_strKeep, m_pStmt);
        m_pStmt = nullptr;
    }
    Detach();
}

void CSqliteCursor::Detach() {
    if (m_pStmt)
        sqlite3_finalize(m_pStmt);
    m_pStmt = nullptr;
    m_bOnRow = false;
}

HRESULT CSqliteCursor::Next(bool* pbRow, CAdoError* pError) {
    *pbRow = false;
    if (m_pStmt == nullptr)
        return S_OK;
    int rc = m_rcFirst;
    m_rcFirst = -1;
    if (rc < 0)
        rc = sqlite3_step(m_pStmt);
    if (rc == SQLITE_ROW) {
        // A SUM of ints, ints multiplied: SQL Server's int result fails where SQLite's 64-bit
        // integer goes on.
        for (int nColumn : m_intResults) {
            if (sqlite3_column_type(m_pStmt, nColumn) != SQLITE_INTEGER)
                continue;
            sqlite3_int64 n = sqlite3_column_int64(m_pStmt, nColumn);
            if (n < INT32_MIN || n > INT32_MAX) {
                *pError = m_pProvider->Error(DB_E_ERRORSINCOMMAND, SqlServerOverflowText(L"int"));
                Detach();
                return pError->hr;
            }
        }
        ++m_nRows;
        m_bOnRow = true;
        *pbRow = true;
        if (m_bFirst) {
            // Columns without a declared type take the type of their first value.
            for (size_t i = 0; i < m_columns.size(); ++i) {
                if (m_declared[i])
                    continue;
                int nClass = sqlite3_column_type(m_pStmt, static_cast<int>(i));
                if (nClass == SQLITE_NULL)
                    continue;
                CSqliteColumnType t = SqliteTypeOfStorageClass(nClass);
                m_columns[i].nType = t.nType;
                m_columns[i].nDefinedSize = t.nDefinedSize;
            }
        }
        m_bFirst = false;
        return S_OK;
    }
    m_bOnRow = false;
    m_bFirst = false;
    if (rc == SQLITE_DONE) {
        m_pProvider->RowsReturned(m_nRows);
        return S_OK;
    }
    *pError = m_pProvider->Error(rc);
    Detach(); // the statement is finished after an error
    return pError->hr;
}

HRESULT CSqliteCursor::GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) {
    if (!m_bOnRow || nIndex >= m_columns.size()) {
        *pError = m_pProvider->Error(E_UNEXPECTED, L"No current row.");
        return pError->hr;
    }
    HRESULT hr =
        SqliteColumnValue(m_pStmt, static_cast<int>(nIndex), m_columns[nIndex].nType, pvar);
    if (FAILED(hr))
        *pError = m_pProvider->Error(hr, L"Not enough memory for the value.");
    return hr;
}

HRESULT CSqliteCursor::GetCell(size_t nIndex, CAdoCell* pCell, CAdoError* pError) {
    if (!m_bOnRow || nIndex >= m_columns.size())
        return GetValue(nIndex, &pCell->var, pError);
    HRESULT hr =
        SqliteColumnCell(m_pStmt, static_cast<int>(nIndex), m_columns[nIndex].nType, pCell);
    if (FAILED(hr))
        *pError = m_pProvider->Error(hr, L"Not enough memory for the value.");
    return hr;
}

HRESULT CSqliteCursor::GetBytes(size_t nIndex, const void** ppBytes, size_t* pnBytes) {
    if (!m_bOnRow || nIndex >= m_columns.size())
        return S_FALSE;
    return SqliteColumnBytes(m_pStmt, static_cast<int>(nIndex), m_columns[nIndex].nType, ppBytes,
                             pnBytes);
}

LONG CSqliteCursor::ActualSize(size_t nIndex) {
    if (!m_bOnRow || nIndex >= m_columns.size())
        return 0;
    return SqliteColumnActualSize(m_pStmt, static_cast<int>(nIndex),
                                  m_columns[nIndex].nDefinedSize);
}
