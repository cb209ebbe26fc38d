#include "platform/afx/ExtensionModule.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <mutex>

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

namespace {

// Guards the class lists against modules loaded from several threads at once.
std::mutex g_classListLock;

AFX_MODULE_STATE g_moduleState = {nullptr, nullptr, nullptr, 0};

CRuntimeClass* FindInList(CRuntimeClass* pFirst, LPCSTR lpszClassName) {
    for (CRuntimeClass* p = pFirst; p != nullptr; p = p->m_pNextClass)
        if (strcmp(p->m_lpszClassName, lpszClassName) == 0)
            return p;
    return nullptr;
}

} // namespace

AFX_MODULE_STATE* AfxGetModuleState() {
    return &g_moduleState;
}

void AfxClassInit(CRuntimeClass* pNewClass) {
    std::lock_guard<std::mutex> lock(g_classListLock);
    pNewClass->m_pNextClass = g_moduleState.m_pFirstClass;
    g_moduleState.m_pFirstClass = pNewClass;
}

CRuntimeClass* AfxFindClassByName(LPCSTR lpszClassName) {
    std::lock_guard<std::mutex> lock(g_classListLock);
    if (CRuntimeClass* p = FindInList(g_moduleState.m_pFirstClass, lpszClassName))
        return p;
    for (CDynLinkLibrary* pDLL = g_moduleState.m_pFirstDLL; pDLL != nullptr;
         pDLL = pDLL->m_pNextDLL)
        if (CRuntimeClass* p = FindInList(pDLL->m_pFirstClass, lpszClassName))
            return p;
    return nullptr;
}

void AfxExtensionModulePrologue() {
    std::lock_guard<std::mutex> lock(g_classListLock);
    g_moduleState.m_pClassInitMark = g_moduleState.m_pFirstClass;
    ++g_moduleState.m_nPrologueDepth;
}

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule) {
    std::lock_guard<std::mutex> lock(g_classListLock);
    if (state.bInitialized)
        return TRUE;
    if (g_moduleState.m_nPrologueDepth <= 0)
        return FALSE; // the module did not mark the list before its classes registered
    // The classes registered since the prologue's mark belong to this module.
    CRuntimeClass* pMark = g_moduleState.m_pClassInitMark;
    CRuntimeClass* pFirst = g_moduleState.m_pFirstClass;
    if (pFirst != pMark) {
        CRuntimeClass* pLast = pFirst;
        while (pLast->m_pNextClass != nullptr && pLast->m_pNextClass != pMark)
            pLast = pLast->m_pNextClass;
        pLast->m_pNextClass = nullptr;
        state.pFirstSharedClass = pFirst;
    } else {
        state.pFirstSharedClass = nullptr;
    }
    g_moduleState.m_pFirstClass = pMark;
    --g_moduleState.m_nPrologueDepth;
    state.hModule = hModule;
    state.hResource = hModule;
    state.pFirstSharedFactory = nullptr;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL /*bAll*/) {
    if (!state.bInitialized)
        return;
    // Whether or not the whole process is ending, a module that goes away takes its
    // libraries out of the chain so that no lookup reaches its unloaded classes.
    for (;;) {
        CDynLinkLibrary* pFound = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_classListLock);
            for (CDynLinkLibrary* p = g_moduleState.m_pFirstDLL; p != nullptr; p = p->m_pNextDLL)
                if (p->m_hModule == state.hModule) {
                    pFound = p;
                    break;
                }
        }
        if (pFound == nullptr)
            break;
        delete pFound; // unlinks itself
    }
    state.bInitialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule), m_hResource(state.hResource),
      m_pFirstClass(state.pFirstSharedClass), m_bSystem(bSystem), m_pNextDLL(nullptr) {
    std::lock_guard<std::mutex> lock(g_classListLock);
    m_pNextDLL = g_moduleState.m_pFirstDLL;
    g_moduleState.m_pFirstDLL = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
    std::lock_guard<std::mutex> lock(g_classListLock);
    for (CDynLinkLibrary** pp = &g_moduleState.m_pFirstDLL; *pp != nullptr; pp = &(*pp)->m_pNextDLL)
        if (*pp == this) {
            *pp = m_pNextDLL;
            break;
        }
}

HMODULE AfxModuleFromAddress(const void* pAddress) {
    Dl_info info;
    if (dladdr(pAddress, &info) == 0)
        return nullptr;
    return info.dli_fbase;
}

void AfxReportModuleStart(int nResult) {
    if (nResult == 0)
        std::fputs("extension module: initialisation failed\n", stderr);
}
