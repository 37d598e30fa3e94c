// The attach and detach handlers against the framework stand-in, called as
// the loader's entry calls them.
#include <gtest/gtest.h>

#include "Framework.h"
#include "ModuleMain.h"

namespace {

HINSTANCE const kInstance = reinterpret_cast<HINSTANCE>(0x10000000);

struct StateCopy {
    AFX_MODULE_STATE state;
    AFX_EXTENSION_MODULE extension;
    int chainLength;
};

StateCopy Copy() {
    return {*AfxGetModuleState(), ExtensionModule, pendrax::framework::ChainLength()};
}

void ExpectSame(const StateCopy& before, const StateCopy& after) {
    EXPECT_EQ(before.state.classListHead, after.state.classListHead);
    EXPECT_EQ(before.state.classInit, after.state.classInit);
    EXPECT_EQ(before.state.factoryListHead, after.state.factoryListHead);
    EXPECT_EQ(before.state.factoryInit, after.state.factoryInit);
    EXPECT_EQ(before.state.libraryChain, after.state.libraryChain);
    EXPECT_EQ(before.extension.initialized, after.extension.initialized);
    EXPECT_EQ(before.extension.moduleInstance, after.extension.moduleInstance);
    EXPECT_EQ(before.chainLength, after.chainLength);
}

void ExpectListsParked() {
    const AFX_MODULE_STATE* state = AfxGetModuleState();
    EXPECT_EQ(state->classListHead, nullptr);
    EXPECT_EQ(state->factoryListHead, nullptr);
    EXPECT_EQ(state->classInit, pendrax::framework::OwnClasses());
    EXPECT_EQ(state->factoryInit, pendrax::framework::OwnFactories());
}

class AttachDetach : public ::testing::Test {
protected:
    void SetUp() override {
        pendrax::framework::Reset();
        ExtensionModule = {};
    }
    void TearDown() override { pendrax::framework::Reset(); }

    static BOOL Attach() {
        EXPECT_EQ(SaveFrameworkLists(kInstance, DLL_PROCESS_ATTACH, nullptr), TRUE);
        return DllMain(kInstance, DLL_PROCESS_ATTACH, nullptr);
    }
    static BOOL Detach() {
        const BOOL result = DllMain(kInstance, DLL_PROCESS_DETACH, nullptr);
        EXPECT_EQ(SaveFrameworkLists(kInstance, DLL_PROCESS_DETACH, nullptr), TRUE);
        return result;
    }
};

TEST_F(AttachDetach, AttachParksTheListsAndLinksTheModuleIntoTheChain) {
    ASSERT_EQ(Attach(), 1);
    ExpectListsParked();
    ASSERT_EQ(pendrax::framework::ChainLength(), 1);
    const CDynLinkLibrary* entry = AfxGetModuleState()->libraryChain;
    EXPECT_EQ(entry->extension(), &ExtensionModule);
    EXPECT_EQ(entry->isSystem(), FALSE);
    EXPECT_TRUE(ExtensionModule.initialized);
    EXPECT_EQ(ExtensionModule.moduleInstance, kInstance);
}

TEST_F(AttachDetach, DetachUnlinksTheModuleAndLeavesTheParkedLists) {
    ASSERT_EQ(Attach(), 1);
    EXPECT_EQ(Detach(), 1);
    EXPECT_EQ(pendrax::framework::ChainLength(), 0);
    EXPECT_FALSE(ExtensionModule.initialized);
    ExpectListsParked();
}

TEST_F(AttachDetach, TheModuleCanBeAttachedAgainAfterADetach) {
    ASSERT_EQ(Attach(), 1);
    ASSERT_EQ(Detach(), 1);
    ASSERT_EQ(Attach(), 1);
    EXPECT_EQ(pendrax::framework::ChainLength(), 1);
    EXPECT_EQ(AfxGetModuleState()->libraryChain->extension(), &ExtensionModule);
}

TEST_F(AttachDetach, ThreadNotificationsChangeNothingAndSucceed) {
    for (const bool attachedFirst : {false, true}) {
        if (attachedFirst) {
            ASSERT_EQ(Attach(), 1);
        }
        const StateCopy before = Copy();
        for (const DWORD reason : {DLL_THREAD_ATTACH, DLL_THREAD_DETACH}) {
            EXPECT_EQ(SaveFrameworkLists(kInstance, reason, nullptr), TRUE);
            EXPECT_EQ(DllMain(kInstance, reason, nullptr), 1);
        }
        ExpectSame(before, Copy());
    }
}

TEST_F(AttachDetach, ARefusedInitialisationFailsTheAttachAndUndoesNothing) {
    pendrax::framework::RefuseInitialisation(true);
    EXPECT_EQ(Attach(), 0);
    EXPECT_EQ(pendrax::framework::ChainLength(), 0);
    EXPECT_FALSE(ExtensionModule.initialized);
    // The hook's moves stay.
    ExpectListsParked();
}

TEST_F(AttachDetach, AFailedEntryAllocationStillAttaches) {
    pendrax::framework::RefuseAllocation(true);
    EXPECT_EQ(Attach(), 1);
    EXPECT_EQ(pendrax::framework::ChainLength(), 0);
    EXPECT_TRUE(ExtensionModule.initialized);
    EXPECT_EQ(Detach(), 1);
    EXPECT_FALSE(ExtensionModule.initialized);
}

TEST_F(AttachDetach, DetachRemovesOnlyTheModulesOwnEntry) {
    // Another extension module registered before this one.
    AFX_EXTENSION_MODULE other = {};
    ASSERT_EQ(AfxInitExtensionModule(other, reinterpret_cast<HINSTANCE>(0x20000000)), TRUE);
    (void)new CDynLinkLibrary(other, FALSE);
    ASSERT_EQ(Attach(), 1);
    ASSERT_EQ(pendrax::framework::ChainLength(), 2);
    EXPECT_EQ(Detach(), 1);
    ASSERT_EQ(pendrax::framework::ChainLength(), 1);
    EXPECT_EQ(AfxGetModuleState()->libraryChain->extension(), &other);
}

}  // namespace
