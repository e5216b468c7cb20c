#include "EngineFixture.h"

#include "rwsdk/src/nulldevice.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

RwEngineOpenParams params = {nullptr};

TEST(EngineLifecycle, WalksItsStatesAndRefusesCallsOutOfOrder) {
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSIDLE);
    EXPECT_FALSE(RwEngineOpen(&params));
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 4096));
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSINITED);
    EXPECT_FALSE(RwEngineInit(nullptr, 0, 0)) << "a second Init";
    EXPECT_FALSE(RwEngineStart());
    EXPECT_EQ(TakeError(), RwInt32(E_RW_BADENGINESTATE));
    EXPECT_FALSE(RwEngineOpen(nullptr));
    EXPECT_EQ(TakeError(), RwInt32(E_RW_NULLP));

    ASSERT_TRUE(RwEngineOpen(&params));
    EXPECT_EQ(RwEngineGetOpenCount(), 1);
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSOPENED);
    EXPECT_FALSE(RwEngineInit(nullptr, 0, 0)) << "Init while open must keep the open instance";
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSOPENED);
    EXPECT_EQ(RWSRCGLOBAL(resArenaInitSize), 4096u);
    EXPECT_FALSE(RwEngineTerm());
    EXPECT_FALSE(RwEngineOpen(&params));

    ASSERT_TRUE(RwEngineStart());
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSSTARTED);
    ASSERT_TRUE(RwEngineStop());
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSOPENED);
    ASSERT_TRUE(RwEngineClose());
    EXPECT_EQ(RwEngineGetOpenCount(), 0);
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSINITED);
    ASSERT_TRUE(RwEngineTerm());
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSIDLE);
    EXPECT_EQ(RwEngineGetVersion(), 0x36003);
}

TEST(EngineLifecycle, CoreModulesRegisterInTheirOrder) {
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    const RwUInt32 order[] = {0x40F, 0x401, 0x40D, 0x402, 0x403, 0x404, 0x405,
                              0x406, 0x407, 0x408, 0x409, 0x412, 0x40A, 0x40B};
    RwInt32 previous = -1;
    for (RwUInt32 id : order) {
        RwInt32 offset = RwEngineGetPluginOffset(id);
        EXPECT_GE(offset, previous) << std::hex << id;
        EXPECT_GE(offset, RwInt32(sizeof(RwGlobals)));
        previous = offset;
    }
    EXPECT_TRUE(RwEngineTerm());
    EXPECT_EQ(RwEngineGetPluginOffset(0x40F), -1) << "Term resets the engine registry";
}

// Engine plugins open in registration order at start and close in reverse at stop; their data lives in
// the instance.
std::vector<std::string> calls;
void* OpenA(void* instance, RwInt32 offset, RwInt32) {
    calls.push_back("openA");
    *RWPLUGINOFFSET(RwInt32, instance, offset) = 7;
    return instance;
}
void* CloseA(void* instance, RwInt32 offset, RwInt32) {
    calls.push_back("closeA" + std::to_string(*RWPLUGINOFFSET(RwInt32, instance, offset)));
    return instance;
}
void* OpenB(void* instance, RwInt32, RwInt32) {
    calls.push_back("openB");
    return instance;
}
void* CloseB(void* instance, RwInt32, RwInt32) {
    calls.push_back("closeB");
    return instance;
}
void* FailOpen(void*, RwInt32, RwInt32) {
    calls.push_back("fail");
    return nullptr;
}

TEST(EngineLifecycle, PluginsOpenAtStartAndAFailingOneUndoesTheOthers) {
    calls.clear();
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    RwInt32 a = RwEngineRegisterPlugin(sizeof(RwInt32), 0xF001, OpenA, CloseA);
    ASSERT_GE(a, RwInt32(sizeof(RwGlobals)));
    ASSERT_GE(RwEngineRegisterPlugin(0, 0xF002, OpenB, CloseB), 0);
    ASSERT_TRUE(RwEngineOpen(&params));
    EXPECT_EQ(RwEngineRegisterPlugin(4, 0xF003, nullptr, nullptr), -1) << "registration while open";
    EXPECT_EQ(TakeError(), RwInt32(E_RW_PLUGININIT));
    ASSERT_TRUE(RwEngineStart());
    ASSERT_TRUE(RwEngineStop());
    EXPECT_EQ(calls, (std::vector<std::string>{"openA", "openB", "closeB", "closeA7"}));
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());

    calls.clear();
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    ASSERT_GE(RwEngineRegisterPlugin(sizeof(RwInt32), 0xF001, OpenA, CloseA), 0);
    ASSERT_GE(RwEngineRegisterPlugin(0, 0xF004, FailOpen, nullptr), 0);
    ASSERT_TRUE(RwEngineOpen(&params));
    EXPECT_FALSE(RwEngineStart());
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSOPENED);
    EXPECT_EQ(calls, (std::vector<std::string>{"openA", "fail", "closeA7"}));
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());
}

TEST(EngineLifecycle, ADriverWithoutSubSystemsGetsTheEnginesOne) {
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    ASSERT_TRUE(RwEngineOpen(&params));
    TakeError();
    EXPECT_EQ(RwEngineGetNumSubSystems(), 1);
    RwSubSystemInfo info;
    ASSERT_EQ(RwEngineGetSubSystemInfo(&info, 0), &info);
    EXPECT_STREQ(info.name, "Only rendering sub system");
    EXPECT_EQ(RwEngineGetSubSystemInfo(&info, 1), nullptr);
    EXPECT_EQ(TakeError(), 24);
    EXPECT_TRUE(RwEngineSetSubSystem(0));
    EXPECT_FALSE(RwEngineSetSubSystem(1));
    EXPECT_EQ(TakeError(), 24);
    EXPECT_EQ(RwEngineGetCurrentSubSystem(), 0);

    ASSERT_EQ(RwEngineGetNumVideoModes(), 1);
    RwVideoMode mode;
    ASSERT_EQ(RwEngineGetVideoModeInfo(&mode, 0), &mode);
    EXPECT_EQ(mode.width, 640);
    EXPECT_EQ(mode.flags & rwVIDEOMODEEXCLUSIVE, 0u);
    EXPECT_EQ(RwEngineGetVideoModeInfo(&mode, 1), nullptr);
    EXPECT_TRUE(RwEngineSetVideoMode(0));
    EXPECT_EQ(RwEngineGetCurrentVideoMode(), 0);
    EXPECT_EQ(RWSRCGLOBAL(dOpenDevice).gammaCorrection, 1.0f);
    EXPECT_EQ(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERLOCK](nullptr, nullptr, 0), FALSE);
    EXPECT_EQ(RWSRCGLOBAL(stdFunc)[rwSTANDARDCAMERABEGINUPDATE](nullptr, nullptr, 0), TRUE);
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());
}

// A system routine that answers nothing, so that the engine's defaults and error 24 are seen.
RwBool SilentSystem(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    if (request == rwDEVICESYSTEMREGISTER) {
        RwNullDeviceSystem(request, pOut, pInOut, nIn);
        static_cast<RwDevice*>(pOut)->fpSystem = SilentSystem;
        return TRUE;
    }
    return request == rwDEVICESYSTEMOPEN || request == rwDEVICESYSTEMCLOSE;
}
RwDevice silentDevice;
RwDevice* SilentRecord() {
    silentDevice = *RwNullDeviceRecordGet();
    silentDevice.fpSystem = SilentSystem;
    return &silentDevice;
}

TEST(EngineLifecycle, UnansweredRequestsFailWithCode24) {
    ASSERT_TRUE(RwEngineSetDriver(SilentRecord, nullptr));
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    ASSERT_TRUE(RwEngineOpen(&params));
    TakeError();
    EXPECT_EQ(RwEngineGetNumVideoModes(), -1);
    EXPECT_EQ(TakeError(), 24);
    EXPECT_EQ(RwEngineGetCurrentVideoMode(), -1);
    RwVideoMode mode;
    EXPECT_EQ(RwEngineGetVideoModeInfo(&mode, 0), nullptr);
    EXPECT_FALSE(RwEngineSetVideoMode(0));
    EXPECT_FALSE(RwEngineStart()) << "the device refuses to start";
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());
    ASSERT_TRUE(RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach));
}

// A driver that leaves the register request unanswered: its record comes from the record function alone.
RwBool UnregisteringSystem(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    if (request == rwDEVICESYSTEMREGISTER)
        return FALSE;
    return RwNullDeviceSystem(request, pOut, pInOut, nIn);
}
RwDevice* UnregisteringRecord() {
    silentDevice = *RwNullDeviceRecordGet();
    silentDevice.fpSystem = UnregisteringSystem;
    return &silentDevice;
}

TEST(EngineLifecycle, OpenDoesNotNeedTheRegisterRequestAnswered) {
    ASSERT_TRUE(RwEngineSetDriver(UnregisteringRecord, nullptr));
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    TakeError();
    ASSERT_TRUE(RwEngineOpen(&params));
    EXPECT_EQ(TakeError(), RwInt32(E_RW_NOERROR));
    EXPECT_EQ(RWSRCGLOBAL(dOpenDevice).fpSystem, UnregisteringSystem);
    EXPECT_EQ(RwEngineGetNumVideoModes(), 1);
    ASSERT_TRUE(RwEngineStart());
    ASSERT_TRUE(RwEngineStop());
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());
    ASSERT_TRUE(RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach));
}

// Terminating is refused only while the engine is open; before any Init it closes nothing and succeeds.
TEST(EngineLifecycle, TermBeforeInitSucceeds) {
    ASSERT_EQ(RwEngineGetStatus(), rwENGINESTATUSIDLE);
    EXPECT_TRUE(RwEngineTerm());
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSIDLE);
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    ASSERT_TRUE(RwEngineTerm());
}

void* FailOpenForWantOfMemory(void*, RwInt32, RwInt32) {
    RwErrorSetCode(E_RW_NOMEM);
    return nullptr;
}

// A plugin that fails to open says why, and the reason outlives the errors module closing in the unwind.
TEST(EngineLifecycle, TheReasonAStartFailedSurvivesTheUnwind) {
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    ASSERT_GE(RwEngineRegisterPlugin(0, 0xF005, FailOpenForWantOfMemory, nullptr), 0);
    ASSERT_TRUE(RwEngineOpen(&params));
    TakeError();
    EXPECT_FALSE(RwEngineStart());
    RwError error{};
    RwErrorGet(&error);
    EXPECT_EQ(error.errorCode, RwInt32(E_RW_NOMEM));
    EXPECT_EQ(TakeError(), RwInt32(E_RW_NOERROR)) << "read once";
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());
}

RwBool RefusingSystem(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    if (request == rwDEVICESYSTEMOPEN) {
        return FALSE;
    }
    if (request == rwDEVICESYSTEMREGISTER) {
        RwNullDeviceSystem(request, pOut, pInOut, nIn);
        static_cast<RwDevice*>(pOut)->fpSystem = RefusingSystem;
        return TRUE;
    }
    return RwNullDeviceSystem(request, pOut, pInOut, nIn);
}
RwDevice* RefusingRecord() {
    silentDevice = *RwNullDeviceRecordGet();
    silentDevice.fpSystem = RefusingSystem;
    return &silentDevice;
}

void* CountingAlloc(RwFreeList* fl, RwUInt32 hint) {
    return RwFreeListAlloc(fl, hint);
}

TEST(EngineLifecycle, ARefusedOpenLeavesTheTemplateAndCloseKeepsBaseChanges) {
    AllocationCounter::live.clear();
    ASSERT_TRUE(RwEngineSetDriver(RefusingRecord, nullptr));
    ASSERT_TRUE(RwEngineInit(&AllocationCounter::functions, 0, 0));
    RwGlobals* before = RwEngineInstance;
    EXPECT_FALSE(RwEngineOpen(&params));
    EXPECT_EQ(RwEngineInstance, before);
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSINITED);
    EXPECT_EQ(RwEngineGetOpenCount(), 0);
    ASSERT_TRUE(RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach) == FALSE) << "only before Init";
    ASSERT_TRUE(RwEngineTerm());
    ASSERT_TRUE(RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach));

    ASSERT_TRUE(RwEngineInit(&AllocationCounter::functions, 0, 0));
    ASSERT_TRUE(RwEngineOpen(&params));
    EXPECT_NE(RwEngineInstance, before);
    RWSRCGLOBAL(memoryAlloc) = CountingAlloc;
    ASSERT_TRUE(RwEngineClose());
    EXPECT_EQ(RwEngineInstance, before);
    EXPECT_EQ(RWSRCGLOBAL(memoryAlloc), CountingAlloc);
    RWSRCGLOBAL(memoryAlloc) = RwFreeListAlloc;
    ASSERT_TRUE(RwEngineTerm());
    EXPECT_TRUE(AllocationCounter::live.empty());
}

TEST(EngineLifecycle, TermGivesBackEverythingWithAndWithoutFreeLists) {
    for (RwUInt32 flags : {0u, 1u}) {
        AllocationCounter::live.clear();
        ASSERT_TRUE(RwEngineInit(&AllocationCounter::functions, flags, 0));
        ASSERT_GE(RwEngineRegisterPlugin(8, 0xF010, nullptr, nullptr), 0);
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        ASSERT_TRUE(RwEngineStop());
        ASSERT_TRUE(RwEngineClose());
        ASSERT_TRUE(RwEngineTerm());
        EXPECT_TRUE(AllocationCounter::live.empty()) << "flags " << flags;
        // The plugin is gone with Term: registering it again is not a duplicate.
        ASSERT_TRUE(RwEngineInit(nullptr, flags, 0));
        EXPECT_GE(RwEngineRegisterPlugin(8, 0xF010, nullptr, nullptr), 0);
        EXPECT_EQ(TakeError(), RwInt32(E_RW_NOERROR));
        ASSERT_TRUE(RwEngineTerm());
    }
}

} // namespace
