// The lead solution that the head-up display's gun sight, the automatic anti-aircraft guns and the homing
// missile guidance share. Pure kinematics: it lives here, below the weapons and the HUD that call it.
#pragma once

#include "rwsdk/src/plcore/vector.h"

namespace Hud {

// A projectile of speed s from Ps (moving with Vs) to a target at Pt moving with Vt: the time t with
// |r + w t| = s t (r = Pt - Ps, w = Vt - Vs; the root with the plus sign). Outputs, each optional: unit aim
// direction r + w t, intercept point Pt + Vt t, and t. False (outputs untouched) when there is no solution,
// the speeds are equal, or t is not a positive finite time (a faster target running away, a non-finite
// input).
bool ComputeIntercept(const RwV3d& shooterPosition, const RwV3d& shooterVelocity, const RwV3d& targetPosition,
                      const RwV3d& targetVelocity, float projectileSpeed, RwV3d* aimDirection,
                      RwV3d* interceptPoint, float* time);

} // namespace Hud
