// Arbitrary bytes read as camera chunks on a started engine; each camera read is placed on a frame,
// synchronised, tested against a sphere and destroyed again.
#include "fuzz/support/ObjectStreamFuzz.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started =
        ObjectStreamFuzz::Start<RwCameraRegisterPlugin, RwCameraRegisterPluginStream>();
    RwMemory memory;
    RwStream* stream = started ? ObjectStreamFuzz::Open(memory, data, size) : nullptr;
    if (!stream)
        return 0;
    RwFrame* frame = RwFrameCreate();
    RwError error;
    for (int step = 0; frame && step < 16 && RwStreamFindChunk(stream, rwID_CAMERA, nullptr, nullptr);
         ++step) {
        if (RwCamera* camera = RwCameraStreamRead(stream)) {
            RwCameraSetFrame(camera, frame);
            RwFrameSyncDirty();
            const RwSphere sphere = {{0.0f, 0.0f, 1.0f}, 0.5f};
            RwCameraFrustumTestSphere(camera, &sphere);
            RwCameraDestroy(camera);
        }
        RwErrorGet(&error);
    }
    if (frame)
        RwFrameDestroy(frame);
    RwFrameSyncDirty();
    RwErrorGet(&error);
    RwStreamClose(stream, nullptr);
    return 0;
}
