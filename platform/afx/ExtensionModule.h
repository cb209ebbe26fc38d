// Extension modules: shared libraries that bring their own run-time classes into the host's
// class lookup. The loader runs a module's start in three steps, ordered by constructor
// priority inside that library:
//   1. AFX_EXTENSION_MODULE_PROLOGUE marks where the host's class list stands;
//   2. IMPLEMENT_SERIAL registrations (AfxClassInit) add the module's classes after the mark;
//   3. the module's entry (DllMain) calls AfxInitExtensionModule, which moves those classes
//      aside into the module record, and creates a CDynLinkLibrary that puts the module in
//      the chain that class lookup by name walks.
// Unloading runs the entry again with DLL_PROCESS_DETACH; AfxTermExtensionModule takes the
// module's CDynLinkLibrary objects out of the chain.
#pragma once

#include "platform/afx/CObject.h"
#include "platform/win/WinTypes.h"

class CDynLinkLibrary;

struct AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HMODULE hModule;
    HMODULE hResource;
    CRuntimeClass* pFirstSharedClass;
    void* pFirstSharedFactory;
};

// The process-wide framework state that class registration and lookup use.
struct AFX_MODULE_STATE {
    CRuntimeClass* m_pFirstClass;    // classes of the host program (and modules starting)
    CDynLinkLibrary* m_pFirstDLL;    // loaded extension modules, newest first
    CRuntimeClass* m_pClassInitMark; // the host's list head saved by a module's prologue
    int m_nPrologueDepth;
};
AFX_MODULE_STATE* AfxGetModuleState();

// The registered class of that exact name: host program first, then the module chain.
CRuntimeClass* AfxFindClassByName(LPCSTR lpszClassName);

// Step 1: called from the module's prologue constructor.
void AfxExtensionModulePrologue();

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

class CDynLinkLibrary : public CObject {
    DECLARE_DYNAMIC(CDynLinkLibrary)
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
    ~CDynLinkLibrary() override;

    HMODULE m_hModule;
    HMODULE m_hResource;
    CRuntimeClass* m_pFirstClass;
    BOOL m_bSystem;
    CDynLinkLibrary* m_pNextDLL;
};

// The module handle of the shared object that contains pAddress (its load address).
HMODULE AfxModuleFromAddress(const void* pAddress);

// Declares a module's load and unload entries around its DllMain-style function
// `int Fn(HINSTANCE, DWORD dwReason, LPVOID)`. A failing attach is reported on standard error,
// since the loader has no way to refuse a shared object from a constructor.
#define AFX_EXTENSION_MODULE_ENTRY(DllMainFn)                                                      \
    namespace {                                                                                    \
    __attribute__((constructor(AFX_PRIORITY_MODULE_PROLOGUE))) void AfxModulePrologue_() {         \
        AfxExtensionModulePrologue();                                                              \
    }                                                                                              \
    __attribute__((constructor(AFX_PRIORITY_MODULE_ENTRY))) void AfxModuleAttach_() {              \
        HINSTANCE hInstance = AfxModuleFromAddress(reinterpret_cast<const void*>(&DllMainFn));     \
        AfxReportModuleStart(DllMainFn(hInstance, DLL_PROCESS_ATTACH, nullptr));                   \
    }                                                                                              \
    __attribute__((destructor(AFX_PRIORITY_MODULE_ENTRY))) void AfxModuleDetach_() {               \
        HINSTANCE hInstance = AfxModuleFromAddress(reinterpret_cast<const void*>(&DllMainFn));     \
        DllMainFn(hInstance, DLL_PROCESS_DETACH, nullptr);                                         \
    }                                                                                              \
    }

void AfxReportModuleStart(int nResult);

// Marks a class that an extension module exports to its hosts.
#define AFX_EXT_CLASS __attribute__((visibility("default")))
