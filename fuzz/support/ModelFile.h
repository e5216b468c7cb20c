// Small models for the fuzzers whose descriptions name one: each part a one-triangle atomic on a frame of its
// own below the root, named by its geometry's "Name" user data.
#pragma once

#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/Clumps.h"

#include <initializer_list>
#include <string>

namespace FuzzSupport {

struct ModelPart {
    const char* name;
    RwV3d corners[3];
};

inline void WriteModel(const std::string& path, std::initializer_list<ModelPart> parts) {
    RpClump* clump = RpClumpCreate();
    RwFrame* root = RwFrameCreate();
    RpClumpSetFrame(clump, root);
    for (const ModelPart& part : parts) {
        RpGeometry* geometry = RpGeometryCreate(3, 1, rpGEOMETRYPOSITIONS);
        RpGeometryTriangleSetVertexIndices(geometry, RpGeometryGetTriangles(geometry), 0, 1, 2);
        RwV3d* v = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0));
        for (int i = 0; i < 3; ++i)
            v[i] = part.corners[i];
        const RwInt32 index = RpUserDataGeometryAddArray(geometry, "Name", rpSTRINGUSERDATA, 1);
        RpUserDataArraySetString(RpUserDataGeometryGetArray(geometry, index), 0, part.name);
        TestSupport::AddAtomicUnder(clump, root, geometry);
    }
    if (RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, path.c_str())) {
        RpClumpStreamWrite(clump, stream);
        RwStreamClose(stream, nullptr);
    }
    RpClumpDestroy(clump);
}

} // namespace FuzzSupport
