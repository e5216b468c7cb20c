// Small value types and the float helpers that game objects share. The vector helpers are templates so
// that they work on any record with x, y (and z) members: these types, the engine's vectors and so on.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Base {

struct Vector2 {
    float x = 0, y = 0;
    bool operator==(const Vector2&) const = default;
};

struct Vector3 {
    float x = 0, y = 0, z = 0;
    bool operator==(const Vector3&) const = default;
};

// Colour channels as floats, normally 0 to 1.
struct Color {
    float r = 0, g = 0, b = 0, a = 1;
    bool operator==(const Color&) const = default;
};

struct Rect {
    float left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

template <class V>
concept Vec2 = requires(V v) {
    v.x;
    v.y;
};
template <class V>
concept Vec3 = requires(V v) {
    v.x;
    v.y;
    v.z;
};
template <class S>
concept Segment3 = requires(S s) {
    requires Vec3<decltype(s.start)>;
    requires Vec3<decltype(s.end)>;
};
template <class S>
concept Segment2 = requires(S s) {
    requires Vec2<decltype(s.start)>;
    requires Vec2<decltype(s.end)>;
}
&&!Segment3<S>;

inline constexpr double Pi = 3.14159265358979323846;

// Angles that the computer pilot compares against, fixed once here.
inline const float Radians25 = float(Pi * (1.0 / 180.0) * 25.0);
inline const float Radians45 = float(Pi * (1.0 / 180.0) * 45.0);
inline const float PiOver6 = float(Pi * (1.0 / 6.0));

// ---- scalars

inline float Sign(float x) {
    return x > 0 ? 1.0f : (x < 0 ? -1.0f : 0.0f);
}
inline float SignedPow(float x, float p) {
    return Sign(x) * std::pow(std::fabs(x), p);
}

// lo when x <= lo, else x; then hi when that is not below hi.
inline float ClampToRange(float x, int32_t lo, int32_t hi) {
    float v = x <= float(lo) ? float(lo) : x;
    return v >= float(hi) ? float(hi) : v;
}

// The second argument wins a tie.
inline float MinFloat(float a, float b) {
    return a < b ? a : b;
}
inline float MaxFloat(float a, float b) {
    return a > b ? a : b;
}
inline float Max4(float a, float b, float c, float d) {
    return MaxFloat(MaxFloat(a, b), MaxFloat(c, d));
}

// ---- 2D

Vector2 Normalize2d(Vector2 v);
inline Vector2 Normalize2d(float x, float y) {
    return Normalize2d(Vector2{x, y});
}

// Radians from a to b; negative (or zero) when a.x b.y - a.y b.x is not below 0.
float SignedAngle2d(Vector2 a, Vector2 b);
// Degrees in [0, 360): 0 along +y, 90 along -x.
float HeadingDegrees2d(Vector2 v);

template <Vec2 V> V Lerp2d(const V& a, const V& b, float t) {
    V out = a;
    out.x = a.x * (1 - t) + b.x * t;
    out.y = a.y * (1 - t) + b.y * t;
    return out;
}

// Distance from p to the segment a-b; beyond an end, the distance to that end.
float DistancePointToSegment2D(Vector2 a, Vector2 b, Vector2 p);
template <Segment2 S, Vec2 V> float DistancePointToSegment2D(const S& segment, const V& p) {
    return DistancePointToSegment2D(Vector2{float(segment.start.x), float(segment.start.y)},
                                    Vector2{float(segment.end.x), float(segment.end.y)},
                                    Vector2{float(p.x), float(p.y)});
}

// ---- 3D

template <Vec3 V> double VectorLength(const V& v) {
    return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
}

template <Vec3 V> float DotProduct(const V& a, const V& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Right-handed: (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x).
template <Vec3 V> V CrossProduct(const V& a, const V& b) {
    V out = a;
    out.x = a.y * b.z - a.z * b.y;
    out.y = a.z * b.x - a.x * b.z;
    out.z = a.x * b.y - a.y * b.x;
    return out;
}
template <Vec3 V> V* CrossProduct(V* out, const V& a, const V& b) {
    *out = CrossProduct(a, b);
    return out;
}

template <Vec3 V> V LerpVector3(const V& a, const V& b, float t) {
    V out = a;
    out.x = a.x * (1 - t) + b.x * t;
    out.y = a.y * (1 - t) + b.y * t;
    out.z = a.z * (1 - t) + b.z * t;
    return out;
}
template <Vec3 V> V* LerpVector3(V* out, const V& a, const V& b, float t) {
    *out = LerpVector3(a, b, t);
    return out;
}

// The length is taken in double precision; a zero vector gives (0, 0, 1).
template <Vec3 V> V& Normalize3d(const V& v, V& out) {
    double length = VectorLength(v);
    if (!(length > 0)) {
        out = v;
        out.x = 0;
        out.y = 0;
        out.z = 1;
        return out;
    }
    float inverse = float(1.0 / length);
    out = v;
    out.x = v.x * inverse;
    out.y = v.y * inverse;
    out.z = v.z * inverse;
    return out;
}
template <Vec3 V> V Normalize3d(const V& v) {
    V out = v;
    return Normalize3d(v, out);
}

// Right-handed rotation of v about a unit axis (Rodrigues).
template <Vec3 V> V RotateVectorAroundAxis(const V& v, const V& axis, float radians) {
    float c = std::cos(radians), s = std::sin(radians);
    V k = CrossProduct(axis, v);
    float d = DotProduct(axis, v) * (1 - c);
    V out = v;
    out.x = v.x * c + k.x * s + axis.x * d;
    out.y = v.y * c + k.y * s + axis.y * d;
    out.z = v.z * c + k.z * s + axis.z * d;
    return out;
}

// Three vertices, 9 floats, as the collision queries hand them out.
struct Triangle {
    Vector3 v[3];
};

// The plane n . x = distance of a triangle; n is the unit normal of (v1 - v0) x (v2 - v0).
struct Plane {
    Vector3 normal;
    float distance = 0;
};
Plane TrianglePlane(const Triangle& triangle);

// sqrt(s^2 + e^2): s the distance to the triangle's plane, e the distance in the plane from the point's
// projection to the triangle (0 inside). A triangle with two equal vertices is measured as a segment.
float DistancePointToTriangle(const Vector3& point, const Triangle& triangle);

float DistancePointToSegment(const Vector3& a, const Vector3& b, const Vector3& p);
// Either argument order: the engine code passes the segment first, the object code the point.
template <Segment3 S, Vec3 V> float DistancePointToSegment(const S& segment, const V& p) {
    return DistancePointToSegment(Vector3{segment.start.x, segment.start.y, segment.start.z},
                                  Vector3{segment.end.x, segment.end.y, segment.end.z},
                                  Vector3{p.x, p.y, p.z});
}
template <Vec3 V, Segment3 S> float DistancePointToSegment(const V& p, const S& segment) {
    return DistancePointToSegment(segment, p);
}

} // namespace Base
