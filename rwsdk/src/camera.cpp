// Cameras module: creation, settings, the frustum rebuilt from the frame, sphere tests and camera chunks.
#include "rwsdk/src/camera.h"
#include "rwsdk/src/baraster.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cstring>

namespace {

RwModuleInfo cameraModule;
RwPluginRegistry cameraTKList = {sizeof(RwCamera), sizeof(RwCamera), 0, nullptr, nullptr};

constexpr RwUInt32 cameraHint = rwMEMHINTDUR_EVENT | rwID_CAMERAMODULE;
constexpr RwUInt32 cameraListHint = rwMEMHINTDUR_GLOBAL | rwID_CAMERAMODULE;
constexpr RwUInt32 cameraPayloadSize = 32;

RwCameraModuleData* CameraData() {
    return RWMODULEDATA(RwCameraModuleData, cameraModule);
}

RwReal Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// z scale and shift map the near distance to just above the device's z near value and the far distance
// to just below its z far value.
void UpdateZScaleShift(RwCamera* camera) {
    const RwReal zNear = RWSRCGLOBAL(dOpenDevice).zBufferNear;
    const RwReal zFar = RWSRCGLOBAL(dOpenDevice).zBufferFar;
    const RwReal epsilon = (zFar - zNear) * 0.0001f;
    const RwReal nearZ = zNear + epsilon;
    const RwReal farZ = zFar - epsilon;
    RwReal a, b;
    if (camera->projectionType == rwPARALLEL) {
        a = camera->farPlane;
        b = camera->nearPlane;
    } else {
        a = 1.0f / camera->farPlane;
        b = 1.0f / camera->nearPlane;
    }
    camera->zScale = (farZ - nearZ) / (a - b);
    camera->zShift = ((farZ + nearZ) - (b + a) * camera->zScale) * 0.5f;
}

void RecordChange(RwCamera* camera) {
    if (RwFrame* frame = RwCameraGetFrame(camera))
        RwFrameUpdateObjects(frame);
}

void BuildViewMatrix(RwCamera* camera, const RwMatrix* world) {
    const RwV3d& r = world->right;
    const RwV3d& u = world->up;
    const RwV3d& a = world->at;
    const RwV3d& p = world->pos;
    const RwReal ax = -0.5f / camera->viewWindow.x;
    const RwReal ay = -0.5f / camera->viewWindow.y;
    const RwReal ox = camera->viewOffset.x;
    const RwReal oy = camera->viewOffset.y;
    RwReal kx, ky;
    if (camera->projectionType == rwPARALLEL) {
        kx = -(ox * ax);
        ky = oy * ay;
    } else {
        kx = 0.5f - ox * ax;
        ky = 0.5f + oy * ay;
    }
    const RwV3d column0{ax * r.x + kx * a.x, ax * r.y + kx * a.y, ax * r.z + kx * a.z};
    const RwV3d column1{ay * u.x + ky * a.x, ay * u.y + ky * a.y, ay * u.z + ky * a.z};
    RwMatrix& view = camera->viewMatrix;
    view.right = {column0.x, column1.x, a.x};
    view.up = {column0.y, column1.y, a.y};
    view.at = {column0.z, column1.z, a.z};
    view.pos = {0.5f - (Dot(p, column0) + kx), 0.5f - (Dot(p, column1) + ky), -Dot(p, a)};
    RwMatrixOptimize(&view, nullptr);
}

void BuildCorners(RwCamera* camera, const RwMatrix* world) {
    static const RwReal signs[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    const RwReal wx = camera->viewWindow.x, wy = camera->viewWindow.y;
    const RwReal ox = camera->viewOffset.x, oy = camera->viewOffset.y;
    const bool parallel = camera->projectionType == rwPARALLEL;
    RwV3d local[8];
    for (int plane = 0; plane < 2; ++plane) {
        const RwReal d = plane == 0 ? camera->nearPlane : camera->farPlane;
        const RwReal spread = parallel ? 1.0f : d;
        for (int i = 0; i < 4; ++i)
            local[plane * 4 + i] = {(1.0f - d) * -ox + signs[i][0] * spread * wx,
                                    (1.0f - d) * oy + signs[i][1] * spread * wy, d};
    }
    if (parallel) {
        RwVector3TransformPoints(camera->frustumCorners, local, 8, world);
        return;
    }
    for (int i = 0; i < 8; ++i) {
        const RwV3d& c = local[i];
        camera->frustumCorners[i] = {
            c.x * world->right.x + c.y * world->up.x + c.z * world->at.x + world->pos.x,
            c.x * world->right.y + c.y * world->up.y + c.z * world->at.y + world->pos.y,
            c.x * world->right.z + c.y * world->up.z + c.z * world->at.z + world->pos.z};
    }
}

void SetPlane(RwFrustumPlane* plane, const RwV3d& normal, RwReal distance) {
    plane->plane.normal = normal;
    plane->plane.distance = distance;
    plane->closestX = normal.x >= 0.0f;
    plane->closestY = normal.y >= 0.0f;
    plane->closestZ = normal.z >= 0.0f;
    plane->pad = 0;
}

void BuildPlanes(RwCamera* camera, const RwMatrix* world) {
    const RwV3d* c = camera->frustumCorners;
    const RwV3d& at = world->at;
    SetPlane(&camera->frustumPlanes[rwFRUSTUMPLANEFAR], at, Dot(at, c[4]));
    const RwV3d back{-at.x, -at.y, -at.z};
    SetPlane(&camera->frustumPlanes[rwFRUSTUMPLANENEAR], back, Dot(back, c[0]));

    RwV3d centre{0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 8; ++i)
        centre = {centre.x + c[i].x * 0.125f, centre.y + c[i].y * 0.125f, centre.z + c[i].z * 0.125f};
    // Each side through two near corners and the far corners behind them.
    static const int sides[4][2] = {{0, 3}, {1, 2}, {0, 1}, {2, 3}};
    for (int s = 0; s < 4; ++s) {
        const RwV3d& nearA = c[sides[s][0]];
        const RwV3d& farA = c[sides[s][0] + 4];
        const RwV3d& farB = c[sides[s][1] + 4];
        const RwV3d cross = Cross(Sub(farA, nearA), Sub(farB, farA));
        RwV3d normal;
        RwVector3Normalize(&normal, &cross);
        if (Dot(normal, centre) - Dot(normal, nearA) > 0.0f)
            normal = {-normal.x, -normal.y, -normal.z}; // out of the frustum
        SetPlane(&camera->frustumPlanes[rwFRUSTUMPLANERIGHT + s], normal, Dot(normal, nearA));
    }
}

RwObjectHasFrame* CameraSync(RwObjectHasFrame* object) {
    auto* camera = reinterpret_cast<RwCamera*>(object);
    // The synchronisation has brought the world matrix up to date before it calls here.
    const RwMatrix* world = &RwCameraGetFrame(camera)->ltm;
    BuildViewMatrix(camera, world);
    BuildCorners(camera, world);
    BuildPlanes(camera, world);
    RwBoundingBoxCalculate(&camera->frustumBoundBox, camera->frustumCorners, 8);
    return object;
}

RwCamera* DefaultBeginUpdate(RwCamera* camera) {
    RwCamera* previous = RWSRCGLOBAL(curCamera);
    RWSRCGLOBAL(curCamera) = camera;
    RwFrameSyncDirty();
    if (!RWSRCGLOBAL(stdFunc)[rwSTANDARDCAMERABEGINUPDATE](nullptr, camera, 0)) {
        RWSRCGLOBAL(curCamera) = previous;
        return nullptr;
    }
    return camera;
}

RwCamera* DefaultEndUpdate(RwCamera* camera) {
    if (!RWSRCGLOBAL(stdFunc)[rwSTANDARDCAMERAENDUPDATE](nullptr, camera, 0))
        return nullptr;
    RWSRCGLOBAL(curCamera) = nullptr;
    return camera;
}

} // namespace

RwInt32 _rwCameraModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwCameraModuleData), rwID_CAMERAMODULE, RwCameraModuleOpen,
                                  RwCameraModuleClose);
}

void* RwCameraModuleOpen(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    cameraModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(RwCameraModuleData, instance, offset);
    data->freeList = RwFreeListCreate(cameraTKList.sizeOfStruct, 8, 16, cameraListHint);
    if (!data->freeList)
        return nullptr;
    ++cameraModule.numInstances;
    return instance;
}

void* RwCameraModuleClose(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    auto* data = RWPLUGINOFFSET(RwCameraModuleData, instance, offset);
    if (data->freeList)
        RwFreeListDestroy(data->freeList);
    data->freeList = nullptr;
    --cameraModule.numInstances;
    return instance;
}

RwCamera* RwCameraCreate() {
    auto* camera = static_cast<RwCamera*>(RwFreeListEntryAlloc(CameraData()->freeList, cameraHint));
    if (!camera) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(camera), 0, sizeof(RwCamera));
    camera->object.object.type = rwCAMERA;
    camera->object.sync = CameraSync;
    camera->projectionType = rwPERSPECTIVE;
    camera->beginUpdate = DefaultBeginUpdate;
    camera->endUpdate = DefaultEndUpdate;
    camera->viewWindow = {1.0f, 1.0f};
    camera->recipViewWindow = {1.0f, 1.0f};
    camera->viewOffset = {0.0f, 0.0f};
    camera->nearPlane = 0.05f;
    camera->farPlane = 10.0f;
    camera->fogPlane = 5.0f;
    camera->viewMatrix.flags = 0;
    UpdateZScaleShift(camera);
    if (!RwPluginRegistryInitObject(&cameraTKList, camera)) {
        RwFreeListEntryFree(CameraData()->freeList, camera);
        return nullptr;
    }
    return camera;
}

RwBool RwCameraDestroy(RwCamera* camera) {
    RwPluginRegistryDeInitObject(&cameraTKList, camera);
    RwObjectReleaseFrame(&camera->object);
    RwFreeListEntryFree(CameraData()->freeList, camera);
    return TRUE;
}

RwCamera* RwCameraBeginUpdate(RwCamera* camera) {
    return camera->beginUpdate(camera);
}

RwCamera* RwCameraEndUpdate(RwCamera* camera) {
    return camera->endUpdate(camera);
}

RwCamera* RwCameraClear(RwCamera* camera, RwRGBA* colour, RwInt32 clearMode) {
    return RWSRCGLOBAL(stdFunc)[rwSTANDARDCAMERACLEAR](camera, colour, clearMode) ? camera : nullptr;
}

RwCamera* RwCameraShowRaster(RwCamera* camera, void* windowHandle, RwUInt32 flags) {
    return RwRasterShowRaster(camera->frameBuffer, windowHandle, flags) ? camera : nullptr;
}

RwCamera* RwCameraSetViewWindow(RwCamera* camera, const RwV2d* viewWindow) {
    camera->viewWindow = *viewWindow;
    camera->recipViewWindow = {1.0f / viewWindow->x, 1.0f / viewWindow->y};
    RecordChange(camera);
    return camera;
}

RwCamera* RwCameraSetViewOffset(RwCamera* camera, const RwV2d* offset) {
    camera->viewOffset = *offset;
    RecordChange(camera);
    return camera;
}

RwCamera* RwCameraSetNearClipPlane(RwCamera* camera, RwReal nearClip) {
    camera->nearPlane = nearClip;
    UpdateZScaleShift(camera);
    RecordChange(camera);
    return camera;
}

RwCamera* RwCameraSetFarClipPlane(RwCamera* camera, RwReal farClip) {
    camera->farPlane = farClip;
    UpdateZScaleShift(camera);
    RecordChange(camera);
    return camera;
}

RwCamera* RwCameraSetProjection(RwCamera* camera, RwCameraProjection projection) {
    if (projection != rwPERSPECTIVE && projection != rwPARALLEL) {
        RwErrorSetCode(E_RW_BADPARAM); // "Invalid projection type specified"
        return nullptr;
    }
    camera->projectionType = projection;
    UpdateZScaleShift(camera);
    RecordChange(camera);
    return camera;
}

RwFrustumTestResult RwCameraFrustumTestSphere(const RwCamera* camera, const RwSphere* sphere) {
    RwFrustumTestResult result = rwSPHEREINSIDE;
    for (const RwFrustumPlane& plane : camera->frustumPlanes) {
        const RwReal d = Dot(plane.plane.normal, sphere->center) - plane.plane.distance;
        if (d > sphere->radius)
            return rwSPHEREOUTSIDE;
        if (d > -sphere->radius)
            result = rwSPHEREBOUNDARY;
    }
    return result;
}

RwInt32 RwCameraRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                               RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&cameraTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RwCameraRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                     RwPluginDataChunkWriteCallBack writeCB,
                                     RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&cameraTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RwCameraGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&cameraTKList, pluginID);
}

const RwPluginRegistry* RwCameraGetRegistry() {
    return &cameraTKList;
}

RwCamera* RwCameraStreamRead(RwStream* stream) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr))
        return nullptr;
    RwUInt8 payload[cameraPayloadSize] = {}; // a shorter payload leaves zeros
    const RwUInt32 kept = std::min(length, cameraPayloadSize);
    if (RwStreamRead(stream, payload, kept) != kept)
        return nullptr;
    if (length > kept && !RwStreamSkip(stream, length - kept)) // later fields are not ours
        return nullptr;
    RwCamera* camera = RwCameraCreate();
    if (!camera)
        return nullptr;
    if (!RwPluginRegistryReadDataChunks(&cameraTKList, stream, camera)) {
        RwCameraDestroy(camera);
        return nullptr;
    }
    RwReal reals[7];
    RwUInt32 projection;
    std::memcpy(reals, payload, sizeof(reals));
    std::memcpy(&projection, payload + 28, sizeof(projection));
    const RwV2d window{reals[0], reals[1]}, offset{reals[2], reals[3]};
    RwCameraSetViewWindow(camera, &window);
    RwCameraSetViewOffset(camera, &offset);
    RwCameraSetNearClipPlane(camera, reals[4]);
    RwCameraSetFarClipPlane(camera, reals[5]);
    camera->fogPlane = reals[6];
    if (!RwCameraSetProjection(camera, static_cast<RwCameraProjection>(projection))) {
        RwCameraDestroy(camera);
        return nullptr;
    }
    return camera;
}
