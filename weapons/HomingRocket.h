// Weapons::HomingRocket: a guided missile. While it hangs on its rack with a target its seeker slews towards
// the target inside a narrow cone ahead of the nose and locks on; launched with a lock it steers on a lead
// solution with an upward correction, as far as its thrust can turn it, and a proximity fuse sets it off.
// In flight it can lose its target: behind it, to a jamming airplane (radar seekers), or to a flare or chaff
// that seduces its kind of seeker. Launched without a lock it flies straight like an unguided rocket.
#pragma once

#include "weapons/Rocket.h"

#include <memory>

namespace Weapons {

enum GuidanceKind : int32_t { GuidanceOther = 0, GuidanceInfrared = 1, GuidanceRadar = 2 };

class HomingRocket : public Rocket {
public:
    static constexpr float DecoyCheckInterval = 0.5f;
    static constexpr float LockCone = 0.98f;      // cosine of the seeker's half-angle
    static constexpr float LockTolerance = 0.01f; // seeker axis to the target's direction, to lock
    static constexpr float DefaultTurnRate = 5.0f;

    class Seeker {
    public:
        explicit Seeker(HomingRocket* rocket_) : rocket(rocket_) {}

        // One frame of search on the rack: slews towards the target and locks when it is on it.
        void Update(float dt);

        Base::SmartPtr<Obj::Target> target;
        HomingRocket* rocket;
        bool locked = false;
        bool inRange = false;
        RwV3d axis = {0, 0, 1}; // in the rocket's own axes
        float turnRate = DefaultTurnRate;
        RwV3d lastTargetCentre = {0, 0, 0};
        RwV3d predictedTarget = {0, 0, 0};
        float lastSampleTime = 0;
        bool decoyTestArmed = false;
        bool previousSampleValid = false;
    };

    HomingRocket();
    ~HomingRocket() override;

    // Rocket::LoadParams, then "FileName", "HomingRocketParams.Guidance" ("Infrared", "Radar" or "Other",
    // exact case), "HomingRocketParams.FuseDistance", "HomingRocketParams.TargetingSpeed" and the optional
    // "HomingRocketParams.UpAdjustFactor". An acceleration of 0 is refused: the guidance divides by it.
    bool LoadParams(const Base::Info* info) override;
    bool ReadHomingKeys(const Base::Info* info);

    // Gives the seeker a target (or none), locked or searching. On the rack the missile runs only while it
    // has a target.
    void SetTarget(Obj::Target* target, bool locked);
    Obj::Target* GetTarget() const { return seeker->target.Get(); }
    bool IsLocked() const { return seeker->locked; }

    void Launch(const RwV3d& velocity) override;
    // Also: a missile hung with a target runs its seeker in its new world.
    void SetWorld(Grp::World* world) override;
    void Run() override;
    void Simulate(float time, float step) override;
    // Flares seduce infrared seekers, chaff radar ones; a jamming airplane breaks a radar lock.
    void CheckDecoys(GuidanceKind kind);

    // The guidance of one step on a locked target: the new thrust direction. Public for the tests.
    RwV3d Steer(const RwV3d& targetPosition, const RwV3d& targetVelocity, float dt);
    // Where the guidance aims for a target there and so moving: the lead point raised by the correction.
    RwV3d AimPoint(const RwV3d& targetPosition, const RwV3d& targetVelocity);

    GuidanceKind guidance = GuidanceOther;
    float fuseDistance = 0;
    float upAdjustFactor = 0;
    std::unique_ptr<Seeker> seeker;
    RwV3d targetCentreAtLaunch = {0, 0, 0};
    float lastDecoyCheck = 0;
    Base::String fileName;

private:
    // The target's sphere centre, and its position and velocity for the guidance.
    static RwV3d Centre(Obj::Target* target);
    static void TargetMotion(Obj::Target* target, RwV3d& position, RwV3d& velocity);
};

} // namespace Weapons
