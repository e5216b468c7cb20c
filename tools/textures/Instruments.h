// The cockpit's instrument atlas: dial faces with their scales and figures, monitor screens, needles and the
// attitude indicator's ball, in the windows that the cockpit's description names.
#pragma once

#include "tools/textures/Patterns.h"

namespace Tools {

// 512 x 512. Top row (128 px cells): the airspeed dial, the altimeter dial, the attitude indicator's bezel
// (open in the middle) and, from x 384, the ball (128 x 256). Second row: the radar's and the weapons
// display's screens, then the needles (16 x 96 each, tip up). lit: the markings glow as under the panel
// lights.
Picture InstrumentAtlas(bool lit);

} // namespace Tools
