#include "platform/com/ComRuntime.h"

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace {

thread_local int t_nComInit = 0;
thread_local DWORD t_dwComModel = 0; // the model of the thread's initialisation while it lasts

struct CClassEntry {
    CLSID clsid;
    std::wstring strProgID;
    ZqkClassFactoryFn pfnCreate;
};

std::mutex g_classLock;

std::vector<CClassEntry>& ClassTable() {
    static std::vector<CClassEntry>* s_pTable = new std::vector<CClassEntry>; // outlives unloads
    return *s_pTable;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

bool ParseHex(const wchar_t*& p, int nDigits, unsigned long long* pValue) {
    unsigned long long v = 0;
    for (int i = 0; i < nDigits; ++i) {
        int h = HexValue(*p++);
        if (h < 0)
            return false;
        v = (v << 4) | static_cast<unsigned>(h);
    }
    *pValue = v;
    return true;
}

} // namespace

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
    const DWORD dwModel = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_nComInit > 0 && dwModel != t_dwComModel)
        return RPC_E_CHANGED_MODE;
    t_dwComModel = dwModel;
    return ++t_nComInit == 1 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_nComInit > 0)
        --t_nComInit;
}

bool ZqkIsComInitialized() {
    return t_nComInit > 0;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (lpsz == nullptr || pclsid == nullptr)
        return E_INVALIDARG;
    const wchar_t* p = lpsz;
    unsigned long long v;
    GUID g;
    if (wcslen(p) != 38 || *p++ != L'{')
        return CO_E_CLASSSTRING;
    if (!ParseHex(p, 8, &v) || *p++ != L'-')
        return CO_E_CLASSSTRING;
    g.Data1 = static_cast<DWORD>(v);
    if (!ParseHex(p, 4, &v) || *p++ != L'-')
        return CO_E_CLASSSTRING;
    g.Data2 = static_cast<WORD>(v);
    if (!ParseHex(p, 4, &v) || *p++ != L'-')
        return CO_E_CLASSSTRING;
    g.Data3 = static_cast<WORD>(v);
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && *p++ != L'-')
            return CO_E_CLASSSTRING;
        if (!ParseHex(p, 2, &v))
            return CO_E_CLASSSTRING;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    if (*p != L'}')
        return CO_E_CLASSSTRING;
    *pclsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
    HRESULT hr = CLSIDFromString(lpsz, lpiid);
    return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

int StringFromGUID2(REFGUID g, LPOLESTR lpsz, int cchMax) {
    if (lpsz == nullptr || cchMax < 39)
        return 0;
    swprintf(lpsz, static_cast<size_t>(cchMax),
             L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
             g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
             g.Data4[7]);
    return 39;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr)
        return E_INVALIDARG;
    if (lpszProgID[0] == L'{')
        return CLSIDFromString(lpszProgID, lpclsid);
    std::lock_guard<std::mutex> lock(g_classLock);
    for (const CClassEntry& e : ClassTable())
        if (!e.strProgID.empty() && wcscasecmp(e.strProgID.c_str(), lpszProgID) == 0) {
            *lpclsid = e.clsid;
            return S_OK;
        }
    return CO_E_CLASSSTRING;
}

void ZqkRegisterClass(REFCLSID rclsid, LPCOLESTR pszProgID, ZqkClassFactoryFn pfnCreate) {
    std::lock_guard<std::mutex> lock(g_classLock);
    for (CClassEntry& e : ClassTable())
        if (e.clsid == rclsid) {
            e.strProgID = pszProgID ? pszProgID : L"";
            e.pfnCreate = pfnCreate;
            return;
        }
    ClassTable().push_back({rclsid, pszProgID ? pszProgID : L"", pfnCreate});
}

void ZqkUnregisterClass(REFCLSID rclsid) {
    std::lock_guard<std::mutex> lock(g_classLock);
    auto& table = ClassTable();
    for (auto it = table.begin(); it != table.end(); ++it)
        if (it->clsid == rclsid) {
            table.erase(it);
            return;
        }
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (!ZqkIsComInitialized())
        return CO_E_NOTINITIALIZED;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    if ((dwClsContext & CLSCTX_ALL) == 0)
        return E_INVALIDARG;
    ZqkClassFactoryFn pfnCreate = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_classLock);
        for (const CClassEntry& e : ClassTable())
            if (e.clsid == rclsid)
                pfnCreate = e.pfnCreate;
    }
    if (pfnCreate == nullptr)
        return REGDB_E_CLASSNOTREG;
    IUnknown* pObject = pfnCreate();
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    pObject->Release();
    return hr;
}
