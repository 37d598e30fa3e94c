// The library's load and unload, through the system's loader: a copy of
// the module with a probe inside shows what its load and unload ran, in
// which order; the module itself loads, resolves its exports and unloads.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ModuleProbe.h"

namespace {

PendraxProbeSnapshot atStaticTermination;
int staticTerminations = 0;

void OnStaticTermination(const PendraxProbeSnapshot* snapshot) {
    atStaticTermination = *snapshot;
    ++staticTerminations;
}

template <typename Function>
Function Lookup(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

bool StillLoaded(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) {
        dlclose(library);
    }
    return library != nullptr;
}

// The address the loader mapped the library at: the instance handle.
void* BaseAddress(void* symbol) {
    Dl_info info{};
    return dladdr(symbol, &info) != 0 ? info.dli_fbase : nullptr;
}

TEST(LoadUnload, LoadRunsTheHookThenStaticInitialisationThenDllMainAndUnloadReverses) {
    void* probe = dlopen(PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(probe, nullptr) << dlerror();
    const auto atStaticInit =
        Lookup<void (*)(PendraxProbeSnapshot*)>(probe, "PendraxProbeAtStaticInit");
    const auto now = Lookup<void (*)(PendraxProbeSnapshot*)>(probe, "PendraxProbeNow");
    const auto onTermination =
        Lookup<void (*)(PendraxProbeSink)>(probe, "PendraxProbeOnStaticTermination");
    ASSERT_TRUE(atStaticInit != nullptr && now != nullptr && onTermination != nullptr);

    // During static initialisation the hook had run and DllMain had not.
    PendraxProbeSnapshot snapshot{};
    atStaticInit(&snapshot);
    EXPECT_TRUE(snapshot.listsParked);
    EXPECT_EQ(snapshot.chainLength, 0);
    EXPECT_FALSE(snapshot.registered);

    // Once loaded, DllMain has registered the module under its own handle.
    now(&snapshot);
    EXPECT_TRUE(snapshot.listsParked);
    EXPECT_EQ(snapshot.chainLength, 1);
    EXPECT_TRUE(snapshot.registered);
    EXPECT_EQ(snapshot.instance, BaseAddress(reinterpret_cast<void*>(now)));

    // During static termination DllMain had already unregistered it.
    staticTerminations = 0;
    onTermination(&OnStaticTermination);
    ASSERT_EQ(dlclose(probe), 0);
    ASSERT_EQ(staticTerminations, 1);
    EXPECT_FALSE(atStaticTermination.registered);
    EXPECT_EQ(atStaticTermination.chainLength, 0);
    EXPECT_FALSE(StillLoaded(PROBE_LIBRARY));
}

TEST(LoadUnload, ARefusedInitialisationLeavesTheModuleUnregisteredWithTheListsParked) {
    ASSERT_EQ(setenv(PENDRAX_PROBE_REFUSE, "1", 1), 0);
    void* probe = dlopen(PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    unsetenv(PENDRAX_PROBE_REFUSE);
    // An ELF constructor cannot fail the load; the module stays unregistered.
    ASSERT_NE(probe, nullptr) << dlerror();
    PendraxProbeSnapshot snapshot{};
    Lookup<void (*)(PendraxProbeSnapshot*)>(probe, "PendraxProbeNow")(&snapshot);
    EXPECT_FALSE(snapshot.registered);
    EXPECT_EQ(snapshot.chainLength, 0);
    EXPECT_EQ(snapshot.instance, nullptr);
    EXPECT_TRUE(snapshot.listsParked);
    ASSERT_EQ(dlclose(probe), 0);
    EXPECT_FALSE(StillLoaded(PROBE_LIBRARY));
}

TEST(LoadUnload, TheModuleLoadsWithItsThreeExportsAndUnloads) {
    void* module = dlopen(MODULE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    for (const char* name : {"WAVFlanger", "SoundRecorderStart", "SoundRecorderStop"}) {
        EXPECT_NE(dlsym(module, name), nullptr) << name;
    }
    // Nothing of the load sequence is visible from outside.
    for (const char* name :
         {"DllMain", "SaveFrameworkLists", "ExtensionModule", "AfxGetModuleState"}) {
        EXPECT_EQ(dlsym(module, name), nullptr) << name;
    }
    ASSERT_EQ(dlclose(module), 0);
    EXPECT_FALSE(StillLoaded(MODULE_LIBRARY));
}

}  // namespace
