// The module's start and stop as a framework extension module: its serialisable classes
// register during static initialisation, the entry moves them into the module's record and
// puts the module into the chain that class lookup by name walks; unloading takes it out.
#include "ZORImpADORXServer.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/win/WinTypes.h"

_variant_t g_varZqkMissing(DISP_E_PARAMNOTFOUND, VT_ERROR);

namespace {

AFX_EXTENSION_MODULE g_zqkModule = {FALSE, nullptr, nullptr, nullptr, nullptr};

int ZqkDllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*lpReserved*/) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        if (!AfxInitExtensionModule(g_zqkModule, hInstance))
            return 0;
        // Owned by the chain; AfxTermExtensionModule frees it.
        new CDynLinkLibrary(g_zqkModule, FALSE);
    } else if (dwReason == DLL_PROCESS_DETACH) {
        AfxTermExtensionModule(g_zqkModule, FALSE);
        VariantClear(&g_varZqkMissing);
    }
    return 1;
}

} // namespace

AFX_EXTENSION_MODULE_ENTRY(ZqkDllMain)
