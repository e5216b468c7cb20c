#include "physics/AirplanePhysics.h"

#include <cmath>

namespace Physics {

AirplanePhysics::AirplanePhysics(const PhysicsParams& p, const AirplaneState& s, uint32_t seed)
    : random(seed) {
    params = PhysicsParams{};
    AirplaneState::Init(state);
    params = p;
    if (IsFinite(s))
        state = s;
}

void AirplanePhysics::SetState(const AirplaneState& s) {
    if (IsFinite(s))
        state = s;
}

bool IsFinite(const AirplaneState& s) {
    auto finite = [](std::initializer_list<float> values) {
        for (float v : values)
            if (!std::isfinite(v))
                return false;
        return true;
    };
    auto vectors = [&](std::initializer_list<RwV3d> values) {
        for (const RwV3d& v : values)
            if (!finite({v.x, v.y, v.z}))
                return false;
        return true;
    };
    for (double p : s.precisePosition)
        if (!std::isfinite(p))
            return false;
    for (int i = 0; i < 3; ++i)
        if (!finite({s.wheelCompression[i], s.wheelSteering[i], s.wheelRotation[i], s.wheelBrake[i]}))
            return false;
    return vectors({s.position, s.up, s.at, s.massCentreOffset, s.velocity, s.angularVelocity, s.groundNormal,
                    s.groundVelocity, s.right, s.acceleration}) &&
           finite({s.rollInput,         s.auxInput,
                   s.pitchInput,        s.yawInput,
                   s.throttle,          s.afterburnerCommand,
                   s.wheelBrakeCommand, s.gearDownCommand,
                   s.weaponDoorCommand, s.fuel,
                   s.groundDistance,    s.groundRoughness,
                   s.groundHeight,      s.aileronAngle,
                   s.auxAngle,          s.elevatorAngle,
                   s.rudderAngle,       s.throttleLevel,
                   s.gearExtension,     s.weaponDoorOpening,
                   s.engineSpool,       s.afterburnerLevel,
                   s.thrustFactor});
}

} // namespace Physics
