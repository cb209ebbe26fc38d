// Readers into a value table: field names as the label record, one record per row.
#include "RecordsetReading.h"

#include <utility>

namespace {

int ReadIntoTable(CZORImpADORXServer& server, const wchar_t* lpszSQL, CZORValueTable& table,
                  bool bRange, int nStart, int nEnd, int bSetLable) {
    _RecordsetPtr pRs;
    LONG nCols = 0;
    if (ReaderOpen(server, lpszSQL, pRs, &nCols) != CReaderOpen::kReady)
        return -1;
    CStringArray arrLabels;
    CString strName;
    for (LONG nCol = 0; nCol < nCols; ++nCol) {
        ReadFieldName(pRs, nCol, strName);
        arrLabels.SetAtGrow(arrLabels.GetSize(), strName);
    }
    if (bSetLable)
        table.SetLableRecord(arrLabels);
    if (bRange)
        MoveToRangeStart(pRs, nStart);
    // Each row's texts go straight into the record that joins the table, as AddValueRecord
    // would copy them there (a row without columns adds nothing).
    CZORValueRecord row;
    return WalkRows(
        pRs, nCols,
        [&](LONG nCol, CString& strText) {
            if (nCol == 0)
                row.m_LableValueAr.SetSize(nCols);
            row.m_LableValueAr[nCol] = std::move(strText);
        },
        [&](int nRow) {
            if (nCols > 0)
                table.m_RecordAr.Add(std::move(row));
            return !bRange || InRange(nRow, nStart, nEnd);
        });
}

} // namespace

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int bSetLable) {
    if (lpszSQL == nullptr)
        return 0;
    try {
        return ReadIntoTable(*this, lpszSQL, table, false, 0, 0, bSetLable);
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int nStart,
                                   int nEnd, int bSetLable) {
    if (lpszSQL == nullptr)
        return 0;
    try {
        return ReadIntoTable(*this, lpszSQL, table, true, nStart, nEnd, bSetLable);
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}
