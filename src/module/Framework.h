// A stand-in for the application framework that the module registers with
// as an extension module. The framework itself is not available here, so
// this is the least the module's load and unload use of it: the current
// module state with its class and factory lists, the extension-module
// record, and the chain of dynamic-link-library entries that links the
// extension modules together. It lives inside the module. The tests' build
// of it (PENDRAX_FRAMEWORK_CONTROLS) also lets them read its state and
// chain and make it refuse an initialisation or an allocation; the shipped
// module carries none of that.
#pragma once

#include <cstddef>

#include "ModuleTypes.h"

// Nodes of the framework's two registration lists.
struct CRuntimeClass {
    const char* className;
    CRuntimeClass* nextClass;
};

struct COleObjectFactory {
    const char* factoryName;
    COleObjectFactory* nextFactory;
};

class CDynLinkLibrary;

// The framework's per-module state. A module that loads parks the list
// heads it finds in the two init slots, so that what it registers while it
// initialises can be told apart from what was there before.
struct AFX_MODULE_STATE {
    CRuntimeClass* classListHead;
    CRuntimeClass* classInit;
    COleObjectFactory* factoryListHead;
    COleObjectFactory* factoryInit;
    // Every extension module's entry, the latest first.
    CDynLinkLibrary* libraryChain;
};

// One per extension module, zero until the framework initialises it.
struct AFX_EXTENSION_MODULE {
    BOOL initialized;
    HINSTANCE moduleInstance;
};

AFX_MODULE_STATE* AfxGetModuleState();

// Records the module's instance; FALSE when the framework refuses.
BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& extension, HINSTANCE instance);

// Unlinks and frees every chain entry built on `extension` and forgets it.
// `all` is accepted for the framework's signature; the stand-in has one
// module state, so it changes nothing.
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& extension, BOOL all = FALSE);

// An extension module's entry in the chain: constructing it links it in.
// It is allocated through the framework's allocator, which yields null
// rather than throwing; from then on the framework owns it.
class CDynLinkLibrary {
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& extension, BOOL system = FALSE);
    ~CDynLinkLibrary();
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* entry) noexcept;

    AFX_EXTENSION_MODULE* extension() const { return extension_; }
    BOOL isSystem() const { return system_; }
    CDynLinkLibrary* next() const { return next_; }

private:
    AFX_EXTENSION_MODULE* extension_;
    BOOL system_;
    CDynLinkLibrary* next_;
};

#if defined(PENDRAX_FRAMEWORK_CONTROLS)
namespace pendrax::framework {

// The classes and factory the framework itself registered before any
// module loaded: the list heads a freshly loaded module finds.
const CRuntimeClass* OwnClasses();
const COleObjectFactory* OwnFactories();

// Number of entries in the chain.
int ChainLength();

// Test controls: make the next initialisations, or allocations of chain
// entries, fail until switched back.
void RefuseInitialisation(bool refuse);
void RefuseAllocation(bool refuse);

// Back to the state at load: the framework's own lists, an empty chain
// (entries still in it are freed), both refusals off.
void Reset();

}  // namespace pendrax::framework
#endif
