// Geometry: the shape that atomics draw. Vertex data, triangles with their materials, morph targets, the
// material list, the mesh header and the device's instance data; reference counted and shared between
// atomics.
#pragma once

#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"

struct RwResourceEntry;
struct RwStream;

constexpr RwUInt32 rwID_GEOMETRYMODULE = 0x503;
constexpr RwInt32 rwMAXTEXTURECOORDS = 8;

enum RpGeometryFlag : RwUInt32 {
    rpGEOMETRYTRISTRIP = 0x00000001,
    rpGEOMETRYPOSITIONS = 0x00000002,
    rpGEOMETRYTEXTURED = 0x00000004,
    rpGEOMETRYPRELIT = 0x00000008,
    rpGEOMETRYNORMALS = 0x00000010,
    rpGEOMETRYLIGHT = 0x00000020,
    rpGEOMETRYMODULATEMATERIALCOLOR = 0x00000040,
    rpGEOMETRYTEXTURED2 = 0x00000080,
    rpGEOMETRYNATIVE = 0x01000000,
};
// The number of texture coordinate sets in bits 16-23 of the creation flags.
constexpr RwUInt32 rpGEOMETRYTEXCOORDSETS(RwUInt32 count) {
    return (count & 0xFF) << 16;
}

enum RpGeometryLockMode : RwUInt16 {
    rpGEOMETRYLOCKPOLYGONS = 0x0001,
    rpGEOMETRYLOCKVERTICES = 0x0002,
    rpGEOMETRYLOCKNORMALS = 0x0004,
    rpGEOMETRYLOCKPRELIGHT = 0x0008,
    rpGEOMETRYLOCKTEXCOORDS = 0x0010,
    rpGEOMETRYLOCKALL = 0x0FFF,
};

struct RpTriangle {
    RwUInt16 vertIndex[3];
    RwUInt16 matIndex; // 0xFFFF: no material
};

struct RwTexCoords {
    RwReal u;
    RwReal v;
};

struct RpGeometry;

struct RpMorphTarget {
    RpGeometry* parentGeom;
    RwSphere boundingSphere;
    RwV3d* verts;
    RwV3d* normals; // only with rpGEOMETRYNORMALS
};

struct RpGeometry {
    RwObject object; // type 8
    RwUInt32 flags;
    RwUInt16 lockedSinceLastInst;
    RwInt16 refCount;
    RwInt32 numTriangles;
    RwInt32 numVertices;
    RwInt32 numMorphTargets;
    RwInt32 numTexCoordSets;
    RpMaterialList matList;
    RpTriangle* triangles;
    RwRGBA* preLitLum;
    RwTexCoords* texCoords[rwMAXTEXTURECOORDS];
    RpMeshHeader* mesh;
    RwResourceEntry* repEntry;
    RpMorphTarget* morphTarget;
};

typedef RpGeometry* (*RpGeometryCallBack)(RpGeometry* geometry, void* data);

RpGeometry* RpGeometryCreate(RwInt32 numVerts, RwInt32 numTriangles, RwUInt32 format);
// Drops one reference; the last frees the geometry.
RwBool RpGeometryDestroy(RpGeometry* geometry);
RwInt32 RpGeometryAddMorphTargets(RpGeometry* geometry, RwInt32 count);
inline RwInt32 RpGeometryAddMorphTarget(RpGeometry* geometry) {
    return RpGeometryAddMorphTargets(geometry, 1);
}
inline void RpGeometryAddReference(RpGeometry* geometry) {
    ++geometry->refCount;
}
RpGeometry* RpGeometryLock(RpGeometry* geometry, RwUInt16 lockMode);
// Clears the lock flags and builds the mesh header again when the triangles were locked.
RpGeometry* RpGeometryUnlock(RpGeometry* geometry);
RpGeometry* RpGeometryTriangleSetVertexIndices(RpGeometry* geometry, RpTriangle* triangle, RwUInt16 vert1,
                                               RwUInt16 vert2, RwUInt16 vert3);
RpGeometry* RpGeometryTriangleSetMaterial(RpGeometry* geometry, RpTriangle* triangle, RpMaterial* material);
RpGeometry* RpGeometryForAllMaterials(RpGeometry* geometry, RpMaterialCallBack callBack, void* data);
RpGeometry* RpGeometryBuildMeshes(RpGeometry* geometry);
RpMorphTarget* RpMorphTargetCalculateBoundingSphere(RpMorphTarget* morphTarget, RwSphere* sphere);

inline RwInt32 RpGeometryGetNumTriangles(const RpGeometry* geometry) {
    return geometry->numTriangles;
}
inline RwInt32 RpGeometryGetNumVertices(const RpGeometry* geometry) {
    return geometry->numVertices;
}
inline RwInt32 RpGeometryGetNumMorphTargets(const RpGeometry* geometry) {
    return geometry->numMorphTargets;
}
inline RwInt32 RpGeometryGetNumTexCoordSets(const RpGeometry* geometry) {
    return geometry->numTexCoordSets;
}
inline RwUInt32 RpGeometryGetFlags(const RpGeometry* geometry) {
    return geometry->flags;
}
inline RpTriangle* RpGeometryGetTriangles(RpGeometry* geometry) {
    return geometry->triangles;
}
inline RwRGBA* RpGeometryGetPreLightColors(RpGeometry* geometry) {
    return geometry->preLitLum;
}
// Set 1 is the first.
inline RwTexCoords* RpGeometryGetVertexTexCoords(RpGeometry* geometry, RwInt32 set) {
    return set >= 1 && set <= rwMAXTEXTURECOORDS ? geometry->texCoords[set - 1] : nullptr;
}
inline RpMorphTarget* RpGeometryGetMorphTarget(RpGeometry* geometry, RwInt32 index) {
    return geometry->morphTarget + index;
}
inline RwInt32 RpGeometryGetNumMaterials(const RpGeometry* geometry) {
    return geometry->matList.numMaterials;
}
inline RpMaterial* RpGeometryGetMaterial(const RpGeometry* geometry, RwInt32 index) {
    return geometry->matList.materials[index];
}
inline RpMeshHeader* RpGeometryGetMesh(RpGeometry* geometry) {
    return geometry->mesh;
}
inline RwV3d* RpMorphTargetGetVertices(RpMorphTarget* morphTarget) {
    return morphTarget->verts;
}
inline RwV3d* RpMorphTargetGetVertexNormals(RpMorphTarget* morphTarget) {
    return morphTarget->normals;
}
inline RpMorphTarget* RpMorphTargetSetBoundingSphere(RpMorphTarget* morphTarget, const RwSphere* sphere) {
    morphTarget->boundingSphere = *sphere;
    return morphTarget;
}

RwInt32 RpGeometryRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                 RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpGeometryRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                       RwPluginDataChunkWriteCallBack writeCB,
                                       RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpGeometryGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RpGeometryGetRegistry();

// The stream stands after the geometry chunk's header.
RpGeometry* RpGeometryStreamRead(RwStream* stream);
RwUInt32 RpGeometryStreamGetSize(const RpGeometry* geometry);
const RpGeometry* RpGeometryStreamWrite(const RpGeometry* geometry, RwStream* stream);

// The geometries of one model read from memory share one allocation, which goes with the last of them:
// the bytes that count geometry chunks (from the first one's header) will take, 0 where that cannot be
// told; a block of that size offered to the geometries read next (each that does not fit asks for its
// own); and the end of the offer.
size_t _rpGeometryListRoomSize(const RwUInt8* bytes, RwUInt32 left, RwInt32 count);
void _rpGeometryOfferBlock(size_t size);
void _rpGeometryWithdrawBlock();

// Engine module 0x503 (registered by the world plugin).
RwInt32 _rpGeometryModuleAttach();
