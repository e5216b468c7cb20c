// The sample weapons: each a round body along +z (the front) centred on the origin, which is where a rack
// holds it.
#pragma once

#include "tools/models/Model.h"

namespace Tools {

// far: the model that levels of detail draw far away, six-sided and without fins.
Model ShortRangeMissile(bool far = false);
Model MediumRangeMissile(bool far = false);
Model SurfaceToAirMissile(bool far = false);
Model Bomb(bool far = false);
Model Rocket(bool far = false);
Model RocketPod(bool far = false);
Model FuelTank(bool far = false);

} // namespace Tools
