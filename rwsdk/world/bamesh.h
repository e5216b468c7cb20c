// Meshes: a geometry's triangles as one run of indices per material, kept in a mesh header; the mesh
// builder that sorts triangles into material groups and emits them as triangle lists or as one strip per
// material; the mesh extension that stores a header in the owner's stream.
#pragma once

#include "rwsdk/src/plcore/types.h"

#include <vector>

struct RpMaterial;
struct RpGeometry;
struct RwStream;

constexpr RwUInt32 rwID_MESHMODULE = 0x502;
constexpr RwUInt32 rwID_BINMESHPLUGIN = 0x50E;

enum RpMeshHeaderFlags : RwUInt32 {
    rpMESHHEADERTRILIST = 0x00,
    rpMESHHEADERTRISTRIP = 0x01,
    rpMESHHEADERTRIFAN = 0x02,
    rpMESHHEADERLINELIST = 0x04,
    rpMESHHEADERPOLYLINE = 0x08,
    rpMESHHEADERPOINTLIST = 0x10,
    rpMESHHEADERPRIMMASK = 0xFF,
};

typedef RwUInt16 RxVertexIndex;

struct RpMesh {
    RxVertexIndex* indices; // inside the header's allocation
    RwUInt32 numIndices;
    RpMaterial* material;
};

// One allocation: the header, its meshes, then the index data.
struct RpMeshHeader {
    RwUInt32 flags;
    RwUInt16 numMeshes;
    RwUInt16 serialNum;
    RwUInt32 totalIndicesInMesh;
    RwUInt32 firstMeshOffset; // 0: the meshes follow the header
};

inline RpMesh* RpMeshHeaderGetMeshes(RpMeshHeader* header) {
    return reinterpret_cast<RpMesh*>(header + 1);
}
inline const RpMesh* RpMeshHeaderGetMeshes(const RpMeshHeader* header) {
    return reinterpret_cast<const RpMesh*>(header + 1);
}

typedef RpMesh* (*RpMeshCallBack)(RpMesh* mesh, RpMeshHeader* header, void* data);

RpMeshHeader* RpMeshHeaderForAllMeshes(RpMeshHeader* header, RpMeshCallBack callBack, void* data);
RwBool RpMeshHeaderDestroy(RpMeshHeader* header);
// The header that stands for a geometry without triangles; destroying it frees nothing.
RpMeshHeader* RpMeshHeaderGetEmpty();

// Engine primitive type (1 line list .. 6 point list) of header flags, and back; 0 for unknown values.
RwInt32 RpMeshHeaderFlagsToPrimType(RwUInt32 flags);
RwUInt32 RpMeshPrimTypeToHeaderFlags(RwInt32 primType);

struct RpBuildMeshTriangle {
    RwUInt16 vertIndex[3];
    RpMaterial* material;
    RwUInt16 matIndex;
    RwUInt16 textureIndex;
    RwUInt16 rasterIndex;
    RwUInt16 pipelineIndex;
};

struct RpBuildMesh {
    RwUInt32 triangleBufferSize;
    RwUInt32 numTriangles;
    RpBuildMeshTriangle* meshTriangles;
};

RpBuildMesh* RpBuildMeshCreate(RwUInt32 bufferSize);
RwBool RpBuildMeshDestroy(RpBuildMesh* mesh);
RpBuildMesh* RpBuildMeshAddTriangle(RpBuildMesh* mesh, RpMaterial* material, RwInt32 vert1, RwInt32 vert2,
                                    RwInt32 vert3, RwUInt16 matIndex, RwUInt16 textureIndex,
                                    RwUInt16 rasterIndex, RwUInt16 pipelineIndex);
// Destroys the builder in every case.
RpMeshHeader* RpBuildMeshGenerateMeshHeader(RpBuildMesh* mesh, RwBool strip);

// The strip-building callback that RpBuildMeshGenerateMeshHeader calls for strips; null restores the
// default strip builder.
typedef RpMeshHeader* (*RpBuildMeshStripCallBack)(RpBuildMesh* mesh, void* data);
RwBool RpBuildMeshSetStripCallBack(RpBuildMeshStripCallBack callBack, void* data);
RpMeshHeader* RpBuildMeshGenerateDefaultTriStrip(RpBuildMesh* mesh, void* data);
RpMeshHeader* RpBuildMeshGenerateTriList(RpBuildMesh* mesh);

// The builder's triangle order: opaque before translucent, then raster, pipeline, texture and material
// index; negative when a comes first.
RwInt32 _rpBuildMeshCompareTriangles(const RpBuildMeshTriangle* a, const RpBuildMeshTriangle* b);
// The builder's triangles in that order; triangles that compare equal keep their order.
std::vector<RpBuildMeshTriangle*> _rpBuildMeshSortTriangles(RpBuildMesh* mesh);

// A header allocated for meshes and indices, with the next serial number; the meshes' fields are left
// for the caller. Null (no-memory error) on failure.
RpMeshHeader* _rpMeshHeaderCreate(RwUInt32 numMeshes, RwUInt32 numIndices);
// Bytes of room that holds a header for meshes and indices in another allocation.
size_t _rpMeshHeaderRoomSize(RwUInt32 numMeshes, RwUInt32 numIndices);
// Room (8-byte aligned) in the geometry's own allocation for the next mesh extension read for it, so that
// a geometry read from memory needs no allocation of its own for its meshes; null withdraws the offer. A
// header placed there goes with the geometry: destroying it frees nothing.
void _rpMeshGeometryOfferRoom(const RpGeometry* geometry, void* room, size_t size);

// Engine module 0x502 and the mesh extension on geometries (registered by the world plugin).
RwInt32 _rpMeshModuleAttach();
RwInt32 _rpMeshGeometryPluginAttach();
