// Arbitrary bytes read as a geometry's native Direct3D 9 data on a started device: never a crash or a leak;
// a refused read leaves no instance data, and data that reads is written again.
#include "fuzz/support/EngineFuzz.h"
#include "fuzz/support/DeviceFuzz.h"

#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/baworld.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9native.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Two materials, so records may name either or one past the list.
RpGeometry* Geometry() {
    RpGeometry* g = RpGeometryCreate(4, 2, rpGEOMETRYPOSITIONS | rpGEOMETRYNORMALS);
    if (!g)
        return nullptr;
    RpTriangle* tri = RpGeometryGetTriangles(g);
    for (int i = 0; i < 2; ++i) {
        RpMaterial* m = RpMaterialCreate();
        RpGeometryTriangleSetVertexIndices(g, &tri[i], 0, RwUInt16(1 + i), RwUInt16(2 + i));
        RpGeometryTriangleSetMaterial(g, &tri[i], m);
        RpMaterialDestroy(m);
    }
    RpGeometryUnlock(g);
    return g;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = DeviceFuzz::Start(RpWorldPluginAttach, 1u << 22);
    static RpGeometry* geometry = started ? Geometry() : nullptr;
    if (!geometry)
        return 0;
    RwMemory memory;
    RwStream* stream = EngineFuzz::Open(memory, data, size);
    if (!stream)
        return 0;
    const bool read = _rpD3D9NativeDataGeometryRead(stream, RwInt32(size), geometry) != nullptr;
    RwStreamClose(stream, nullptr);
    if (!read && geometry->repEntry)
        std::abort(); // a refusal leaves nothing made
    if (read && geometry->repEntry) {
        geometry->flags |= rpGEOMETRYNATIVE;
        RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
        _rpD3D9NativeDataGeometryWrite(out, geometry);
        RwMemory written{};
        RwStreamClose(out, &written);
        RwFree(written.start);
        geometry->flags &= ~rpGEOMETRYNATIVE;
        RwResourcesFreeResourceEntry(geometry->repEntry);
    }
    DeviceFuzz::ClearError();
    return 0;
}
