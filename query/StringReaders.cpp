// Readers into a string, a string array and a string list.
#include "RecordsetReading.h"

#include <utility>

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CString& strResult) {
    if (lpszSQL == nullptr)
        return -1;
    try {
        _RecordsetPtr pRs;
        LONG nCols = 0;
        if (ReaderOpen(*this, lpszSQL, pRs, &nCols) != CReaderOpen::kReady)
            return -1;
        if (pRs->GetadoEOF() || nCols <= 0)
            return -1;
        CString strText;
        CCellReader(pRs).Read(0, strText);
        strResult = strText;
        return 1;
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues) {
    if (lpszSQL == nullptr)
        return 0;
    try {
        _RecordsetPtr pRs;
        LONG nCols = 0;
        if (ReaderOpen(*this, lpszSQL, pRs, &nCols) != CReaderOpen::kReady)
            return -1;
        return WalkRows(
            pRs, nCols, [&](LONG, CString& strText) { arrValues.Add(std::move(strText)); },
            [](int) { return true; });
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues, int nStart,
                                   int nEnd) {
    if (lpszSQL == nullptr)
        return 0;
    try {
        _RecordsetPtr pRs;
        LONG nCols = 0;
        if (ReaderOpen(*this, lpszSQL, pRs, &nCols) != CReaderOpen::kReady)
            return -1;
        MoveToRangeStart(pRs, nStart);
        return WalkRows(
            pRs, nCols, [&](LONG, CString& strText) { arrValues.Add(std::move(strText)); },
            [&](int nRow) { return InRange(nRow, nStart, nEnd); });
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

namespace {

// The list readers fill the list only once their array reader succeeded.
int MoveToList(int nResult, CStringArray& arrLocal, CStringList& listValues, int bLower) {
    if (nResult < 0)
        return -1;
    for (INT_PTR i = 0; i < arrLocal.GetSize(); ++i) {
        CString strValue = arrLocal[i];
        if (bLower)
            strValue.MakeLower();
        listValues.AddTail(strValue);
    }
    return static_cast<int>(arrLocal.GetSize());
}

} // namespace

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int bLower) {
    if (lpszSQL == nullptr)
        return -1;
    try {
        CStringArray arrLocal;
        return MoveToList(GetSelData(lpszSQL, arrLocal), arrLocal, listValues, bLower);
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}

int CZORImpADORXServer::GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int nStart,
                                   int nEnd, int bLower) {
    if (lpszSQL == nullptr)
        return -1;
    try {
        CStringArray arrLocal;
        return MoveToList(GetSelData(lpszSQL, arrLocal, nStart, nEnd), arrLocal, listValues,
                          bLower);
    } catch (_com_error& e) {
        ReportComError(e, true);
        return -1;
    }
}
