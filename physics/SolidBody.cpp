#include "physics/SolidBody.h"

#include "base/Maths.h"

#include <cmath>

namespace Physics {

namespace {

RwV3d Rotate(const RwMatrix& m, const RwV3d& v) {
    return {v.x * m.right.x + v.y * m.up.x + v.z * m.at.x, v.x * m.right.y + v.y * m.up.y + v.z * m.at.y,
            v.x * m.right.z + v.y * m.up.z + v.z * m.at.z};
}

// Keeps the axes perpendicular unit vectors: the rotations of every step would otherwise let them drift.
void Orthonormalize(RwMatrix& m) {
    double at[3] = {m.at.x, m.at.y, m.at.z};
    double up[3] = {m.up.x, m.up.y, m.up.z};
    auto normalize = [](double v[3]) {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (length > 0)
            for (int i = 0; i < 3; ++i)
                v[i] /= length;
    };
    normalize(at);
    const double d = up[0] * at[0] + up[1] * at[1] + up[2] * at[2];
    for (int i = 0; i < 3; ++i)
        up[i] -= d * at[i];
    normalize(up);
    m.at = {float(at[0]), float(at[1]), float(at[2])};
    m.up = {float(up[0]), float(up[1]), float(up[2])};
    m.right = {float(up[1] * at[2] - up[2] * at[1]), float(up[2] * at[0] - up[0] * at[2]),
               float(up[0] * at[1] - up[1] * at[0])};
}

} // namespace

bool Finite(const RwV3d& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

SolidBody::SolidBody() = default;

void SolidBody::AddForceAtOffset(const RwV3d& offset, const RwV3d& f) {
    // A force or an offset that is not finite would poison the body for good: it is refused.
    if (!Finite(offset) || !Finite(f))
        return;
    force.x += f.x;
    force.y += f.y;
    force.z += f.z;
    const RwV3d t = Base::CrossProduct(offset, f);
    torque.x += t.x;
    torque.y += t.y;
    torque.z += t.z;
}

void SolidBody::AddForceAtPoint(const RwV3d& point, bool pointInBodyFrame, const RwV3d& f,
                                bool forceInBodyFrame) {
    const RwMatrix& m = *RwFrameGetWorldMatrix(frame);
    const RwV3d worldForce = forceInBodyFrame ? Rotate(m, f) : f;
    // A body point's offset is its rotation alone: the same as its world position minus the body's.
    const RwV3d offset =
        pointInBodyFrame ? Rotate(m, point) : RwV3d{point.x - m.pos.x, point.y - m.pos.y, point.z - m.pos.z};
    AddForceAtOffset(offset, worldForce);
}

RwV3d SolidBody::GetOffsetVelocity(const RwV3d& offset) const {
    const RwV3d w = Base::CrossProduct(angularVelocity, offset);
    return {velocity.x + w.x, velocity.y + w.y, velocity.z + w.z};
}

RwV3d SolidBody::GetPointVelocity(const RwV3d& point, bool pointInBodyFrame) {
    const RwMatrix& m = *RwFrameGetWorldMatrix(frame);
    const RwV3d offset =
        pointInBodyFrame ? Rotate(m, point) : RwV3d{point.x - m.pos.x, point.y - m.pos.y, point.z - m.pos.z};
    return GetOffsetVelocity(offset);
}

float SolidBody::GetInertiaAbout(const RwV3d& a) {
    const RwMatrix& m = *RwFrameGetWorldMatrix(frame);
    const float r = Base::DotProduct(m.right, a), u = Base::DotProduct(m.up, a),
                t = Base::DotProduct(m.at, a);
    return inertia.x * r * r + inertia.y * u * u + inertia.z * t * t;
}

void SolidBody::Step(float dt, float g) {
    AddForceAtOffset({0, 0, 0}, {0, g * mass, 0});
    if (std::isfinite(dt))
        Integrate(dt);
    force = {0, 0, 0};
    torque = {0, 0, 0};
}

void SolidBody::Integrate(float dt) {
    // The new motion is worked out aside and kept only when every value of it is finite: a step that
    // overflows leaves the body where it was, moving as it did.
    RwV3d v = velocity, w = angularVelocity;
    // A body without mass or inertia (a description that lacks them) is not accelerated, rather than made
    // infinite.
    if (mass > 0) {
        const float k = 1.0f / mass * dt;
        v.x += force.x * k;
        v.y += force.y * k;
        v.z += force.z * k;
    }
    const float i = GetInertiaAbout(Base::Normalize3d(torque));
    if (i > 0) {
        const float k = 1.0f / i * dt;
        w.x += torque.x * k;
        w.y += torque.y * k;
        w.z += torque.z * k;
    }
    if (!Finite(v) || !Finite(w))
        return;

    double p[3] = {localPosition[0], localPosition[1], localPosition[2]};
    p[0] += double(v.x) * dt;
    p[1] += double(v.y) * dt;
    p[2] += double(v.z) * dt;
    if (!Finite(RwV3d{float(p[0]), float(p[1]), float(p[2])}))
        return;

    RwMatrix m = frame->modelling;
    m.pos = {0, 0, 0};
    const float rate = float(Base::VectorLength(w));
    if (rate > 0) {
        const RwV3d axis = Base::Normalize3d(w);
        RwMatrixRotate(&m, &axis, rate * dt * float(180.0 / Base::Pi), rwCOMBINEPOSTCONCAT);
        Orthonormalize(m);
        if (!Finite(m.right) || !Finite(m.up) || !Finite(m.at))
            return;
    }
    velocity = v;
    angularVelocity = w;
    m.pos = {float(p[0]), float(p[1]), float(p[2])};
    RwMatrixUpdate(&m);
    Transform(&m, rwCOMBINEREPLACE);
    localPosition[0] = p[0];
    localPosition[1] = p[1];
    localPosition[2] = p[2];
}

} // namespace Physics
