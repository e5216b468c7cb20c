#include "scene/SignedAngleOnPlane.h"

#include "base/Maths.h"

namespace Obj {

namespace {

RwV3d OnPlane(const RwV3d& normal, const RwV3d& v) {
    const float d = Base::DotProduct(v, normal);
    return Base::Normalize3d(RwV3d{v.x - normal.x * d, v.y - normal.y * d, v.z - normal.z * d});
}

} // namespace

float SignedAngleOnPlane(const RwV3d& normal, const RwV3d& a, const RwV3d& b) {
    const RwV3d pa = OnPlane(normal, a);
    const RwV3d pb = OnPlane(normal, b);
    float angle = std::acos(std::clamp(Base::DotProduct(pa, pb), -1.0f, 1.0f));
    if (Base::DotProduct(Base::CrossProduct(pa, pb), normal) < 0)
        angle = -angle;
    if (angle > float(Base::Pi))
        angle -= float(2 * Base::Pi);
    return angle;
}

} // namespace Obj
