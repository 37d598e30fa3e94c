#include "ModuleMain.h"

AFX_EXTENSION_MODULE ExtensionModule = {};

BOOL SaveFrameworkLists(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        AFX_MODULE_STATE* const state = AfxGetModuleState();
        state->classInit = state->classListHead;
        state->factoryInit = state->factoryListHead;
        state->classListHead = nullptr;
        state->factoryListHead = nullptr;
    }
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        if (!AfxInitExtensionModule(ExtensionModule, instance)) {
            return 0;
        }
        // The entry links itself into the chain and belongs to the framework
        // from here on. An allocation that yields nothing leaves the module
        // unlinked; the load still succeeds.
        (void)new CDynLinkLibrary(ExtensionModule, FALSE);
        return 1;
    }
    if (reason == DLL_PROCESS_DETACH) {
        AfxTermExtensionModule(ExtensionModule, FALSE);
    }
    return 1;
}
