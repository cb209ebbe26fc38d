#include "platform/ado/AdoObjects.h"

CAdoCommand::~CAdoCommand() {
    if (m_pConnection)
        m_pConnection->Release();
}

HRESULT CAdoCommand::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == __uuidof(_Command) ? S_OK : S_FALSE;
}

HRESULT CAdoCommand::get_ActiveConnection(_Connection** ppvObject) {
    if (ppvObject == nullptr)
        return E_POINTER;
    *ppvObject = m_pConnection;
    if (m_pConnection)
        m_pConnection->AddRef();
    return S_OK;
}

HRESULT CAdoCommand::putref_ActiveConnection(_Connection* pCon) {
    // ADO refuses a closed connection here, before any text is set, rather than at Execute.
    if (pCon) {
        LONG nState = adStateClosed;
        if (FAILED(pCon->get_State(&nState)) || nState != adStateOpen)
            return AdoFailWith(adErrInvalidConnection, kAdoSourceCommand);
        pCon->AddRef();
    }
    if (m_pConnection)
        m_pConnection->Release();
    m_pConnection = pCon;
    return S_OK;
}

HRESULT CAdoCommand::get_CommandText(BSTR* pbstr) {
    if (pbstr == nullptr)
        return E_POINTER;
    *pbstr = SysAllocStringLen(m_strText.data(), static_cast<UINT>(m_strText.size()));
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CAdoCommand::put_CommandText(BSTR bstr) {
    m_strText.assign(bstr ? bstr : L"", SysStringLen(bstr));
    return S_OK;
}

HRESULT CAdoCommand::get_CommandType(CommandTypeEnum* plCmdType) {
    if (plCmdType == nullptr)
        return E_POINTER;
    *plCmdType = m_nType;
    return S_OK;
}

HRESULT CAdoCommand::put_CommandType(CommandTypeEnum lCmdType) {
    if (lCmdType != adCmdText && lCmdType != adCmdUnknown && lCmdType != adCmdUnspecified)
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceCommand);
    m_nType = lCmdType;
    return S_OK;
}

HRESULT CAdoCommand::raw_Execute(VARIANT* RecordsAffected, VARIANT* Parameters, LONG,
                                 _Recordset** ppiRs) {
    if (ppiRs)
        *ppiRs = nullptr;
    if (Parameters && Parameters->vt != VT_EMPTY &&
        !(Parameters->vt == VT_ERROR && Parameters->scode == DISP_E_PARAMNOTFOUND))
        return AdoFailWith(adErrFeatureNotAvailable, kAdoSourceCommand);
    auto* pConnection = dynamic_cast<CAdoConnection*>(m_pConnection);
    LONG nState = adStateClosed;
    if (pConnection == nullptr || FAILED(pConnection->get_State(&nState)) || nState != adStateOpen)
        return AdoFailWith(adErrInvalidConnection, kAdoSourceCommand);
    AdoTraceCommand(m_strText.c_str());
    return pConnection->ExecuteText(m_strText, RecordsAffected, ppiRs, kAdoSourceCommand);
}
