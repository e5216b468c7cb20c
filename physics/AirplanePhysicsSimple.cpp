#include "physics/AirplanePhysicsSimple.h"

#include "physics/AeroSolidBody.h"

#include "base/Maths.h"
#include "scene/MatrixHelpers.h"
#include "scene/SignedAngleOnPlane.h"

#include <algorithm>
#include <cmath>

namespace Physics {

namespace {

constexpr float Degree = float(Base::Pi / 180.0);
constexpr RwV3d WorldUp = {0, 1, 0};

} // namespace

AirplanePhysicsSimple::AirplanePhysicsSimple(const PhysicsParams& p, const AirplaneState& s, uint32_t seed)
    : AirplanePhysics(p, s, seed) {}

void AirplanePhysicsSimple::Step(float dt) {
    if (dt == 0 || !std::isfinite(dt))
        return;
    AirplaneState s = state;
    const float maxSpeed = params.simple.maxSpeed, agility = params.simple.agility;

    const float speed = float(Base::VectorLength(s.velocity));
    const float h = std::clamp(s.position.y * 0.0001f, 0.0f, 1.0f);
    const float ms = (0.4f + 0.6f * h) * maxSpeed;
    const float speedRate = 0.05f * agility;
    const float rollRate = 3 * agility;
    const float yawRate = 40 * agility / std::max(speed, 100.0f);
    const float pitchRate = 60 * agility / std::max(speed, 100.0f);

    if (s.outOfControl) {
        // Drawn once from the model's own generator and kept: the same inputs in every step.
        if (!deflectionsDrawn) {
            const uint32_t c = random() & 1;
            const float r = std::min(0.25f + 0.5f * Uniform(), std::nextafter(0.75f, 0.0f));
            deflections[0] = c ? r : -r;
            deflections[1] = -0.25f - 0.5f * Uniform();
            deflectionsDrawn = true;
        }
        s.rollInput = deflections[0];
        s.throttleLevel = 0.5f;
        s.pitchInput = deflections[1];
    } else {
        s.aileronAngle += (std::clamp(s.rollInput, -1.0f, 1.0f) * 20 * Degree - s.aileronAngle) / 6;
        s.elevatorAngle += (std::clamp(s.pitchInput, -1.0f, 1.0f) * 20 * Degree - s.elevatorAngle) / 6;
        s.throttleLevel = std::clamp(s.throttle, 0.0f, 1.0f);
    }

    if (s.held) {
        s.precisePosition[0] = s.position.x;
        s.precisePosition[1] = s.position.y;
        s.precisePosition[2] = s.position.z;
        SetState(s);
        return;
    }

    RwMatrix m;
    RwMatrixSetIdentity(&m);
    Base::SetMatrixAxes(&m, s.up, s.at, s.position);

    // Pitch and bank are measured from the airplane's up to the world's: so the pull back towards level
    // flight restores (the other way round it would run away) and a bank turns the nose towards the lowered
    // wing, as the complex model's turn force does.
    const float theta = Obj::SignedAngleOnPlane(m.right, m.up, WorldUp);
    const float dP = (-s.pitchInput - Base::SignedPow(-0.7f * theta, 2)) * pitchRate * dt;
    const float rightUp = Base::DotProduct(m.right, WorldUp);
    const RwV3d pitchAxis = {m.right.x - rightUp * WorldUp.x, m.right.y - rightUp * WorldUp.y,
                             m.right.z - rightUp * WorldUp.z};
    Base::RotateMatrixAboutPoint(&m, pitchAxis, dP, rwCOMBINEPOSTCONCAT, m.pos);

    const float phi = Obj::SignedAngleOnPlane(m.at, m.up, WorldUp);
    const float dR = (s.rollInput - Base::SignedPow(-phi, 1.2f)) * rollRate * dt;
    const RwV3d rollAxis = m.at;
    Base::RotateMatrixAboutPoint(&m, rollAxis, dR, rwCOMBINEPOSTCONCAT, m.pos);

    const float dY = phi * yawRate * dt;
    Base::RotateMatrixAboutPoint(&m, WorldUp, dY, rwCOMBINEPOSTCONCAT, m.pos);

    float climb = Base::DotProduct(m.at, RwV3d{0, -1, 0}) * ms * 0.6f;
    if (climb > 0)
        climb *= 0.5f;
    const float p = std::sqrt(std::clamp(s.throttleLevel, 0.0f, 1.0f));
    const float target = p * ms + (1 - p) * 150 + climb;
    const float newSpeed = speed + (target - speed) * speedRate * dt;

    const RwV3d move = {m.at.x * newSpeed * dt, m.at.y * newSpeed * dt, m.at.z * newSpeed * dt};
    RwMatrixTranslate(&m, &move, rwCOMBINEPOSTCONCAT);

    s.position = m.pos;
    s.precisePosition[0] = m.pos.x;
    s.precisePosition[1] = m.pos.y;
    s.precisePosition[2] = m.pos.z;
    s.up = m.up;
    s.at = m.at;
    // The rotations were in degrees; the rates are radians per second.
    const float k = Degree / dt;
    s.angularVelocity = {(pitchAxis.x * dP + rollAxis.x * dR + WorldUp.x * dY) * k,
                         (pitchAxis.y * dP + rollAxis.y * dR + WorldUp.y * dY) * k,
                         (pitchAxis.z * dP + rollAxis.z * dR + WorldUp.z * dY) * k};
    const RwV3d velocity = {m.at.x * newSpeed, m.at.y * newSpeed, m.at.z * newSpeed};
    s.acceleration = {(velocity.x - s.velocity.x) / dt, (velocity.y - s.velocity.y) / dt,
                      (velocity.z - s.velocity.z) / dt};
    s.velocity = velocity;

    RwV3d hit;
    const RwV3d above = {s.position.x, s.position.y + 20, s.position.z};
    if (IntersectSegmentPlane(above, s.position, s.groundNormal, s.groundDistance, &hit))
        s.crashed = 1;
    SetState(s);
}

} // namespace Physics
