// The camera chunk as the clump stream writes it.
#include "rwsdk/src/camera.h"

#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"

namespace {

constexpr RwUInt32 cameraPayloadSize = 32;

} // namespace

RwUInt32 RwCameraStreamGetSize(const RwCamera* camera) {
    return rwCHUNKHEADERSIZE + cameraPayloadSize + rwCHUNKHEADERSIZE +
           RwPluginRegistryGetPluginStreamSize(RwCameraGetRegistry(), camera);
}

const RwCamera* RwCameraStreamWrite(const RwCamera* camera, RwStream* stream) {
    const RwReal reals[7] = {camera->viewWindow.x, camera->viewWindow.y, camera->viewOffset.x,
                             camera->viewOffset.y, camera->nearPlane,    camera->farPlane,
                             camera->fogPlane};
    const RwInt32 projection = RwInt32(camera->projectionType);
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_CAMERA, RwCameraStreamGetSize(camera)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, cameraPayloadSize) ||
        !RwStreamWriteReal(stream, reals, sizeof(reals)) || !RwStreamWriteInt32(stream, &projection, 4) ||
        !RwPluginRegistryWriteDataChunks(RwCameraGetRegistry(), stream, camera))
        return nullptr;
    return camera;
}
