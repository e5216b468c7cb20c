// The world map's pictures: one icon per kind of map object, white on a clear background so that each
// object's colour tints it, and the texture of the sea slices. Pure functions of their names: the same on
// every build.
#pragma once

#include "tools/textures/Patterns.h"

#include <string>
#include <vector>

namespace Tools {

constexpr int MapIconSide = 32;

// The icon names that the model descriptions give ("Damages.MapIcon"), the default "IconUndefined", and
// "IconWaypoint" for route points.
const std::vector<std::string>& MapIconNames();
// MapIconSide square; an unknown name gives the undefined icon.
Picture MapIcon(const std::string& name);
// The sea as the map shows it: blue with light wave lines, 64 x 64, tiling.
Picture MapWater();
constexpr uint8_t MapWaterBase[3] = {40, 86, 150};

} // namespace Tools
