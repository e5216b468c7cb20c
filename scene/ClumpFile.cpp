#include "scene/ClumpFile.h"

#include "base/ClumpCache.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/baclump.h"

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
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, path);
    if (!stream)
        return nullptr;
    RpClump* clump =
        RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
    if (clump) {
        RpClumpForAllAtomics(clump, RefreshBounds, nullptr);
        RpClumpForAllAtomics(clump, RenderAndCollide, nullptr);
    }
    RwStreamClose(stream, nullptr);
    return clump;
}

void InstallClumpCache() {
    Base::ClumpCache::Read = [](const Base::String& path) { return ReadClumpFile(path.c_str()); };
    Base::ClumpCache::Clone = RpClumpClone;
    Base::ClumpCache::Destroy = [](RpClump* clump) { RpClumpDestroy(clump); };
}

} // namespace Rw
