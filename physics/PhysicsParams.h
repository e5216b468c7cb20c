// The flight models' parameter record: 48 words, filled by the airplane loader from the airplane's
// description. Sentinels mark values that are not given: -1 for scalars, an x of 1e9 for vectors.
#pragma once

#include "rwsdk/src/plcore/vector.h"

namespace Base {
class Info;
}

namespace Physics {

struct SimplePhysicsParams {
    float maxSpeed; // m/s from 10000 m up; 40 % of it at sea level
    float agility;
};

struct ComplexPhysicsParams {
    float mass;
    RwV3d aMass;  // principal moments of inertia about right, up, at
    float thrust; // rated thrust, kilogram-force
    float linearDampingFactor;
    float quadraticDampingFactor;
    float wingSurface;
    float hStabilizerSurface;
    float vStabilizerSurface;
    float aileronSurface;
    float elevatorSurface;
    float rudderSurface;
    RwV3d wingOffset;
    RwV3d hStabilizerOffset;
    RwV3d vStabilizerOffset;
    float tailIncidence;       // radians; the loader sets 0
    RwV3d centerWheelPosition; // the model positions of "WheelC" and "WheelL", set by the loader
    RwV3d sideWheelPosition;
    float centerWheelRadius;
    float sideWheelRadius;
    RwV3d frontBottomSpringOffset;
    RwV3d rearBottomSpringOffset;
    RwV3d frontTopSpringOffset;
    RwV3d rearTopSpringOffset;
    RwV3d sideSpringOffset;
};

struct PhysicsParams {
    SimplePhysicsParams simple;
    ComplexPhysicsParams complex;
};
static_assert(sizeof(PhysicsParams) == 48 * sizeof(float));

// Clears the record and reads every keyed word from the airplane's description ("SimplePhysicsParams.*",
// "ComplexPhysicsParams.*"); a missing or unparsable value takes its sentinel. The tail incidence and the
// two wheel positions are left at 0 for the loader.
void ReadPhysicsParams(const Base::Info& description, PhysicsParams& params);

} // namespace Physics
