// Line-triangle and sphere-triangle tests.
#include "rwsdk/tool/intsec/rtintsec.h"

#include <cmath>

namespace {

constexpr RwReal parallelBelow = 1e-8f;
constexpr RwReal edgeSlack = 1e-5f;

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
RwReal Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// No hit when the three values all lie at or beyond r, or all below -r.
bool Outside(RwReal a, RwReal b, RwReal e, RwReal r) {
    return (a >= r && b >= r && e >= r) || (a < -r && b < -r && e < -r);
}

// Separated by the plane through the nearest point of the edge p-q, with the third vertex beyond it.
bool EdgeSeparates(const RwV3d& p, const RwV3d& q, const RwV3d& third, RwReal rr) {
    const RwV3d edge = Sub(q, p);
    const RwReal length = Dot(edge, edge);
    const RwReal t = length > 0.0f ? -Dot(p, edge) / length : 0.0f;
    const RwV3d nearest = {p.x + edge.x * t, p.y + edge.y * t, p.z + edge.z * t};
    const RwReal nn = Dot(nearest, nearest);
    return nn > rr && Dot(third, nearest) > nn;
}

} // namespace

RwBool RtIntersectionLineTriangle(const RwV3d* lineStart, const RwV3d* lineDelta, const RwV3d* v0,
                                  const RwV3d* v1, const RwV3d* v2, RwReal* distance) {
    const RwV3d e1 = Sub(*v1, *v0), e2 = Sub(*v2, *v0);
    const RwV3d p = Cross(*lineDelta, e2);
    const RwReal det = Dot(e1, p);
    if (!(det > parallelBelow))
        return FALSE;
    const RwReal lo = det * -edgeSlack;
    const RwReal hi = det - lo;
    const RwV3d s = Sub(*lineStart, *v0);
    const RwReal u = Dot(s, p);
    if (u < lo || u > hi)
        return FALSE;
    const RwV3d q = Cross(s, e1);
    const RwReal v = Dot(*lineDelta, q);
    if (v < lo || u + v > hi)
        return FALSE;
    const RwReal t = Dot(e2, q);
    if (t < lo || t > hi)
        return FALSE;
    *distance = t / det;
    return TRUE;
}

RwBool RtIntersectionSphereTriangle(const RwSphere* sphere, const RwV3d* v0, const RwV3d* v1, const RwV3d* v2,
                                    RwV3d* normal, RwReal* distance) {
    const RwReal r = sphere->radius;
    const RwV3d a = Sub(*v0, sphere->center), b = Sub(*v1, sphere->center), e = Sub(*v2, sphere->center);
    if (Outside(a.x, b.x, e.x, r) || Outside(a.y, b.y, e.y, r) || Outside(a.z, b.z, e.z, r))
        return FALSE;
    RwV3d n = Cross(Sub(*v1, *v0), Sub(*v2, *v0));
    *normal = n;
    const RwReal nn = Dot(n, n);
    if (!(nn > 0.0f))
        return FALSE;
    const RwReal scale = 1.0f / std::sqrt(nn);
    n = {n.x * scale, n.y * scale, n.z * scale};
    *normal = n;
    const RwReal d = Dot(n, a);
    if (d < -r || d > r)
        return FALSE;
    *distance = -d;
    const RwReal rr = r * r;
    const RwReal aa = Dot(a, a), bb = Dot(b, b), ee = Dot(e, e);
    if (aa <= rr || bb <= rr || ee <= rr)
        return TRUE;
    // The vertex nearest the centre: separated when both others lie beyond the plane through it.
    if (bb <= aa && bb <= ee) {
        if (Dot(b, a) > bb && Dot(b, e) > bb)
            return FALSE;
    } else if (ee <= aa) {
        if (Dot(e, a) > ee && Dot(e, b) > ee)
            return FALSE;
    } else if (Dot(a, b) > aa && Dot(a, e) > aa) {
        return FALSE;
    }
    if (EdgeSeparates(a, b, e, rr) || EdgeSeparates(b, e, a, rr) || EdgeSeparates(e, a, b, rr))
        return FALSE;
    return TRUE;
}
