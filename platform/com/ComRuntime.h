// COM's run time: per-thread initialisation and object creation from a process-wide class
// table, by class identifier or ProgID.
#pragma once

#include "platform/com/ComBase.h"

// The concurrency models a thread may initialise COM for (the other COINIT flags are hints).
enum tagCOINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

// Counts per thread: S_OK for the first call, S_FALSE for every later one in the same model,
// RPC_E_CHANGED_MODE (nothing counted) for one in the other model while the thread is
// initialised. CoInitialize is CoInitializeEx for the single-threaded apartment.
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
// Whether the calling thread has initialised COM (its count is above zero).
bool ZqkIsComInitialized();

// Creates an object of a registered class and asks it for riid. CO_E_NOTINITIALIZED on a
// thread without COM, REGDB_E_CLASSNOTREG for an unknown class, CLASS_E_NOAGGREGATION when an
// outer object is given.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" to a GUID; CO_E_CLASSSTRING when malformed.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
// A ProgID (such as "ADODB.Connection", compared without regard to case) or a braced
// identifier to the class identifier; CO_E_CLASSSTRING when unknown.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
// Writes the braced form; returns the characters written with the terminator, 0 if too small.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

// Registers a class in the process-wide table. The factory returns a new object with one
// reference. Registering an identifier again replaces the entry.
typedef IUnknown* (*ZqkClassFactoryFn)();
void ZqkRegisterClass(REFCLSID rclsid, LPCOLESTR pszProgID, ZqkClassFactoryFn pfnCreate);
void ZqkUnregisterClass(REFCLSID rclsid);
