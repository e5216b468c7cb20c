#include "scene/MatrixHelpers.h"

#include "base/Maths.h"

namespace Base {

RwMatrix* RotateMatrixAboutPoint(RwMatrix* matrix, const RwV3d& axis, float degrees, int combine,
                                 const RwV3d& point) {
    RwMatrix transform;
    RwMatrixSetIdentity(&transform);
    const RwV3d back = {-point.x, -point.y, -point.z};
    RwMatrixTranslate(&transform, &back, rwCOMBINEREPLACE);
    RwMatrixRotate(&transform, &axis, degrees, rwCOMBINEPOSTCONCAT);
    RwMatrixTranslate(&transform, &point, rwCOMBINEPOSTCONCAT);
    return RwMatrixTransform(matrix, &transform, RwOpCombineType(combine));
}

RwMatrix* SetMatrixAxes(RwMatrix* matrix, const RwV3d& up, const RwV3d& at, const RwV3d& position) {
    matrix->right = CrossProduct(up, at);
    matrix->up = up;
    matrix->at = at;
    matrix->pos = position;
    RwMatrixUpdate(matrix);
    return matrix;
}

// Normalised so that the matrix never scales what it places (a direction away from the horizontal would
// otherwise shrink the right and up axes by the sine of its angle to the hint).
RwMatrix* SetMatrixLookDirection(RwMatrix* matrix, const RwV3d& direction, const RwV3d& upHint) {
    const RwV3d right = Normalize3d(CrossProduct(upHint, direction));
    const RwV3d up = Normalize3d(CrossProduct(direction, right));
    return SetMatrixAxes(matrix, up, direction, matrix->pos);
}

RwMatrix* SetMatrixLookAt(const RwV3d& target, RwMatrix* matrix, const RwV3d& upHint) {
    const RwV3d d = {target.x - matrix->pos.x, target.y - matrix->pos.y, target.z - matrix->pos.z};
    return SetMatrixLookDirection(matrix, Normalize3d(d), upHint);
}

} // namespace Base
