// World-objects module: ties of atomics and local lights to leaf sectors, the world lists of clumps and
// lights, and the cameras' visible sectors.
#include "rwsdk/world/baworobj.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/resources.h"

#include <cstring>
#include <vector>

namespace {

struct WorldObjModuleData {
    RwFreeList* atomicTies;
    RwFreeList* lightTies;
    RwUInt32 stamp;
};

struct CameraWorldData {
    RpWorldSector** sectors;
    RwInt32 capacity;
    RwInt32 count;
    RpWorld* world;
    RwObjectHasFrameSyncFunction sync;
    RwCameraBeginUpdateFunc beginUpdate;
    RwCameraEndUpdateFunc endUpdate;
};

struct AtomicWorldData {
    RpWorld* world;
    RwObjectHasFrameSyncFunction sync;
};

struct ClumpWorldData {
    RpWorld* world;
    RwUInt32 stamp;
};

struct LightWorldData {
    RpWorld* world;
    RwObjectHasFrameSyncFunction sync;
};

RwModuleInfo worldObjModule;
RwInt32 cameraOffset = -1, atomicOffset = -1, clumpOffset = -1, lightOffset = -1;
RwUInt16 renderFrame = 0;

constexpr RwUInt32 tieHint = rwMEMHINTDUR_EVENT | rwID_WORLDMODULE;
constexpr RwUInt32 sectorArrayHint = 0x01030507;

WorldObjModuleData* ObjData() {
    return RWMODULEDATA(WorldObjModuleData, worldObjModule);
}

template <class Data> Data* DataOf(const void* object, RwInt32 offset) {
    return reinterpret_cast<Data*>(const_cast<RwUInt8*>(static_cast<const RwUInt8*>(object)) + offset);
}
CameraWorldData* CameraData(const RwCamera* camera) {
    return DataOf<CameraWorldData>(camera, cameraOffset);
}
AtomicWorldData* AtomicData(const RpAtomic* atomic) {
    return DataOf<AtomicWorldData>(atomic, atomicOffset);
}
ClumpWorldData* ClumpData(const RpClump* clump) {
    return DataOf<ClumpWorldData>(clump, clumpOffset);
}
LightWorldData* LightData(const RpLight* light) {
    return DataOf<LightWorldData>(light, lightOffset);
}

RwReal Axis(const RwV3d& v, RwInt32 type) {
    return (&v.x)[type / 4];
}

void QueueFrame(RwFrame* frame) {
    if (frame)
        RwFrameUpdateObjects(frame);
}

void FreeObjectTies(RwLinkList* list, RwFreeList* freeList) {
    while (!rwLinkListEmpty(list)) {
        RpTie* tie = _rpTieFromObjectLink(rwLinkListGetFirstLLLink(list));
        rwLLLinkRemove(&tie->lObjectInWorldSector);
        rwLLLinkRemove(&tie->lWorldSectorInObject);
        RwFreeListEntryFree(freeList, tie);
    }
}

// Ties the object to every leaf that the box [inf, sup] reaches.
void Tie(RpWorld* world, void* object, const RwV3d& inf, const RwV3d& sup, RwLinkList* objectList,
         bool light) {
    RwFreeList* freeList = light ? ObjData()->lightTies : ObjData()->atomicTies;
    // Kept between calls: every moved atomic is tied again each frame.
    thread_local std::vector<RpSector*> stack;
    stack.assign(1, world->rootSector);
    while (!stack.empty()) {
        RpSector* sector = stack.back();
        stack.pop_back();
        if (!sector)
            continue;
        if (sector->type >= 0) {
            const auto* plane = reinterpret_cast<const RpPlaneSector*>(sector);
            const bool left = Axis(inf, plane->type) < plane->leftValue;
            const bool right = Axis(sup, plane->type) > plane->rightValue;
            if (right)
                stack.push_back(plane->rightSubTree);
            if (left)
                stack.push_back(plane->leftSubTree);
            continue;
        }
        if (sector->type != rwSECTORATOMIC)
            continue;
        auto* leaf = reinterpret_cast<RpWorldSector*>(sector);
        auto* tie = static_cast<RpTie*>(RwFreeListEntryAlloc(freeList, tieHint));
        if (!tie) {
            RwErrorSetCode(E_RW_NOMEM);
            return;
        }
        tie->worldSector = leaf;
        tie->object = object;
        rwLinkListAddLLLink(light ? &leaf->lightsInWorldSector : &leaf->collAtomicsInWorldSector,
                            &tie->lWorldSectorInObject);
        rwLinkListAddLLLink(objectList, &tie->lObjectInWorldSector);
    }
}

RwObjectHasFrame* AtomicWorldSync(RwObjectHasFrame* object) {
    auto* atomic = reinterpret_cast<RpAtomic*>(object);
    AtomicWorldData* data = AtomicData(atomic);
    if (data->sync && !data->sync(object))
        return nullptr;
    if (data->world)
        _rpAtomicRetie(atomic);
    return object;
}

RwObjectHasFrame* LightWorldSync(RwObjectHasFrame* object) {
    auto* light = reinterpret_cast<RpLight*>(object);
    LightWorldData* data = LightData(light);
    if (data->sync && !data->sync(object))
        RwErrorSetCode(E_RW_NULLP);
    if (data->world && RpLightGetType(light) >= rpLIGHTPOINT && RpLightGetFrame(light))
        _rpLightRetie(light);
    return object;
}

RwObjectHasFrame* CameraWorldSync(RwObjectHasFrame* object) {
    auto* camera = reinterpret_cast<RwCamera*>(object);
    CameraWorldData* data = CameraData(camera);
    if (data->sync && !data->sync(object))
        return nullptr;
    if (data->world)
        _rpCameraFindVisibleSectors(camera);
    return object;
}

RwCamera* CameraWorldBeginUpdate(RwCamera* camera) {
    CameraWorldData* data = CameraData(camera);
    RWSRCGLOBAL(curWorld) = data->world;
    ++renderFrame;
    return data->beginUpdate ? data->beginUpdate(camera) : camera;
}

RwCamera* CameraWorldEndUpdate(RwCamera* camera) {
    RWSRCGLOBAL(curWorld) = nullptr;
    CameraWorldData* data = CameraData(camera);
    return data->endUpdate ? data->endUpdate(camera) : camera;
}

void* CameraConstruct(void* object, RwInt32 offset, RwInt32) {
    auto* camera = static_cast<RwCamera*>(object);
    auto* data = DataOf<CameraWorldData>(object, offset);
    *data = {nullptr, 0, 0, nullptr, camera->object.sync, camera->beginUpdate, camera->endUpdate};
    camera->object.sync = CameraWorldSync;
    camera->beginUpdate = CameraWorldBeginUpdate;
    camera->endUpdate = CameraWorldEndUpdate;
    return object;
}

void* CameraDestruct(void* object, RwInt32 offset, RwInt32) {
    auto* camera = static_cast<RwCamera*>(object);
    auto* data = DataOf<CameraWorldData>(object, offset);
    RwFree(data->sectors);
    camera->object.sync = data->sync;
    camera->beginUpdate = data->beginUpdate;
    camera->endUpdate = data->endUpdate;
    *data = {};
    return object;
}

void* CameraCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    auto* to = DataOf<CameraWorldData>(dst, offset);
    const auto* from = DataOf<CameraWorldData>(src, offset);
    to->world = from->world;
    if (to->world)
        QueueFrame(RwCameraGetFrame(static_cast<RwCamera*>(dst)));
    return dst;
}

void* AtomicConstruct(void* object, RwInt32 offset, RwInt32) {
    auto* atomic = static_cast<RpAtomic*>(object);
    auto* data = DataOf<AtomicWorldData>(object, offset);
    *data = {nullptr, atomic->object.sync};
    atomic->object.sync = AtomicWorldSync;
    // Not yet drawn in the current frame.
    atomic->renderFrame = RwUInt16(renderFrame - 1);
    return object;
}

void* AtomicDestruct(void* object, RwInt32 offset, RwInt32) {
    auto* atomic = static_cast<RpAtomic*>(object);
    auto* data = DataOf<AtomicWorldData>(object, offset);
    if (ObjData()->atomicTies)
        FreeObjectTies(&atomic->llWorldSectorsInAtomic, ObjData()->atomicTies);
    atomic->object.sync = data->sync;
    *data = {};
    return object;
}

void* ClumpConstruct(void* object, RwInt32 offset, RwInt32) {
    *DataOf<ClumpWorldData>(object, offset) = {nullptr, ObjData()->stamp};
    return object;
}

void* ClumpDestruct(void* object, RwInt32, RwInt32) {
    return object;
}

void* ClumpCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    const auto* from = DataOf<ClumpWorldData>(src, offset);
    if (from->world)
        RpWorldAddClump(from->world, static_cast<RpClump*>(dst));
    return dst;
}

void* LightConstruct(void* object, RwInt32 offset, RwInt32) {
    auto* light = static_cast<RpLight*>(object);
    auto* data = DataOf<LightWorldData>(object, offset);
    *data = {nullptr, light->object.sync};
    light->object.sync = LightWorldSync;
    return object;
}

void* LightDestruct(void* object, RwInt32 offset, RwInt32) {
    auto* light = static_cast<RpLight*>(object);
    auto* data = DataOf<LightWorldData>(object, offset);
    if (ObjData()->lightTies)
        FreeObjectTies(&light->WorldSectorsInLight, ObjData()->lightTies);
    light->object.sync = data->sync;
    *data = {};
    return object;
}

void* LightCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    const auto* from = DataOf<LightWorldData>(src, offset);
    if (from->world)
        RpWorldAddLight(from->world, static_cast<RpLight*>(dst));
    return dst;
}

void* WorldObjOpen(void* instance, RwInt32 offset, RwInt32) {
    worldObjModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(WorldObjModuleData, instance, offset);
    data->atomicTies = RwFreeListCreate(sizeof(RpTie), 64, 4, rwMEMHINTDUR_GLOBAL | rwID_WORLDMODULE);
    data->lightTies = RwFreeListCreate(sizeof(RpTie), 64, 4, rwMEMHINTDUR_GLOBAL | rwID_WORLDMODULE);
    data->stamp = 0;
    if (!data->atomicTies || !data->lightTies) {
        if (data->atomicTies)
            RwFreeListDestroy(data->atomicTies);
        if (data->lightTies)
            RwFreeListDestroy(data->lightTies);
        return nullptr;
    }
    renderFrame = 1;
    ++worldObjModule.numInstances;
    return instance;
}

void* WorldObjClose(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(WorldObjModuleData, instance, offset);
    if (data->atomicTies)
        RwFreeListDestroy(data->atomicTies);
    if (data->lightTies)
        RwFreeListDestroy(data->lightTies);
    data->atomicTies = data->lightTies = nullptr;
    --worldObjModule.numInstances;
    return instance;
}

RpAtomic* AtomicLeaveWorld(RpAtomic* atomic, void* world) {
    AtomicWorldData* data = AtomicData(atomic);
    if (data->world != world)
        return atomic;
    if (atomic->repEntry)
        RwResourcesFreeResourceEntry(atomic->repEntry);
    FreeObjectTies(&atomic->llWorldSectorsInAtomic, ObjData()->atomicTies);
    data->world = nullptr;
    return atomic;
}

} // namespace

void _rpAtomicRetie(RpAtomic* atomic) {
    FreeObjectTies(&atomic->llWorldSectorsInAtomic, ObjData()->atomicTies);
    RpWorld* world = AtomicData(atomic)->world;
    if (!world)
        return;
    const RwSphere* sphere = RpAtomicGetWorldBoundingSphere(atomic);
    const RwV3d& c = sphere->center;
    const RwReal r = sphere->radius;
    Tie(world, atomic, {c.x - r, c.y - r, c.z - r}, {c.x + r, c.y + r, c.z + r},
        &atomic->llWorldSectorsInAtomic, false);
}

void _rpLightRetie(RpLight* light) {
    FreeObjectTies(&light->WorldSectorsInLight, ObjData()->lightTies);
    RpWorld* world = LightData(light)->world;
    RwFrame* frame = RpLightGetFrame(light);
    if (!world || !frame || RpLightGetType(light) < rpLIGHTPOINT)
        return;
    const RwV3d c = RwFrameGetWorldMatrix(frame)->pos;
    const RwReal r = light->radius;
    Tie(world, light, {c.x - r, c.y - r, c.z - r}, {c.x + r, c.y + r, c.z + r}, &light->WorldSectorsInLight,
        true);
}

void _rpCameraFindVisibleSectors(RwCamera* camera) {
    CameraWorldData* data = CameraData(camera);
    data->count = 0;
    RpWorld* world = data->world;
    if (!world)
        return;
    const RwBBox& box = camera->frustumBoundBox;
    RwFrame* frame = RwCameraGetFrame(camera);
    const RwV3d eye = frame ? RwFrameGetWorldMatrix(frame)->pos : RwV3d{0, 0, 0};
    const bool backToFront = world->renderOrder == rpWORLDRENDERBACK2FRONT;
    // Kept between calls: each camera's walk runs every frame.
    thread_local std::vector<RpSector*> stack;
    stack.assign(1, world->rootSector);
    while (!stack.empty()) {
        RpSector* sector = stack.back();
        stack.pop_back();
        if (!sector)
            continue;
        if (sector->type >= 0) {
            const auto* plane = reinterpret_cast<const RpPlaneSector*>(sector);
            const bool left = Axis(box.inf, plane->type) < plane->leftValue;
            const bool right = Axis(box.sup, plane->type) > plane->rightValue;
            if (left && right) {
                const RwReal p = Axis(eye, plane->type);
                const bool leftFirst = backToFront ? p > plane->value : p <= plane->value;
                // The one visited first goes on the stack last.
                stack.push_back(leftFirst ? plane->rightSubTree : plane->leftSubTree);
                stack.push_back(leftFirst ? plane->leftSubTree : plane->rightSubTree);
            } else if (left) {
                stack.push_back(plane->leftSubTree);
            } else {
                stack.push_back(plane->rightSubTree);
            }
            continue;
        }
        if (sector->type != rwSECTORATOMIC)
            continue;
        auto* leaf = reinterpret_cast<RpWorldSector*>(sector);
        bool outside = false;
        for (const RwFrustumPlane& side : camera->frustumPlanes) {
            // The corner deepest on the inner side: when even it is outside, the whole box is.
            const RwV3d corner = {side.closestX ? leaf->boundingBox.inf.x : leaf->boundingBox.sup.x,
                                  side.closestY ? leaf->boundingBox.inf.y : leaf->boundingBox.sup.y,
                                  side.closestZ ? leaf->boundingBox.inf.z : leaf->boundingBox.sup.z};
            const RwV3d& n = side.plane.normal;
            if (n.x * corner.x + n.y * corner.y + n.z * corner.z - side.plane.distance > 0.0f) {
                outside = true;
                break;
            }
        }
        if (outside)
            continue;
        if (data->count == data->capacity) {
            auto* grown = static_cast<RpWorldSector**>(RwRealloc(
                data->sectors, sizeof(RpWorldSector*) * size_t(data->capacity + 50), sectorArrayHint));
            if (!grown) {
                RwErrorSetCode(E_RW_NOMEM);
                return;
            }
            data->sectors = grown;
            data->capacity += 50;
        }
        data->sectors[data->count++] = leaf;
    }
}

void _rpWorldSectorFreeTies(RpWorldSector* sector) {
    auto freeSectorTies = [](RwLinkList* list, RwFreeList* freeList) {
        while (!rwLinkListEmpty(list)) {
            RpTie* tie = _rpTieFromSectorLink(rwLinkListGetFirstLLLink(list));
            rwLLLinkRemove(&tie->lObjectInWorldSector);
            rwLLLinkRemove(&tie->lWorldSectorInObject);
            RwFreeListEntryFree(freeList, tie);
        }
    };
    if (worldObjModule.numInstances <= 0)
        return;
    freeSectorTies(&sector->collAtomicsInWorldSector, ObjData()->atomicTies);
    freeSectorTies(&sector->lightsInWorldSector, ObjData()->lightTies);
}

RwInt32 _rpCameraGetNumVisibleSectors(const RwCamera* camera) {
    return CameraData(camera)->count;
}

RpWorldSector* const* _rpCameraGetVisibleSectors(const RwCamera* camera) {
    return CameraData(camera)->sectors;
}

RwUInt16* _rpWorldRenderFrame() {
    return &renderFrame;
}

namespace {

// A clump's lights and cameras join and leave the world with it, by the world's own calls for them.
template <RpWorld* (*LightCall)(RpWorld*, RpLight*), RpWorld* (*CameraCall)(RpWorld*, RwCamera*)>
void ForClumpLightsAndCameras(RpWorld* world, RpClump* clump) {
    RpClumpForAllLights(
        clump,
        [](RpLight* light, void* w) {
            LightCall(static_cast<RpWorld*>(w), light);
            return light;
        },
        world);
    RpClumpForAllCameras(
        clump,
        [](RwCamera* camera, void* w) {
            CameraCall(static_cast<RpWorld*>(w), camera);
            return camera;
        },
        world);
}

} // namespace

RpWorld* RpWorldAddClump(RpWorld* world, RpClump* clump) {
    rwLinkListAddLLLink(&world->clumpList, &clump->inWorldLink);
    ++world->numClumpsInWorld;
    ClumpWorldData* data = ClumpData(clump);
    data->world = world;
    data->stamp = ObjData()->stamp;
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* w) {
            AtomicData(atomic)->world = static_cast<RpWorld*>(w);
            QueueFrame(RpAtomicGetFrame(atomic));
            return atomic;
        },
        world);
    ForClumpLightsAndCameras<RpWorldAddLight, RpWorldAddCamera>(world, clump);
    QueueFrame(RpClumpGetFrame(clump));
    return world;
}

RpWorld* RpWorldRemoveClump(RpWorld* world, RpClump* clump) {
    ClumpWorldData* data = ClumpData(clump);
    if (!data->world) {
        RwErrorSetCode(4); // not in a world
        return nullptr;
    }
    --world->numClumpsInWorld;
    if (world->currentClumpLink == &clump->inWorldLink)
        world->currentClumpLink = clump->inWorldLink.next;
    rwLLLinkRemove(&clump->inWorldLink);
    RpClumpForAllAtomics(
        clump, [](RpAtomic* atomic, void* w) { return AtomicLeaveWorld(atomic, w); }, world);
    ForClumpLightsAndCameras<RpWorldRemoveLight, RpWorldRemoveCamera>(world, clump);
    data->world = nullptr;
    return world;
}

RpWorld* RpWorldAddLight(RpWorld* world, RpLight* light) {
    LightData(light)->world = world;
    if (RpLightGetType(light) >= rpLIGHTPOINT) {
        rwLinkListAddLLLink(&world->lightList, &light->inWorld);
        QueueFrame(RpLightGetFrame(light));
    } else {
        rwLinkListAddLLLink(&world->directionalLightList, &light->inWorld);
    }
    return world;
}

RpWorld* RpWorldRemoveLight(RpWorld* world, RpLight* light) {
    LightWorldData* data = LightData(light);
    data->world = nullptr;
    FreeObjectTies(&light->WorldSectorsInLight, ObjData()->lightTies);
    rwLLLinkRemove(&light->inWorld);
    rwLLLinkInitialize(&light->inWorld);
    return world;
}

RpWorld* RpWorldAddCamera(RpWorld* world, RwCamera* camera) {
    CameraData(camera)->world = world;
    QueueFrame(RwCameraGetFrame(camera));
    return world;
}

RpWorld* RpWorldRemoveCamera(RpWorld* world, RwCamera* camera) {
    CameraWorldData* data = CameraData(camera);
    if (!data->world)
        return nullptr;
    data->world = nullptr;
    data->count = 0;
    return world;
}

RpWorld* RpAtomicGetWorld(const RpAtomic* atomic) {
    return AtomicData(atomic)->world;
}

RpWorld* RpClumpGetWorld(const RpClump* clump) {
    return ClumpData(clump)->world;
}

RpWorld* RpLightGetWorld(const RpLight* light) {
    return LightData(light)->world;
}

RpWorld* RwCameraGetWorld(const RwCamera* camera) {
    return CameraData(camera)->world;
}

RwInt32 _rpWorldObjectsAttach() {
    if (RwEngineRegisterPlugin(sizeof(WorldObjModuleData), rwID_WORLDOBJMODULE, WorldObjOpen, WorldObjClose) <
        0)
        return -1;
    cameraOffset = RwCameraRegisterPlugin(sizeof(CameraWorldData), rwID_WORLDOBJMODULE, CameraConstruct,
                                          CameraDestruct, CameraCopy);
    atomicOffset = RpAtomicRegisterPlugin(sizeof(AtomicWorldData), rwID_WORLDOBJMODULE, AtomicConstruct,
                                          AtomicDestruct, nullptr);
    clumpOffset = RpClumpRegisterPlugin(sizeof(ClumpWorldData), rwID_WORLDOBJMODULE, ClumpConstruct,
                                        ClumpDestruct, ClumpCopy);
    lightOffset = RpLightRegisterPlugin(sizeof(LightWorldData), rwID_WORLDOBJMODULE, LightConstruct,
                                        LightDestruct, LightCopy);
    return cameraOffset < 0 || atomicOffset < 0 || clumpOffset < 0 || lightOffset < 0 ? -1 : 0;
}
