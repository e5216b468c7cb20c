// The textures of the lighter effects: the ribbon of smoke trails, the dust and spray of ground and water
// spurts, and the glow of engine exhaust. Pure functions of their size, like the other patterns.
#pragma once

#include "tools/textures/Patterns.h"

namespace Tools {

// A ribbon: v runs across it (soft at both edges), u along it, wrapping; white wisps on transparent.
Picture SmokeTrail(int size);
// A brown, grainy puff of earth thrown up by a bullet.
Picture SpurtLand(int size);
// A white, frothy puff of spray.
Picture SpurtWater(int size);
// The glow of a nozzle: white-hot at the centre through yellow to black at the rim; drawn additively, so
// black is transparent.
Picture Exhaust(int size);
// A tracer streak: u across it, v along it (0 the head); a white-hot core fading to the sides and the tail.
// Drawn additively.
Picture Bullet(int size);
// The burning magnesium of a decoy flare: a white core in a yellow-orange glow, alpha to the rim.
Picture Flare(int size);
// A cloud of chaff strips: grey-silver glints, alpha from their density.
Picture Chaff(int size);

} // namespace Tools
