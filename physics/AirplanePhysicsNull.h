// The flight model of a remote player's display copy: no simulation; the position arrives over the network.
#pragma once

#include "physics/AirplanePhysics.h"

namespace Physics {

class AirplanePhysicsNull : public AirplanePhysics {
public:
    AirplanePhysicsNull(const PhysicsParams& params, const AirplaneState& state, uint32_t seed = 0);
    // Only precisePosition follows position.
    void Step(float dt) override;
};

} // namespace Physics
