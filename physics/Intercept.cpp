#include "physics/Intercept.h"

#include "base/Maths.h"

namespace Hud {

bool ComputeIntercept(const RwV3d& ps, const RwV3d& vs, const RwV3d& pt, const RwV3d& vt, float s, RwV3d* aim,
                      RwV3d* point, float* time) {
    const RwV3d w = {vt.x - vs.x, vt.y - vs.y, vt.z - vs.z};
    const RwV3d r = {pt.x - ps.x, pt.y - ps.y, pt.z - ps.z};
    const float b = Base::DotProduct(r, w);
    const float a = s * s - Base::DotProduct(w, w);
    const float d = b * b + Base::DotProduct(r, r) * a;
    if (d < 0 || a == 0)
        return false;
    const float t = (b + std::sqrt(d)) / a;
    // A time in the past (a faster target running away) or none at all (a broken speed) is no aim: the
    // sight, the guns and the guidance would lead into where the target has been.
    if (!(t > 0) || !std::isfinite(t))
        return false;
    if (aim)
        *aim = Base::Normalize3d(RwV3d{r.x + w.x * t, r.y + w.y * t, r.z + w.z * t});
    if (point)
        *point = {pt.x + vt.x * t, pt.y + vt.y * t, pt.z + vt.z * t};
    if (time)
        *time = t;
    return true;
}

} // namespace Hud
