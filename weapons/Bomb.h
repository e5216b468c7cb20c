// Weapons::Bomb: a free-falling store. Released with the carrier's velocity it falls under gravity with a
// small drag, noses into its path, and explodes where its first hit happens (splashing at sea level). It
// has no time limit.
#pragma once

#include "weapons/Ordnance.h"
#include "weapons/SegmentMissile.h"

namespace Weapons {

class Bomb : public Ordnance, public SegmentMissile, public Obj::Runnable {
public:
    static constexpr float Gravity = 9.81f;
    static constexpr float DragPerSecond = 0.97f; // speed kept after a second

    ~Bomb() override;

    // Ordnance::Load, then "BombParams.ExplosionStr".
    bool LoadParams(const Base::Info* info);
    bool ReadBombKeys(const Base::Info* info);

    void Launch(const RwV3d& velocity) override;
    void SetWorld(Grp::World* world) override;
    void Run() override;
    // Leaves the world in a blast or a splash at its own position, and deletes itself.
    void Explode();

    bool paramsLoaded = false;
    RwV3d velocity = {0, 0, 0};
    float explosionStrength = 0;
};

} // namespace Weapons
