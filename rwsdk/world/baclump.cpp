// Clump module: atomics, clumps, the clump links of lights and cameras, and the clump stream.
#include "rwsdk/world/baclump.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct ClumpModuleData {
    RwFreeList* atomicFreeList;
    RwFreeList* clumpFreeList;
};

// Membership of a light or camera in a clump.
struct ClumpLink {
    RpClump* clump;
    RwLLLink link;
};

RwModuleInfo clumpModule;
RwPluginRegistry atomicTKList = {sizeof(RpAtomic), sizeof(RpAtomic), 0, nullptr, nullptr};
RwPluginRegistry clumpTKList = {sizeof(RpClump), sizeof(RpClump), 0, nullptr, nullptr};
RwInt32 lightLinkOffset = -1;
RwInt32 cameraLinkOffset = -1;
RwPipeline* defaultAtomicPipeline = nullptr;

constexpr RwUInt32 atomicHint = rwMEMHINTDUR_EVENT | rwID_ATOMIC;
constexpr RwUInt32 clumpHint = rwMEMHINTDUR_EVENT | rwID_CLUMP;
constexpr RwInt32 errorFramelessAtomic = 5;
constexpr RwUInt32 atomicStructSize = 16;

// The rendering rights that the extension of the atomic being read asked for.
struct PendingRights {
    RwUInt32 pluginID;
    RwUInt32 extraData;
} pendingRights;

ClumpModuleData* ClumpData() {
    return RWMODULEDATA(ClumpModuleData, clumpModule);
}

ClumpLink* LightLink(const RpLight* light) {
    return RWPLUGINOFFSET(ClumpLink, const_cast<RpLight*>(light), lightLinkOffset);
}
ClumpLink* CameraLink(const RwCamera* camera) {
    return RWPLUGINOFFSET(ClumpLink, const_cast<RwCamera*>(camera), cameraLinkOffset);
}
RpLight* LightOfLink(RwLLLink* link) {
    return reinterpret_cast<RpLight*>(reinterpret_cast<RwUInt8*>(link) - offsetof(ClumpLink, link) -
                                      lightLinkOffset);
}
RwCamera* CameraOfLink(RwLLLink* link) {
    return reinterpret_cast<RwCamera*>(reinterpret_cast<RwUInt8*>(link) - offsetof(ClumpLink, link) -
                                       cameraLinkOffset);
}
RpAtomic* AtomicOfLink(RwLLLink* link) {
    return rwLLLinkGetData(link, RpAtomic, inClumpLink);
}

void* LinkConstruct(void* object, RwInt32 offset, RwInt32) {
    std::memset(RWPLUGINOFFSET(ClumpLink, object, offset), 0, sizeof(ClumpLink));
    return object;
}

// An object destroyed while still in a clump leaves the clump's list, not a dangling link in it.
void* LinkDestruct(void* object, RwInt32 offset, RwInt32) {
    ClumpLink* link = RWPLUGINOFFSET(ClumpLink, object, offset);
    if (link->clump)
        rwLLLinkRemove(&link->link);
    link->clump = nullptr;
    return object;
}

bool InWorld(const RpAtomic* atomic) {
    return !rwLinkListEmpty(&atomic->llWorldSectorsInAtomic);
}

void InterpolateSphere(RpAtomic* atomic) {
    const RpGeometry* geometry = atomic->geometry;
    RpInterpolator& in = atomic->interpolator;
    if (geometry && geometry->numMorphTargets > 0) {
        const RwInt32 s = in.startMorphTarget, e = in.endMorphTarget, n = geometry->numMorphTargets;
        const bool inRange = s >= 0 && s < n && e >= 0 && e < n;
        if (s == e || !inRange) {
            atomic->boundingSphere = geometry->morphTarget[inRange ? s : 0].boundingSphere;
        } else {
            const RwSphere& a = geometry->morphTarget[s].boundingSphere;
            const RwSphere& b = geometry->morphTarget[e].boundingSphere;
            const RwReal f = in.position * in.recipTime;
            atomic->boundingSphere = {{a.center.x + (b.center.x - a.center.x) * f,
                                       a.center.y + (b.center.y - a.center.y) * f,
                                       a.center.z + (b.center.z - a.center.z) * f},
                                      a.radius + (b.radius - a.radius) * f};
        }
    }
    in.flags &= ~rpINTERPOLATORDIRTYSPHERE;
    atomic->object.object.privateFlags |= rpATOMICPRIVATEWORLDBOUNDDIRTY;
}

RwObjectHasFrame* AtomicSync(RwObjectHasFrame* object) {
    auto* atomic = reinterpret_cast<RpAtomic*>(object);
    if (atomic->interpolator.flags & rpINTERPOLATORDIRTYSPHERE)
        InterpolateSphere(atomic);
    atomic->object.object.privateFlags |= rpATOMICPRIVATEWORLDBOUNDDIRTY;
    return object;
}

RpClump* ClumpDefaultCallBack(RpClump* clump, void*) {
    return clump;
}

void FreeAtomicEntry(void* entry, void*) {
    RpAtomicDestroy(static_cast<RpAtomic*>(entry));
}

void FreeClumpEntry(void* entry, void*) {
    RpClumpDestroy(static_cast<RpClump*>(entry));
}

void* ClumpOpen(void* instance, RwInt32 offset, RwInt32) {
    clumpModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(ClumpModuleData, instance, offset);
    // Models have a few dozen parts: one block holds the atomics of most of them.
    data->atomicFreeList =
        RwFreeListCreate(atomicTKList.sizeOfStruct, 64, 16, rwMEMHINTDUR_GLOBAL | rwID_ATOMIC);
    data->clumpFreeList =
        RwFreeListCreate(clumpTKList.sizeOfStruct, 16, 16, rwMEMHINTDUR_GLOBAL | rwID_CLUMP);
    if (!data->atomicFreeList || !data->clumpFreeList) {
        if (data->atomicFreeList)
            RwFreeListDestroy(data->atomicFreeList);
        if (data->clumpFreeList)
            RwFreeListDestroy(data->clumpFreeList);
        data->atomicFreeList = data->clumpFreeList = nullptr;
        return nullptr;
    }
    ++clumpModule.numInstances;
    return instance;
}

void* ClumpClose(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(ClumpModuleData, instance, offset);
    // Clumps first: they destroy their own atomics.
    if (data->clumpFreeList) {
        RwFreeListForAllUsed(data->clumpFreeList, FreeClumpEntry, nullptr);
        RwFreeListDestroy(data->clumpFreeList);
    }
    if (data->atomicFreeList) {
        RwFreeListForAllUsed(data->atomicFreeList, FreeAtomicEntry, nullptr);
        RwFreeListDestroy(data->atomicFreeList);
    }
    data->atomicFreeList = data->clumpFreeList = nullptr;
    defaultAtomicPipeline = nullptr;
    --clumpModule.numInstances;
    return instance;
}

RpAtomic* AllocAtomic() {
    auto* atomic = static_cast<RpAtomic*>(RwFreeListEntryAlloc(ClumpData()->atomicFreeList, atomicHint));
    if (!atomic) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(atomic), 0, size_t(atomicTKList.sizeOfStruct));
    atomic->object.object.type = rwATOMIC;
    atomic->object.object.flags = rpATOMICCOLLISIONTEST | rpATOMICRENDER;
    atomic->object.object.privateFlags = rpATOMICPRIVATEWORLDBOUNDDIRTY;
    atomic->object.sync = AtomicSync;
    atomic->renderCallBack = AtomicDefaultRenderCallBack;
    atomic->interpolator = {rpINTERPOLATORDIRTYINSTANCE | rpINTERPOLATORDIRTYSPHERE, 0, 0, 1.0f, 1.0f, 0.0f};
    rwLinkListInitialize(&atomic->llWorldSectorsInAtomic);
    return atomic;
}

RwInt32 CountList(RwLinkList* list) {
    RwInt32 n = 0;
    for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next)
        ++n;
    return n;
}

// The members of a list from its tail to its head: the order in which a reader, adding each at the head,
// gives back the list.
template <class T, class Of> std::vector<T*> TailFirst(RwLinkList* list, Of of) {
    std::vector<T*> members;
    for (RwLLLink* l = list->link.prev; l != rwLinkListGetTerminator(list); l = l->prev)
        members.push_back(of(l));
    return members;
}

// Unwinds a clump that a failed read has half built: its atomics, lights, cameras, frames and itself.
void DestroyPartialClump(RpClump* clump) {
    RpClumpDestroy(clump);
}

RwStream* RightsRead(RwStream* stream, RwInt32 length, void*, RwInt32, RwInt32) {
    RwInt32 words[2] = {0, 0};
    if (length < 4 || !RwStreamReadInt32(stream, words, length >= 8 ? 8 : 4))
        return nullptr;
    pendingRights = {RwUInt32(words[0]), RwUInt32(words[1])};
    return stream;
}

RwStream* RightsWrite(RwStream* stream, RwInt32, const void* object, RwInt32, RwInt32) {
    const RwPipeline* pipeline = static_cast<const RpAtomic*>(object)->pipeline;
    const RwInt32 words[2] = {RwInt32(pipeline->pluginId),
                              RwInt32(reinterpret_cast<uintptr_t>(pipeline->pluginData))};
    return RwStreamWriteInt32(stream, words, sizeof(words));
}

RwInt32 RightsSize(const void* object, RwInt32, RwInt32) {
    const RwPipeline* pipeline = static_cast<const RpAtomic*>(object)->pipeline;
    return pipeline && pipeline->pluginId != 0 ? 8 : 0;
}

bool ReadFrameIndex(RwStream* stream, RwInt32* index) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr))
        return false;
    if (length < 4 || !RwStreamReadInt32(stream, index, 4) ||
        (length > 4 && !RwStreamSkip(stream, length - 4))) {
        RwErrorSetCode(E_RW_READ);
        return false;
    }
    return true;
}

bool WriteFrameIndex(RwStream* stream, RwInt32 index) {
    return RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, 4) && RwStreamWriteInt32(stream, &index, 4);
}

// What a clump writes, gathered once for the size and the write.
struct ClumpLayout {
    RwFrameList frames = {nullptr, 0};
    std::vector<RpAtomic*> atomics;
    std::vector<RpLight*> lights;
    std::vector<RwCamera*> cameras;
    std::vector<const RpGeometry*> geometries;

    ~ClumpLayout() { RwFrameListDeinitialize(&frames); }

    bool Gather(RpClump* clump) {
        if (!RwFrameListInitialize(&frames, RpClumpGetFrame(clump)))
            return false;
        atomics = TailFirst<RpAtomic>(&clump->atomicList, AtomicOfLink);
        lights = TailFirst<RpLight>(&clump->lightList, LightOfLink);
        cameras = TailFirst<RwCamera>(&clump->cameraList, CameraOfLink);
        for (RpAtomic* atomic : atomics) {
            if (!atomic->geometry || FrameIndex(RpAtomicGetFrame(atomic)) < 0)
                return Fail();
            if (GeometryIndex(atomic->geometry) < 0)
                geometries.push_back(atomic->geometry);
        }
        for (RpLight* light : lights)
            if (FrameIndex(RpLightGetFrame(light)) < 0)
                return Fail();
        for (RwCamera* camera : cameras)
            if (FrameIndex(RwCameraGetFrame(camera)) < 0)
                return Fail();
        return true;
    }
    bool Fail() {
        RwErrorSetCode(E_RW_BADPARAM); // an object without a frame of the clump's hierarchy
        return false;
    }
    RwInt32 FrameIndex(const RwFrame* frame) const {
        return frame ? RwFrameListFindFrame(&frames, frame) : -1;
    }
    RwInt32 GeometryIndex(const RpGeometry* geometry) const {
        for (size_t i = 0; i < geometries.size(); ++i)
            if (geometries[i] == geometry)
                return RwInt32(i);
        return -1;
    }

    RwUInt32 AtomicSize(const RpAtomic* atomic) const {
        return rwCHUNKHEADERSIZE + atomicStructSize + rwCHUNKHEADERSIZE +
               RwPluginRegistryGetPluginStreamSize(&atomicTKList, atomic);
    }
    RwUInt32 GeometryListSize() const {
        RwUInt32 size = rwCHUNKHEADERSIZE + 4;
        for (const RpGeometry* geometry : geometries)
            size += rwCHUNKHEADERSIZE + RpGeometryStreamGetSize(geometry);
        return size;
    }
    RwUInt32 Size(const RpClump* clump) const {
        RwUInt32 size = rwCHUNKHEADERSIZE + 12 + rwCHUNKHEADERSIZE + RwFrameListStreamGetSize(&frames) +
                        rwCHUNKHEADERSIZE + GeometryListSize();
        for (const RpAtomic* atomic : atomics)
            size += rwCHUNKHEADERSIZE + AtomicSize(atomic);
        for (const RpLight* light : lights)
            size += rwCHUNKHEADERSIZE + 4 + rwCHUNKHEADERSIZE + RpLightStreamGetSize(light);
        for (const RwCamera* camera : cameras)
            size += rwCHUNKHEADERSIZE + 4 + rwCHUNKHEADERSIZE + RwCameraStreamGetSize(camera);
        return size + rwCHUNKHEADERSIZE + RwPluginRegistryGetPluginStreamSize(&clumpTKList, clump);
    }
};

} // namespace

RwInt32 _rpClumpModuleAttach() {
    const RwInt32 offset =
        RwEngineRegisterPlugin(sizeof(ClumpModuleData), rwID_CLUMPMODULE, ClumpOpen, ClumpClose);
    if (offset < 0)
        return -1;
    // The rendering-rights extension of atomics.
    if (RpAtomicRegisterPlugin(0, rwID_RIGHTTORENDER, nullptr, nullptr, nullptr) < 0 ||
        RpAtomicRegisterPluginStream(rwID_RIGHTTORENDER, RightsRead, RightsWrite, RightsSize) < 0)
        return -1;
    return offset;
}

RwInt32 _rpClumpLinkPluginsAttach() {
    lightLinkOffset =
        RpLightRegisterPlugin(sizeof(ClumpLink), rwID_CLUMPLINKPLUGIN, LinkConstruct, LinkDestruct, nullptr);
    cameraLinkOffset =
        RwCameraRegisterPlugin(sizeof(ClumpLink), rwID_CLUMPLINKPLUGIN, LinkConstruct, LinkDestruct, nullptr);
    return lightLinkOffset < 0 || cameraLinkOffset < 0 ? -1 : lightLinkOffset;
}

void _rpAtomicSetDefaultPipeline(RwPipeline* pipeline) {
    defaultAtomicPipeline = pipeline;
}

RwPipeline* _rpAtomicGetDefaultPipeline() {
    return defaultAtomicPipeline;
}

RpAtomic* AtomicDefaultRenderCallBack(RpAtomic* atomic) {
    RwPipeline* pipeline = atomic->pipeline ? atomic->pipeline : defaultAtomicPipeline;
    if (!pipeline) {
        RwErrorSetCode(E_RW_DEFAULTPIPELINECREATION); // no pipeline to draw with yet
        return nullptr;
    }
    return RwPipelineExecute(pipeline, atomic, TRUE) ? atomic : nullptr;
}

RpAtomic* RpAtomicCreate() {
    RpAtomic* atomic = AllocAtomic();
    if (!atomic)
        return nullptr;
    if (!RwPluginRegistryInitObject(&atomicTKList, atomic)) {
        RwFreeListEntryFree(ClumpData()->atomicFreeList, atomic);
        return nullptr;
    }
    return atomic;
}

RwBool RpAtomicDestroy(RpAtomic* atomic) {
    RwPluginRegistryDeInitObject(&atomicTKList, atomic);
    if (atomic->repEntry)
        RwResourcesFreeResourceEntry(atomic->repEntry);
    if (atomic->geometry) {
        RpGeometryDestroy(atomic->geometry);
        atomic->geometry = nullptr;
        if (RwFrame* frame = RpAtomicGetFrame(atomic); frame && InWorld(atomic))
            RwFrameUpdateObjects(frame);
    }
    RwObjectReleaseFrame(&atomic->object);
    RwFreeListEntryFree(ClumpData()->atomicFreeList, atomic);
    return TRUE;
}

RpAtomic* RpAtomicClone(RpAtomic* atomic) {
    RpAtomic* clone = AllocAtomic();
    if (!clone)
        return nullptr;
    clone->object.object.type = atomic->object.object.type;
    clone->object.object.subType = atomic->object.object.subType;
    clone->object.object.flags = atomic->object.object.flags;
    clone->object.object.privateFlags = rpATOMICPRIVATEWORLDBOUNDDIRTY;
    clone->geometry = atomic->geometry;
    if (clone->geometry)
        RpGeometryAddReference(clone->geometry);
    clone->boundingSphere = atomic->boundingSphere;
    clone->renderCallBack = atomic->renderCallBack;
    clone->pipeline = atomic->pipeline;
    clone->interpolator = atomic->interpolator;
    if (!RwPluginRegistryInitObject(&atomicTKList, clone)) {
        if (clone->geometry)
            RpGeometryDestroy(clone->geometry);
        RwFreeListEntryFree(ClumpData()->atomicFreeList, clone);
        return nullptr;
    }
    RwPluginRegistryCopyObject(&atomicTKList, clone, atomic);
    return clone;
}

RpAtomic* RpAtomicSetGeometry(RpAtomic* atomic, RpGeometry* geometry, RwUInt32 flags) {
    if (geometry == atomic->geometry)
        return atomic;
    if (geometry)
        RpGeometryAddReference(geometry);
    if (atomic->geometry)
        RpGeometryDestroy(atomic->geometry);
    atomic->geometry = geometry;
    if (geometry && !(flags & rpATOMICSAMEBOUNDINGSPHERE))
        atomic->boundingSphere = geometry->morphTarget[0].boundingSphere;
    if (RwFrame* frame = RpAtomicGetFrame(atomic); frame && InWorld(atomic))
        RwFrameUpdateObjects(frame);
    return atomic;
}

RpAtomic* RpAtomicSetFrame(RpAtomic* atomic, RwFrame* frame) {
    RwObjectSetFrame(&atomic->object, frame);
    atomic->object.object.privateFlags |= rpATOMICPRIVATEWORLDBOUNDDIRTY;
    return atomic;
}

const RwSphere* RpAtomicGetWorldBoundingSphere(RpAtomic* atomic) {
    if (atomic->interpolator.flags & rpINTERPOLATORDIRTYSPHERE)
        InterpolateSphere(atomic);
    RwFrame* frame = RpAtomicGetFrame(atomic);
    if (frame &&
        (RwFrameIsDirty(frame) || (atomic->object.object.privateFlags & rpATOMICPRIVATEWORLDBOUNDDIRTY))) {
        const RwMatrix* ltm = RwFrameGetWorldMatrix(frame);
        RwVector3TransformPoint(&atomic->worldBoundingSphere.center, &atomic->boundingSphere.center, ltm);
        RwReal radius = atomic->boundingSphere.radius;
        if ((ltm->flags & rwMATRIXTYPEORTHONORMAL) != rwMATRIXTYPEORTHONORMAL) {
            auto squared = [](const RwV3d& v) { return v.x * v.x + v.y * v.y + v.z * v.z; };
            const RwReal largest = std::max({squared(ltm->right), squared(ltm->up), squared(ltm->at)});
            radius *= std::sqrt(largest);
        }
        atomic->worldBoundingSphere.radius = radius;
        atomic->object.object.privateFlags &= ~rpATOMICPRIVATEWORLDBOUNDDIRTY;
    }
    return &atomic->worldBoundingSphere;
}

RwInt32 RpAtomicRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                               RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&atomicTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpAtomicRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                     RwPluginDataChunkWriteCallBack writeCB,
                                     RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&atomicTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpAtomicSetStreamRightsCallBack(RwUInt32 pluginID, RwPluginDataChunkRightsCallBack rightsCB) {
    return RwPluginRegistryAddPluginStreamRightsCB(&atomicTKList, pluginID, rightsCB);
}

RwInt32 RpAtomicGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&atomicTKList, pluginID);
}

const RwPluginRegistry* RpAtomicGetRegistry() {
    return &atomicTKList;
}

RwInt32 RpClumpRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&clumpTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpClumpRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&clumpTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpClumpGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&clumpTKList, pluginID);
}

const RwPluginRegistry* RpClumpGetRegistry() {
    return &clumpTKList;
}

RpClump* RpClumpCreate() {
    auto* clump = static_cast<RpClump*>(RwFreeListEntryAlloc(ClumpData()->clumpFreeList, clumpHint));
    if (!clump) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(clump), 0, size_t(clumpTKList.sizeOfStruct));
    clump->object.type = rwCLUMP;
    rwLinkListInitialize(&clump->atomicList);
    rwLinkListInitialize(&clump->lightList);
    rwLinkListInitialize(&clump->cameraList);
    rwLLLinkInitialize(&clump->inWorldLink);
    clump->callback = ClumpDefaultCallBack;
    if (!RwPluginRegistryInitObject(&clumpTKList, clump)) {
        RwFreeListEntryFree(ClumpData()->clumpFreeList, clump);
        return nullptr;
    }
    return clump;
}

RwBool RpClumpDestroy(RpClump* clump) {
    RwPluginRegistryDeInitObject(&clumpTKList, clump);
    while (!rwLinkListEmpty(&clump->atomicList)) {
        RpAtomic* atomic = AtomicOfLink(rwLinkListGetFirstLLLink(&clump->atomicList));
        RpClumpRemoveAtomic(clump, atomic);
        RpAtomicDestroy(atomic);
    }
    while (!rwLinkListEmpty(&clump->lightList)) {
        RpLight* light = LightOfLink(rwLinkListGetFirstLLLink(&clump->lightList));
        RpClumpRemoveLight(clump, light);
        RpLightDestroy(light);
    }
    while (!rwLinkListEmpty(&clump->cameraList)) {
        RwCamera* camera = CameraOfLink(rwLinkListGetFirstLLLink(&clump->cameraList));
        RpClumpRemoveCamera(clump, camera);
        RwCameraDestroy(camera);
    }
    RwFrameDestroyHierarchy(RpClumpGetFrame(clump));
    RwFreeListEntryFree(ClumpData()->clumpFreeList, clump);
    return TRUE;
}

RpClump* RpClumpAddAtomic(RpClump* clump, RpAtomic* atomic) {
    rwLinkListAddLLLink(&clump->atomicList, &atomic->inClumpLink);
    atomic->clump = clump;
    return clump;
}

RpClump* RpClumpRemoveAtomic(RpClump* clump, RpAtomic* atomic) {
    rwLLLinkRemove(&atomic->inClumpLink);
    atomic->clump = nullptr;
    return clump;
}

RpClump* RpClumpAddLight(RpClump* clump, RpLight* light) {
    ClumpLink* link = LightLink(light);
    if (link->clump)
        rwLLLinkRemove(&link->link);
    rwLinkListAddLLLink(&clump->lightList, &link->link);
    link->clump = clump;
    return clump;
}

RpClump* RpClumpRemoveLight(RpClump* clump, RpLight* light) {
    ClumpLink* link = LightLink(light);
    if (link->clump)
        rwLLLinkRemove(&link->link);
    std::memset(link, 0, sizeof(ClumpLink));
    return clump;
}

RpClump* RpClumpAddCamera(RpClump* clump, RwCamera* camera) {
    ClumpLink* link = CameraLink(camera);
    if (link->clump)
        rwLLLinkRemove(&link->link);
    rwLinkListAddLLLink(&clump->cameraList, &link->link);
    link->clump = clump;
    return clump;
}

RpClump* RpClumpRemoveCamera(RpClump* clump, RwCamera* camera) {
    ClumpLink* link = CameraLink(camera);
    if (link->clump)
        rwLLLinkRemove(&link->link);
    std::memset(link, 0, sizeof(ClumpLink));
    return clump;
}

RpClump* RpLightGetClump(const RpLight* light) {
    return LightLink(light)->clump;
}

RpClump* RwCameraGetClump(const RwCamera* camera) {
    return CameraLink(camera)->clump;
}

RpClump* RpClumpForAllAtomics(RpClump* clump, RpAtomicCallBack callBack, void* data) {
    RwLLLink* end = rwLinkListGetTerminator(&clump->atomicList);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&clump->atomicList); link != end;) {
        RwLLLink* next = link->next; // the callback may destroy the atomic
        if (!callBack(AtomicOfLink(link), data))
            break;
        link = next;
    }
    return clump;
}

RpClump* RpClumpForAllLights(RpClump* clump, RpLightCallBack callBack, void* data) {
    RwLLLink* end = rwLinkListGetTerminator(&clump->lightList);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&clump->lightList); link != end;) {
        RwLLLink* next = link->next;
        if (!callBack(LightOfLink(link), data))
            break;
        link = next;
    }
    return clump;
}

RpClump* RpClumpForAllCameras(RpClump* clump, RwCameraCallBack callBack, void* data) {
    RwLLLink* end = rwLinkListGetTerminator(&clump->cameraList);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&clump->cameraList); link != end;) {
        RwLLLink* next = link->next;
        if (!callBack(CameraOfLink(link), data))
            break;
        link = next;
    }
    return clump;
}

RwInt32 RpClumpGetNumAtomics(RpClump* clump) {
    return CountList(&clump->atomicList);
}

RwInt32 RpClumpGetNumLights(RpClump* clump) {
    return CountList(&clump->lightList);
}

RwInt32 RpClumpGetNumCameras(RpClump* clump) {
    return CountList(&clump->cameraList);
}

RpClump* RpClumpClone(RpClump* clump) {
    RpClump* clone = RpClumpCreate();
    if (!clone)
        return nullptr;
    RwFrame* root = RpClumpGetFrame(clump);
    if (root) {
        RwFrame* rootCopy = _rwFrameCloneHierarchyKeepLinks(root);
        if (!rootCopy) {
            RpClumpDestroy(clone);
            return nullptr;
        }
        RpClumpSetFrame(clone, rootCopy);
    }
    bool ok = true;
    RwLLLink* end = rwLinkListGetTerminator(&clump->atomicList);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&clump->atomicList); ok && link != end;
         link = link->next) {
        RpAtomic* source = AtomicOfLink(link);
        RpAtomic* copy = RpAtomicClone(source);
        if (!copy) {
            ok = false;
        } else if (!RpAtomicGetFrame(source)) {
            RpAtomicDestroy(copy);
            RwErrorSetCode(errorFramelessAtomic);
            ok = false;
        } else {
            // While the links are kept, a source frame's root field points to its copy.
            RpAtomicSetFrame(copy, RpAtomicGetFrame(source)->root);
            RpClumpAddAtomic(clone, copy);
        }
    }
    if (root)
        _rwFrameCloneHierarchyRestoreLinks(root);
    if (!ok) {
        RpClumpDestroy(clone);
        return nullptr;
    }
    clone->callback = clump->callback;
    RwPluginRegistryCopyObject(&clumpTKList, clone, clump);
    return clone;
}

RpAtomic* RpAtomicStreamRead(RwStream* stream, const RwFrameList* frameList, const rpGeometryList* geomList) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr))
        return nullptr;
    RwInt32 words[4];
    if (length < atomicStructSize || !RwStreamReadInt32(stream, words, atomicStructSize) ||
        (length > atomicStructSize && !RwStreamSkip(stream, length - atomicStructSize))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    const RwInt32 frameIndex = words[0], geometryIndex = words[1];
    // Indices outside the lists are refused rather than followed.
    if ((frameList->numFrames > 0 && (frameIndex < 0 || frameIndex >= frameList->numFrames)) ||
        (geomList->numGeoms > 0 && (geometryIndex < 0 || geometryIndex >= geomList->numGeoms))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    RpAtomic* atomic = RpAtomicCreate();
    if (!atomic)
        return nullptr;
    atomic->object.object.flags = RwUInt8(words[2]);
    if (frameList->numFrames > 0)
        RpAtomicSetFrame(atomic, frameList->frames[frameIndex]);
    if (geomList->numGeoms == 0) {
        RpGeometry* geometry = nullptr;
        if (!RwStreamFindChunk(stream, rwID_GEOMETRY, nullptr, nullptr) ||
            !(geometry = RpGeometryStreamRead(stream))) {
            RpAtomicDestroy(atomic);
            RwErrorSetCode(E_RW_READ);
            return nullptr;
        }
        RpAtomicSetGeometry(atomic, geometry, 0);
        RpGeometryDestroy(geometry);
    } else {
        RpAtomicSetGeometry(atomic, geomList->geometries[geometryIndex], 0);
    }
    pendingRights = {0, 0};
    if (!RwPluginRegistryReadDataChunks(&atomicTKList, stream, atomic)) {
        RpAtomicDestroy(atomic);
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    if (pendingRights.pluginID != 0)
        RwPluginRegistryInvokeRights(&atomicTKList, pendingRights.pluginID, atomic, pendingRights.extraData);
    return atomic;
}

RpClump* RpClumpStreamRead(RwStream* stream) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr)) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    RwInt32 counts[3];
    if (length < 12 || !RwStreamReadInt32(stream, counts, sizeof(counts)) ||
        (length > 12 && !RwStreamSkip(stream, length - 12))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    const RwInt32 numAtomics = counts[0], numLights = counts[1], numCameras = counts[2];
    if (numAtomics < 0 || numLights < 0 || numCameras < 0) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    RpClump* clump = RpClumpCreate();
    if (!clump)
        return nullptr;
    RwFrameList frames = {nullptr, 0};
    rpGeometryList geometries = {nullptr, 0};
    bool framesRead = false;
    auto unwind = [&]() -> RpClump* {
        for (RwInt32 i = 0; i < geometries.numGeoms; ++i)
            if (geometries.geometries[i])
                RpGeometryDestroy(geometries.geometries[i]);
        if (framesRead)
            RwFrameListDeinitialize(&frames);
        DestroyPartialClump(clump);
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    };

    if (!RwStreamFindChunk(stream, rwID_FRAMELIST, nullptr, nullptr) ||
        !RwFrameListStreamRead(stream, &frames))
        return unwind();
    // Frame 0 is the root of the model; a second root would belong to no clump and be lost.
    for (RwInt32 k = 1; k < frames.numFrames; ++k) {
        if (!RwFrameGetParent(frames.frames[k])) {
            for (RwInt32 r = frames.numFrames - 1; r >= 0; --r)
                if (!RwFrameGetParent(frames.frames[r]))
                    RwFrameDestroyHierarchy(frames.frames[r]);
            RwFrameListDeinitialize(&frames);
            return unwind();
        }
    }
    framesRead = true;
    if (frames.numFrames > 0)
        RpClumpSetFrame(clump, frames.frames[0]);

    RwUInt32 listLength = 0;
    RwInt32 numGeoms = 0;
    if (!RwStreamFindChunk(stream, rwID_GEOMETRYLIST, nullptr, nullptr) ||
        !RwStreamFindChunk(stream, rwID_STRUCT, &listLength, nullptr) || listLength < 4 ||
        !RwStreamReadInt32(stream, &numGeoms, 4) ||
        (listLength > 4 && !RwStreamSkip(stream, listLength - 4)) || numGeoms < 0)
        return unwind();
    // Grown as geometries arrive, so that a damaged count fails at the first missing chunk rather than
    // asking for a huge array.
    std::vector<RpGeometry*> read;
    read.reserve(size_t(std::min(numGeoms, 1024)));
    // From memory, the geometries take their room from one block rather than one allocation each.
    const RwUInt32 left = RwStreamBytesLeft(stream);
    if (const RwUInt8* bytes = _rwStreamBytesInPlace(stream, left))
        _rpGeometryOfferBlock(_rpGeometryListRoomSize(bytes, left, numGeoms));
    for (RwInt32 i = 0; i < numGeoms; ++i) {
        if (!RwStreamFindChunk(stream, rwID_GEOMETRY, nullptr, nullptr)) {
            _rpGeometryWithdrawBlock();
            return unwind();
        }
        RpGeometry* geometry = RpGeometryStreamRead(stream);
        if (!geometry) {
            _rpGeometryWithdrawBlock();
            return unwind();
        }
        read.push_back(geometry);
        geometries = {read.data(), RwInt32(read.size())};
    }
    _rpGeometryWithdrawBlock();

    for (RwInt32 i = 0; i < numAtomics; ++i) {
        if (!RwStreamFindChunk(stream, rwID_ATOMIC, nullptr, nullptr))
            return unwind();
        RpAtomic* atomic = RpAtomicStreamRead(stream, &frames, &geometries);
        if (!atomic)
            return unwind();
        RpClumpAddAtomic(clump, atomic);
    }
    auto frameAt = [&](RwInt32 index) -> RwFrame* {
        return index >= 0 && index < frames.numFrames ? frames.frames[index] : nullptr;
    };
    for (RwInt32 i = 0; i < numLights; ++i) {
        RwInt32 index;
        if (!ReadFrameIndex(stream, &index) || !frameAt(index) ||
            !RwStreamFindChunk(stream, rwID_LIGHT, nullptr, nullptr))
            return unwind();
        RpLight* light = RpLightStreamRead(stream);
        if (!light)
            return unwind();
        RpLightSetFrame(light, frameAt(index));
        RpClumpAddLight(clump, light);
    }
    for (RwInt32 i = 0; i < numCameras; ++i) {
        RwInt32 index;
        if (!ReadFrameIndex(stream, &index) || !frameAt(index) ||
            !RwStreamFindChunk(stream, rwID_CAMERA, nullptr, nullptr))
            return unwind();
        RwCamera* camera = RwCameraStreamRead(stream);
        if (!camera)
            return unwind();
        RwCameraSetFrame(camera, frameAt(index));
        RpClumpAddCamera(clump, camera);
    }

    // Each geometry lives on through the atomics that use it; one no atomic uses goes here.
    for (RwInt32 i = 0; i < geometries.numGeoms; ++i)
        RpGeometryDestroy(geometries.geometries[i]);
    geometries = {nullptr, 0};
    RwFrameListDeinitialize(&frames);

    if (!RwPluginRegistryReadDataChunks(&clumpTKList, stream, clump)) {
        RpClumpDestroy(clump);
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    return clump;
}

RwUInt32 RpClumpStreamGetSize(RpClump* clump) {
    ClumpLayout layout;
    return layout.Gather(clump) ? layout.Size(clump) : 0;
}

RpClump* RpClumpStreamWrite(RpClump* clump, RwStream* stream) {
    ClumpLayout layout;
    if (!layout.Gather(clump))
        return nullptr;
    const RwInt32 counts[3] = {RwInt32(layout.atomics.size()), RwInt32(layout.lights.size()),
                               RwInt32(layout.cameras.size())};
    const RwInt32 numGeoms = RwInt32(layout.geometries.size());
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_CLUMP, layout.Size(clump)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, sizeof(counts)) ||
        !RwStreamWriteInt32(stream, counts, sizeof(counts)) ||
        !RwFrameListStreamWrite(&layout.frames, stream) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_GEOMETRYLIST, layout.GeometryListSize()) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, 4) || !RwStreamWriteInt32(stream, &numGeoms, 4))
        return nullptr;
    for (const RpGeometry* geometry : layout.geometries)
        if (!RpGeometryStreamWrite(geometry, stream))
            return nullptr;
    for (const RpAtomic* atomic : layout.atomics) {
        const RwInt32 words[4] = {layout.FrameIndex(RpAtomicGetFrame(atomic)),
                                  layout.GeometryIndex(atomic->geometry),
                                  RwInt32(atomic->object.object.flags), 0};
        if (!RwStreamWriteEngineChunkHeader(stream, rwID_ATOMIC, layout.AtomicSize(atomic)) ||
            !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, atomicStructSize) ||
            !RwStreamWriteInt32(stream, words, sizeof(words)) ||
            !RwPluginRegistryWriteDataChunks(&atomicTKList, stream, atomic))
            return nullptr;
    }
    for (const RpLight* light : layout.lights)
        if (!WriteFrameIndex(stream, layout.FrameIndex(RpLightGetFrame(light))) ||
            !RpLightStreamWrite(light, stream))
            return nullptr;
    for (const RwCamera* camera : layout.cameras)
        if (!WriteFrameIndex(stream, layout.FrameIndex(RwCameraGetFrame(camera))) ||
            !RwCameraStreamWrite(camera, stream))
            return nullptr;
    if (!RwPluginRegistryWriteDataChunks(&clumpTKList, stream, clump))
        return nullptr;
    return clump;
}
