#include "physics/AirplanePhysics.h"

namespace Physics {

namespace {
uint32_t modelsMade = 0;
}

AirplanePhysics::AirplanePhysics(const PhysicsParams& p, const AirplaneState& s) {
    params = PhysicsParams{};
    AirplaneState::Init(state);
    params = p;
    state = s;
    serial = ++modelsMade;
}

void AirplanePhysics::SetState(const AirplaneState& s) {
    state = s;
}

uint32_t AirplanePhysics::OutOfControlSeed() const {
    return serial * 2654435761u + 12345u;
}

} // namespace Physics
