// Cockpit::TargetData: what the radar and the head-up display show of the current target: its heading, its
// speed and closing speed smoothed over the last frames, its distance and its height difference.
#pragma once

#include "cameras/SampleHistory.h"

#include "base/Maths.h"
#include "base/SmartPtr.h"
#include "rwsdk/src/plcore/vector.h"

namespace Obj {
class Frame;
}

namespace Cockpit {

// A vector sample for the smoothing history.
struct Vec3Sample {
    float x = 0, y = 0, z = 0;
    friend Vec3Sample operator+(Vec3Sample a, Vec3Sample b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend Vec3Sample operator-(Vec3Sample a, Vec3Sample b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend Vec3Sample operator*(Vec3Sample a, float k) { return {a.x * k, a.y * k, a.z * k}; }
};

class TargetData {
public:
    TargetData() { Reset(); }

    // Every value zero, the histories zeroed, no previous position; the target stays.
    void Reset();
    // One sample at game time now, measured from the reference point. The first sample after a reset only
    // measures the distance; speed and closing speed build up through the smoothing over the next frames.
    void Update(float now, const RwV3d& reference);

    Base::SmartPtr<Obj::Frame> target;
    RwV3d velocity{0, 0, 0};
    float heading = 0; // degrees in [0, 360)
    float speed = 0;
    float closingSpeed = 0; // positive while closing
    float distance = 0;
    float heightDifference = 0; // target height minus reference height
    double previousPosition[3] = {0, 0, 0};
    float lastTime = 0;
    float previousDistance = 0;
    SampleHistory<Vec3Sample> velocityHistory;
    SampleHistory<float> closingHistory;
};

} // namespace Cockpit
