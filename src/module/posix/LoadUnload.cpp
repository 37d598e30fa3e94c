// The library's load and unload on an ELF system run the same sequence a
// Windows loader's attach and detach run: the list hook, static
// initialisation, DllMain; and DllMain, static termination, the hook.
//
// The loader runs prioritised constructors before every other static
// initialiser and prioritised destructors after every other terminator
// (including the destructors of static objects), so the hook takes priority
// 101 both ways. DllMain's constructor and destructor have no priority: they
// run after (and before) the others only because this object is linked after
// every other object of the library, which the build guarantees by linking it
// as the last library on the line.
#include <dlfcn.h>

#include "ModuleMain.h"

namespace {

HINSTANCE instance = nullptr;
bool hookAccepted = false;
bool attached = false;

// The loader's handle for this library: the address it was mapped at.
HINSTANCE LoadedInstance() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LoadedInstance), &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

__attribute__((constructor(101))) void BeforeStaticInitialisation() {
    instance = LoadedInstance();
    hookAccepted = SaveFrameworkLists(instance, DLL_PROCESS_ATTACH, nullptr) != FALSE;
}

__attribute__((constructor)) void AfterStaticInitialisation() {
    if (hookAccepted) {
        attached = DllMain(instance, DLL_PROCESS_ATTACH, nullptr) != 0;
    }
}

// A refused attach is not followed by a detach: nothing of it is undone.
__attribute__((destructor)) void BeforeStaticTermination() {
    if (attached) {
        (void)DllMain(instance, DLL_PROCESS_DETACH, nullptr);
    }
}

__attribute__((destructor(101))) void AfterStaticTermination() {
    if (attached) {
        (void)SaveFrameworkLists(instance, DLL_PROCESS_DETACH, nullptr);
    }
}

}  // namespace
