// The implementation object's life and the properties the host stores in it.
#include "ComErrorReport.h"
#include "ServerMessages.h"
#include "ZORImpADORXServer.h"
#include "platform/afx/CWinApp.h"

CZORImpADORXServer::CZORImpADORXServer() : m_bOpen(0), m_mapAssocDatabase(10) {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr))
        AfxMessageBox(kMsgComInitFailed, MB_OK, 0);
    m_bOpen = 0;
    m_pConnection = nullptr;
    m_strConnection = L"";
    m_strDatabase = L"";
}

CZORImpADORXServer::~CZORImpADORXServer() {
    if (m_pConnection && m_bOpen) {
        // A close that fails has nobody to tell; the connection is released all the same.
        if (FAILED(m_pConnection->raw_Close()))
            SetErrorInfo(0, nullptr);
    }
    m_bOpen = 0;
    m_pConnection = nullptr;
    // COM stays initialised for the thread that made the server: the host may go on creating
    // objects there, as it could while the server lived.
}

void CZORImpADORXServer::ReportComError(_com_error& e, bool bShow) {
    ::ReportComError(e, bShow);
}

void CZORImpADORXServer::SetDatabase(const wchar_t* lpszDatabase) {
    if (lpszDatabase)
        m_strDatabase = lpszDatabase;
}

const wchar_t* CZORImpADORXServer::GetDatabase() {
    return m_strDatabase;
}

void CZORImpADORXServer::SetLoginID(const wchar_t* lpszLoginID) {
    if (lpszLoginID)
        m_strLoginID = lpszLoginID;
}

const wchar_t* CZORImpADORXServer::GetLoginID() {
    return m_strLoginID;
}

void CZORImpADORXServer::SetGroupID(const wchar_t* lpszGroupID) {
    if (lpszGroupID)
        m_strGroupID = lpszGroupID;
}

const wchar_t* CZORImpADORXServer::GetGroupID() {
    return m_strGroupID;
}

void CZORImpADORXServer::AppendAssocDatabase(const wchar_t* lpszKey, const wchar_t* lpszValue) {
    m_mapAssocDatabase.SetAt(lpszKey, lpszValue ? lpszValue : L"");
}

int CZORImpADORXServer::AssocDatabase(const wchar_t* lpszKey, CString& strValue) {
    return m_mapAssocDatabase.Lookup(lpszKey, strValue) ? 1 : 0;
}

IDispatch* CZORImpADORXServer::GetConnectionPtr() {
    if (!m_pConnection)
        return nullptr;
    IDispatch* pDispatch = m_pConnection.GetInterfacePtr();
    pDispatch->AddRef();
    return pDispatch;
}
