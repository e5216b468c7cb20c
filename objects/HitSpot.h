// Obj::HitSpot: where an object was hurt. An invisible frame (hung in the hurt object's frame tree, or free
// where a destroyed object stood) that owns one smoke column below it: full strength for the hold time, then
// fading linearly over the fade time, stopped once the faded strength is 0.1 or less; when the smoke has gone
// the spot removes and deletes itself.
#pragma once

#include "objects/Smoke.h"

namespace Obj {

class HitSpot : public Frame, public Object, public Runnable, public HitMark {
public:
    HitSpot() = default;
    ~HitSpot() override = default;

    // Strength S: hold and fade times drawn from a freshly seeded generator, and the smoke made and hung
    // below the spot.
    void Setup(float strength);
    float GetStrength() const override { return strength; }
    // Also the smoke's, when it is still there.
    void SetStrength(float strength) override;

    void SetWorld(Grp::World* world) override;
    void Run() override;

    // Lets blasts leave hit spots (Damageable::CreateHitSpot); true.
    static bool Install();
    // A set-up spot at the point, in no world and attached to nothing.
    static HitSpot* Create(float strength, const RwV3d& point);

    float strength = 0;
    Base::SmartPtr<Smoke> smoke;
    float startTime = -1;
    float holdTime = 0;
    float fadeTime = 0;
};

} // namespace Obj
