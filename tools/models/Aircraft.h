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

// How finely the curved surfaces are divided: the full model, or the one that levels of detail draw far
// away, a few dozen pixels long at most, whose rounds have few sides.
struct Fineness {
    int body = 20;         // points around the fuselage's sections
    int airfoil = 10;      // chord stations of a wing, fin or tail section
    int round = 16;        // sides of nacelles and nozzles
    int canopyAround = 12; // points around the canopy's sections
    int canopySteps = 10;  // sections along the canopy
};
constexpr Fineness FarFineness{8, 3, 8, 4, 4};

Model Fighter(const Paint& paint, AircraftLayout& layout, const Fineness& fineness = {});
Model Attacker(const Paint& paint, AircraftLayout& layout, const Fineness& fineness = {});
// An airplane's far level of detail from its model (built coarse): every part but the gear, the pylons and
// the weapon bay merged into one "Fuselage" atomic, the control surfaces at rest, and the "_CabinGlass"
// atomic. Its atomics take the names of the full model's, whose geometries they replace at that level.
Model FarAirplane(const Model& model);
// The pilot figure, its origin at the seat: "Sitting" in the cockpit, "Flying" free after the ejection,
// "OnParachute" hanging under the open canopy.
Model PilotFigure();

} // namespace Tools
