// Ground and sea vehicles that missions spawn. Obj::Vehicle stands until it is given a destination, then
// speeds up, turns towards it, brakes so as to stop on it and halts once it has passed it. Obj::Car follows
// the terrain and is destroyed at zero hit points; Obj::WarCar carries automatic anti-aircraft weapons.
#pragma once

#include "objects/Model.h"

#include "base/Maths.h"
#include "base/SmartPtr.h"

#include <cstdint>

namespace Base {
class Info;
}

namespace Obj {

// The missiles above this library that know who fired them (the weapons' segment missiles) take this on,
// so that a destroyed target can credit its shooter; the explosion keeps its own shooter.
class Fired {
public:
    virtual ~Fired() = default;
    virtual Damageable* GetShooter() const = 0;
};

// An airplane's count of destroyed targets; the airplane class takes this on beside its damage model.
class TargetCounter {
public:
    virtual ~TargetCounter() = default;
    virtual void CountDestroyedTarget() = 0;
};

// The armed vehicles' weapons live above this library: the weapon classes install their makers at start-up.
// A maker returns the weapon (an object of the world on its own frame) set up for that owner, or null.
struct VehicleWeapons {
    struct Gun {
        uint32_t rounds = 0xFFFFFFFFu; // unlimited
        float muzzleSpeed = 1000.0f;
        float interval = 0.15f;
        float lifetime = 2.5f;
        float range = 2250.0f;
        float dispersion = float(Base::Pi / 360.0); // half a degree
        float bulletGroupParameter = 3.0f;
    };
    static inline Frame* (*CreateAutoGun)(Model* owner, const Gun& gun) = nullptr;
    static inline Frame* (*CreateAutoLauncher)(Model* owner, float range) = nullptr;

    // Makes the asked-for weapons and hangs them below the owner's frame at those heights. False when one
    // cannot be made (no maker installed, or the maker failed); what was made stays attached.
    static bool Mount(Model* owner, bool withGun, bool withLauncher, float gunHeight, float launcherHeight,
                      Base::SmartPtr<Frame>& gun, Base::SmartPtr<Frame>& launcher);
    // Adds the weapons to the world, or takes them out of their world (null).
    static void SetWorld(Grp::World* world, Frame* gun, Frame* launcher);
};

class Vehicle : public Model, public Target, public Runnable, public Dynamic {
public:
    Vehicle() = default;

    // Loads the model (through the overridable Load) and the damage keys, then stands at (position.x, 0,
    // position.y) facing the unit ground direction. False when either load fails.
    bool Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction, float initialSpeed,
               float maxSpeed, float turnRate, float acceleration);
    // Sets off towards the ground point; the vehicle must be in a world. A destination on the vehicle's own
    // position counts as reached at once.
    void MoveTo(Base::Vector2 destination);

    void SetWorld(Grp::World* world) override;
    void Run() override;
    // Also refiles the vehicle among the world's dynamic targets, so that blasts and segment walks find it
    // wherever it drives.
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;

    const RwSphere* GetBoundingSphere() override { return Model::GetBoundingSphere(); }
    bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) override {
        return Clump::IntersectSegment(segment, outPoint, outNormal);
    }

    bool IsRunning() const { return Runnable::group != nullptr; }

    bool arrived = true;
    float speed = 0;
    float maxSpeed = 0;
    float turnRate = 0;     // radians per second at full speed
    float acceleration = 0; // both ways
    Base::Vector2 destination;
    Base::Vector2 startDirection;

protected:
    void JoinRunList();
    void LeaveRunList();
};

class Car : public Vehicle {
public:
    Car() = default;

    void Run() override;
    void OnSphereMissileHit(SphereMissile* missile, const RwSphere* blast) override;
    void OnSegmentMissileHit(SegmentMissile* missile, const RwLine* segment, const RwV3d* hitPoint) override;
    // Destroyed at 0 hit points, unless the maximum is 0 too (a car that cannot be hurt).
    void OnHitPointsChanged() override;

    bool firstDrop = true;

protected:
    // Out of the world with its explosion, wreck and burning spot; then deleted.
    void Destroy();

private:
    bool destroying = false;
};

class WarCar : public Car {
public:
    WarCar() = default;

    // The vehicle, then the weapons asked for, 3 above the car's origin. False when the vehicle's set-up
    // fails or an asked-for weapon cannot be made.
    bool Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction, float initialSpeed,
               float maxSpeed, float turnRate, float acceleration, bool withAutoGun, bool withAutoLauncher);
    void SetWorld(Grp::World* world) override;

    // Children of the car's frame: they die with it.
    Base::SmartPtr<Frame> autoGun;
    Base::SmartPtr<Frame> autoLauncher;
};

} // namespace Obj
