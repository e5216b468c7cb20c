// The SSE vector transform routines: matrix rows held in registers, one element read whole before
// it is written, so that out may equal in.
#include "rwsdk/driver/common/cpuext.h"

#if defined(__SSE__)
#include <xmmintrin.h>

namespace {

struct Rows {
    __m128 right, up, at, pos;
};

Rows LoadRows(const RwMatrix* m) {
    return {_mm_loadu_ps(&m->right.x), _mm_loadu_ps(&m->up.x), _mm_loadu_ps(&m->at.x),
            _mm_loadu_ps(&m->pos.x)};
}

__m128 Vector(const Rows& rows, const RwV3d* in) {
    const __m128 x = _mm_set1_ps(in->x);
    const __m128 y = _mm_set1_ps(in->y);
    const __m128 z = _mm_set1_ps(in->z);
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, rows.right), _mm_mul_ps(y, rows.up)), _mm_mul_ps(z, rows.at));
}

__m128 Point(const Rows& rows, const RwV3d* in) {
    return _mm_add_ps(Vector(rows, in), rows.pos);
}

// x and y with one 64-bit store, z alone.
void StorePair(RwV3d* out, __m128 v) {
    _mm_storel_pi(reinterpret_cast<__m64*>(out), v);
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

void StoreComponents(RwV3d* out, __m128 v) {
    _mm_store_ss(&out->x, v);
    _mm_store_ss(&out->y, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

} // namespace

RwV3d* RwSSETransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StorePair(out, Point(LoadRows(m), in));
    return out;
}

RwV3d* RwSSETransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = 0; i < count; ++i)
        StorePair(out + i, Point(rows, in + i));
    return out;
}

RwV3d* RwSSETransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StorePair(out, Vector(LoadRows(m), in));
    return out;
}

RwV3d* RwSSETransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = 0; i < count; ++i)
        StorePair(out + i, Vector(rows, in + i));
    return out;
}

RwV3d* RwSSEComponentTransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StoreComponents(out, Point(LoadRows(m), in));
    return out;
}

RwV3d* RwSSEComponentTransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = 0; i < count; ++i)
        StoreComponents(out + i, Point(rows, in + i));
    return out;
}

RwV3d* RwSSEComponentTransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StoreComponents(out, Vector(LoadRows(m), in));
    return out;
}

RwV3d* RwSSEComponentTransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = 0; i < count; ++i)
        StoreComponents(out + i, Vector(rows, in + i));
    return out;
}

#else
// Without SSE the sets fall back to the scalar routines, so that every choice still links.
RwV3d* RwSSETransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    return RwX87TransformPoint(out, in, m);
}
RwV3d* RwSSETransformPoints(RwV3d* out, const RwV3d* in, RwInt32 n, const RwMatrix* m) {
    return RwX87TransformPoints(out, in, n, m);
}
RwV3d* RwSSETransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    return RwX87TransformVector(out, in, m);
}
RwV3d* RwSSETransformVectors(RwV3d* out, const RwV3d* in, RwInt32 n, const RwMatrix* m) {
    return RwX87TransformVectors(out, in, n, m);
}
RwV3d* RwSSEComponentTransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    return RwX87TransformPoint(out, in, m);
}
RwV3d* RwSSEComponentTransformPoints(RwV3d* out, const RwV3d* in, RwInt32 n, const RwMatrix* m) {
    return RwX87TransformPoints(out, in, n, m);
}
RwV3d* RwSSEComponentTransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    return RwX87TransformVector(out, in, m);
}
RwV3d* RwSSEComponentTransformVectors(RwV3d* out, const RwV3d* in, RwInt32 n, const RwMatrix* m) {
    return RwX87TransformVectors(out, in, n, m);
}
#endif
