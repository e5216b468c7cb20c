// Arbitrary bytes read as camera chunks on a started engine; each camera read is placed on a frame,
// synchronised, tested against a sphere and destroyed again.
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

namespace {

RwStream* ReadWord(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    if (length != 4)
        return nullptr;
    return RwStreamReadInt32(stream, RWPLUGINOFFSET(RwInt32, object, offset), 4);
}

bool Start() {
    if (!RwEngineInit(nullptr, 0, 0))
        return false;
    RwCameraRegisterPlugin(sizeof(RwInt32), 0x101, nullptr, nullptr, nullptr);
    RwCameraRegisterPluginStream(0x101, ReadWord, nullptr, nullptr);
    RwEngineOpenParams params = {nullptr};
    return RwEngineOpen(&params) && RwEngineStart();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started || size > 0xFFFFFFFFu)
        return 0;
    RwMemory memory = {const_cast<RwUInt8*>(data), RwUInt32(size)};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
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
