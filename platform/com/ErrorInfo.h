// Error information: a failing object describes its failure (source, description) on the
// current thread; the caller takes it with GetErrorInfo, which clears it.
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/ComBase.h"

struct IErrorInfo : IUnknown {
    virtual HRESULT GetGUID(GUID* pGUID) = 0;
    virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;

protected:
    ~IErrorInfo() = default;
};
ZQK_COM_INTERFACE(IErrorInfo, IUnknown, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                  0x2B, 0xD1, 0x19)

struct ICreateErrorInfo : IUnknown {
    virtual HRESULT SetGUID(REFGUID rguid) = 0;
    virtual HRESULT SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};
ZQK_COM_INTERFACE(ICreateErrorInfo, IUnknown, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00,
                  0x2B, 0x2B, 0xD1, 0x19)

struct ISupportErrorInfo : IUnknown {
    // S_OK when failures of methods of that interface set error information.
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};
ZQK_COM_INTERFACE(ISupportErrorInfo, IUnknown, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00,
                  0x2B, 0x2B, 0xD1, 0x19)

// A new, empty error object (one reference for the caller); it also answers IErrorInfo.
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Replaces the thread's error information (null clears it); adds a reference.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the thread's error information to the caller and clears it; S_FALSE when none.
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// Sets error information with a source and a description on this thread in one call, for
// objects that report failures.
HRESULT ZqkSetErrorInfo(LPCOLESTR pszSource, LPCOLESTR pszDescription, REFGUID rguid = GUID_NULL);
