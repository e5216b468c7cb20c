// Weapons::Gun: a cannon on an airplane or an armed vehicle. It is a frame in its carrier's attachment tree;
// its world position and forward axis are where and where to its bullets go. It owns a bullet group (the
// bullets in flight) and a looping gun sound that plays while shots follow each other.
#pragma once

#include "weapons/BulletGroup.h"

#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include <cfloat>
#include <cstdint>

namespace Audio {
class Sound3d;
}

namespace Weapons {

struct GunParams {
    uint32_t capacity = 0; // rounds when fully armed
    uint32_t rounds = 0;   // rounds left; 0xFFFFFFFF is never used up in practice
    float muzzleSpeed = 0; // units per second along the gun's forward axis
    float interval = 0;    // seconds between shots
    float lifetime = 0;    // seconds of bullet flight
};

class Gun : public Obj::Frame, public Obj::Object, public Obj::Runnable {
public:
    static constexpr RwRGBA TracerColour = {255, 255, 160, 255};

    Gun() = default;
    ~Gun() override;

    // Makes the bullet group, whose bullets never hit owner's parts, below the gun.
    void Setup(Obj::Attachable* owner, const GunParams& params);
    // One frame of a held trigger: at most one bullet, when a round is left and an interval has passed.
    // Also keeps the gun sound going. Does nothing before Setup or outside a world.
    void Fire(const RwV3d& shooterVelocity);

    void Run() override;
    void SetWorld(Grp::World* world) override;

    // The world position and forward axis.
    RwV3d Position();
    RwV3d Forward();

    BulletGroup* bulletGroup = nullptr; // a child of the gun
    Audio::Sound3d* sound = nullptr;    // while in a world
    float lastShotTime = -FLT_MAX;
    GunParams params;
};

} // namespace Weapons
