// A forward-only cursor over one prepared SQLite statement: one row at a time. It belongs to
// the thread of its connection.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/sqlite/SqlServerArithmetic.h"

class CSqliteProvider;

class CSqliteCursor : public CAdoCursor {
public:
    // Takes over the statement. strKeep: the text it was prepared from, when the provider keeps
    // it for reuse afterwards (empty: it is finalized). rcFirst: the result of a first step the
    // provider already took (SQLITE_ROW, SQLITE_DONE or a failure), or -1 when none was taken.
    // resultTypes: SQL Server's types of columns SQLite declares no type for, by position
    // (CSqlTranslation); ignored unless there is one for each column.
    CSqliteCursor(CSqliteProvider& provider, sqlite3_stmt* pStmt, std::string strKeep = {},
                  int rcFirst = -1, const std::vector<CSqlNumericType>& resultTypes = {});
    ~CSqliteCursor() override;

    size_t ColumnCount() const override { return m_columns.size(); }
    const CAdoColumn& Column(size_t nIndex) const override { return m_columns[nIndex]; }
    HRESULT Next(bool* pbRow, CAdoError* pError) override;
    HRESULT GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) override;
    HRESULT GetCell(size_t nIndex, CAdoCell* pCell, CAdoError* pError) override;
    HRESULT GetBytes(size_t nIndex, const void** ppBytes, size_t* pnBytes) override;
    LONG ActualSize(size_t nIndex) override;
    void Detach() override;

private:
    CSqliteProvider* m_pProvider;
    sqlite3_stmt* m_pStmt;
    std::string m_strKeep;
    int m_rcFirst;
    std::vector<CAdoColumn> m_columns;
    std::vector<bool> m_declared;
    std::vector<int> m_intResults; // computed columns SQL Server types int: their range holds
    bool m_bOnRow = false;
    bool m_bFirst = true;
    sqlite3_int64 m_nRows = 0; // rows read so far
};
