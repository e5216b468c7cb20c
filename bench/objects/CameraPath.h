// The frame benchmarks fly a camera along a path: its frame placed at a point, looking along a direction.
#pragma once

#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"

#include <cmath>

namespace BenchSupport {

// The frame at position looking along at (made unit), with a level right vector.
inline void Place(RwFrame* frame, RwV3d position, RwV3d at) {
    const float l = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
    at = {at.x / l, at.y / l, at.z / l};
    const float r = std::sqrt(at.z * at.z + at.x * at.x);
    const RwV3d right{at.z / r, 0, -at.x / r};
    RwMatrix* m = RwFrameGetMatrix(frame);
    m->right = right;
    m->up = {at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
             at.x * right.y - at.y * right.x};
    m->at = at;
    m->pos = position;
    RwMatrixUpdate(m);
    RwFrameUpdateObjects(frame);
}

} // namespace BenchSupport
