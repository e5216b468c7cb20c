// Weapons::Rocket: a rocket-propelled store in flight. Launched, it leaves its rack, lights its engine after
// a delay, accelerates along its launch direction up to its speed limit (no gravity), turns its body into
// its flight path, trails smoke and flame, and sweeps each frame's flight against the world; the first hit
// explodes it (or splashes it on the sea). Its life running out ends it silently. Weapons::UnguidedRocket is
// the rocket of a pod.
#pragma once

#include "weapons/Ordnance.h"
#include "weapons/SegmentMissile.h"

#include "objects/SmokeTrail.h"

#include <cfloat>

namespace Audio {
class Sound3d;
}
namespace Obj {
class Exhaust;
}

namespace Weapons {

// Limits on what a description may ask of a weapon: beyond them a value is refused, not used.
namespace Limits {
constexpr float Time = 3600.0f;           // seconds of flight or delay
constexpr float Speed = 20000.0f;         // units per second
constexpr float Acceleration = 100000.0f; // units per second squared
constexpr float Strength = 1.0e6f;        // explosion strength
constexpr float Size = 100.0f;            // nozzle offsets and diameters
} // namespace Limits

class Rocket : public Ordnance, public SegmentMissile, public Obj::Runnable, public Obj::Simulateable {
public:
    static constexpr float Step = 0.02f;

    Rocket();
    ~Rocket() override;

    // Ordnance::Load, then the "RocketParams." keys.
    virtual bool LoadParams(const Base::Info* info);
    // The "RocketParams." keys alone.
    bool ReadRocketKeys(const Base::Info* info);

    void Launch(const RwV3d& velocity) override;
    void SetWorld(Grp::World* world) override;
    void Run() override;
    void Simulate(float time, float step) override;
    // Leaves the world in a blast (or a splash at sea level) at the point, and deletes itself.
    void Explode(const RwV3d& point);

    // The step of the simulation, and the tests' closed forms.
    void Advance(float dt);
    RwV3d Forward();
    RwV3d Position();

    bool remoteCopy = false;
    bool paramsLoaded = false;
    RwV3d velocity = {0, 0, 0};
    RwV3d lastPosition = {FLT_MAX, 0, 0}; // x at FLT_MAX: not yet set
    float thrust = 0;
    float timeToLive = 0;
    float acceleration = 0;
    float maxSpeed = 0;
    float explosionStrength = 0;
    RwV3d nozzleOffset = {0, 0, 0};
    float nozzleDiameter = 0;
    float timeToEngineStart = 0.5f;
    RwV3d thrustDirection = {0, 0, 1};
    float smokeColour[4] = {1, 1, 1, 1};
    Base::SmartPtr<Obj::SmokeTrailGroup> smoke;
    Obj::SmokeTrailGroup::Trail* trail = nullptr;
    Base::SmartPtr<Obj::Exhaust> exhaust;
    Audio::Sound3d* sound = nullptr; // owned
    float flameLength = 0;
    bool hitSomething = false;

protected:
    // Applies the body's new forward axis at its position, keeping the position's double precision.
    void Orient(const RwV3d& forward);
    void JoinPasses();
    // Out of life: leaves the world without a blast, its smoke left to fade, and deletes itself.
    void Expire();
};

class UnguidedRocket : public Rocket {
public:
    bool LoadParams(const Base::Info* info) override;
    // Nothing while it hangs on something.
    void Run() override;

    Base::String fileName;
};

// The size of the splash a weapon of that strength makes on the sea.
float SplashSize(float strength);
// Makes the blast or, at or below sea level, the splash of a weapon at the point, in the world.
void Detonate(Grp::World* world, const RwV3d& point, float strength, Obj::Attachable* shooter,
              const Base::String& name);

} // namespace Weapons
