// Cameras: view window, clip planes, projection, the view matrix and frustum kept in step with the
// camera's frame, and the camera chunk.
#pragma once

#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"

struct RwRaster;
struct RwStream;
struct RwFreeList;

enum RwCameraProjection : RwUInt32 {
    rwNACAMERAPROJECTION = 0,
    rwPERSPECTIVE = 1,
    rwPARALLEL = 2,
};

enum RwCameraClearMode : RwInt32 {
    rwCAMERACLEARIMAGE = 0x1,
    rwCAMERACLEARZ = 0x2,
    rwCAMERACLEARSTENCIL = 0x4,
};

enum RwFrustumTestResult : RwInt32 {
    rwSPHEREOUTSIDE = 0,
    rwSPHEREBOUNDARY = 1,
    rwSPHEREINSIDE = 2,
};

// A frustum plane, with 1 for each normal component at or above 0: the box corner to test first.
struct RwFrustumPlane {
    RwPlane plane;
    RwUInt8 closestX;
    RwUInt8 closestY;
    RwUInt8 closestZ;
    RwUInt8 pad;
};

struct RwCamera;
typedef RwCamera* (*RwCameraBeginUpdateFunc)(RwCamera* camera);
typedef RwCamera* (*RwCameraEndUpdateFunc)(RwCamera* camera);

// Plane 0 far, 1 near, then the sides: 2 towards +right, 3 towards -right, 4 towards +up, 5 towards -up.
enum RwFrustumPlaneIndex : RwInt32 {
    rwFRUSTUMPLANEFAR = 0,
    rwFRUSTUMPLANENEAR = 1,
    rwFRUSTUMPLANERIGHT = 2,
    rwFRUSTUMPLANELEFT = 3,
    rwFRUSTUMPLANETOP = 4,
    rwFRUSTUMPLANEBOTTOM = 5,
};

struct RwCamera {
    RwObjectHasFrame object; // type 4; the sync callback rebuilds the view matrix and frustum
    RwCameraProjection projectionType;
    RwCameraBeginUpdateFunc beginUpdate;
    RwCameraEndUpdateFunc endUpdate;
    RwMatrix viewMatrix;
    RwRaster* frameBuffer;
    RwRaster* zBuffer;
    RwV2d viewWindow; // half-width and half-height at distance 1
    RwV2d recipViewWindow;
    RwV2d viewOffset;
    RwReal nearPlane;
    RwReal farPlane;
    RwReal fogPlane;
    RwReal zScale;
    RwReal zShift;
    RwFrustumPlane frustumPlanes[6];
    RwV3d frustumCorners[8]; // near (+1,+1), (-1,+1), (-1,-1), (+1,-1), then the same on the far plane
    RwBBox frustumBoundBox;
};

// The cameras module's block in the engine instance.
struct RwCameraModuleData {
    RwFreeList* freeList;
};

// Registers the module with the engine (plugin id 0x405); the offset, or -1.
RwInt32 _rwCameraModuleAttach();
void* RwCameraModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwCameraModuleClose(void* instance, RwInt32 offset, RwInt32 size);

RwCamera* RwCameraCreate();
RwBool RwCameraDestroy(RwCamera* camera);
RwCamera* RwCameraBeginUpdate(RwCamera* camera);
RwCamera* RwCameraEndUpdate(RwCamera* camera);
RwCamera* RwCameraClear(RwCamera* camera, RwRGBA* colour, RwInt32 clearMode);
RwCamera* RwCameraShowRaster(RwCamera* camera, void* windowHandle, RwUInt32 flags);

RwCamera* RwCameraSetViewWindow(RwCamera* camera, const RwV2d* viewWindow);
RwCamera* RwCameraSetViewOffset(RwCamera* camera, const RwV2d* offset);
RwCamera* RwCameraSetNearClipPlane(RwCamera* camera, RwReal nearClip);
RwCamera* RwCameraSetFarClipPlane(RwCamera* camera, RwReal farClip);
RwCamera* RwCameraSetProjection(RwCamera* camera, RwCameraProjection projection);

RwFrustumTestResult RwCameraFrustumTestSphere(const RwCamera* camera, const RwSphere* sphere);

RwInt32 RwCameraRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                               RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RwCameraRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                     RwPluginDataChunkWriteCallBack writeCB,
                                     RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RwCameraGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RwCameraGetRegistry();

// Reads a camera chunk's payload (the stream stands after the camera chunk's header); no frame is set.
RwCamera* RwCameraStreamRead(RwStream* stream);
// The camera chunk, header first; the size is that of its payload.
RwUInt32 RwCameraStreamGetSize(const RwCamera* camera);
const RwCamera* RwCameraStreamWrite(const RwCamera* camera, RwStream* stream);

inline RwCamera* RwCameraSetFrame(RwCamera* camera, RwFrame* frame) {
    RwObjectSetFrame(&camera->object, frame);
    return camera;
}
inline RwFrame* RwCameraGetFrame(const RwCamera* camera) {
    return RwObjectGetFrame(&camera->object);
}
inline RwMatrix* RwCameraGetViewMatrix(RwCamera* camera) {
    return &camera->viewMatrix;
}
inline RwCamera* RwCameraSetRaster(RwCamera* camera, RwRaster* raster) {
    camera->frameBuffer = raster;
    return camera;
}
inline RwCamera* RwCameraSetZRaster(RwCamera* camera, RwRaster* raster) {
    camera->zBuffer = raster;
    return camera;
}
inline RwCamera* RwCameraSetFogDistance(RwCamera* camera, RwReal fogDistance) {
    camera->fogPlane = fogDistance;
    return camera;
}
