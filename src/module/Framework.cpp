#include "Framework.h"

#include <cstdlib>

namespace {

CRuntimeClass frameworkClass = {"FrameworkObject", nullptr};
COleObjectFactory frameworkFactory = {"FrameworkFactory", nullptr};

// Constant-initialised, so it is ready before any static initialiser of
// the module runs, including the loader's first call into it.
AFX_MODULE_STATE moduleState = {&frameworkClass, nullptr, &frameworkFactory, nullptr, nullptr};

#if defined(PENDRAX_FRAMEWORK_CONTROLS)
bool refuseInitialisation = false;
bool refuseAllocation = false;
#else
// The shipped module never refuses.
constexpr bool refuseInitialisation = false;
constexpr bool refuseAllocation = false;
#endif

}  // namespace

AFX_MODULE_STATE* AfxGetModuleState() { return &moduleState; }

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& extension, HINSTANCE instance) {
    if (refuseInitialisation) {
        return FALSE;
    }
    extension.initialized = TRUE;
    extension.moduleInstance = instance;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& extension, BOOL all) {
    (void)all;
    CDynLinkLibrary* entry = moduleState.libraryChain;
    while (entry != nullptr) {
        CDynLinkLibrary* const next = entry->next();
        if (entry->extension() == &extension) {
            delete entry;  // unlinks itself
        }
        entry = next;
    }
    extension.initialized = FALSE;
    extension.moduleInstance = nullptr;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& extension, BOOL system)
    : extension_(&extension), system_(system), next_(moduleState.libraryChain) {
    moduleState.libraryChain = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
    for (CDynLinkLibrary** link = &moduleState.libraryChain; *link != nullptr;
         link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
}

void* CDynLinkLibrary::operator new(std::size_t size) noexcept {
    return refuseAllocation ? nullptr : std::malloc(size);
}

void CDynLinkLibrary::operator delete(void* entry) noexcept { std::free(entry); }

#if defined(PENDRAX_FRAMEWORK_CONTROLS)
namespace pendrax::framework {

const CRuntimeClass* OwnClasses() { return &frameworkClass; }
const COleObjectFactory* OwnFactories() { return &frameworkFactory; }

int ChainLength() {
    int length = 0;
    for (const CDynLinkLibrary* entry = moduleState.libraryChain; entry != nullptr;
         entry = entry->next()) {
        ++length;
    }
    return length;
}

void RefuseInitialisation(bool refuse) { refuseInitialisation = refuse; }
void RefuseAllocation(bool refuse) { refuseAllocation = refuse; }

void Reset() {
    while (moduleState.libraryChain != nullptr) {
        delete moduleState.libraryChain;
    }
    moduleState = {&frameworkClass, nullptr, &frameworkFactory, nullptr, nullptr};
    refuseInitialisation = false;
    refuseAllocation = false;
}

}  // namespace pendrax::framework
#endif
