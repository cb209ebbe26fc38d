// A forward-only result of one ODBC statement. Rows come in blocks into bound column buffers
// (a row array), so a walk costs one driver call per block; columns whose values have no bound
// size are read with SQLGetData instead, and a block then holds one row, since drivers do not
// promise SQLGetData inside a block. Memory stays that of one block whatever the result's size.
#pragma once

#include <memory>
#include <vector>

#include "platform/ado/odbc/OdbcSession.h"
#include "platform/ado/odbc/OdbcTypes.h"

// Whether a statement handed to a cursor has run yet.
enum class EOdbcStatement {
    kExecuted,
    kPrepared, // runs when the first row is asked for
};

// Belongs to one thread at a time, with its session.
class COdbcCursor : public CAdoCursor {
public:
    // Takes over the statement (freed with the cursor) and describes its columns; fails with
    // the driver's diagnostics (read as nFailure says) when it cannot.
    static HRESULT Create(const std::shared_ptr<COdbcSession>& pSession, SQLHSTMT hStmt,
                          EOdbcStatement nState, EOdbcFailure nFailure,
                          std::unique_ptr<COdbcCursor>* ppCursor, CAdoError* pError);
    ~COdbcCursor() override;

    size_t ColumnCount() const override { return m_plans.size(); }
    const CAdoColumn& Column(size_t nIndex) const override { return m_plans[nIndex].column; }
    HRESULT Next(bool* pbRow, CAdoError* pError) override;
    HRESULT GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) override;
    LONG ActualSize(size_t nIndex) override;
    void Detach() override;

    // The column under another name than the driver's (the tables rowset's names).
    void RenameColumn(size_t nIndex, const std::wstring& strName) {
        m_plans[nIndex].column.strName = strName;
    }
    // How many rows one fetch brings (1 when a column is read with SQLGetData).
    SQLULEN RowsPerBlock() const { return m_nRowsetSize; }

private:
    COdbcCursor(const std::shared_ptr<COdbcSession>& pSession, SQLHSTMT hStmt);
    HRESULT Describe(EOdbcFailure nFailure, CAdoError* pError);
    HRESULT Bind(CAdoError* pError);
    HRESULT Failed(CAdoError* pError);
    HRESULT ReadUnbound(size_t nIndex, CAdoError* pError);
    void ForgetRow();

    std::shared_ptr<COdbcSession> m_pSession;
    SQLHSTMT m_hStmt;
    std::vector<COdbcColumnPlan> m_plans;
    // Columns from this one on are read with SQLGetData (after the last bound one, in order,
    // as every driver allows).
    size_t m_nFirstUnbound = 0;
    bool m_bAnyOrder = false;

    SQLULEN m_nRowsetSize = 1;
    std::vector<COdbcBytes> m_buffers;             // per bound column: a cell per row
    std::vector<std::vector<SQLLEN>> m_indicators; // per bound column: an indicator per row
    std::vector<SQLUSMALLINT> m_statuses;
    SQLULEN m_nFetched = 0;
    SQLULEN m_nCurrent = 0;
    bool m_bOnRow = false;
    bool m_bNeedExecute = false;
    bool m_bDone = false;

    // The current row's cells read with SQLGetData, each read once and kept as the driver
    // gave them, so that they convert like bound cells; the buffers only grow.
    std::vector<COdbcBytes> m_cells;
    std::vector<SQLLEN> m_cellIndicators;
    std::vector<bool> m_read;
    size_t m_nNextGetData = 0;
};
