// Arbitrary bytes read as clumps with the collision and hierarchical animation plugins attached: every
// collision tree that is kept is queried with lines and spheres, and every hierarchy that is kept is
// attached, given sub-hierarchies and updated.
#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/anim/rtanim.h"
#include "rwsdk/world/rpworld.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool Start() {
    return EngineFuzz::Start(RpWorldPluginAttach, RpUserDataPluginAttach, RpCollisionPluginAttach,
                             RpHAnimPluginAttach, RtAnimToolkitAttach);
}

RpCollisionTriangle* Count(RpIntersection*, RpCollisionTriangle* triangle, RwReal, void* data) {
    ++*static_cast<int*>(data);
    return triangle;
}

RpAtomic* Query(RpAtomic* atomic, void*) {
    const RwSphere* sphere = RpAtomicGetWorldBoundingSphere(atomic);
    const RwV3d c = sphere->center;
    const RwReal r = sphere->radius;
    int hits = 0;
    RpIntersection is{};
    is.type = rpINTERSECTLINE;
    for (const RwLine& line :
         {RwLine{{c.x - r, c.y, c.z}, {c.x + r, c.y, c.z}}, RwLine{{c.x, c.y + r, c.z}, {c.x, c.y - r, c.z}},
          RwLine{{c.x - r, c.y - r, c.z - r}, {c.x + r, c.y + r, c.z + r}}}) {
        is.t.line = line;
        RpCollisionAtomicForAllIntersections(atomic, &is, Count, &hits);
    }
    is.type = rpINTERSECTSPHERE;
    for (RwReal scale : {0.1f, 0.5f, 2.0f}) {
        is.t.sphere = {c, r * scale};
        RpCollisionAtomicForAllIntersections(atomic, &is, Count, &hits);
    }
    return atomic;
}

void Hierarchies(RwFrame* frame) {
    if (!frame)
        return;
    std::vector<RwFrame*> pending = {frame};
    while (!pending.empty()) {
        RwFrame* f = pending.back();
        pending.pop_back();
        if (RpHAnimHierarchy* h = RpHAnimFrameGetHierarchy(f);
            h && h->parentFrame == f && !(h->flags & rpHANIMHIERARCHYSUBHIERARCHY)) {
            RpHAnimHierarchyAttach(h);
            RpHAnimHierarchyUpdateMatrices(h);
            for (RwInt32 start : {0, h->numNodes / 2, h->numNodes - 1}) {
                if (RpHAnimHierarchy* sub = RpHAnimHierarchyCreateSubHierarchy(h, start, 0x1000, -1)) {
                    RpHAnimHierarchyUpdateMatrices(sub);
                    RpHAnimHierarchyDestroy(sub);
                }
            }
        }
        for (RwFrame* child = f->child; child; child = child->next)
            pending.push_back(child);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started)
        return 0;
    EngineFuzz::ForEachChunk(data, size, rwID_CLUMP, 2, [](RwStream* stream) {
        RpClump* clump = RpClumpStreamRead(stream);
        if (!clump)
            return;
        RwFrameSyncDirty();
        RpClumpForAllAtomics(clump, Query, nullptr);
        Hierarchies(RpClumpGetFrame(clump));
        RwFrameSyncDirty();
        RpClumpDestroy(clump);
    });
    return 0;
}
