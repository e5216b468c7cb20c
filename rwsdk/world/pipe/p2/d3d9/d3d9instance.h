// Instancing of atomics and world sectors into Direct3D 9 buffers, the all-in-one nodes that draw them and
// the world pipelines made of those nodes.
#pragma once

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"

struct RpAtomic;
struct RpGeometry;
struct RpWorldSector;
struct RwNodeDefinition;
struct RwPipelineNode;

struct RpD3D9MeshInstance {
    RwUInt32 numIndex;
    RwUInt32 minVert;
    RpMaterial* material;
    RwBool vertexAlpha;
    void* vertexShader;
    RwInt32 baseIndex;
    RwUInt32 numVertices;
    RwUInt32 startIndex;
    RwUInt32 numPrimitives;
};

// Lives in the data of a resource entry and is followed by numMeshes mesh records.
struct RpD3D9InstanceData {
    RwUInt32 serialNumber;
    RwUInt32 numMeshes;
    void* indexBuffer;
    RwUInt32 primType;
    RwD3D9VertexStream vertexStream[2];
    RwBool useOffsets;
    void* vertexDeclaration;
    RwUInt32 totalNumIndex;
    RwUInt32 totalNumVertex;
};

inline RpD3D9MeshInstance* RpD3D9InstanceDataGetMeshes(RpD3D9InstanceData* header) {
    return reinterpret_cast<RpD3D9MeshInstance*>(header + 1);
}
inline RpD3D9InstanceData* RpD3D9ResourceEntryGetInstanceData(RwResourceEntry* entry) {
    return reinterpret_cast<RpD3D9InstanceData*>(entry + 1);
}

typedef RwBool (*RpD3D9AllInOneInstanceCallBack)(void* object, RpD3D9InstanceData* header, RwBool reinstance);
typedef RwBool (*RpD3D9AllInOneReinstanceCallBack)(void* object, RwResourceEntry* entry,
                                                   RpD3D9AllInOneInstanceCallBack instanceCallback);
typedef void (*RpD3D9AllInOneLightingCallBack)(void* object);
typedef void (*RpD3D9AllInOneRenderCallBack)(RwResourceEntry* entry, void* object, RwUInt8 type,
                                             RwUInt32 flags);

struct RpD3D9AllInOneCallbacks {
    RpD3D9AllInOneInstanceCallBack instance;
    RpD3D9AllInOneReinstanceCallBack reinstance;
    RpD3D9AllInOneLightingCallBack lighting;
    RpD3D9AllInOneRenderCallBack render;
};

// Writes the strip's triangles as a list, without degenerate ones; odd triangles are reversed so that all
// keep the strip's winding. Each index has bias subtracted. Returns the number of indices written.
RwUInt32 RpD3D9ConvertTriStripToTriList(RwUInt16* out, const RwUInt16* strip, RwUInt32 count, RwUInt16 bias);

// kind: 1 atomic, -1 world sector. Null on failure (nothing is left allocated).
RwResourceEntry* RpD3D9CreateInstanceData(void* object, void* owner, RwInt8 kind, RwResourceEntry** location,
                                          RpMeshHeader* meshHeader, RpD3D9AllInOneInstanceCallBack instanceCB,
                                          RwBool allocateOutside);
void RpD3D9DestroyInstanceData(RwResourceEntry* entry);
RwBool RpD3D9AtomicDefaultInstanceCallback(void* atomic, RpD3D9InstanceData* header, RwBool reinstance);
RwBool RpD3D9AtomicDefaultReinstanceCallback(void* atomic, RwResourceEntry* entry,
                                             RpD3D9AllInOneInstanceCallBack instanceCallback);
RwBool RpD3D9WorldSectorDefaultInstanceCallback(void* sector, RpD3D9InstanceData* header, RwBool reinstance);
void RpD3D9WorldSectorDefaultLightingCallback(void* sector);
void RpD3D9DefaultRenderCallback(RwResourceEntry* entry, void* object, RwUInt8 type, RwUInt32 flags);
void RpD3D9SetClippingForObject(void* object, RwInt32 kind);

// Vertex usage flags of geometries and sectors (plugin 0x50F).
RwBool RpD3D9UsagePluginAttach();
void RpD3D9GeometrySetUsageFlags(RpGeometry* geometry, RwUInt32 flags);
RwUInt32 RpD3D9GeometryGetUsageFlags(const RpGeometry* geometry);
void RpD3D9WorldSectorSetUsageFlags(RpWorldSector* sector, RwUInt32 flags);
RwUInt32 RpD3D9WorldSectorGetUsageFlags(const RpWorldSector* sector);

// Geometries with a dynamic stream, whose data a device reset loses.
void RpD3D9GeometryAddToRestoreList(RpGeometry* geometry);
void RpD3D9GeometryRemoveFromRestoreList(RpGeometry* geometry);
void RpD3D9DeviceRestoreCallback();

RwNodeDefinition* RpD3D9GetAtomicAllInOneNodeDefinition();
RwNodeDefinition* RpD3D9GetWorldSectorAllInOneNodeDefinition();
void RpD3D9AllInOneSetInstanceCallback(RwPipelineNode* node, RpD3D9AllInOneInstanceCallBack callback);
RpD3D9AllInOneInstanceCallBack RpD3D9AllInOneGetInstanceCallback(RwPipelineNode* node);
void RpD3D9AllInOneSetRenderCallback(RwPipelineNode* node, RpD3D9AllInOneRenderCallBack callback);

RwBool RpD3D9AtomicPipelineCreate();
RwBool RpD3D9WorldSectorPipelineCreate();
void RpD3D9AtomicPipelineDestroy();
void RpD3D9WorldSectorPipelineDestroy();
// Attaches the light and usage plugins and the device-restore hook; installs the pipelines' maker.
RwBool RpD3D9WorldPipelinesAttach();
