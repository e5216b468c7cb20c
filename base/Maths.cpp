#include "base/Maths.h"

namespace Base {

Vector2 Normalize2d(Vector2 v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y);
    if (!(length > 0))
        return {1, 0};
    return {v.x / length, v.y / length};
}

float SignedAngle2d(Vector2 a, Vector2 b) {
    a = Normalize2d(a);
    b = Normalize2d(b);
    float c = std::clamp(a.x * b.x + a.y * b.y, -1.0f, 1.0f);
    float angle = std::acos(c);
    return a.x * b.y - a.y * b.x < 0 ? angle : -angle;
}

float HeadingDegrees2d(Vector2 v) {
    float degrees = SignedAngle2d(v, {0, 1}) * float(180.0 / Pi);
    return degrees < 0 ? degrees + 360.0f : degrees;
}

float DistancePointToSegment2D(Vector2 a, Vector2 b, Vector2 p) {
    float dx = b.x - a.x, dy = b.y - a.y;
    float lengthSquared = dx * dx + dy * dy;
    float t = lengthSquared > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    float ex = a.x + dx * t - p.x, ey = a.y + dy * t - p.y;
    return std::sqrt(ex * ex + ey * ey);
}

float DistancePointToSegment(const Vector3& a, const Vector3& b, const Vector3& p) {
    Vector3 d{b.x - a.x, b.y - a.y, b.z - a.z};
    float lengthSquared = DotProduct(d, d);
    float t =
        lengthSquared > 0 ? DotProduct(Vector3{p.x - a.x, p.y - a.y, p.z - a.z}, d) / lengthSquared : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    Vector3 e{a.x + d.x * t - p.x, a.y + d.y * t - p.y, a.z + d.z * t - p.z};
    return float(VectorLength(e));
}

Plane TrianglePlane(const Triangle& t) {
    Vector3 e1{t.v[1].x - t.v[0].x, t.v[1].y - t.v[0].y, t.v[1].z - t.v[0].z};
    Vector3 e2{t.v[2].x - t.v[0].x, t.v[2].y - t.v[0].y, t.v[2].z - t.v[0].z};
    Plane plane;
    plane.normal = Normalize3d(CrossProduct(e1, e2));
    plane.distance = DotProduct(plane.normal, t.v[0]);
    return plane;
}

float DistancePointToTriangle(const Vector3& p, const Triangle& t) {
    const Vector3 &a = t.v[0], &b = t.v[1], &c = t.v[2];
    if (a == b)
        return DistancePointToSegment(a, c, p);
    if (b == c || a == c)
        return DistancePointToSegment(a, b, p);

    Plane plane = TrianglePlane(t);
    float s = DotProduct(plane.normal, p) - plane.distance;
    Vector3 q{p.x - plane.normal.x * s, p.y - plane.normal.y * s, p.z - plane.normal.z * s};

    // Side of x from the line through u and v, seen along the normal.
    auto side = [&](const Vector3& u, const Vector3& v, const Vector3& x) {
        Vector3 edge{v.x - u.x, v.y - u.y, v.z - u.z};
        Vector3 to{x.x - u.x, x.y - u.y, x.z - u.z};
        return DotProduct(CrossProduct(edge, to), plane.normal);
    };
    const Vector3* edges[3][3] = {{&a, &b, &c}, {&b, &c, &a}, {&c, &a, &b}};
    // Outside the triangle the nearest point lies on an edge the point is outside of; the first such edge
    // alone is not enough beside an obtuse corner, where the nearest point can lie on the next edge.
    float e = 0;
    bool outside = false;
    for (const auto& edge : edges) {
        float sq = side(*edge[0], *edge[1], q);
        float sr = side(*edge[0], *edge[1], *edge[2]);
        if ((sq < 0 && sr > 0) || (sq > 0 && sr < 0)) {
            float d = DistancePointToSegment(*edge[0], *edge[1], q);
            e = outside ? std::min(e, d) : d;
            outside = true;
        }
    }
    return std::sqrt(s * s + e * e);
}

} // namespace Base
