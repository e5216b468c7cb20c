// The routines for processors without SSE, and the floating-point precision calls.
// On x86-64 the compiler emits scalar SSE for this code: the x87 unit does no float arithmetic here.
#include "rwsdk/driver/common/cpuext.h"

RwV3d* RwX87TransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    const float x = in->x, y = in->y, z = in->z;
    out->x = x * m->right.x + y * m->up.x + z * m->at.x + m->pos.x;
    out->y = x * m->right.y + y * m->up.y + z * m->at.y + m->pos.y;
    out->z = x * m->right.z + y * m->up.z + z * m->at.z + m->pos.z;
    return out;
}

RwV3d* RwX87TransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    for (RwInt32 i = 0; i < count; ++i)
        RwX87TransformPoint(out + i, in + i, m);
    return out;
}

RwV3d* RwX87TransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    const float x = in->x, y = in->y, z = in->z;
    out->x = x * m->right.x + y * m->up.x + z * m->at.x;
    out->y = x * m->right.y + y * m->up.y + z * m->at.y;
    out->z = x * m->right.z + y * m->up.z + z * m->at.z;
    return out;
}

RwV3d* RwX87TransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    for (RwInt32 i = 0; i < count; ++i)
        RwX87TransformVector(out + i, in + i, m);
    return out;
}

void RwX87MatrixMultiply(RwMatrix* out, const RwMatrix* a, const RwMatrix* b) {
    const RwMatrix x = *a, y = *b; // out may be a or b
    out->right.x = x.right.x * y.right.x + x.right.y * y.up.x + x.right.z * y.at.x;
    out->right.y = x.right.x * y.right.y + x.right.y * y.up.y + x.right.z * y.at.y;
    out->right.z = x.right.x * y.right.z + x.right.y * y.up.z + x.right.z * y.at.z;
    out->up.x = x.up.x * y.right.x + x.up.y * y.up.x + x.up.z * y.at.x;
    out->up.y = x.up.x * y.right.y + x.up.y * y.up.y + x.up.z * y.at.y;
    out->up.z = x.up.x * y.right.z + x.up.y * y.up.z + x.up.z * y.at.z;
    out->at.x = x.at.x * y.right.x + x.at.y * y.up.x + x.at.z * y.at.x;
    out->at.y = x.at.x * y.right.y + x.at.y * y.up.y + x.at.z * y.at.y;
    out->at.z = x.at.x * y.right.z + x.at.y * y.up.z + x.at.z * y.at.z;
    out->pos.x = x.pos.x * y.right.x + x.pos.y * y.up.x + x.pos.z * y.at.x + y.pos.x;
    out->pos.y = x.pos.x * y.right.y + x.pos.y * y.up.y + x.pos.z * y.at.y + y.pos.y;
    out->pos.z = x.pos.x * y.right.z + x.pos.y * y.up.z + x.pos.z * y.at.z + y.pos.z;
    out->flags = x.flags & y.flags;
}

// Float arithmetic runs on SSE on x86-64, so the x87 precision control changes nothing the engine
// computes; narrowing it would only degrade long double maths elsewhere in the process.
void RwProcessorSaveAndSetSinglePrecision() {}

void RwProcessorRestorePrecision() {}

void RwProcessorSetSinglePrecision() {}
