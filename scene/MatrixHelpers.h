// Matrix helpers that physics, pilots, weapons, cameras and the model preview share: rotations about a point,
// and matrices built from axes or from a viewing direction. The engine's row-vector convention applies.
#pragma once

#include "rwsdk/src/plcore/matrix.h"

namespace Base {

// Rotates about the axis through point (degrees): translate(-point), rotate, translate(+point), combined with
// the matrix (0 replace, 1 pre-concatenate, 2 post-concatenate).
RwMatrix* RotateMatrixAboutPoint(RwMatrix* matrix, const RwV3d& axis, float degrees, int combine,
                                 const RwV3d& point);

// up, at and position as given; right = up x at; the matrix is marked changed.
RwMatrix* SetMatrixAxes(RwMatrix* matrix, const RwV3d& up, const RwV3d& at, const RwV3d& position);

// at = direction (a unit vector), right = upHint x direction, up = direction x right, both normalised; the
// position stays.
RwMatrix* SetMatrixLookDirection(RwMatrix* matrix, const RwV3d& direction, const RwV3d& upHint);

// Looks from the matrix's position towards the target.
RwMatrix* SetMatrixLookAt(const RwV3d& target, RwMatrix* matrix, const RwV3d& upHint = {0, 1, 0});

} // namespace Base
