#include "ComErrorReport.h"

#include "ServerMessages.h"
#include "platform/afx/CWinApp.h"

CString FormatComErrorReport(_com_error& e) {
    CString strText;
    _bstr_t bstrSource = e.Source();
    _bstr_t bstrDescription = e.Description();
    strText.Format(kFmtComErrorReport, static_cast<ULONG>(e.Error()), e.ErrorMessage(),
                   static_cast<const wchar_t*>(bstrSource),
                   static_cast<const wchar_t*>(bstrDescription));
    return strText;
}

void ReportComError(_com_error& e, bool bShow) {
    CString strText = FormatComErrorReport(e);
    if (bShow)
        AfxMessageBox(strText, MB_OK, 0);
}
