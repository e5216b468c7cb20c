// Atomics and clumps: an atomic draws one geometry placed by one frame; a clump groups a model's atomics,
// lights and cameras and owns its frame hierarchy. Also the clump stream.
#pragma once

#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/balight.h"

struct RwResourceEntry;
struct RwPipeline;
struct RwStream;

constexpr RwUInt32 rwID_CLUMPMODULE = 0x504;
constexpr RwUInt32 rwID_CLUMPLINKPLUGIN = 0x10;

enum RpAtomicFlag : RwUInt8 {
    rpATOMICCOLLISIONTEST = 0x01,
    rpATOMICRENDER = 0x04,
};

enum RpAtomicSetGeomFlag : RwUInt32 {
    rpATOMICSAMEBOUNDINGSPHERE = 0x01,
};

enum RpAtomicPrivateFlag : RwUInt8 {
    rpATOMICPRIVATEWORLDBOUNDDIRTY = 0x01,
};

enum RpInterpolatorFlag : RwInt32 {
    rpINTERPOLATORDIRTYINSTANCE = 0x01,
    rpINTERPOLATORDIRTYSPHERE = 0x02,
};

struct RpInterpolator {
    RwInt32 flags;
    RwInt16 startMorphTarget;
    RwInt16 endMorphTarget;
    RwReal time;
    RwReal recipTime;
    RwReal position;
};

struct RpAtomic;
struct RpClump;
typedef RpAtomic* (*RpAtomicCallBackRender)(RpAtomic* atomic);
typedef RpAtomic* (*RpAtomicCallBack)(RpAtomic* atomic, void* data);
typedef RpClump* (*RpClumpCallBack)(RpClump* clump, void* data);
typedef RpLight* (*RpLightCallBack)(RpLight* light, void* data);
typedef RwCamera* (*RwCameraCallBack)(RwCamera* camera, void* data);

struct RpAtomic {
    RwObjectHasFrame object; // type 1
    RwResourceEntry* repEntry;
    RpGeometry* geometry;         // holds one geometry reference
    RwSphere boundingSphere;      // in the frame's space
    RwSphere worldBoundingSphere; // cached
    RpClump* clump;
    RwLLLink inClumpLink;
    RpAtomicCallBackRender renderCallBack;
    RpInterpolator interpolator;
    RwLinkList llWorldSectorsInAtomic;
    RwPipeline* pipeline; // null: the default atomic pipeline
    RwUInt16 renderFrame; // last-rendered frame stamp; the world module starts it one behind the engine's
};

struct RpClump {
    RwObject object; // type 2; parent is the root of the model's frame hierarchy
    RwLinkList atomicList;
    RwLinkList lightList;
    RwLinkList cameraList;
    RwLLLink inWorldLink;
    RpClumpCallBack callback;
};

RpAtomic* RpAtomicCreate();
// Does not unlink the atomic from its clump: remove it from the clump first.
RwBool RpAtomicDestroy(RpAtomic* atomic);
RpAtomic* RpAtomicClone(RpAtomic* atomic);
RpAtomic* RpAtomicSetGeometry(RpAtomic* atomic, RpGeometry* geometry, RwUInt32 flags);
RpAtomic* RpAtomicSetFrame(RpAtomic* atomic, RwFrame* frame);
const RwSphere* RpAtomicGetWorldBoundingSphere(RpAtomic* atomic);
// The default render callback: the atomic's pipeline, else the default atomic pipeline.
RpAtomic* AtomicDefaultRenderCallBack(RpAtomic* atomic);
// The pipeline that atomics without one use; null until the world pipelines provide one.
void _rpAtomicSetDefaultPipeline(RwPipeline* pipeline);
RwPipeline* _rpAtomicGetDefaultPipeline();

inline RpGeometry* RpAtomicGetGeometry(const RpAtomic* atomic) {
    return atomic->geometry;
}
inline RwFrame* RpAtomicGetFrame(const RpAtomic* atomic) {
    return RwObjectGetFrame(&atomic->object);
}
inline RpClump* RpAtomicGetClump(const RpAtomic* atomic) {
    return atomic->clump;
}
inline RwUInt8 RpAtomicGetFlags(const RpAtomic* atomic) {
    return atomic->object.object.flags;
}
inline RpAtomic* RpAtomicSetFlags(RpAtomic* atomic, RwUInt8 flags) {
    atomic->object.object.flags = flags;
    return atomic;
}
inline const RwSphere* RpAtomicGetBoundingSphere(const RpAtomic* atomic) {
    return &atomic->boundingSphere;
}
inline RpAtomic* RpAtomicSetRenderCallBack(RpAtomic* atomic, RpAtomicCallBackRender callBack) {
    atomic->renderCallBack = callBack ? callBack : AtomicDefaultRenderCallBack;
    return atomic;
}
inline RpAtomic* RpAtomicRender(RpAtomic* atomic) {
    return atomic->renderCallBack(atomic);
}

RpClump* RpClumpCreate();
RwBool RpClumpDestroy(RpClump* clump);
RpClump* RpClumpClone(RpClump* clump);
RpClump* RpClumpAddAtomic(RpClump* clump, RpAtomic* atomic);
RpClump* RpClumpRemoveAtomic(RpClump* clump, RpAtomic* atomic);
RpClump* RpClumpAddLight(RpClump* clump, RpLight* light);
RpClump* RpClumpRemoveLight(RpClump* clump, RpLight* light);
RpClump* RpClumpAddCamera(RpClump* clump, RwCamera* camera);
RpClump* RpClumpRemoveCamera(RpClump* clump, RwCamera* camera);
// Walks from the list's head (newest first); the callback may unlink or destroy the object it is given; the
// walk stops at the first null result.
RpClump* RpClumpForAllAtomics(RpClump* clump, RpAtomicCallBack callBack, void* data);
RpClump* RpClumpForAllLights(RpClump* clump, RpLightCallBack callBack, void* data);
RpClump* RpClumpForAllCameras(RpClump* clump, RwCameraCallBack callBack, void* data);
RwInt32 RpClumpGetNumAtomics(RpClump* clump);
RwInt32 RpClumpGetNumLights(RpClump* clump);
RwInt32 RpClumpGetNumCameras(RpClump* clump);
// The clump that a light or camera belongs to, or null.
RpClump* RpLightGetClump(const RpLight* light);
RpClump* RwCameraGetClump(const RwCamera* camera);

inline RpClump* RpClumpSetFrame(RpClump* clump, RwFrame* frame) {
    clump->object.parent = frame;
    return clump;
}
inline RwFrame* RpClumpGetFrame(const RpClump* clump) {
    return static_cast<RwFrame*>(clump->object.parent);
}
inline RpClump* RpClumpSetCallBack(RpClump* clump, RpClumpCallBack callback) {
    clump->callback = callback;
    return clump;
}

RwInt32 RpAtomicRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                               RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpAtomicRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                     RwPluginDataChunkWriteCallBack writeCB,
                                     RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpAtomicSetStreamRightsCallBack(RwUInt32 pluginID, RwPluginDataChunkRightsCallBack rightsCB);
RwInt32 RpAtomicGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RpAtomicGetRegistry();
RwInt32 RpClumpRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpClumpRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpClumpGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RpClumpGetRegistry();

// The geometries of a clump stream, by index.
struct rpGeometryList {
    RpGeometry** geometries;
    RwInt32 numGeoms;
};

// Readers: the stream stands after the chunk's header (RwStreamFindChunk for rwID_CLUMP). On failure
// everything built so far is freed and the pending error says why.
RpClump* RpClumpStreamRead(RwStream* stream);
RpAtomic* RpAtomicStreamRead(RwStream* stream, const RwFrameList* frameList, const rpGeometryList* geomList);
// Writers of the whole chunk, header first; the sizes are those of the payload. Every atomic, light and
// camera must sit on a frame of the clump's hierarchy. The atomics, lights and cameras are written so that
// a read gives back the same list order.
RwUInt32 RpClumpStreamGetSize(RpClump* clump);
RpClump* RpClumpStreamWrite(RpClump* clump, RwStream* stream);

// Engine module 0x504 and the clump links of lights and cameras (registered by the world plugin).
RwInt32 _rpClumpModuleAttach();
RwInt32 _rpClumpLinkPluginsAttach();
