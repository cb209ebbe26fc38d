#include "platform/ado/odbc/OdbcCursor.h"

#include <algorithm>

namespace {

// A block's buffers stay about this size; a block never holds more rows than kMaxRows.
const size_t kBlockBytes = 1 << 20;
const size_t kMaxRows = 256;
const SQLSMALLINT kNameRoom = 256;

} // namespace

COdbcCursor::COdbcCursor(const std::shared_ptr<COdbcSession>& pSession, SQLHSTMT hStmt)
    : m_pSession(pSession), m_hStmt(hStmt) {
    m_pSession->AddCursor(this);
}

COdbcCursor::~COdbcCursor() {
    Detach();
}

HRESULT COdbcCursor::Create(const std::shared_ptr<COdbcSession>& pSession, SQLHSTMT hStmt,
                            EOdbcStatement nState, EOdbcFailure nFailure,
                            std::unique_ptr<COdbcCursor>* ppCursor, CAdoError* pError) {
    std::unique_ptr<COdbcCursor> pCursor(new COdbcCursor(pSession, hStmt));
    pCursor->m_bNeedExecute = nState == EOdbcStatement::kPrepared;
    HRESULT hr = pCursor->Describe(nFailure, pError);
    if (FAILED(hr))
        return hr;
    hr = pCursor->Bind(pError);
    if (FAILED(hr))
        return hr;
    *ppCursor = std::move(pCursor);
    return S_OK;
}

HRESULT COdbcCursor::Describe(EOdbcFailure nFailure, CAdoError* pError) {
    SQLSMALLINT nColumns = 0;
    if (!OdbcOk(SQLNumResultCols(m_hStmt, &nColumns))) {
        *pError = m_pSession->Error(SQL_HANDLE_STMT, m_hStmt, nFailure);
        return pError->hr;
    }
    EOdbcLengths nLengths =
        m_pSession->m_bLengthsEnforced ? EOdbcLengths::kEnforced : EOdbcLengths::kAdvisory;
    std::u16string name(kNameRoom, u'\0');
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(nColumns); ++i) {
        COdbcColumnInfo info;
        SQLSMALLINT nNameLength = 0, nNullable = 0;
        SQLRETURN rc = SQLDescribeColW(m_hStmt, i, name.data(), kNameRoom, &nNameLength,
                                       &info.nSqlType, &info.nSize, &info.nDigits, &nNullable);
        if (!OdbcOk(rc)) {
            *pError = m_pSession->Error(SQL_HANDLE_STMT, m_hStmt, nFailure);
            return pError->hr;
        }
        info.strName = OdbcWide(name.data(), std::min<SQLSMALLINT>(nNameLength, kNameRoom - 1));
        SQLLEN nUnsigned = SQL_FALSE;
        if (OdbcOk(
                SQLColAttributeW(m_hStmt, i, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &nUnsigned)))
            info.bUnsigned = nUnsigned == SQL_TRUE;
        m_plans.push_back(OdbcPlanColumn(info, nLengths));
    }
    return S_OK;
}

HRESULT COdbcCursor::Bind(CAdoError* pError) {
    m_nFirstUnbound = m_plans.size();
    for (size_t i = 0; i < m_plans.size(); ++i)
        if (m_plans[i].nCellBytes == 0) {
            m_nFirstUnbound = i;
            break;
        }
    SQLUINTEGER nExtensions = m_pSession->m_nGetData;
    m_bAnyOrder = (nExtensions & SQL_GD_ANY_COLUMN) && (nExtensions & SQL_GD_ANY_ORDER);
    size_t nRowBytes = 0;
    for (size_t i = 0; i < m_nFirstUnbound; ++i)
        nRowBytes += static_cast<size_t>(m_plans[i].nCellBytes) + sizeof(SQLLEN);
    SQLULEN nRows = 1;
    if (m_nFirstUnbound == m_plans.size() && nRowBytes > 0)
        nRows = std::max<size_t>(1, std::min(kMaxRows, kBlockBytes / nRowBytes));
    if (nRows > 1 &&
        OdbcOk(SQLSetStmtAttr(m_hStmt, SQL_ATTR_ROW_ARRAY_SIZE,
                              reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(nRows)), 0))) {
        // The driver may have settled for fewer rows (01S02).
        SQLULEN nGranted = 1;
        if (OdbcOk(SQLGetStmtAttr(m_hStmt, SQL_ATTR_ROW_ARRAY_SIZE, &nGranted, 0, nullptr)))
            nRows = std::max<SQLULEN>(1, std::min(nRows, nGranted));
        else
            nRows = 1;
    } else {
        nRows = 1;
    }
    m_nRowsetSize = nRows;
    m_statuses.assign(nRows, SQL_ROW_NOROW);
    SQLSetStmtAttr(m_hStmt, SQL_ATTR_ROWS_FETCHED_PTR, &m_nFetched, 0);
    SQLSetStmtAttr(m_hStmt, SQL_ATTR_ROW_STATUS_PTR, m_statuses.data(), 0);
    m_buffers.resize(m_nFirstUnbound);
    m_indicators.resize(m_nFirstUnbound);
    for (size_t i = 0; i < m_nFirstUnbound; ++i) {
        const COdbcColumnPlan& plan = m_plans[i];
        m_buffers[i].assign(static_cast<size_t>(plan.nCellBytes) * nRows, 0);
        m_indicators[i].assign(nRows, 0);
        SQLRETURN rc = SQLBindCol(m_hStmt, static_cast<SQLUSMALLINT>(i + 1), plan.nCType,
                                  m_buffers[i].data(), plan.nCellBytes, m_indicators[i].data());
        if (!OdbcOk(rc)) {
            *pError = m_pSession->Error(SQL_HANDLE_STMT, m_hStmt, EOdbcFailure::kStatement);
            return pError->hr;
        }
    }
    m_cells.resize(m_plans.size());
    m_cellIndicators.assign(m_plans.size(), SQL_NULL_DATA);
    m_read.assign(m_plans.size(), false);
    return S_OK;
}

void COdbcCursor::Detach() {
    if (m_hStmt != SQL_NULL_HSTMT) {
        SQLFreeHandle(SQL_HANDLE_STMT, m_hStmt);
        m_pSession->RemoveCursor(this);
    }
    m_hStmt = SQL_NULL_HSTMT;
    m_bOnRow = false;
}

void COdbcCursor::ForgetRow() {
    for (size_t i = m_nFirstUnbound; i < m_read.size(); ++i)
        m_read[i] = false;
    m_nNextGetData = m_nFirstUnbound;
}

// The statement's diagnostics as the error, and the statement given up: after a failed fetch
// a forward-only result has nothing more to give.
HRESULT COdbcCursor::Failed(CAdoError* pError) {
    *pError = m_pSession->Error(SQL_HANDLE_STMT, m_hStmt, EOdbcFailure::kStatement);
    Detach();
    return pError->hr;
}

HRESULT COdbcCursor::Next(bool* pbRow, CAdoError* pError) {
    *pbRow = false;
    ForgetRow();
    if (m_hStmt == SQL_NULL_HSTMT || m_bDone) {
        m_bOnRow = false;
        return S_OK;
    }
    if (m_bNeedExecute) {
        m_bNeedExecute = false;
        SQLRETURN rc = SQLExecute(m_hStmt);
        if (!OdbcOk(rc) && rc != SQL_NO_DATA)
            return Failed(pError);
    }
    if (m_bOnRow && m_nCurrent + 1 < m_nFetched) {
        ++m_nCurrent;
    } else {
        m_nFetched = 0;
        SQLRETURN rc = SQLFetch(m_hStmt);
        if (OdbcOk(rc) && m_nRowsetSize == 1)
            m_nFetched = 1; // not every driver counts a block of one
        if (rc == SQL_NO_DATA || (OdbcOk(rc) && m_nFetched == 0)) {
            m_bOnRow = false;
            m_bDone = true;
            // The server's side of the result can go now; the handle goes with the cursor.
            SQLCloseCursor(m_hStmt);
            return S_OK;
        }
        if (!OdbcOk(rc))
            return Failed(pError);
        m_nCurrent = 0;
    }
    if (m_statuses[m_nCurrent] == SQL_ROW_ERROR)
        return Failed(pError);
    m_bOnRow = true;
    *pbRow = true;
    return S_OK;
}

HRESULT COdbcCursor::ReadUnbound(size_t nIndex, CAdoError* pError) {
    if (m_read[nIndex])
        return S_OK;
    // Without the driver's leave, cells are read left to right, each once.
    size_t nFrom = m_bAnyOrder ? nIndex : m_nNextGetData;
    if (nFrom > nIndex) {
        *pError = m_pSession->Error(DB_E_ERRORSINCOMMAND,
                                    L"The driver cannot go back to an earlier column of a row.");
        return pError->hr;
    }
    for (size_t i = nFrom; i <= nIndex; ++i) {
        if (m_read[i])
            continue;
        SQLRETURN rc = OdbcReadCell(m_hStmt, static_cast<SQLUSMALLINT>(i + 1), m_plans[i],
                                    &m_cells[i], &m_cellIndicators[i]);
        if (!OdbcOk(rc)) {
            *pError = m_pSession->Error(SQL_HANDLE_STMT, m_hStmt, EOdbcFailure::kStatement);
            return pError->hr;
        }
        m_read[i] = true;
    }
    m_nNextGetData = std::max(m_nNextGetData, nIndex + 1);
    return S_OK;
}

HRESULT COdbcCursor::GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) {
    if (!m_bOnRow || nIndex >= m_plans.size()) {
        *pError = m_pSession->Error(E_UNEXPECTED, L"No current row.");
        return pError->hr;
    }
    const COdbcColumnPlan& plan = m_plans[nIndex];
    const BYTE* pCell;
    SQLLEN nIndicator;
    if (nIndex >= m_nFirstUnbound) {
        HRESULT hr = ReadUnbound(nIndex, pError);
        if (FAILED(hr))
            return hr;
        pCell = m_cells[nIndex].data();
        nIndicator = m_cellIndicators[nIndex];
    } else {
        pCell = m_buffers[nIndex].data() + static_cast<size_t>(plan.nCellBytes) * m_nCurrent;
        nIndicator = m_indicators[nIndex][m_nCurrent];
    }
    HRESULT hr = OdbcCellToVariant(plan, pCell, nIndicator, pvar);
    if (hr == DB_E_ERRORSINCOMMAND)
        *pError = m_pSession->Error(hr, L"The value of column " + plan.column.strName +
                                            L" is longer than the driver described the column.");
    else if (FAILED(hr))
        *pError = m_pSession->Error(hr, L"Not enough memory for the value.");
    return hr;
}

LONG COdbcCursor::ActualSize(size_t nIndex) {
    if (!m_bOnRow || nIndex >= m_plans.size())
        return 0;
    if (nIndex < m_nFirstUnbound) {
        const COdbcColumnPlan& plan = m_plans[nIndex];
        return OdbcCellActualSize(
            plan, m_buffers[nIndex].data() + static_cast<size_t>(plan.nCellBytes) * m_nCurrent,
            m_indicators[nIndex][m_nCurrent]);
    }
    CAdoError error;
    if (FAILED(ReadUnbound(nIndex, &error)))
        return 0;
    return OdbcCellActualSize(m_plans[nIndex], m_cells[nIndex].data(), m_cellIndicators[nIndex]);
}
