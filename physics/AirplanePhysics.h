// The flight model of one airplane as the rest of the game sees it: the parameter record and the
// authoritative AirplaneState, advanced by Step and replaced whole by SetState. Implemented by the complex
// (aerodynamic rigid body), simple (arcade) and null (pass-through) models.
#pragma once

#include "physics/AirplaneState.h"
#include "physics/PhysicsParams.h"

#include <cstdint>
#include <random>

namespace Physics {

class AirplanePhysics {
public:
    // The seed is the airplane's own: the model's random draws (the airfoils' small spread, the
    // out-of-control deflections) come from it alone, so that one flight flown twice is the same flight and
    // no other user of the program's generator sees its sequence change.
    AirplanePhysics(const PhysicsParams& params, const AirplaneState& state, uint32_t seed);
    virtual ~AirplanePhysics() = default;
    AirplanePhysics(const AirplanePhysics&) = delete;
    AirplanePhysics& operator=(const AirplanePhysics&) = delete;

    virtual void Step(float dt) = 0;
    // Stores the whole record; a record with a value that is not finite is refused, and the last finite
    // state stays.
    virtual void SetState(const AirplaneState& state);

    PhysicsParams params;
    AirplaneState state;

    // The model's own generator, seeded at construction.
    std::mt19937 random;
    // A uniform draw in [0, 1) from it.
    float Uniform() { return float(random() * (1.0 / 4294967296.0)); }

protected:
    // The out-of-control deflections: drawn once, the first time the airplane is out of control, and the
    // same in every step after.
    bool deflectionsDrawn = false;
    float deflections[3] = {};
};

// Every float of the record is finite (the control commands, the motion, the ground record and the engine).
bool IsFinite(const AirplaneState& state);

} // namespace Physics
