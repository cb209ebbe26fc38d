#include "platform/com/ErrorInfo.h"

#include "platform/com/ComObject.h"

namespace {

class CErrorInfo : public CComObjectRoot<IErrorInfo, ICreateErrorInfo> {
public:
    HRESULT GetGUID(GUID* pGUID) override {
        if (pGUID == nullptr)
            return E_INVALIDARG;
        *pGUID = m_guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* p) override { return Copy(m_bstrSource, p); }
    HRESULT GetDescription(BSTR* p) override { return Copy(m_bstrDescription, p); }
    HRESULT GetHelpFile(BSTR* p) override { return Copy(m_bstrHelpFile, p); }
    HRESULT GetHelpContext(DWORD* p) override {
        if (p == nullptr)
            return E_INVALIDARG;
        *p = m_dwHelpContext;
        return S_OK;
    }
    HRESULT SetGUID(REFGUID rguid) override {
        m_guid = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR sz) override { return Set(m_bstrSource, sz); }
    HRESULT SetDescription(LPOLESTR sz) override { return Set(m_bstrDescription, sz); }
    HRESULT SetHelpFile(LPOLESTR sz) override { return Set(m_bstrHelpFile, sz); }
    HRESULT SetHelpContext(DWORD dw) override {
        m_dwHelpContext = dw;
        return S_OK;
    }

private:
    ~CErrorInfo() override {
        SysFreeString(m_bstrSource);
        SysFreeString(m_bstrDescription);
        SysFreeString(m_bstrHelpFile);
    }
    static HRESULT Copy(BSTR src, BSTR* pOut) {
        if (pOut == nullptr)
            return E_INVALIDARG;
        *pOut = src ? SysAllocStringLen(src, SysStringLen(src)) : nullptr;
        return src && *pOut == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    // A null text clears the field: an absent source or description must read back as null,
    // not as an empty string.
    static HRESULT Set(BSTR& rTarget, LPOLESTR sz) {
        if (sz == nullptr) {
            SysFreeString(rTarget);
            rTarget = nullptr;
            return S_OK;
        }
        return SysReAllocString(&rTarget, sz) ? S_OK : E_OUTOFMEMORY;
    }

    GUID m_guid = GUID_NULL;
    BSTR m_bstrSource = nullptr;
    BSTR m_bstrDescription = nullptr;
    BSTR m_bstrHelpFile = nullptr;
    DWORD m_dwHelpContext = 0;
};

// The thread's current error information; released when the thread ends.
struct CThreadErrorInfo {
    IErrorInfo* p = nullptr;
    ~CThreadErrorInfo() {
        if (p)
            p->Release();
    }
};
thread_local CThreadErrorInfo t_errorInfo;

} // namespace

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr)
        return E_INVALIDARG;
    *pperrinfo = new CErrorInfo;
    return S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    if (perrinfo)
        perrinfo->AddRef();
    IErrorInfo* pOld = t_errorInfo.p;
    t_errorInfo.p = perrinfo;
    if (pOld)
        pOld->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr)
        return E_INVALIDARG;
    *pperrinfo = t_errorInfo.p;
    t_errorInfo.p = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT ZqkSetErrorInfo(LPCOLESTR pszSource, LPCOLESTR pszDescription, REFGUID rguid) {
    ICreateErrorInfo* pCreate = nullptr;
    HRESULT hr = CreateErrorInfo(&pCreate);
    if (FAILED(hr))
        return hr;
    pCreate->SetGUID(rguid);
    pCreate->SetSource(const_cast<LPOLESTR>(pszSource));
    pCreate->SetDescription(const_cast<LPOLESTR>(pszDescription));
    IErrorInfo* pInfo = nullptr;
    hr = pCreate->QueryInterface(__uuidof(IErrorInfo), reinterpret_cast<void**>(&pInfo));
    if (SUCCEEDED(hr)) {
        SetErrorInfo(0, pInfo);
        pInfo->Release();
    }
    pCreate->Release();
    return hr;
}
