// The facade: every database operation forwards unchanged to the implementation object, and
// answers its fixed "without implementation" value when there is none.
#include "ZORADORXServer.h"

#include <new>

#include "ServerConnection.h"
#include "ZORImpADORXServer.h"

CZORADORXServer::CZORADORXServer() : m_pImpl(new (std::nothrow) CZORImpADORXServer) {}

CZORADORXServer::CZORADORXServer(const CZORADORXServer& src) : m_pImpl(src.m_pImpl) {
    if (m_pImpl)
        m_pImpl->AddOwner();
}

CZORADORXServer& CZORADORXServer::operator=(const CZORADORXServer& src) {
    if (src.m_pImpl)
        src.m_pImpl->AddOwner();
    if (m_pImpl && m_pImpl->ReleaseOwner())
        delete m_pImpl;
    m_pImpl = src.m_pImpl;
    return *this;
}

CZORADORXServer::~CZORADORXServer() {
    if (m_pImpl && m_pImpl->ReleaseOwner())
        delete m_pImpl;
    m_pImpl = nullptr;
}

#define ZQK_FORWARD(vNone, call) return m_pImpl ? m_pImpl->call : (vNone)
#define ZQK_FORWARD_VOID(call)                                                                     \
    if (m_pImpl)                                                                                   \
    m_pImpl->call

int CZORADORXServer::InitADOServer(const wchar_t* lpszDSN, const wchar_t* lpszUID,
                                   const wchar_t* lpszPWD, int nMode, int nOptions) {
    ZQK_FORWARD(0, InitADOServer(lpszDSN, lpszUID, lpszPWD, nMode, nOptions));
}
int CZORADORXServer::InitADOServer(const wchar_t* lpszConnect, bool bShowError, int nOptions) {
    ZQK_FORWARD(0, InitADOServer(lpszConnect, bShowError, nOptions));
}
int CZORADORXServer::InitADOServer(const wchar_t* lpszConnect) {
    ZQK_FORWARD(0, InitADOServer(lpszConnect));
}
int CZORADORXServer::GetConnection(CString& strConnect) {
    ZQK_FORWARD(0, GetConnection(strConnect));
}

void CZORADORXServer::SetDatabase(const wchar_t* lpszDatabase) {
    ZQK_FORWARD_VOID(SetDatabase(lpszDatabase));
}
const wchar_t* CZORADORXServer::GetDatabase() {
    ZQK_FORWARD(nullptr, GetDatabase());
}
void CZORADORXServer::AppendAssocDatabase(const wchar_t* lpszKey, const wchar_t* lpszValue) {
    ZQK_FORWARD_VOID(AppendAssocDatabase(lpszKey, lpszValue));
}
int CZORADORXServer::AssocDatabase(const wchar_t* lpszKey, CString& strValue) {
    ZQK_FORWARD(0, AssocDatabase(lpszKey, strValue));
}
void CZORADORXServer::SetLoginID(const wchar_t* lpszLoginID) {
    ZQK_FORWARD_VOID(SetLoginID(lpszLoginID));
}
const wchar_t* CZORADORXServer::GetLoginID() {
    ZQK_FORWARD(nullptr, GetLoginID());
}
void CZORADORXServer::SetGroupID(const wchar_t* lpszGroupID) {
    ZQK_FORWARD_VOID(SetGroupID(lpszGroupID));
}
const wchar_t* CZORADORXServer::GetGroupID() {
    ZQK_FORWARD(nullptr, GetGroupID());
}

int CZORADORXServer::CreateOLEDBTable(const wchar_t* lpszTable,
                                      CArray<CZORTableField, CZORTableField&>& arrFields,
                                      const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, CreateOLEDBTable(lpszTable, arrFields, lpszDatabase));
}
int CZORADORXServer::CreateSQLSrvTable(const wchar_t* lpszTable,
                                       CArray<CZORTableField, CZORTableField&>& arrFields,
                                       const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, CreateSQLSrvTable(lpszTable, arrFields, lpszDatabase));
}
int CZORADORXServer::IsSQLSrvTableExist(const wchar_t* lpszTable, const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, IsSQLSrvTableExist(lpszTable, lpszDatabase));
}
int CZORADORXServer::GetSQLSrvTableStru(const wchar_t* lpszTable, CStringList& lstFields,
                                        const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, GetSQLSrvTableStru(lpszTable, lstFields, lpszDatabase));
}
int CZORADORXServer::GetSQLSrvTableStru(const wchar_t* lpszTable,
                                        CArray<CZORTableField, CZORTableField&>& arrFields,
                                        const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, GetSQLSrvTableStru(lpszTable, arrFields, lpszDatabase));
}
int CZORADORXServer::GetTableStructInfoEx(const wchar_t* lpszTable,
                                          CArray<CZORTableField, CZORTableField&>& arrFields) {
    ZQK_FORWARD(0, GetTableStructInfoEx(lpszTable, arrFields));
}
int CZORADORXServer::DeleteTable(CStringArray& arrTables) {
    ZQK_FORWARD(0, DeleteTable(arrTables));
}
int CZORADORXServer::DeleteTable(const wchar_t* lpszTable) {
    ZQK_FORWARD(0, DeleteTable(lpszTable));
}
int CZORADORXServer::DeleteTableFields(const wchar_t* lpszTable, const wchar_t* lpszField,
                                       const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, DeleteTableFields(lpszTable, lpszField, lpszDatabase));
}
int CZORADORXServer::DeleteTableFields(const wchar_t* lpszTable, CStringArray& arrFields,
                                       const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, DeleteTableFields(lpszTable, arrFields, lpszDatabase));
}
int CZORADORXServer::AppendTableFields(const wchar_t* lpszTable, CZORTableField& field,
                                       const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, AppendTableFields(lpszTable, field, lpszDatabase));
}
int CZORADORXServer::AppendTableFields(const wchar_t* lpszTable,
                                       CArray<CZORTableField, CZORTableField&>& arrFields,
                                       const wchar_t* lpszDatabase) {
    ZQK_FORWARD(0, AppendTableFields(lpszTable, arrFields, lpszDatabase));
}

int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, _variant_t& varData, LONG& nRows,
                                LONG& nCols) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, varData, nRows, nCols));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CMapStringToString& map) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, map));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int nStart, int nEnd,
                                int bSetLable) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, table, nStart, nEnd, bSetLable));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CZORValueTable& table, int bSetLable) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, table, bSetLable));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int nStart,
                                int nEnd, int bLower) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, listValues, nStart, nEnd, bLower));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CStringList& listValues, int bLower) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, listValues, bLower));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues, int nStart,
                                int nEnd) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, arrValues, nStart, nEnd));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CStringArray& arrValues) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, arrValues));
}
int CZORADORXServer::GetSelData(const wchar_t* lpszSQL, CString& strResult) {
    ZQK_FORWARD(0, GetSelData(lpszSQL, strResult));
}
int CZORADORXServer::IsSelEmpty(const wchar_t* lpszSQL) {
    ZQK_FORWARD(0, IsSelEmpty(lpszSQL));
}
int CZORADORXServer::GetSelDataEx(const wchar_t* lpszSQL, CMapStringToString& map) {
    ZQK_FORWARD(0, GetSelDataEx(lpszSQL, map));
}

void CZORADORXServer::GetSQLSrvTableNames(CStringArray& arrNames, const wchar_t* lpszDatabase) {
    ZQK_FORWARD_VOID(GetSQLSrvTableNames(arrNames, lpszDatabase));
}
void CZORADORXServer::GetSQLSrvTableNames(CStringList& lstNames, const wchar_t* lpszDatabase) {
    ZQK_FORWARD_VOID(GetSQLSrvTableNames(lstNames, lpszDatabase));
}
void CZORADORXServer::GetTableNameArray(CStringArray& arrNames, const wchar_t* lpszType) {
    ZQK_FORWARD_VOID(GetTableNameArray(arrNames, lpszType));
}
void CZORADORXServer::GetOLDBTableNameList(CStringList& lstNames, const wchar_t* lpszType) {
    ZQK_FORWARD_VOID(GetOLDBTableNameList(lstNames, lpszType));
}
void CZORADORXServer::GetOLDBTableNameArray(CStringArray& arrNames, const wchar_t* lpszType) {
    ZQK_FORWARD_VOID(GetOLDBTableNameArray(arrNames, lpszType));
}

int CZORADORXServer::ExecuteSQL(const wchar_t* lpszSQL) {
    ZQK_FORWARD(0, ExecuteSQL(lpszSQL));
}
int CZORADORXServer::IsDatabaseOpen() {
    ZQK_FORWARD(0, IsDatabaseOpen());
}
IDispatch* CZORADORXServer::GetConnectionPtr() {
    ZQK_FORWARD(nullptr, GetConnectionPtr());
}

#undef ZQK_FORWARD
#undef ZQK_FORWARD_VOID

_ConnectionPtr ZorQueryConnection(CZORADORXServer& server) {
    IDispatch* pDispatch = server.GetConnectionPtr(); // through the virtual table
    _ConnectionPtr pConnection;
    if (pDispatch) {
        HRESULT hr = pDispatch->QueryInterface(__uuidof(_Connection),
                                               reinterpret_cast<void**>(&pConnection));
        pDispatch->Release();
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
    }
    return pConnection;
}

namespace {

// The connection for a transaction call; E_POINTER without one.
_ConnectionPtr TransactionConnection(CZORADORXServer& server) {
    _ConnectionPtr pConnection = ZorQueryConnection(server);
    if (!pConnection)
        _com_issue_error(E_POINTER);
    return pConnection;
}

} // namespace

void CZORADORXServer::BeginTrans() {
    TransactionConnection(*this)->BeginTrans();
}
void CZORADORXServer::RollbackTrans() {
    TransactionConnection(*this)->RollbackTrans();
}
void CZORADORXServer::CommitTrans() {
    TransactionConnection(*this)->CommitTrans();
}
