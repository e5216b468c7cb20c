#include "physics/AirplanePhysicsNull.h"

namespace Physics {

AirplanePhysicsNull::AirplanePhysicsNull(const PhysicsParams& p, const AirplaneState& s, uint32_t seed)
    : AirplanePhysics(p, s, seed) {}

void AirplanePhysicsNull::Step(float) {
    AirplaneState s = state;
    s.precisePosition[0] = s.position.x;
    s.precisePosition[1] = s.position.y;
    s.precisePosition[2] = s.position.z;
    SetState(s);
}

} // namespace Physics
