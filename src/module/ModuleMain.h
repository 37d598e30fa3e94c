// What the module does when the loader attaches it to a process and
// detaches it: park the framework's list heads before static
// initialisation, then register as an extension module; unregister on
// detach. The platform's entry (win32/DllEntry.cpp, posix/LoadUnload.cpp)
// calls these in that order around the runtime's static initialisation and
// termination.
#pragma once

#include "Framework.h"
#include "ModuleTypes.h"

// The module's record with the framework; zero at load.
extern AFX_EXTENSION_MODULE ExtensionModule;

// Runs before static initialisation on attach and after static termination
// on detach. On attach, moves the heads of the framework's class and
// factory lists into their init slots and empties the lists. TRUE always.
BOOL SaveFrameworkLists(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Attach: initialises ExtensionModule (0, failing the load, when the
// framework refuses) and links the module's entry into the framework's
// chain. Detach: terminates ExtensionModule. 1 for every other reason.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
