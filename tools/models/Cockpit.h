// The sample 3D cockpit: the fighters' tub seen from the pilot's seat (instrument panel, glare shield, side
// consoles, stick and throttle, head-up display glass, canopy bow) with the named quads that the cockpit
// turns into its dials and monitors, and its description (the instruments' texture windows and needles).
#pragma once

#include "tools/models/Model.h"

#include <string>

namespace Tools {

// The cockpit's geometry is in the airplane's axes: its frame sits on the airplane's.
Model FighterCockpit();
// The description of the cockpit model at dff, with the keys of its dials, needles and attitude ball.
std::string CockpitDescription(const std::string& dff);

// The instrument atlas: every dial face, monitor screen, needle and the attitude ball in one picture of
// this size; lit draws the markings glowing, as the panel lights show them.
struct CockpitAtlasLayout {
    static constexpr int Size = 512;
};

} // namespace Tools
