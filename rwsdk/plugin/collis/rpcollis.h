// The collision plugin: optional collision trees on geometries and world sectors, kept through their
// streams, and intersection queries against atomics.
#pragma once

#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"

struct RpAtomic;
struct RpGeometry;
struct RpWorldSector;

constexpr RwUInt32 rwID_COLLISPLUGIN = 0x11D;
constexpr RwUInt32 rwID_COLLTREE = 0x2C;
// The first version whose collision data is a tree chunk; older data is converted while reading.
constexpr RwUInt32 rpCOLLISIONTREEVERSION = 0x36001;
constexpr RwReal rpCOLLISIONLINESLACK = 1e-5f;

enum RpCollisionError : RwInt32 {
    rpCOLLISIONERRORBADTREE = 1, // a tree that cannot be used: the object loads without it
};

enum RpCollisionDataFlag : RwUInt32 {
    rpCOLLISIONDATAMAP = 0x1, // the tree carries a triangle map
};

// A child of a tree node: another node, or a leaf of count triangles.
struct RpCollisionChildRef {
    RwUInt8 flags;   // bit 0 in the left reference; bits 2-3: the split axis x 4 (x 0, y 4, z 8)
    RwUInt8 content; // rpCOLLISIONCHILDNODE, or the leaf's triangle count
    RwUInt16 index;  // child node, or the leaf's first tree triangle
    RwReal value;    // left: its largest coordinate on the split axis; right: its smallest
};
constexpr RwUInt8 rpCOLLISIONCHILDNODE = 0xFF;

struct RpCollisionNode {
    RpCollisionChildRef left;
    RpCollisionChildRef right;
};
static_assert(sizeof(RpCollisionNode) == 16);

// One allocation: this header, the nodes (16-byte aligned), then the triangle map.
struct RpCollisionData {
    RwUInt32 flags;
    RwBBox box; // maximum corner, then minimum corner
    RwUInt16 numTriangles;
    RwUInt16 numNodes;
    RpCollisionNode* nodes; // null when there are none: the tree is one leaf of all its triangles
    RwUInt16* triangleMap;  // tree triangle -> geometry triangle; null without rpCOLLISIONDATAMAP
};

enum RpIntersectType : RwInt32 {
    rpINTERSECTNONE = 0,
    rpINTERSECTLINE = 1,
    rpINTERSECTPOINT = 2,
    rpINTERSECTSPHERE = 3,
    rpINTERSECTBOX = 4,
    rpINTERSECTATOMIC = 5,
};

struct RwLine {
    RwV3d start;
    RwV3d end;
};

union RpIntersectData {
    RwLine line;
    RwV3d point;
    RwSphere sphere;
    RwBBox box;
    void* object; // the atomic
};

struct RpIntersection {
    RpIntersectData t;
    RpIntersectType type;
};

struct RpCollisionTriangle {
    RwV3d normal;  // unit
    RwV3d point;   // the first vertex
    RwInt32 index; // in the geometry's triangles
    RwV3d* vertices[3];
};

// Non-null to go on, null to stop.
typedef RpCollisionTriangle* (*RpIntersectionCallBackGeometryTriangle)(RpIntersection* intersection,
                                                                       RpCollisionTriangle* triangle,
                                                                       RwReal distance, void* data);

RwBool RpCollisionPluginAttach();

// Reports every triangle of the atomic's geometry that the line, sphere or atomic's world bounding
// sphere hits, in the atomic's current morph. Line distances are fractions of the line; sphere
// distances the centre's height above the triangle's plane over the radius.
RpAtomic* RpCollisionAtomicForAllIntersections(RpAtomic* atomic, RpIntersection* intersection,
                                               RpIntersectionCallBackGeometryTriangle callBack, void* data);

// A new tree's allocation: header, nodes and map, zeroed; null with error 0x80000013.
RpCollisionData* RpCollisionDataCreate(RwInt32 numTriangles, RwInt32 numNodes, RwUInt32 flags);
void RpCollisionDataDestroy(RpCollisionData* data);
// True when every reference stays inside the tree and its triangles: node indices, leaves, the map
// against the object's triangle count, and a tree shape (each node reached once, children after parents).
RwBool RpCollisionDataIsValid(const RpCollisionData* data, RwInt32 numObjectTriangles);

RpCollisionData* RpCollisionGeometryGetData(const RpGeometry* geometry);
// The geometry takes the tree (freeing any it had); null removes it.
RpGeometry* RpCollisionGeometrySetData(RpGeometry* geometry, RpCollisionData* data);
RpCollisionData* RpCollisionWorldSectorGetData(const RpWorldSector* sector);
RpWorldSector* RpCollisionWorldSectorSetData(RpWorldSector* sector, RpCollisionData* data);
// Builds a tree over the geometry's triangles in morph target 0 by median splits (at most 65,535
// triangles); the geometry takes it. Null when it cannot be built.
RpGeometry* RpCollisionGeometryBuildData(RpGeometry* geometry);
