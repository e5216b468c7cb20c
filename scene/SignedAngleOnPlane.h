// The signed angle between two directions seen along a plane's normal, used by the flight models, the
// computer pilot, the cameras and the missile guidance.
#pragma once

#include "rwsdk/src/plcore/vector.h"

namespace Obj {

// a and b projected on the plane normal to `normal` and normalised; acos of their dot product (clamped to
// [-1, 1]), positive when (a' x b') . normal > 0; in (-pi, pi].
float SignedAngleOnPlane(const RwV3d& normal, const RwV3d& a, const RwV3d& b);

} // namespace Obj
