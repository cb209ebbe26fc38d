// COM's foundations: identifiers, IUnknown, IDispatch and the per-type interface identifier
// (__uuidof). Interfaces are abstract classes with the COM member names; every method
// returns an HRESULT unless COM says otherwise.
#pragma once

#include <cstring>

#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef wchar_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

extern const GUID GUID_NULL;

// Each interface type names its identifier and its base interface.
template <typename Interface> struct ComInterfaceTraits;

#define __uuidof(Interface) (ComInterfaceTraits<Interface>::Iid())

#define ZQK_COM_INTERFACE(Interface, BaseInterface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7)    \
    template <> struct ComInterfaceTraits<Interface> {                                             \
        typedef BaseInterface Base;                                                                \
        static const IID& Iid() {                                                                  \
            static const IID iid = {d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};                 \
            return iid;                                                                            \
        }                                                                                          \
    };

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    template <typename Q> HRESULT QueryInterface(Q** pp) {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

protected:
    ~IUnknown() = default;
};
template <> struct ComInterfaceTraits<IUnknown> {
    typedef void Base;
    static const IID& Iid() {
        static const IID iid = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        return iid;
    }
};

typedef LONG DISPID;
struct ITypeInfo;
struct DISPPARAMS;
struct EXCEPINFO;
struct tagVARIANT;

// Automation objects implement it; late binding (type information and Invoke) is not offered
// here and answers E_NOTIMPL.
struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, DWORD lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DWORD lcid,
                                  DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, DWORD lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, tagVARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};
ZQK_COM_INTERFACE(IDispatch, IUnknown, 0x00020400, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)

enum CLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_ALL =
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
};
