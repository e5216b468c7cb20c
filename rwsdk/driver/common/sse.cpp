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

// Four elements at a time, as they lie: the twelve floats are three registers, and each output register is
// its inputs' x, y and z spread to its lanes times the matrix's elements in the same lanes. The sums are
// made in the same order as one element's, so the results are the same bit for bit; all four elements are
// read before any is written.
template <bool point> RwInt32 TransformFours(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    // Lanes of the three output registers: x y z x, y z x y, z x y z.
    auto lanes = [](const RwV3d& row, int first) {
        const float c[3] = {row.x, row.y, row.z};
        return _mm_setr_ps(c[first % 3], c[(first + 1) % 3], c[(first + 2) % 3], c[first % 3]);
    };
    const __m128 r0 = lanes(m->right, 0), r1 = lanes(m->right, 1), r2 = lanes(m->right, 2);
    const __m128 u0 = lanes(m->up, 0), u1 = lanes(m->up, 1), u2 = lanes(m->up, 2);
    const __m128 a0 = lanes(m->at, 0), a1 = lanes(m->at, 1), a2 = lanes(m->at, 2);
    const __m128 p0 = lanes(m->pos, 0), p1 = lanes(m->pos, 1), p2 = lanes(m->pos, 2);
    auto sum = [](__m128 x, __m128 y, __m128 z, __m128 r, __m128 u, __m128 a, __m128 p) {
        __m128 v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, r), _mm_mul_ps(y, u)), _mm_mul_ps(z, a));
        return point ? _mm_add_ps(v, p) : v;
    };
    RwInt32 i = 0;
    for (; i + 4 <= count; i += 4) {
        const float* source = &in[i].x;
        const __m128 m0 = _mm_loadu_ps(source);     // x0 y0 z0 x1
        const __m128 m1 = _mm_loadu_ps(source + 4); // y1 z1 x2 y2
        const __m128 m2 = _mm_loadu_ps(source + 8); // z2 x3 y3 z3
        // x0 x0 x0 x1, y0 y0 y0 y1, z0 z0 z0 z1
        const __m128 yy = _mm_shuffle_ps(m0, m1, _MM_SHUFFLE(0, 0, 1, 1));
        const __m128 zz = _mm_shuffle_ps(m0, m1, _MM_SHUFFLE(1, 1, 2, 2));
        const __m128 o0 = sum(_mm_shuffle_ps(m0, m0, _MM_SHUFFLE(3, 0, 0, 0)),
                              _mm_shuffle_ps(yy, yy, _MM_SHUFFLE(2, 0, 0, 0)),
                              _mm_shuffle_ps(zz, zz, _MM_SHUFFLE(2, 0, 0, 0)), r0, u0, a0, p0);
        // x1 x1 x2 x2, y1 y1 y2 y2, z1 z1 z2 z2
        const __m128 o1 = sum(_mm_shuffle_ps(m0, m1, _MM_SHUFFLE(2, 2, 3, 3)),
                              _mm_shuffle_ps(m1, m1, _MM_SHUFFLE(3, 3, 0, 0)),
                              _mm_shuffle_ps(m1, m2, _MM_SHUFFLE(0, 0, 1, 1)), r1, u1, a1, p1);
        // x2 x3 x3 x3, y2 y3 y3 y3, z2 z3 z3 z3
        const __m128 xx = _mm_shuffle_ps(m1, m2, _MM_SHUFFLE(1, 1, 2, 2));
        const __m128 yy2 = _mm_shuffle_ps(m1, m2, _MM_SHUFFLE(2, 2, 3, 3));
        const __m128 o2 = sum(_mm_shuffle_ps(xx, xx, _MM_SHUFFLE(2, 2, 2, 0)),
                              _mm_shuffle_ps(yy2, yy2, _MM_SHUFFLE(2, 2, 2, 0)),
                              _mm_shuffle_ps(m2, m2, _MM_SHUFFLE(3, 3, 3, 0)), r2, u2, a2, p2);
        float* target = &out[i].x;
        _mm_storeu_ps(target, o0);
        _mm_storeu_ps(target + 4, o1);
        _mm_storeu_ps(target + 8, o2);
    }
    return i;
}

} // namespace

RwV3d* RwSSETransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StorePair(out, Point(LoadRows(m), in));
    return out;
}

RwV3d* RwSSETransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = TransformFours<true>(out, in, count, m); i < count; ++i)
        StorePair(out + i, Point(rows, in + i));
    return out;
}

RwV3d* RwSSETransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StorePair(out, Vector(LoadRows(m), in));
    return out;
}

RwV3d* RwSSETransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = TransformFours<false>(out, in, count, m); i < count; ++i)
        StorePair(out + i, Vector(rows, in + i));
    return out;
}

RwV3d* RwSSEComponentTransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StoreComponents(out, Point(LoadRows(m), in));
    return out;
}

RwV3d* RwSSEComponentTransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = TransformFours<true>(out, in, count, m); i < count; ++i)
        StoreComponents(out + i, Point(rows, in + i));
    return out;
}

RwV3d* RwSSEComponentTransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    StoreComponents(out, Vector(LoadRows(m), in));
    return out;
}

RwV3d* RwSSEComponentTransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    const Rows rows = LoadRows(m);
    for (RwInt32 i = TransformFours<false>(out, in, count, m); i < count; ++i)
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
