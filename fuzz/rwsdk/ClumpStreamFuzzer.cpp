// Arbitrary bytes read as clump chunks on a started engine with the world modules, material effects and
// user data: every clump read is walked, cloned and destroyed again; every failed read must leave an error
// behind.
#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"

#include <cstddef>
#include <cstdint>

namespace {

bool Start() {
    return EngineFuzz::Start(RpWorldPluginAttach, RpMatFXPluginAttach, RpUserDataPluginAttach);
}

RpAtomic* Visit(RpAtomic* atomic, void*) {
    RpAtomicGetWorldBoundingSphere(atomic);
    RpGeometry* geometry = RpAtomicGetGeometry(atomic);
    if (RpMeshHeader* header = geometry ? RpGeometryGetMesh(geometry) : nullptr) {
        // Every index the reader accepted must lie within the vertices.
        const RpMesh* meshes = RpMeshHeaderGetMeshes(header);
        for (RwUInt32 m = 0; m < header->numMeshes; ++m)
            for (RwUInt32 i = 0; meshes[m].indices && i < meshes[m].numIndices; ++i)
                if (meshes[m].indices[i] >= geometry->numVertices)
                    __builtin_trap();
    }
    return atomic;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started)
        return 0;
    EngineFuzz::ForEachChunk(data, size, rwID_CLUMP, 4, [](RwStream* stream) {
        RpClump* clump = RpClumpStreamRead(stream);
        if (!clump) {
            RwError error;
            RwErrorGet(&error);
            if (error.errorCode == RwInt32(E_RW_NOERROR))
                __builtin_trap(); // a failure that does not say why
            return;
        }
        RpClumpForAllAtomics(clump, Visit, nullptr);
        RwFrameSyncDirty();
        if (RpClump* clone = RpClumpClone(clump))
            RpClumpDestroy(clone);
        RpClumpDestroy(clump);
    });
    return 0;
}
