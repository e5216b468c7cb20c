// The sample aircraft: a twin-engined, twin-finned fighter and a straight-winged ground-attack aircraft,
// with the part names the airplane looks up (wheels and suspension legs, control surfaces, gears, weapon
// door, canopy glass, racks) as separate frames.
#pragma once

#include "tools/models/Model.h"

#include <array>
#include <string>

namespace Tools {

// Colours of one paint scheme: the camouflaged skin's tint and the underside's.
struct Paint {
    std::array<uint8_t, 4> skin{255, 255, 255, 255};
    std::string skinTexture = "camo";
};

// Where the airplane description's offsets come from the model.
struct AircraftLayout {
    glm::vec3 pilotSeat{0}, gun{0}, condensationTrail{0}, damageTrail{0};
    std::vector<glm::vec3> nozzles;
    std::vector<float> nozzleDiameters;
    glm::vec3 wingOffset{0}, hStabilizerOffset{0}, vStabilizerOffset{0};
    float centerWheelRadius = 0, sideWheelRadius = 0;
    glm::vec3 frontBottomSpring{0}, rearBottomSpring{0}, frontTopSpring{0}, rearTopSpring{0}, sideSpring{0};
    int racks = 0;
};

Model Fighter(const Paint& paint, AircraftLayout& layout);
Model Attacker(const Paint& paint, AircraftLayout& layout);
// The pilot figure, its origin at the seat: "Sitting" in the cockpit, "Flying" free after the ejection,
// "OnParachute" hanging under the open canopy.
Model PilotFigure();

} // namespace Tools
