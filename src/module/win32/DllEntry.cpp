// The DLL's entry point (the linker's entry option names it). The C
// runtime's own DLL start-up runs static initialisation and then calls
// DllMain on attach, and calls DllMain and then runs static termination on
// detach; this entry puts the list hook before the first and after the
// second.
#include <windows.h>
#include <mmsystem.h>

#include "ModuleMain.h"

// The recorder hands the system its buffer header's size with every call;
// the 32-bit layout is the one the wave-in service documents.
#if !defined(_WIN64)
static_assert(sizeof(WAVEHDR) == 32, "WAVEHDR has the 32-bit platform's layout");
#endif

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI PendraxDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!SaveFrameworkLists(instance, reason, reserved)) {
            return FALSE;
        }
        return DllMainCRTStartup(instance, reason, reserved);
    }
    if (reason == DLL_PROCESS_DETACH) {
        const BOOL result = DllMainCRTStartup(instance, reason, reserved);
        if (!SaveFrameworkLists(instance, reason, reserved)) {
            return FALSE;
        }
        return result;
    }
    return DllMainCRTStartup(instance, reason, reserved);
}
