// The effects' particle textures: a ball of fire and two kinds of smoke puff. Each is a round sprite on
// transparent black whose alpha falls to 0 before the rim, so quads drawn from it show no edges.
#pragma once

#include "tools/textures/Patterns.h"

namespace Tools {

// White-hot at the centre through yellow to orange at the ragged rim; drawn additively.
Picture ExplosionFire(int size);
// A dark, lumpy puff for the cloud an explosion leaves.
Picture ExplosionSmoke(int size);
// A soft grey puff for the smoke columns of burning objects.
Picture SmokePuff(int size);

} // namespace Tools
