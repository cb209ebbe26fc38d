// Connection set-up: creating and opening the one connection, closing it before a new one.
#include "ServerMessages.h"
#include "ZORImpADORXServer.h"
#include "platform/afx/CWinApp.h"

bool CZORImpADORXServer::CreateConnection() {
    m_pConnection = nullptr;
    if (FAILED(m_pConnection.CreateInstance(CLSID_Connection, nullptr, CLSCTX_ALL)))
        m_pConnection = nullptr;
    return m_pConnection != nullptr;
}

int CZORImpADORXServer::OpenConnection(const wchar_t* lpszConnect, int nOptions, bool bDetailedBox,
                                       bool bMessageBox, bool bReleaseOnFailure) {
    try {
        m_pConnection->Open(_bstr_t(lpszConnect), _bstr_t(L""), _bstr_t(L""), nOptions);
    } catch (_com_error& e) {
        if (bDetailedBox)
            ReportComError(e, true);
        if (bMessageBox)
            AfxMessageBox(e.ErrorMessage(), MB_OK, 0);
        m_bOpen = 0;
        if (bReleaseOnFailure)
            m_pConnection = nullptr;
        return 0;
    }
    m_strConnection = lpszConnect;
    m_bOpen = 1;
    return 1;
}

int CZORImpADORXServer::InitADOServer(const wchar_t* lpszConnect) {
    // Both boxes on failure; the closed connection object stays.
    return InitWithString(lpszConnect, adConnectUnspecified, true, true, false);
}

int CZORImpADORXServer::InitADOServer(const wchar_t* lpszConnect, bool bShowError, int nOptions) {
    // The detailed box only when asked; the connection object is let go.
    return InitWithString(lpszConnect, nOptions, bShowError, false, true);
}

int CZORImpADORXServer::InitWithString(const wchar_t* lpszConnect, int nOptions, bool bDetailedBox,
                                       bool bMessageBox, bool bReleaseOnFailure) {
    if (lpszConnect == nullptr)
        return 0;
    if (m_bOpen)
        CloseConnection();
    if (!CreateConnection())
        return 0;
    return OpenConnection(lpszConnect, nOptions, bDetailedBox, bMessageBox, bReleaseOnFailure);
}

int CZORImpADORXServer::InitADOServer(const wchar_t* lpszDSN, const wchar_t* lpszUID,
                                      const wchar_t* lpszPWD, int nMode, int nOptions) {
    if (lpszDSN == nullptr || lpszUID == nullptr)
        return 0;
    if (lpszPWD == nullptr)
        lpszPWD = L"";
    if (m_bOpen)
        CloseConnection();
    if (!CreateConnection())
        return 0;
    CString strConnect;
    strConnect.Format(kFmtDsnConnection, lpszDSN, lpszUID, lpszPWD);
    m_bOpen = 0;
    m_pConnection->PutMode(static_cast<ConnectModeEnum>(nMode)); // not guarded: reaches the caller
    return OpenConnection(strConnect, nOptions, true, true, false);
}

void CZORImpADORXServer::CloseConnection() {
    if (!m_pConnection)
        return;
    try {
        m_pConnection->Close();
    } catch (_com_error& e) {
        ReportComError(e, true);
    }
    // COM stays initialised: closing does not take away the one CoInitialize the server made,
    // so a server can be re-initialised any number of times on one thread.
    m_bOpen = 0;
    m_pConnection = nullptr;
}

int CZORImpADORXServer::IsDatabaseOpen() {
    return m_bOpen;
}

int CZORImpADORXServer::GetConnection(CString& strConnect) {
    strConnect = m_strConnection;
    return m_bOpen;
}
