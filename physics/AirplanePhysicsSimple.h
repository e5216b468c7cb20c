// The computer-flown airplanes' flight model: kinematic. The airplane always moves along its nose at a speed
// that follows the throttle and the climb angle; the stick turns the nose directly, with a gentle pull back
// towards level flight, and a bank turns it.
#pragma once

#include "physics/AirplanePhysics.h"

namespace Physics {

class AirplanePhysicsSimple : public AirplanePhysics {
public:
    AirplanePhysicsSimple(const PhysicsParams& params, const AirplaneState& state, uint32_t seed = 0);
    // Nothing for dt = 0; a negative dt is stepped like a positive one.
    void Step(float dt) override;
};

} // namespace Physics
