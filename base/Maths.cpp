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

} // namespace Base
