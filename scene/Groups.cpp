#include "scene/Groups.h"

namespace Grp {

bool ClipSegmentToBox(const RwLine& segment, const RwV3d& min, const RwV3d& max, RwLine& out) {
    const double s[3] = {segment.start.x, segment.start.y, segment.start.z};
    const double d[3] = {double(segment.end.x) - s[0], double(segment.end.y) - s[1],
                         double(segment.end.z) - s[2]};
    const double lo[3] = {min.x, min.y, min.z}, hi[3] = {max.x, max.y, max.z};
    // A segment from a broken state (not a number, infinite) is nowhere; the walk could not count it.
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(s[a]) || !std::isfinite(d[a]))
            return false;
    double t0 = 0, t1 = 1;
    for (int a = 0; a < 3; ++a) {
        if (d[a] == 0) {
            if (s[a] < lo[a] || s[a] > hi[a])
                return false;
            continue;
        }
        double ta = (lo[a] - s[a]) / d[a], tb = (hi[a] - s[a]) / d[a];
        if (ta > tb)
            std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1)
            return false;
    }
    out.start = {float(s[0] + t0 * d[0]), float(s[1] + t0 * d[1]), float(s[2] + t0 * d[2])};
    out.end = {float(s[0] + t1 * d[0]), float(s[1] + t1 * d[1]), float(s[2] + t1 * d[2])};
    return true;
}

} // namespace Grp
