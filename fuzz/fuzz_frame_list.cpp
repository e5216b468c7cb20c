// Arbitrary bytes read as frame list chunks on a started engine; every hierarchy read is synchronised,
// queried and destroyed again.
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

#include <vector>

namespace {

RwStream* ReadWord(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    if (length != 4)
        return nullptr;
    return RwStreamReadInt32(stream, RWPLUGINOFFSET(RwInt32, object, offset), 4);
}

bool Start() {
    if (!RwEngineInit(nullptr, 0, 0))
        return false;
    RwFrameRegisterPlugin(sizeof(RwInt32), 0x101, nullptr, nullptr, nullptr);
    RwFrameRegisterPluginStream(0x101, ReadWord, nullptr, nullptr);
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
    RwError error;
    for (int step = 0; step < 16 && RwStreamFindChunk(stream, rwID_FRAMELIST, nullptr, nullptr); ++step) {
        RwFrameList list;
        if (RwFrameListStreamRead(stream, &list)) {
            RwFrameSyncDirty();
            for (RwInt32 i = 0; i < list.numFrames; ++i)
                RwFrameGetWorldMatrix(list.frames[i]);
            std::vector<RwFrame*> roots;
            for (RwInt32 i = 0; i < list.numFrames; ++i)
                if (RwFrameGetRoot(list.frames[i]) == list.frames[i])
                    roots.push_back(list.frames[i]);
            for (RwFrame* root : roots)
                RwFrameDestroyHierarchy(root);
            RwFrameListDeinitialize(&list);
        }
        RwErrorGet(&error);
    }
    RwFrameSyncDirty();
    RwErrorGet(&error);
    RwStreamClose(stream, nullptr);
    return 0;
}
