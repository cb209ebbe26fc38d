// A forward-only cursor over one prepared SQLite statement: one row at a time.
#pragma once

#include <sqlite3.h>

#include <vector>

#include "platform/ado/AdoProvider.h"

class CSqliteProvider;

class CSqliteCursor : public CAdoCursor {
public:
    // Takes over the statement. bStepped: the statement already stands on its first row
    // (bRow says whether there was one).
    CSqliteCursor(const CSqliteProvider& provider, sqlite3_stmt* pStmt);
    ~CSqliteCursor() override;

    size_t ColumnCount() const override { return m_columns.size(); }
    const CAdoColumn& Column(size_t nIndex) const override { return m_columns[nIndex]; }
    HRESULT Next(bool* pbRow, CAdoError* pError) override;
    HRESULT GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) override;
    HRESULT GetCell(size_t nIndex, CAdoCell* pCell, CAdoError* pError) override;
    LONG ActualSize(size_t nIndex) override;
    void Detach() override;

private:
    const CSqliteProvider* m_pProvider;
    sqlite3_stmt* m_pStmt;
    std::vector<CAdoColumn> m_columns;
    std::vector<bool> m_declared;
    bool m_bOnRow = false;
    bool m_bFirst = true;
};
