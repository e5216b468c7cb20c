#include "cockpit/TargetData.h"

#include "scene/Attachable.h"

#include <cmath>

namespace Cockpit {

void TargetData::Reset() {
    velocity = {0, 0, 0};
    heading = speed = closingSpeed = distance = heightDifference = 0;
    previousPosition[0] = previousPosition[1] = previousPosition[2] = 0;
    lastTime = 0;
    previousDistance = 0;
    velocityHistory.Reset();
    closingHistory.Reset();
}

void TargetData::Update(float now, const RwV3d& reference) {
    Obj::Frame* frame = target.Get();
    if (!frame || !frame->frame) {
        Reset();
        return;
    }
    const RwMatrix* m = RwFrameGetWorldMatrix(frame->frame);
    heading = Base::SignedAngle2d({m->at.x, m->at.z}, {0, 1}) * 57.29578f;
    if (heading < 0)
        heading += 360.0f;

    const float dt = now - lastTime;
    if (!(dt > 0))
        return;
    double position[3];
    frame->GetWorldPositionDouble(position);
    const double dx = position[0] - reference.x, dy = position[1] - reference.y,
                 dz = position[2] - reference.z;
    previousDistance = distance;
    const bool first = previousPosition[0] == 0 && previousPosition[1] == 0 && previousPosition[2] == 0;
    distance = float(std::sqrt(dx * dx + dy * dy + dz * dz));
    if (!first) {
        const Vec3Sample sample{float((previousPosition[0] - position[0]) / dt),
                                float((previousPosition[1] - position[1]) / dt),
                                float((previousPosition[2] - position[2]) / dt)};
        const Vec3Sample smoothed = velocityHistory.AddAndFilter(sample, 20, 10, 5);
        velocity = {smoothed.x, smoothed.y, smoothed.z};
        speed = float(Base::VectorLength(velocity));
        heightDifference = float(dy);
        closingSpeed = closingHistory.AddAndFilter((previousDistance - distance) / dt, 20, 10, 5);
    }
    previousPosition[0] = position[0];
    previousPosition[1] = position[1];
    previousPosition[2] = position[2];
    lastTime = now;
}

} // namespace Cockpit
