// The sample ground vehicles and ships, front along +z, standing on y = 0 (ships: the waterline).
#pragma once

#include "tools/models/Model.h"

namespace Tools {

Model Truck();
Model ArmedCar(); // body, wheels, a turret and its guns as separate frames
Model PatrolShip();
// A carrier with its flight deck 18 m above the waterline and two bow catapults at x = 9 and x = -9 from
// z = 58 forward.
Model Carrier();

} // namespace Tools
