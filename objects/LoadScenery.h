// The scenery loader: fills a new world with the fixed scenery of a map (sky, cloud layer, terrain,
// generated scenery and airbases) from the scenery's description files in the data directory.
#pragma once

#include "base/Config.h"
#include "base/Info.h"

namespace Grp {
class World;
}

namespace Obj {

// visibility x 70000 + 30000.
float SceneryViewRange(float visibility);
// The generated-scenery density as written: 0 at or below 0, 1 at or above 1.
float ClampSceneryDensity(float density);
// A value the loader writes into a description: six significant digits, as "82500" or "0.3".
Base::String SceneryValueText(float value);

// Reads "Sky<n>", "Clouds<n>", "Terrain<n>" and "Autogen<n>" (.info) and "Bases.info" from the strings
// key "DataDir", writes the settings' values into the trees and adds the objects in that order. A missing
// file reads as an empty tree: its object is added as it loaded (inert when its keys are missing). An
// airbase is skipped when its model does not load, it has no "Pos", or the ground under it is not found.
void LoadScenery(const Base::Config& settings, Grp::World& world, int number);

} // namespace Obj
