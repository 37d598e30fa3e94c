#include "ModuleProbe.h"

#include <cstdlib>

#include "Framework.h"
#include "ModuleMain.h"

namespace {

PendraxProbeSnapshot Take() {
    const AFX_MODULE_STATE* state = AfxGetModuleState();
    const auto* ownClasses = pendrax::framework::OwnClasses();
    const auto* ownFactories = pendrax::framework::OwnFactories();
    PendraxProbeSnapshot snapshot{};
    snapshot.listsAsLoaded = state->classListHead == ownClasses &&
                             state->factoryListHead == ownFactories &&
                             state->classInit == nullptr && state->factoryInit == nullptr;
    snapshot.listsParked = state->classListHead == nullptr && state->factoryListHead == nullptr &&
                           state->classInit == ownClasses && state->factoryInit == ownFactories;
    snapshot.chainLength = pendrax::framework::ChainLength();
    snapshot.registered = ExtensionModule.initialized && state->libraryChain != nullptr &&
                          state->libraryChain->extension() == &ExtensionModule;
    snapshot.instance = ExtensionModule.moduleInstance;
    return snapshot;
}

PendraxProbeSnapshot atStaticInit{};
PendraxProbeSink terminationSink = nullptr;

// A static object with a constructor and destructor: it runs inside the
// module's static initialisation and termination.
struct StaticObject {
    StaticObject() {
        atStaticInit = Take();
        if (std::getenv(PENDRAX_PROBE_REFUSE) != nullptr) {
            pendrax::framework::RefuseInitialisation(true);
        }
    }
    ~StaticObject() {
        if (terminationSink != nullptr) {
            const PendraxProbeSnapshot snapshot = Take();
            terminationSink(&snapshot);
        }
    }
    StaticObject(const StaticObject&) = delete;
    StaticObject& operator=(const StaticObject&) = delete;
};

StaticObject staticObject;

}  // namespace

extern "C" void PendraxProbeAtStaticInit(PendraxProbeSnapshot* snapshot) {
    *snapshot = atStaticInit;
}
extern "C" void PendraxProbeNow(PendraxProbeSnapshot* snapshot) { *snapshot = Take(); }
extern "C" void PendraxProbeOnStaticTermination(PendraxProbeSink sink) { terminationSink = sink; }
