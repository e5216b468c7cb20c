#include "scene/ClumpFile.h"

#include "base/ClumpCache.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/baclump.h"

namespace Rw {

RpClump* ReadClumpFile(const char* path) {
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, path);
    if (!stream)
        return nullptr;
    RpClump* clump =
        RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
    RwStreamClose(stream, nullptr);
    return clump;
}

void InstallClumpCache() {
    Base::ClumpCache::Read = [](const Base::String& path) { return ReadClumpFile(path.c_str()); };
    Base::ClumpCache::Clone = RpClumpClone;
    Base::ClumpCache::Destroy = [](RpClump* clump) { RpClumpDestroy(clump); };
}

} // namespace Rw
