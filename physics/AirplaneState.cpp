#include "physics/AirplaneState.h"

namespace Physics {

AirplaneState& AirplaneState::Init(AirplaneState& state) {
    state = AirplaneState{};
    state.up = {0, 1, 0};
    state.at = {0, 0, 1};
    state.right = {1, 0, 0};
    state.fuel = 1.0f;
    return state;
}

} // namespace Physics
