// The flight models' parameter record: 48 words, filled by the airplane loader from the airplane's
// description. Sentinels mark values that are not given: -1 for scalars, an x of 1e9 for vectors.
#pragma once

#include "rwsdk/src/plcore/vector.h"

#include <string>

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

// Why the record cannot fly the complex model: the first key that is missing or out of range (mass and
// every moment of inertia above 0; thrust, damping, surfaces and wheel radii 0 or more; the airfoil and
// spring offsets given, within 1000 m of the model's origin), named with its reason. Empty when it can fly.
std::string ComplexParamsFault(const PhysicsParams& params);
// The same for the simple model: MaxSpeed and Agility given and above 0.
std::string SimpleParamsFault(const PhysicsParams& params);

} // namespace Physics
