// Running a statement whose rows nobody wants: data changes and schema statements.
#include "ServerMessages.h"
#include "ZORImpADORXServer.h"
#include "platform/afx/CWinApp.h"

int CZORImpADORXServer::ExecuteSQL(const wchar_t* lpszSQL) {
    _CommandPtr pCommand;
    HRESULT hr = pCommand.CreateInstance(L"ADODB.Command", nullptr, CLSCTX_ALL);
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    if (!m_pConnection) {
        AfxMessageBox(kMsgNoConnection, MB_OK, 0);
        return 0;
    }
    pCommand->PutRefActiveConnection(m_pConnection);
    pCommand->PutCommandText(_bstr_t(lpszSQL ? lpszSQL : L""));
    pCommand->PutCommandType(adCmdText);
    try {
        _RecordsetPtr pUnread = pCommand->Execute(nullptr, nullptr, adCmdUnknown);
    } catch (_com_error& e) {
        ReportComError(e, true);
        return 0;
    }
    return 1;
}
