// The sample weapons: each a round body along +z (the front) centred on the origin, which is where a rack
// holds it.
#pragma once

#include "tools/models/Model.h"

namespace Tools {

Model ShortRangeMissile();
Model MediumRangeMissile();
Model SurfaceToAirMissile();
Model Bomb();
Model Rocket();
Model RocketPod();
Model FuelTank();

} // namespace Tools
