// Worlds: the containers that clumps, lights and cameras are added to, with a tree of sectors that
// partitions the world's box, and the default-pipeline slots of atomics and sectors.
#pragma once

#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"

struct RwPipeline;
struct RwResourceEntry;

constexpr RwUInt32 rwID_WORLDMODULE = 0x507;
constexpr RwUInt32 rwID_WORLDOBJMODULE = 0x509;
constexpr RwUInt32 rwID_DEFAULTPIPELINESMODULE = 0x50A;
constexpr RwUInt32 rwID_BINWORLDMODULE = 0x50B;

enum RpWorldFlag : RwUInt32 {
    rpWORLDTRISTRIP = 0x01,
    rpWORLDTEXTURED = 0x04,
    rpWORLDPRELIT = 0x08,
    rpWORLDNORMALS = 0x10,
    rpWORLDLIGHT = 0x20,
    rpWORLDMODULATEMATERIALCOLOR = 0x40,
    rpWORLDTEXTURED2 = 0x80,
    rpWORLDNATIVE = 0x01000000,
    rpWORLDNATIVEINSTANCE = 0x02000000,
};

enum RpWorldRenderOrder : RwUInt32 {
    rpWORLDRENDERNARENDERORDER = 0,
    rpWORLDRENDERFRONT2BACK = 1,
    rpWORLDRENDERBACK2FRONT = 2,
};

// Sector types: >= 0 a plane sector (the axis as a byte offset into a vector), -1 a leaf, -2 a placeholder.
constexpr RwInt32 rwSECTORATOMIC = -1;
constexpr RwInt32 rwSECTORBUILD = -2;

struct RpSector {
    RwInt32 type;
};

struct RpPlaneSector {
    RwInt32 type; // 0 x, 4 y, 8 z
    RwReal value;
    RpSector* leftSubTree;
    RpSector* rightSubTree;
    RwReal leftValue;  // the left subtree reaches up to it
    RwReal rightValue; // the right subtree starts at it
};

// A normal in 1/128 steps.
struct RpVertexNormal {
    RwInt8 x, y, z;
    RwUInt8 pad;
};

struct RpWorldSector {
    RwInt32 type;          // -1
    RpTriangle* triangles; // material indices relative to matListWindowBase
    RwV3d* vertices;
    RpVertexNormal* normals;
    RwTexCoords* texCoords[rwMAXTEXTURECOORDS];
    RwRGBA* preLitLum;
    RwResourceEntry* repEntry;
    RwLinkList collAtomicsInWorldSector; // ties of atomics
    RwLinkList lightsInWorldSector;      // ties of local lights
    RwBBox boundingBox;
    RwBBox tightBoundingBox;
    RpMeshHeader* mesh;
    RwPipeline* pipeline;
    RwUInt16 matListWindowBase;
    RwUInt16 numVertices;
    RwUInt16 numTriangles;
    RwUInt16 pad;
};

struct RpWorld;
typedef RpWorldSector* (*RpWorldSectorCallBackRender)(RpWorldSector* sector);
typedef RpWorldSector* (*RpWorldSectorCallBack)(RpWorldSector* sector, void* data);

struct RpWorld {
    RwObject object; // type 7; privateFlags 0x01: world and sectors in one block
    RwUInt32 flags;
    RpWorldRenderOrder renderOrder;
    RpMaterialList matList;
    RpSector* rootSector;
    RwInt32 numClumpsInWorld;
    RwLLLink* currentClumpLink;
    RwLinkList clumpList;
    RwLinkList lightList;            // local lights (type 128 and above)
    RwLinkList directionalLightList; // the other lights
    RwInt32 numSectors;
    RwInt32 numTriangles;
    RwInt32 numVertices;
    RwBBox boundingBox;
    RpWorldSectorCallBackRender renderCallBack;
    RwPipeline* pipeline; // null: the default sector pipeline
};

// The box is stored as given, in both the world and the root leaf.
RpWorld* RpWorldCreate(RwBBox* boundingBox);
RwBool RpWorldDestroy(RpWorld* world);
RpWorld* RpWorldSectorGetWorld(const RpWorldSector* sector);
// A mesh header for every leaf that has none.
RpWorld* RpWorldBuildSectorMeshes(RpWorld* world);
RpWorld* RpWorldForAllWorldSectors(RpWorld* world, RpWorldSectorCallBack callBack, void* data);
RpWorldSector* RpWorldSectorRender(RpWorldSector* sector);
// Frees a sector tree built by hand (planes, leaves and placeholders), as the world's destruction does.
void _rpWorldSectorTreeDestroy(RpSector* root);
// A leaf with empty tie lists and both boxes = box; the sector plugin constructors are run. Null on failure.
RpWorldSector* _rpWorldSectorCreateLeaf(const RwBBox* box);

inline RwUInt32 RpWorldGetFlags(const RpWorld* world) {
    return world->flags;
}
inline RpWorld* RpWorldSetFlags(RpWorld* world, RwUInt32 flags) {
    world->flags = flags;
    return world;
}
inline RpWorldRenderOrder RpWorldGetRenderOrder(const RpWorld* world) {
    return world->renderOrder;
}
inline RpWorld* RpWorldSetRenderOrder(RpWorld* world, RpWorldRenderOrder order) {
    world->renderOrder = order;
    return world;
}
inline const RwBBox* RpWorldGetBBox(const RpWorld* world) {
    return &world->boundingBox;
}
inline RwInt32 RpWorldGetNumClumps(const RpWorld* world) {
    return world->numClumpsInWorld;
}

RwInt32 RpWorldRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpWorldRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpWorldGetPluginOffset(RwUInt32 pluginID);
RwInt32 RpWorldSectorRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                    RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpWorldSectorRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                          RwPluginDataChunkWriteCallBack writeCB,
                                          RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpWorldSectorGetPluginOffset(RwUInt32 pluginID);

// The pipelines that atomics (sectors) without one use; null restores the platform's own.
void RpWorldSetDefaultAtomicPipeline(RwPipeline* pipeline);
void RpWorldSetDefaultSectorPipeline(RwPipeline* pipeline);
RwPipeline* RpWorldGetDefaultSectorPipeline();
// The platform pipelines, made when the default-pipelines module opens (a driver installs the maker).
struct RpWorldPlatformPipelines {
    RwBool (*open)();
    void (*close)();
};
void _rpWorldSetPlatformPipelineMaker(const RpWorldPlatformPipelines* maker);
void _rpWorldSetPlatformPipelines(RwPipeline* atomicPipeline, RwPipeline* sectorPipeline);

// Engine modules 0x50A, 0x507 and 0x50B (registered by the world plugin).
RwInt32 _rpWorldDefaultPipelinesModuleAttach();
RwInt32 _rpWorldModuleAttach();
RwInt32 _rpWorldBinaryModuleAttach();
