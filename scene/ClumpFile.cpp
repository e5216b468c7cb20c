#include "scene/ClumpFile.h"

#include "base/ClumpCache.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/world/baclump.h"

#include <algorithm>

namespace Rw {

namespace {

// The stored sphere of the first morph target is not trusted: it is computed again from the vertices, and
// the atomic's instance and sphere follow.
RpAtomic* RefreshBounds(RpAtomic* atomic, void*) {
    if (RpGeometry* geometry = RpAtomicGetGeometry(atomic)) {
        RpMorphTarget* target = RpGeometryGetMorphTarget(geometry, 0);
        RwSphere sphere;
        RpMorphTargetCalculateBoundingSphere(target, &sphere);
        RpMorphTargetSetBoundingSphere(target, &sphere);
    }
    atomic->interpolator.flags |= rpINTERPOLATORDIRTYINSTANCE | rpINTERPOLATORDIRTYSPHERE;
    if (RwFrame* frame = RpAtomicGetFrame(atomic))
        RwFrameUpdateObjects(frame);
    return atomic;
}

// Every part of a model is drawn and tested for collisions, whatever the file says.
RpAtomic* RenderAndCollide(RpAtomic* atomic, void*) {
    RpAtomicSetFlags(atomic, rpATOMICCOLLISIONTEST | rpATOMICRENDER);
    if (RwFrame* frame = RpAtomicGetFrame(atomic))
        RwFrameUpdateObjects(frame);
    return atomic;
}

} // namespace

RpClump* ReadClumpFile(const char* path) {
    RwStream* file = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, path);
    if (!file)
        return nullptr;
    // The file comes in with one read and the model is taken from memory, where the readers use chunk
    // headers, triangles and indices in place rather than asking the file for each; a file whose size is
    // not known, or too big to hold, is read as it stands.
    const RwUInt32 size = RwStreamBytesLeft(file);
    auto* bytes =
        size != 0xFFFFFFFFu
            ? static_cast<RwUInt8*>(RwMalloc(std::max<RwUInt32>(size, 1), rwMEMHINTDUR_FUNCTION | rwID_CLUMP))
            : nullptr;
    RwStream* stream = file;
    if (bytes) {
        RwMemory memory = {bytes, size > 0 ? RwStreamRead(file, bytes, size) : 0};
        RwStreamClose(file, nullptr);
        stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    }
    RpClump* clump = stream && RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr)
                         ? RpClumpStreamRead(stream)
                         : nullptr;
    if (clump) {
        RpClumpForAllAtomics(clump, RefreshBounds, nullptr);
        RpClumpForAllAtomics(clump, RenderAndCollide, nullptr);
    }
    if (stream)
        RwStreamClose(stream, nullptr);
    if (bytes)
        RwFree(bytes);
    return clump;
}

void InstallClumpCache() {
    Base::ClumpCache::Read = [](const Base::String& path) { return ReadClumpFile(path.c_str()); };
    Base::ClumpCache::Clone = RpClumpClone;
    Base::ClumpCache::Destroy = [](RpClump* clump) { RpClumpDestroy(clump); };
}

} // namespace Rw
