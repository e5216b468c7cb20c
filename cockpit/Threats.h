// Cockpit::Threats: the radar-warning list of one airplane. Radars, missile sites and homing missiles report
// what threatens it; each entry lives a while after its last report (a missile's only a quarter of a second,
// so that it drops out soon after the missile stops homing).
#pragma once

#include "base/SmartPtr.h"

#include <vector>

namespace Obj {
class Frame;
}

namespace Cockpit {

class Cockpit;

struct Threat {
    int kind = 0; // 0 tracking, 1 launch, 2 missile
    Base::SmartPtr<Obj::Frame> source;
    float time = 0; // game time of the last report
};

class Threats {
public:
    // Seconds an entry of each kind outlives its last report.
    static float Lifetime(int kind);

    explicit Threats(Cockpit* owner = nullptr) : owner(owner) {}

    // At the owner's game time. An entry of the same source and a kind not above the new one takes the kind
    // and the time; otherwise a new entry is added, so a higher kind is never lowered by a lower report.
    void Add(int kind, Obj::Frame* source);
    void Add(int kind, Obj::Frame* source, float now);
    // Drops the entries whose source is gone or whose lifetime ran out before now.
    void Expire(float now);

    Cockpit* owner;
    std::vector<Threat> entries;
};

} // namespace Cockpit
