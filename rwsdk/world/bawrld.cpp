// World module: worlds, their sector trees and sector meshes, the default-pipeline slots and the world
// binary module.
#include "rwsdk/world/bawrld.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/baworobj.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct WorldRecord {
    RpWorld* world;
    RwUInt32 size;
    RwLLLink link;
};

struct WorldModuleData {
    RwFreeList* recordFreeList;
    RwLinkList worlds;
};

RwModuleInfo worldModule;
RwModuleInfo binWorldModule;
RwPluginRegistry worldTKList = {sizeof(RpWorld), sizeof(RpWorld), 0, nullptr, nullptr};
RwPluginRegistry sectorTKList = {sizeof(RpWorldSector), sizeof(RpWorldSector), 0, nullptr, nullptr};

constexpr RwUInt32 worldHint = rwMEMHINTDUR_EVENT | rwID_WORLD;
constexpr RwUInt32 sectorHint = rwMEMHINTDUR_EVENT | rwID_WORLDMODULE;

// The default-pipeline slots.
RwPipeline* currentSectorPipeline = nullptr;
RwPipeline* platformAtomicPipeline = nullptr;
RwPipeline* platformSectorPipeline = nullptr;
RpWorldPlatformPipelines platformMaker = {nullptr, nullptr};

WorldModuleData* WorldData() {
    return RWMODULEDATA(WorldModuleData, worldModule);
}

RpWorldSector* DefaultSectorRender(RpWorldSector* sector) {
    if (sector->numTriangles == 0)
        return sector;
    RwPipeline* pipeline = sector->pipeline;
    if (!pipeline) {
        const RpWorld* world = static_cast<const RpWorld*>(RWSRCGLOBAL(curWorld));
        pipeline = world && world->pipeline ? world->pipeline : currentSectorPipeline;
    }
    if (!pipeline)
        return sector;
    return RwPipelineExecute(pipeline, sector, TRUE) ? sector : nullptr;
}

template <class Visit> void ForAllLeaves(RpSector* root, Visit visit) {
    std::vector<RpSector*> stack;
    if (root)
        stack.push_back(root);
    while (!stack.empty()) {
        RpSector* sector = stack.back();
        stack.pop_back();
        if (sector->type < 0) {
            if (sector->type == rwSECTORATOMIC && !visit(reinterpret_cast<RpWorldSector*>(sector)))
                return;
            continue;
        }
        auto* plane = reinterpret_cast<RpPlaneSector*>(sector);
        stack.push_back(plane->rightSubTree);
        stack.push_back(plane->leftSubTree);
    }
}

void DeinitLeaf(RpWorldSector* sector) {
    if (sector->repEntry)
        RwResourcesFreeResourceEntry(sector->repEntry);
    sector->repEntry = nullptr;
    RwPluginRegistryDeInitObject(&sectorTKList, sector);
    if (sector->mesh)
        RpMeshHeaderDestroy(sector->mesh);
    sector->mesh = nullptr;
}

void FreeLeafArrays(RpWorldSector* sector) {
    RwFree(sector->triangles);
    RwFree(sector->vertices);
    RwFree(sector->normals);
    RwFree(sector->preLitLum);
    for (RwTexCoords*& set : sector->texCoords) {
        RwFree(set);
        set = nullptr;
    }
}

RpMeshHeader* BuildLeafMeshes(const RpWorld* world, RpWorldSector* sector) {
    RpBuildMesh* builder = RpBuildMeshCreate(sector->numTriangles);
    if (!builder)
        return nullptr;
    const RpMaterialList& list = world->matList;
    if (list.numMaterials > 0) {
        // Keyed by texture, raster and pipeline in order of first appearance, as geometries are.
        std::vector<const void*> textures, rasters, pipelines;
        auto keyOf = [](std::vector<const void*>& table, const void* value) {
            auto found = std::find(table.begin(), table.end(), value);
            if (found == table.end()) {
                table.push_back(value);
                return RwUInt16(table.size() - 1);
            }
            return RwUInt16(found - table.begin());
        };
        for (RwInt32 t = 0; t < sector->numTriangles; ++t) {
            const RpTriangle& tri = sector->triangles[t];
            const RwInt32 index = sector->matListWindowBase + tri.matIndex;
            RpMaterial* material = index < list.numMaterials ? list.materials[index] : nullptr;
            const RwUInt16 matIndex =
                material ? RwUInt16(RpMaterialListFindMaterialIndex(&list, material)) : 0xFFFF;
            const RwUInt16 texture = keyOf(textures, material ? material->texture : nullptr);
            const RwUInt16 raster =
                keyOf(rasters, material && material->texture ? material->texture->raster : nullptr);
            const RwUInt16 pipeline = keyOf(pipelines, material ? material->pipeline : nullptr);
            if (!RpBuildMeshAddTriangle(builder, material, tri.vertIndex[0], tri.vertIndex[1],
                                        tri.vertIndex[2], matIndex, texture, raster, pipeline)) {
                RpBuildMeshDestroy(builder);
                return nullptr;
            }
        }
    }
    return RpBuildMeshGenerateMeshHeader(builder, (world->flags & rpWORLDTRISTRIP) ? TRUE : FALSE);
}

void* DefaultPipelinesOpen(void* instance, RwInt32, RwInt32) {
    if (platformMaker.open && !platformMaker.open())
        return nullptr;
    return instance;
}

void* DefaultPipelinesClose(void* instance, RwInt32, RwInt32) {
    if (platformMaker.close)
        platformMaker.close();
    _rpWorldSetPlatformPipelines(nullptr, nullptr);
    return instance;
}

void* WorldOpen(void* instance, RwInt32 offset, RwInt32) {
    worldModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(WorldModuleData, instance, offset);
    data->recordFreeList =
        RwFreeListCreate(sizeof(WorldRecord), 8, 4, rwMEMHINTDUR_GLOBAL | rwID_WORLDMODULE);
    if (!data->recordFreeList)
        return nullptr;
    rwLinkListInitialize(&data->worlds);
    ++worldModule.numInstances;
    return instance;
}

void* WorldClose(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(WorldModuleData, instance, offset);
    // Worlds still alive are destroyed with the module.
    while (!rwLinkListEmpty(&data->worlds)) {
        RwLLLink* link = rwLinkListGetFirstLLLink(&data->worlds);
        RpWorldDestroy(
            reinterpret_cast<WorldRecord*>(reinterpret_cast<RwUInt8*>(link) - offsetof(WorldRecord, link))
                ->world);
    }
    if (data->recordFreeList)
        RwFreeListDestroy(data->recordFreeList);
    data->recordFreeList = nullptr;
    --worldModule.numInstances;
    return instance;
}

void* BinWorldOpen(void* instance, RwInt32, RwInt32) {
    ++binWorldModule.numInstances;
    return instance;
}

void* BinWorldClose(void* instance, RwInt32, RwInt32) {
    --binWorldModule.numInstances;
    return instance;
}

WorldRecord* RecordOf(RwLLLink* link) {
    return reinterpret_cast<WorldRecord*>(reinterpret_cast<RwUInt8*>(link) - offsetof(WorldRecord, link));
}

} // namespace

RpWorldSector* _rpWorldSectorCreateLeaf(const RwBBox* box) {
    auto* sector = static_cast<RpWorldSector*>(RwMalloc(size_t(sectorTKList.sizeOfStruct), sectorHint));
    if (!sector) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(sector), 0, size_t(sectorTKList.sizeOfStruct));
    sector->type = rwSECTORATOMIC;
    rwLinkListInitialize(&sector->collAtomicsInWorldSector);
    rwLinkListInitialize(&sector->lightsInWorldSector);
    sector->boundingBox = *box;
    sector->tightBoundingBox = *box;
    if (!RwPluginRegistryInitObject(&sectorTKList, sector)) {
        RwFree(sector);
        return nullptr;
    }
    return sector;
}

void _rpWorldSectorTreeDestroy(RpSector* root) {
    std::vector<RpSector*> stack;
    if (root)
        stack.push_back(root);
    while (!stack.empty()) {
        RpSector* sector = stack.back();
        stack.pop_back();
        if (sector->type >= 0) {
            auto* plane = reinterpret_cast<RpPlaneSector*>(sector);
            if (plane->leftSubTree)
                stack.push_back(plane->leftSubTree);
            if (plane->rightSubTree)
                stack.push_back(plane->rightSubTree);
        } else if (sector->type == rwSECTORATOMIC) {
            auto* leaf = reinterpret_cast<RpWorldSector*>(sector);
            _rpWorldSectorFreeTies(leaf);
            DeinitLeaf(leaf);
            FreeLeafArrays(leaf);
        }
        RwFree(sector);
    }
}

RpWorld* RpWorldCreate(RwBBox* boundingBox) {
    auto* world = static_cast<RpWorld*>(RwMalloc(size_t(worldTKList.sizeOfStruct), worldHint));
    if (!world) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(world), 0, size_t(worldTKList.sizeOfStruct));
    world->object.type = rwWORLD;
    world->renderOrder = rpWORLDRENDERBACK2FRONT;
    RpMaterialListInitialize(&world->matList);
    rwLinkListInitialize(&world->clumpList);
    rwLinkListInitialize(&world->lightList);
    rwLinkListInitialize(&world->directionalLightList);
    world->currentClumpLink = rwLinkListGetTerminator(&world->clumpList);
    world->boundingBox = *boundingBox;
    world->renderCallBack = DefaultSectorRender;
    RpWorldSector* root = _rpWorldSectorCreateLeaf(boundingBox);
    if (!root) {
        RwFree(world);
        return nullptr;
    }
    world->rootSector = reinterpret_cast<RpSector*>(root);
    world->numSectors = 1;
    auto* record = static_cast<WorldRecord*>(RwFreeListEntryAlloc(WorldData()->recordFreeList, worldHint));
    if (!record) {
        RwErrorSetCode(E_RW_NOMEM);
        _rpWorldSectorTreeDestroy(world->rootSector);
        RwFree(world);
        return nullptr;
    }
    record->world = world;
    record->size = RwUInt32(worldTKList.sizeOfStruct);
    rwLinkListAddLLLink(&WorldData()->worlds, &record->link);
    if (!RwPluginRegistryInitObject(&worldTKList, world) || !RpWorldBuildSectorMeshes(world)) {
        RpWorldDestroy(world);
        return nullptr;
    }
    return world;
}

RwBool RpWorldDestroy(RpWorld* world) {
    WorldModuleData* data = WorldData();
    for (RwLLLink* l = rwLinkListGetFirstLLLink(&data->worlds);
         l != rwLinkListGetTerminator(&data->worlds);) {
        RwLLLink* next = l->next;
        if (RecordOf(l)->world == world) {
            rwLLLinkRemove(l);
            RwFreeListEntryFree(data->recordFreeList, RecordOf(l));
        }
        l = next;
    }
    RpMaterialListDeinitialize(&world->matList);
    _rpWorldSectorTreeDestroy(world->rootSector);
    world->rootSector = nullptr;
    RwPluginRegistryDeInitObject(&worldTKList, world);
    RwFree(world);
    return TRUE;
}

RpWorld* RpWorldSectorGetWorld(const RpWorldSector* sector) {
    WorldModuleData* data = WorldData();
    for (RwLLLink* l = rwLinkListGetFirstLLLink(&data->worlds); l != rwLinkListGetTerminator(&data->worlds);
         l = l->next) {
        RpWorld* world = RecordOf(l)->world;
        bool found = false;
        ForAllLeaves(world->rootSector, [&](RpWorldSector* leaf) {
            found = leaf == sector;
            return !found;
        });
        if (found)
            return world;
    }
    return nullptr;
}

RpWorld* RpWorldBuildSectorMeshes(RpWorld* world) {
    bool ok = true;
    ForAllLeaves(world->rootSector, [&](RpWorldSector* leaf) {
        if (!leaf->mesh) {
            leaf->mesh = BuildLeafMeshes(world, leaf);
            ok = leaf->mesh != nullptr;
        }
        return ok;
    });
    return ok ? world : nullptr;
}

RpWorld* RpWorldForAllWorldSectors(RpWorld* world, RpWorldSectorCallBack callBack, void* data) {
    ForAllLeaves(world->rootSector, [&](RpWorldSector* leaf) { return callBack(leaf, data) != nullptr; });
    return world;
}

RpWorldSector* RpWorldSectorRender(RpWorldSector* sector) {
    RpWorld* world = RpWorldSectorGetWorld(sector);
    return world ? world->renderCallBack(sector) : DefaultSectorRender(sector);
}

RwInt32 RpWorldRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&worldTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpWorldRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&worldTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpWorldGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&worldTKList, pluginID);
}

RwInt32 RpWorldSectorRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                    RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&sectorTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpWorldSectorRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                          RwPluginDataChunkWriteCallBack writeCB,
                                          RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&sectorTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpWorldSectorGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&sectorTKList, pluginID);
}

void RpWorldSetDefaultAtomicPipeline(RwPipeline* pipeline) {
    _rpAtomicSetDefaultPipeline(pipeline ? pipeline : platformAtomicPipeline);
}

void RpWorldSetDefaultSectorPipeline(RwPipeline* pipeline) {
    currentSectorPipeline = pipeline ? pipeline : platformSectorPipeline;
}

RwPipeline* RpWorldGetDefaultSectorPipeline() {
    return currentSectorPipeline;
}

void _rpWorldSetPlatformPipelineMaker(const RpWorldPlatformPipelines* maker) {
    platformMaker = maker ? *maker : RpWorldPlatformPipelines{nullptr, nullptr};
}

void _rpWorldSetPlatformPipelines(RwPipeline* atomicPipeline, RwPipeline* sectorPipeline) {
    platformAtomicPipeline = atomicPipeline;
    platformSectorPipeline = sectorPipeline;
    RpWorldSetDefaultAtomicPipeline(nullptr);
    RpWorldSetDefaultSectorPipeline(nullptr);
}

RwInt32 _rpWorldDefaultPipelinesModuleAttach() {
    return RwEngineRegisterPlugin(0, rwID_DEFAULTPIPELINESMODULE, DefaultPipelinesOpen,
                                  DefaultPipelinesClose);
}

RwInt32 _rpWorldModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(WorldModuleData), rwID_WORLDMODULE, WorldOpen, WorldClose);
}

RwInt32 _rpWorldBinaryModuleAttach() {
    return RwEngineRegisterPlugin(0, rwID_BINWORLDMODULE, BinWorldOpen, BinWorldClose);
}
