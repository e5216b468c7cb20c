// The flight model of one airplane as the rest of the game sees it: the parameter record and the
// authoritative AirplaneState, advanced by Step and replaced whole by SetState. Implemented by the complex
// (aerodynamic rigid body), simple (arcade) and null (pass-through) models.
#pragma once

#include "physics/AirplaneState.h"
#include "physics/PhysicsParams.h"

namespace Physics {

class AirplanePhysics {
public:
    AirplanePhysics(const PhysicsParams& params, const AirplaneState& state);
    virtual ~AirplanePhysics() = default;
    AirplanePhysics(const AirplanePhysics&) = delete;
    AirplanePhysics& operator=(const AirplanePhysics&) = delete;

    virtual void Step(float dt) = 0;
    // Stores the whole record.
    virtual void SetState(const AirplaneState& state);

    PhysicsParams params;
    AirplaneState state;

    // A seed for the out-of-control deflections: the same in every step of this model, different between
    // airplanes.
    uint32_t OutOfControlSeed() const;

private:
    uint32_t serial = 0; // models made before this one, plus one: repeatable from run to run
};

} // namespace Physics
