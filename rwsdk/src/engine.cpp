#include "rwsdk/src/engine.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/module412.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/plcore/vector.h"
#include "rwsdk/src/texture.h"

#include <cstring>

namespace {

// The base part before Open and after Close. Close copies the open record's base part back here, so that
// changes made while open (the free-list entry functions, replaced file functions) survive into the next
// Open.
RwGlobals engineTemplate = {nullptr,
                            nullptr,
                            {},
                            {},
                            {},
                            {},
                            {_rwStdMalloc, _rwStdFree, _rwStdRealloc, _rwStdCalloc},
                            RwFreeListAlloc,
                            RwFreeListFree,
                            rwENGINESTATUSIDLE,
                            0};

RwPluginRegistry engineTKList = {sizeof(RwGlobals), sizeof(RwGlobals), 0, nullptr, nullptr};

RwInt32 openCount = 0;

RwDeviceRecordGetFunction driverDeviceRecordGet = RwNullDeviceRecordGet;
RwDriverAttachFunction driverAttach = RwNullDeviceAttach;

// The core modules, in the order in which they register and open at start (they close in reverse). A
// module that is not built yet keeps its place and id with no data. To add one, put its attach function
// (which calls RwEngineRegisterPlugin with its data size, id, open and close) into its row, and include
// its header above.
struct CoreModule {
    RwUInt32 pluginID;
    RwInt32 (*attach)();
};

const CoreModule coreModules[] = {
    // 1: errors
    {rwID_ERRORMODULE, _rwErrorModuleAttach},
    // 2: vectors
    {rwID_VECTORMODULE, _rwVectorModuleAttach},
    // 3: colour
    {rwID_COLORMODULE, _rwColorModuleAttach},
    // 4: matrices
    {rwID_MATRIXMODULE, _rwMatrixModuleAttach},
    // 5: frames
    {rwID_FRAMEMODULE, _rwFrameModuleAttach},
    // 6: streams
    {rwID_STREAMMODULE, _rwStreamModuleAttach},
    // 7: cameras
    {rwID_CAMERAMODULE, _rwCameraModuleAttach},
    // 8: images
    {rwID_IMAGEMODULE, _rwImageModuleAttach},
    // 9: rasters
    {rwID_RASTERMODULE, _rwRasterModuleAttach},
    // 10: textures
    {rwID_TEXTUREMODULE, _rwTextureModuleAttach},
    // 11: pipelines
    {rwID_PIPEMODULE, _rwPipeModuleAttach},
    // 12: module 0x412
    {rwID_MODULE412, _rwModule412Attach},
    // 13: immediate mode 3D
    {rwID_IMMEDIATEMODULE, _rwIm3DModuleAttach},
    // 14: resources
    {rwID_RESOURCESMODULE, _rwResourcesModuleAttach},
};

bool AttachCoreModules() {
    for (const CoreModule& module : coreModules) {
        RwInt32 offset =
            module.attach ? module.attach() : RwEngineRegisterPlugin(0, module.pluginID, nullptr, nullptr);
        if (offset < 0) {
            return false;
        }
    }
    return true;
}

RwBool Request(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    return RwEngineDeviceRequest(&RWSRCGLOBAL(dOpenDevice), request, pOut, pInOut, nIn);
}

bool InState(RwEngineStatus status) {
    if (RWSRCGLOBAL(engineStatus) != status) {
        RwErrorSetCode(E_RW_BADENGINESTATE);
        return false;
    }
    return true;
}

} // namespace

RwGlobals* RwEngineInstance = &engineTemplate;

RwBool RwStubReturnZero(void*, void*, RwInt32) {
    return FALSE;
}

RwBool RwEngineSetDriver(RwDeviceRecordGetFunction deviceRecordGet, RwDriverAttachFunction attach) {
    if (RWSRCGLOBAL(engineStatus) != rwENGINESTATUSIDLE || !deviceRecordGet) {
        return FALSE;
    }
    driverDeviceRecordGet = deviceRecordGet;
    driverAttach = attach;
    return TRUE;
}

RwBool RwEngineInit(const RwMemoryFunctions* memFuncs, RwUInt32 initFlags, RwUInt32 resArenaSize) {
    // Checked before anything is touched: a second Init while open would otherwise drop the open instance.
    if (RwEngineInstance && RWSRCGLOBAL(engineStatus) != rwENGINESTATUSIDLE) {
        return FALSE;
    }
    RwEngineInstance = &engineTemplate;

    const bool freeLists = !(initFlags & rwENGINEINITNOFREELISTS);
    RWSRCGLOBAL(memoryAlloc) = freeLists ? RwFreeListAlloc : _rwFreeListAllocSeparate;
    RWSRCGLOBAL(memoryFree) = freeLists ? RwFreeListFree : _rwFreeListFreeSeparate;
    RwFreeListSetEnabled(freeLists);
    RWSRCGLOBAL(resArenaInitSize) = resArenaSize;
    RwStringInstall();

    if (!RwMemoryModuleOpen(memFuncs)) {
        RwMemoryModuleClose();
        return FALSE;
    }
    RwFileSystemInstall();
    if (!RwPluginRegistryOpen()) {
        RwPluginRegistryClose();
        RwMemoryModuleClose();
        return FALSE;
    }
    if (!AttachCoreModules() || (driverAttach && !driverAttach())) {
        RwPluginRegistryClose();
        RwMemoryModuleClose();
        return FALSE;
    }
    RWSRCGLOBAL(engineStatus) = rwENGINESTATUSINITED;
    return TRUE;
}

RwBool RwEngineOpen(RwEngineOpenParams* initParams) {
    if (!RwEngineInstance) {
        RwEngineInstance = &engineTemplate;
    }
    if (!InState(rwENGINESTATUSINITED)) {
        return FALSE;
    }
    if (!initParams) {
        RwErrorSetCode(E_RW_NULLP);
        return FALSE;
    }
    RwDevice* device = driverDeviceRecordGet();
    auto* instance =
        static_cast<RwGlobals*>(RwMalloc(size_t(engineTKList.sizeOfStruct), rwMEMHINTDUR_GLOBAL));
    if (!instance) {
        RwErrorSetCode(E_RW_NOMEM);
        return FALSE;
    }
    std::memset(instance, 0, size_t(engineTKList.sizeOfStruct));
    std::memcpy(instance, &engineTemplate, sizeof(RwGlobals));
    RwEngineInstance = instance;

    // The instance starts from the driver's device record; the register request may then fill it in, but
    // whether the driver answers it or not, only its open decides.
    if (device)
        instance->dOpenDevice = *device;
    if (device && device->fpSystem)
        device->fpSystem(rwDEVICESYSTEMREGISTER, &instance->dOpenDevice, &instance->memoryFuncs, 0);
    if (!Request(rwDEVICESYSTEMOPEN, nullptr, initParams, 0)) {
        RwEngineInstance = &engineTemplate;
        std::memcpy(&engineTemplate, instance, sizeof(RwGlobals));
        RwFree(instance);
        return FALSE;
    }
    for (RwStandardFunc& f : instance->stdFunc) {
        f = RwStubReturnZero;
    }
    Request(rwDEVICESYSTEMSTANDARDS, instance->stdFunc, nullptr, rwSTANDARDNUMOFSTANDARD);
    ++openCount;
    RWSRCGLOBAL(engineStatus) = rwENGINESTATUSOPENED;
    return TRUE;
}

RwBool RwEngineStart() {
    if (!InState(rwENGINESTATUSOPENED)) {
        return FALSE;
    }
    if (!Request(rwDEVICESYSTEMSTART, nullptr, nullptr, 0)) {
        return FALSE;
    }
    // Opens the core modules and the engine plugins in registration order.
    if (!RwPluginRegistryInitObject(&engineTKList, RwEngineInstance)) {
        Request(rwDEVICESYSTEMSTOP, nullptr, nullptr, 0);
        return FALSE;
    }
    // The image gamma tables follow the device's gamma.
    if (RWSRCGLOBAL(dOpenDevice).gammaCorrection > 0.0f) {
        RwImageSetGamma(RWSRCGLOBAL(dOpenDevice).gammaCorrection);
    }
    Request(rwDEVICESYSTEMFINALIZESTART, nullptr, nullptr, 0);
    RWSRCGLOBAL(engineStatus) = rwENGINESTATUSSTARTED;
    return TRUE;
}

RwBool RwEngineStop() {
    if (!InState(rwENGINESTATUSSTARTED)) {
        return FALSE;
    }
    Request(rwDEVICESYSTEMINITIATESTOP, nullptr, nullptr, 0);
    RwPluginRegistryDeInitObject(&engineTKList, RwEngineInstance);
    if (!Request(rwDEVICESYSTEMSTOP, nullptr, nullptr, 0)) {
        return FALSE;
    }
    RWSRCGLOBAL(engineStatus) = rwENGINESTATUSOPENED;
    return TRUE;
}

RwBool RwEngineClose() {
    if (!InState(rwENGINESTATUSOPENED)) {
        return FALSE;
    }
    if (!Request(rwDEVICESYSTEMCLOSE, nullptr, nullptr, 0)) {
        return FALSE;
    }
    RwGlobals* instance = RwEngineInstance;
    std::memcpy(&engineTemplate, instance, sizeof(RwGlobals));
    RwEngineInstance = &engineTemplate;
    RwFree(instance);
    --openCount;
    RWSRCGLOBAL(engineStatus) = rwENGINESTATUSINITED;
    return TRUE;
}

RwBool RwEngineTerm() {
    // Only an open engine refuses; terminating one that was never initialised closes nothing and succeeds.
    if (openCount != 0) {
        return FALSE;
    }
    RwPluginRegistryClose();
    RwMemoryModuleClose();
    RWSRCGLOBAL(engineStatus) = rwENGINESTATUSIDLE;
    return TRUE;
}

RwInt32 RwEngineGetVersion() {
    return RwInt32(0x36003);
}
RwInt32 RwEngineGetOpenCount() {
    return openCount;
}
RwEngineStatus RwEngineGetStatus() {
    return RWSRCGLOBAL(engineStatus);
}

RwInt32 RwEngineRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor initCB,
                               RwPluginObjectDestructor termCB) {
    return RwPluginRegistryAddPlugin(&engineTKList, size, pluginID, initCB, termCB, nullptr);
}

RwInt32 RwEngineGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&engineTKList, pluginID);
}

RwBool RwEngineDeviceRequest(RwDevice* device, RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    if (device && device->fpSystem) {
        if (RwBool result = device->fpSystem(request, pOut, pInOut, nIn)) {
            return result;
        }
    }
    // What the driver leaves unanswered: one sub system, and nothing to do to finish start or begin stop.
    switch (request) {
    case rwDEVICESYSTEMGETNUMSUBSYSTEMS:
        if (pOut) {
            *static_cast<RwInt32*>(pOut) = 1;
            return TRUE;
        }
        break;
    case rwDEVICESYSTEMGETSUBSYSTEMINFO:
        if (pOut && nIn == 0) {
            RWSRCGLOBAL(stringFuncs)
                .vecStrcpy(static_cast<RwSubSystemInfo*>(pOut)->name, "Only rendering sub system");
            return TRUE;
        }
        break;
    case rwDEVICESYSTEMGETCURRENTSUBSYSTEM:
        if (pOut) {
            *static_cast<RwInt32*>(pOut) = 0;
            return TRUE;
        }
        break;
    case rwDEVICESYSTEMSETSUBSYSTEM:
        if (nIn == 0) {
            return TRUE;
        }
        break;
    case rwDEVICESYSTEMFINALIZESTART:
    case rwDEVICESYSTEMINITIATESTOP:
        return TRUE;
    default:
        break;
    }
    RwErrorSetCode(E_RW_DEVICEREQUEST);
    return FALSE;
}

RwSubSystemInfo* RwEngineGetSubSystemInfo(RwSubSystemInfo* subSystemInfo, RwInt32 subSystemIndex) {
    return Request(rwDEVICESYSTEMGETSUBSYSTEMINFO, subSystemInfo, nullptr, subSystemIndex) ? subSystemInfo
                                                                                           : nullptr;
}

RwInt32 RwEngineGetNumSubSystems() {
    RwInt32 count = 0;
    return Request(rwDEVICESYSTEMGETNUMSUBSYSTEMS, &count, nullptr, 0) ? count : -1;
}

RwInt32 RwEngineGetCurrentSubSystem() {
    RwInt32 index = 0;
    return Request(rwDEVICESYSTEMGETCURRENTSUBSYSTEM, &index, nullptr, 0) ? index : -1;
}

RwBool RwEngineSetSubSystem(RwInt32 subSystemIndex) {
    return Request(rwDEVICESYSTEMSETSUBSYSTEM, nullptr, nullptr, subSystemIndex);
}

RwInt32 RwEngineGetNumVideoModes() {
    RwInt32 count = 0;
    return Request(rwDEVICESYSTEMGETNUMMODES, &count, nullptr, 0) ? count : -1;
}

RwVideoMode* RwEngineGetVideoModeInfo(RwVideoMode* modeinfo, RwInt32 modeIndex) {
    return Request(rwDEVICESYSTEMGETMODEINFO, modeinfo, nullptr, modeIndex) ? modeinfo : nullptr;
}

RwInt32 RwEngineGetCurrentVideoMode() {
    RwInt32 index = 0;
    return Request(rwDEVICESYSTEMGETMODE, &index, nullptr, 0) ? index : -1;
}

RwBool RwEngineSetVideoMode(RwInt32 modeIndex) {
    return Request(rwDEVICESYSTEMUSEMODE, nullptr, nullptr, modeIndex);
}
