// The automatic weapons of armed cars and ships. Weapons::AutoGun is a gun that picks the best enemy
// airplane within reach by itself, leads it and fires in bursts with a small aim error. Weapons::AutoLauncher
// is a surface-to-air missile site: it warns the airplane it holds and, at most every 30 to 60 seconds,
// launches a guided missile ("Weapons\Sam.info") at it. Both act once a frame from the world's run pass.
#pragma once

#include "weapons/Gun.h"

#include "base/SmartPtr.h"
#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <random>

namespace Weapons {

// What a search rates candidates against: the carrier's side, the weapon's position and the distances.
struct TargetRating {
    Obj::Damageable* carrier = nullptr;
    RwV3d position = {0, 0, 0};
    float minimum = 0;
    float maximum = 0;
};

// Each weapon draws from its own generator, seeded afresh for every weapon made (SeedFor): the same
// mission plays the same way, and the shared generator's users are not disturbed.
class AutoRandom {
public:
    AutoRandom();
    // Uniform in [0, 1).
    float Unit();
    float InRange(float lo, float hi) { return lo + Unit() * (hi - lo); }
    std::mt19937 generator;
};

class AutoGun : public Gun {
public:
    static constexpr float DefaultRange = 2250.0f;

    explicit AutoGun(Obj::Attachable* carrier);

    // 0 when the candidate is no target (own side, not an airplane, nearer than the minimum or farther than
    // the maximum); otherwise the better the nearer and the less detectable.
    static float RateTarget(const TargetRating& rating, Obj::Damageable* candidate);
    // The best-rated target within maxDistance of the position (a random bonus up to spread added), or null.
    void FindTarget(Base::SmartPtr<Obj::Damageable>& target, Grp::World* world, const RwV3d& position,
                    float maxDistance, float spread, const TargetRating& rating);

    void Run() override;

    Obj::Attachable* carrier;
    Base::SmartPtr<Obj::Damageable> target;
    float nextSearchTime = 0;
    float burstSwitchTime = 0;
    bool firing = false;
    float range = DefaultRange;
    float aimError = 0;
    AutoRandom random;
};

class AutoLauncher : public Obj::Frame, public Obj::Object, public Obj::Runnable {
public:
    static constexpr float DefaultRange = 10000.0f;
    static constexpr float LaunchSpeed = 100.0f;
    static constexpr const char* MissileFile = "Weapons\\Sam.info";

    AutoLauncher(Obj::Attachable* carrier, float range);

    // As the gun's, and every enemy airplane within the distances is told that it is seen (threat level 0).
    static float RateTarget(const TargetRating& rating, Obj::Damageable* candidate);
    void FindTarget(Base::SmartPtr<Obj::Damageable>& target, Grp::World* world, const RwV3d& position,
                    float maxDistance, float spread, const TargetRating& rating);

    void Run() override;
    void SetWorld(Grp::World* world) override;

    RwV3d Position();

    Obj::Attachable* carrier;
    Base::SmartPtr<Obj::Damageable> target;
    float nextSearchTime = 0;
    float nextLaunchTime = 0;
    float range;
    AutoRandom random;
    uint32_t launches = 0; // missiles that left the site

private:
    void LaunchAt(Obj::Target* aimed, const RwV3d& position);
    bool failureSaid = false;
};

// Installs the makers that give armed cars and ships their guns and missile sites.
bool InstallVehicleWeapons();

} // namespace Weapons
