// The Direct3D 9 world pipelines: the atomic and sector all-in-one nodes, the default render callback,
// the vertex usage plugin, the restore list and the pipelines' set-up.
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/pipe/p2/pipeline.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bawrld.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9lights.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9vertexshader.h"

#include <d3d9.h>

#include <algorithm>
#include <vector>

namespace {

constexpr RwUInt32 rwID_D3D9USAGEPLUGIN = 0x50F;
constexpr RwUInt32 flagTextured = rpGEOMETRYTEXTURED | rpGEOMETRYTEXTURED2;

RwInt32 geometryUsageOffset = -1, sectorUsageOffset = -1;
RwInt32 usageOpens = 0;
std::vector<RpGeometry*> restoreList; // newest first
RwD3D9DeviceRestoreCallBack savedRestore = nullptr;
RwPipeline* atomicPipeline = nullptr;
RwPipeline* sectorPipeline = nullptr;

RpD3D9AllInOneCallbacks* CallbacksOf(RwPipelineNode* node) {
    return static_cast<RpD3D9AllInOneCallbacks*>(node->privateData);
}

// Node bodies ------------------------------------------------------------------------------------------

RwBool AtomicAllInOneNode(RwPipelineNode* self, const RwPipelineNodeParam* params) {
    auto* atomic = static_cast<RpAtomic*>(params->dataParam);
    RpGeometry* geometry = atomic->geometry;
    const RpD3D9AllInOneCallbacks* cb = CallbacksOf(self);
    if (!geometry || geometry->numVertices == 0 || !geometry->mesh || geometry->mesh->numMeshes == 0)
        return TRUE;
    const RwUInt32 flags = geometry->flags;
    const bool shared = geometry->numMorphTargets == 1;
    RwResourceEntry** location = shared ? &geometry->repEntry : &atomic->repEntry;
    void* owner = shared ? static_cast<void*>(geometry) : static_cast<void*>(atomic);
    if (!(flags & rpGEOMETRYNATIVE)) {
        RwResourceEntry* entry = *location;
        if (entry) {
            if (RpD3D9ResourceEntryGetInstanceData(entry)->serialNumber == geometry->mesh->serialNum) {
                if (geometry->lockedSinceLastInst || geometry->numMorphTargets != 1) {
                    if (cb->reinstance && !cb->reinstance(atomic, entry, cb->instance)) {
                        RwResourcesFreeResourceEntry(entry);
                        return FALSE;
                    }
                    atomic->interpolator.flags &= ~rpINTERPOLATORDIRTYINSTANCE;
                    geometry->lockedSinceLastInst = 0;
                }
                RwResourcesUseResourceEntry(entry);
            } else {
                RwResourcesFreeResourceEntry(entry);
                entry = nullptr;
            }
        }
        if (!entry) {
            if (!RpD3D9CreateInstanceData(atomic, owner, 1, location, geometry->mesh, cb->instance,
                                          (flags & rpWORLDNATIVEINSTANCE) ? TRUE : FALSE))
                return FALSE;
            geometry->lockedSinceLastInst = 0;
        }
    }
    if (flags & rpWORLDNATIVEINSTANCE)
        return TRUE;
    if (!*location)
        return TRUE;
    if (cb->lighting)
        cb->lighting(atomic);
    RwMatrix* matrix = RwFrameGetWorldMatrix(RpAtomicGetFrame(atomic));
    RwD3D9SetTransformWorld(matrix);
    RwUInt32 lighting = 0;
    RwD3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    bool normalize = false;
    if (lighting && !(matrix->flags & (rwMATRIXTYPENORMAL | rwMATRIXINTERNALIDENTITY))) {
        for (const RwV3d* axis : {&matrix->right, &matrix->up, &matrix->at}) {
            const RwReal l2 = axis->x * axis->x + axis->y * axis->y + axis->z * axis->z;
            if (l2 > 1.1f || l2 < 0.9f)
                normalize = true;
        }
    }
    RwD3D9SetRenderState(D3DRS_NORMALIZENORMALS, normalize ? TRUE : FALSE);
    if (cb->render)
        cb->render(*location, atomic, 1, flags);
    return TRUE;
}

RwBool SectorAllInOneNode(RwPipelineNode* self, const RwPipelineNodeParam* params) {
    auto* sector = static_cast<RpWorldSector*>(params->dataParam);
    const RpD3D9AllInOneCallbacks* cb = CallbacksOf(self);
    if (sector->numVertices == 0 || !sector->mesh || sector->mesh->numMeshes == 0)
        return TRUE;
    const auto* world = static_cast<const RpWorld*>(RWSRCGLOBAL(curWorld));
    const RwUInt32 flags = world ? world->flags : 0;
    if (!(flags & rpWORLDNATIVE)) {
        RwResourceEntry* entry = sector->repEntry;
        if (entry && RpD3D9ResourceEntryGetInstanceData(entry)->serialNumber == sector->mesh->serialNum) {
            RwResourcesUseResourceEntry(entry);
        } else {
            if (entry)
                RwResourcesFreeResourceEntry(entry);
            if (!RpD3D9CreateInstanceData(sector, sector, -1, &sector->repEntry, sector->mesh, cb->instance,
                                          (flags & rpWORLDNATIVEINSTANCE) ? TRUE : FALSE))
                return FALSE;
        }
    }
    if ((flags & rpWORLDNATIVEINSTANCE) || !sector->repEntry)
        return TRUE;
    if (cb->lighting)
        cb->lighting(sector);
    RwD3D9SetTransformWorld(nullptr);
    RwD3D9SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    if (cb->render)
        cb->render(sector->repEntry, sector, RwUInt8(-1), flags);
    return TRUE;
}

RwBool AtomicNodeInit(RwPipelineNode* node) {
    *CallbacksOf(node) = {RpD3D9AtomicDefaultInstanceCallback, RpD3D9AtomicDefaultReinstanceCallback,
                          RpD3D9AtomicDefaultLightingCallback, RpD3D9DefaultRenderCallback};
    return TRUE;
}

RwBool SectorNodeInit(RwPipelineNode* node) {
    *CallbacksOf(node) = {RpD3D9WorldSectorDefaultInstanceCallback, nullptr,
                          RpD3D9WorldSectorDefaultLightingCallback, RpD3D9DefaultRenderCallback};
    return TRUE;
}

RwNodeDefinition atomicNode = {"nodeD3D9AtomicAllInOne.csl",
                               {AtomicAllInOneNode, nullptr, nullptr, AtomicNodeInit, nullptr, nullptr},
                               {0, nullptr, nullptr, 0, nullptr},
                               sizeof(RpD3D9AllInOneCallbacks),
                               FALSE,
                               0};
RwNodeDefinition sectorNode = {"nodeD3D9WorldSectorAllInOne.csl",
                               {SectorAllInOneNode, nullptr, nullptr, SectorNodeInit, nullptr, nullptr},
                               {0, nullptr, nullptr, 0, nullptr},
                               sizeof(RpD3D9AllInOneCallbacks),
                               FALSE,
                               0};

// Rendering -------------------------------------------------------------------------------------------

void SetStageMode(RwUInt32 mode, RwUInt32 lastMode) {
    if (mode == 0) {
        _rwD3D9SetStageDiffuse();
    } else if (mode == 2) {
        RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        RwD3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        RwD3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    } else {
        if (lastMode == 0 || lastMode == 2 || lastMode == 0xFFFFFFFF)
            _rwD3D9SetStageModulate();
        if (mode == 3) {
            RwD3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
            RwD3D9SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
            RwD3D9SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
            RwD3D9SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            RwD3D9SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
            RwD3D9SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
        }
    }
    if (mode != 3 && lastMode == 3) {
        RwD3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        RwD3D9SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
}

void DrawMesh(const RpD3D9InstanceData* header, const RpD3D9MeshInstance& mesh) {
    RwD3D9SetVertexShader(mesh.vertexShader);
    RwD3D9RenderStateFlushCache();
    if (header->indexBuffer)
        RwD3D9DrawIndexedPrimitive(header->primType, mesh.baseIndex, 0, mesh.numVertices, mesh.startIndex,
                                   mesh.numPrimitives);
    else
        RwD3D9DrawPrimitive(header->primType, RwUInt32(mesh.baseIndex), mesh.numPrimitives);
}

bool ColorOpaqueWhite(const RwRGBA& c) {
    return c.red == 255 && c.green == 255 && c.blue == 255 && c.alpha == 255;
}

RwUInt32 ToD3DColor(const RwRGBA& c) {
    return (RwUInt32(c.alpha) << 24) | (RwUInt32(c.red) << 16) | (RwUInt32(c.green) << 8) | c.blue;
}

} // namespace

void RpD3D9SetClippingForObject(void* object, RwInt32 kind) {
    const RwCamera* camera = RWSRCGLOBAL(curCamera);
    RwBool inside = FALSE;
    if (camera) {
        if (kind == 1)
            inside = RwD3D9CameraIsSphereFullyInsideFrustum(
                camera, RpAtomicGetWorldBoundingSphere(static_cast<RpAtomic*>(object)));
        else
            inside = RwD3D9CameraIsBoundingBoxFullyInsideFrustum(
                camera, &static_cast<RpWorldSector*>(object)->boundingBox);
    }
    RwD3D9SetRenderState(D3DRS_CLIPPING, inside ? FALSE : TRUE);
}

void RpD3D9DefaultRenderCallback(RwResourceEntry* entry, void* object, RwUInt8 type, RwUInt32 flags) {
    RpD3D9InstanceData* header = RpD3D9ResourceEntryGetInstanceData(entry);
    RwD3D9SetPixelShader(nullptr);
    RpD3D9SetClippingForObject(object, type == 1 ? 1 : -1);
    if (header->indexBuffer)
        RwD3D9SetIndices(header->indexBuffer);
    RwD3D9SetStreams(header->vertexStream, header->useOffsets);
    RwD3D9SetVertexDeclaration(header->vertexDeclaration);
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(header);
    RwUInt32 lighting = 0;
    RwD3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    if (!lighting && !(flags & rpGEOMETRYPRELIT)) {
        // Neither lit nor prelit: a black silhouette, cut by the alpha of textures that have it.
        RwUInt32 dither = 0, shade = 0;
        RwD3D9GetRenderState(D3DRS_DITHERENABLE, &dither);
        RwD3D9GetRenderState(D3DRS_SHADEMODE, &shade);
        RwD3D9SetVertexAlphaEnable(FALSE);
        RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u);
        RwD3D9SetRenderState(D3DRS_DITHERENABLE, FALSE);
        RwD3D9SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
        RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        RwD3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        RwD3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
        RwD3D9SetTexture(nullptr, 0);
        bool bound = false, first = true;
        for (RwUInt32 m = 0; m < header->numMeshes; ++m) {
            RpMaterial* material = meshes[m].material;
            RwTexture* texture = material ? material->texture : nullptr;
            if ((flags & flagTextured) && texture && RwD3D9TextureHasAlpha(texture)) {
                RwD3D9SetTexture(texture, 0);
                if (first) {
                    RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
                    first = false;
                }
                bound = true;
            } else if (bound) {
                RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
                RwD3D9SetTexture(nullptr, 0);
                bound = false;
                first = true;
            }
            DrawMesh(header, meshes[m]);
        }
        RwD3D9SetRenderState(D3DRS_DITHERENABLE, dither);
        RwD3D9SetRenderState(D3DRS_SHADEMODE, shade);
        return;
    }
    RwBool vertexAlpha = RwD3D9IsVertexAlphaEnabled();
    RwUInt32 lastMode = 0xFFFFFFFF;
    for (RwUInt32 m = 0; m < header->numMeshes; ++m) {
        RpD3D9MeshInstance& mesh = meshes[m];
        RpMaterial* material = mesh.material;
        const RwRGBA color = material ? material->color : RwRGBA{255, 255, 255, 255};
        const RwBool wantAlpha = (color.alpha != 255 || mesh.vertexAlpha) ? TRUE : FALSE;
        if (wantAlpha != vertexAlpha) {
            RwD3D9SetVertexAlphaEnable(wantAlpha);
            vertexAlpha = wantAlpha;
        }
        RwUInt32 mode = 0;
        if (!lighting) {
            if ((flags & rpGEOMETRYMODULATEMATERIALCOLOR) && !ColorOpaqueWhite(color)) {
                mode = 2;
                RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, ToD3DColor(color));
            }
        } else if (material) {
            RwD3D9SetSurfaceProperties(&material->surfaceProps, &material->color, flags);
        }
        if (material && material->texture && (flags & flagTextured)) {
            RwD3D9SetTexture(material->texture, 0);
            mode |= 1;
        } else {
            RwD3D9SetTexture(nullptr, 0);
        }
        if (mode != lastMode) {
            SetStageMode(mode, lastMode);
            lastMode = mode;
        }
        DrawMesh(header, mesh);
    }
    if (lastMode == 3) {
        RwD3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        RwD3D9SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
}

void RpD3D9WorldSectorDefaultLightingCallback(void* object) {
    auto* sector = static_cast<RpWorldSector*>(object);
    const auto* world = static_cast<const RpWorld*>(RWSRCGLOBAL(curWorld));
    if (!world || !(world->flags & rpWORLDLIGHT)) {
        RpD3D9LightsEnable(FALSE);
        return;
    }
    RwBool found = RpD3D9LightsSetGlobal(rpLIGHTLIGHTWORLD);
    ++*_rpLightUpdateCounter();
    RwLinkList* lights = &sector->lightsInWorldSector;
    for (RwLLLink* l = rwLinkListGetFirstLLLink(lights); l != rwLinkListGetTerminator(lights); l = l->next) {
        // The tie record starts with its link in the sector's list; the light is its last field.
        auto* light = *reinterpret_cast<RpLight**>(reinterpret_cast<RwUInt8*>(l) + 2 * sizeof(RwLLLink) +
                                                   sizeof(RpWorldSector*));
        if ((RpLightGetFlags(light) & rpLIGHTLIGHTWORLD) && RpD3D9LightsSetLocal(light))
            found = TRUE;
    }
    RpD3D9LightsEnable(found);
}

// Usage plugin ----------------------------------------------------------------------------------------

namespace {

void* UsageConstruct(void* object, RwInt32 offset, RwInt32) {
    *reinterpret_cast<RwUInt32*>(static_cast<RwUInt8*>(object) + offset) = 0;
    return object;
}
void* UsageDestruct(void* object, RwInt32, RwInt32) {
    return object;
}
void* UsageCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    *reinterpret_cast<RwUInt32*>(static_cast<RwUInt8*>(dst) + offset) =
        *reinterpret_cast<const RwUInt32*>(static_cast<const RwUInt8*>(src) + offset);
    return dst;
}
void* UsageOpen(void* instance, RwInt32, RwInt32) {
    ++usageOpens;
    return instance;
}
void* UsageClose(void* instance, RwInt32, RwInt32) {
    --usageOpens;
    return instance;
}

RwBool PipelinesOpen() {
    if (!RpD3D9AtomicPipelineCreate())
        return FALSE;
    if (!RpD3D9WorldSectorPipelineCreate()) {
        RpD3D9AtomicPipelineDestroy();
        return FALSE;
    }
    return TRUE;
}

void PipelinesClose() {
    RpD3D9WorldSectorPipelineDestroy();
    RpD3D9AtomicPipelineDestroy();
}

RwPipeline* MakePipeline(RwNodeDefinition* node) {
    RwPipeline* pipeline = RwPipelineCreate();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = 2;
    RwUInt32 first = 0;
    if (!RwPipelineLock(pipeline) || !RwPipelineLockedAddFragment(pipeline, &first, node, nullptr) ||
        !RwPipelineUnlock(pipeline)) {
        RwPipelineDestroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

} // namespace

RwBool RpD3D9UsagePluginAttach() {
    if (RwEngineRegisterPlugin(0, rwID_D3D9USAGEPLUGIN, UsageOpen, UsageClose) < 0)
        return FALSE;
    geometryUsageOffset = RpGeometryRegisterPlugin(sizeof(RwUInt32), rwID_D3D9USAGEPLUGIN, UsageConstruct,
                                                   UsageDestruct, UsageCopy);
    sectorUsageOffset = RpWorldSectorRegisterPlugin(sizeof(RwUInt32), rwID_D3D9USAGEPLUGIN, UsageConstruct,
                                                    UsageDestruct, UsageCopy);
    return geometryUsageOffset >= 0 && sectorUsageOffset >= 0;
}

void RpD3D9GeometrySetUsageFlags(RpGeometry* geometry, RwUInt32 flags) {
    *reinterpret_cast<RwUInt32*>(reinterpret_cast<RwUInt8*>(geometry) + geometryUsageOffset) = flags;
}

RwUInt32 RpD3D9GeometryGetUsageFlags(const RpGeometry* geometry) {
    return geometryUsageOffset < 0 ? 0
                                   : *reinterpret_cast<const RwUInt32*>(
                                         reinterpret_cast<const RwUInt8*>(geometry) + geometryUsageOffset);
}

void RpD3D9WorldSectorSetUsageFlags(RpWorldSector* sector, RwUInt32 flags) {
    *reinterpret_cast<RwUInt32*>(reinterpret_cast<RwUInt8*>(sector) + sectorUsageOffset) = flags;
}

RwUInt32 RpD3D9WorldSectorGetUsageFlags(const RpWorldSector* sector) {
    return sectorUsageOffset < 0 ? 0
                                 : *reinterpret_cast<const RwUInt32*>(
                                       reinterpret_cast<const RwUInt8*>(sector) + sectorUsageOffset);
}

void RpD3D9GeometryAddToRestoreList(RpGeometry* geometry) {
    if (std::find(restoreList.begin(), restoreList.end(), geometry) == restoreList.end())
        restoreList.insert(restoreList.begin(), geometry);
}

void RpD3D9GeometryRemoveFromRestoreList(RpGeometry* geometry) {
    auto found = std::find(restoreList.begin(), restoreList.end(), geometry);
    if (found != restoreList.end())
        restoreList.erase(found);
}

void RpD3D9DeviceRestoreCallback() {
    if (savedRestore)
        savedRestore();
    for (RpGeometry* geometry : restoreList)
        geometry->lockedSinceLastInst = rpGEOMETRYLOCKALL;
}

RwNodeDefinition* RpD3D9GetAtomicAllInOneNodeDefinition() {
    return &atomicNode;
}

RwNodeDefinition* RpD3D9GetWorldSectorAllInOneNodeDefinition() {
    return &sectorNode;
}

void RpD3D9AllInOneSetInstanceCallback(RwPipelineNode* node, RpD3D9AllInOneInstanceCallBack callback) {
    CallbacksOf(node)->instance = callback;
}

RpD3D9AllInOneInstanceCallBack RpD3D9AllInOneGetInstanceCallback(RwPipelineNode* node) {
    return CallbacksOf(node)->instance;
}

void RpD3D9AllInOneSetRenderCallback(RwPipelineNode* node, RpD3D9AllInOneRenderCallBack callback) {
    CallbacksOf(node)->render = callback;
}

RwBool RpD3D9AtomicPipelineCreate() {
    atomicPipeline = MakePipeline(&atomicNode);
    if (!atomicPipeline)
        return FALSE;
    _rpWorldSetPlatformPipelines(atomicPipeline, sectorPipeline);
    RpD3D9LightsOpen();
    RpD3D9VertexShadersOpen();
    return TRUE;
}

RwBool RpD3D9WorldSectorPipelineCreate() {
    sectorPipeline = MakePipeline(&sectorNode);
    if (!sectorPipeline)
        return FALSE;
    _rpWorldSetPlatformPipelines(atomicPipeline, sectorPipeline);
    return TRUE;
}

void RpD3D9AtomicPipelineDestroy() {
    restoreList = {};
    RpD3D9VertexShadersClose();
    RpD3D9LightsClose();
    RwPipeline* pipeline = atomicPipeline;
    atomicPipeline = nullptr;
    _rpWorldSetPlatformPipelines(nullptr, sectorPipeline);
    if (pipeline)
        RwPipelineDestroy(pipeline);
}

void RpD3D9WorldSectorPipelineDestroy() {
    RwPipeline* pipeline = sectorPipeline;
    sectorPipeline = nullptr;
    _rpWorldSetPlatformPipelines(atomicPipeline, nullptr);
    if (pipeline)
        RwPipelineDestroy(pipeline);
}

RwBool RpD3D9WorldPipelinesAttach() {
    const RwBool ok = RpD3D9LightPluginAttach() && RpD3D9UsagePluginAttach();
    // A second engine in one process finds this callback still installed: chaining to itself would recurse.
    if (RwD3D9GetDeviceRestoreCallback() != RpD3D9DeviceRestoreCallback)
        savedRestore = RwD3D9GetDeviceRestoreCallback();
    RwD3D9SetDeviceRestoreCallback(RpD3D9DeviceRestoreCallback);
    static const RpWorldPlatformPipelines maker = {PipelinesOpen, PipelinesClose};
    _rpWorldSetPlatformPipelineMaker(&maker);
    return ok;
}
