// Arbitrary bytes read as frame list chunks on a started engine; every hierarchy read is synchronised,
// queried and destroyed again.
#include "fuzz/support/ObjectStreamFuzz.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = ObjectStreamFuzz::Start<RwFrameRegisterPlugin, RwFrameRegisterPluginStream>();
    RwMemory memory;
    RwStream* stream = started ? ObjectStreamFuzz::Open(memory, data, size) : nullptr;
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
