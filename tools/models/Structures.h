// The sample buildings and scenery: hangar, control tower, a runway with its markings, the airbase that
// puts them together, and the trees and houses of the generated scenery (an "Object" textured from the
// scenery atlas and a flat "Shadow").
#pragma once

#include "tools/models/Model.h"

namespace Tools {

Model Hangar();
Model Bunker();
Model ControlTower();
// 3000 m by 45 m along x: runway "09" lands towards -x from the +x end, "27" towards +x from the -x end.
Model Runway();
// The runway at the origin, a parallel taxiway, an apron, three hangars and the tower north of it (+z).
Model Airbase();
Model Conifer();
Model BroadleafTree();
Model Poplar();
Model Cottage();
Model TownHouse();

} // namespace Tools
