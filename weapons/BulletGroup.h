// Weapons::BulletGroup: every bullet of one gun while it flies. A bullet is a record, not an object: the
// group moves them each frame, tests each step against the moving targets, ends each at the first static
// hit found when it was fired (or in the air when its lifetime runs out), makes the impact spurts and
// ricochets, and draws the bullets as additive tracer streaks with a point at their heads. The group is in
// the world's drawing and per-frame groups only while it has bullets.
#pragma once

#include "weapons/SegmentMissile.h"

#include "objects/SmokeTrail.h"
#include "scene/ObjectModel.h"

#include "rwsdk/src/plcore/color.h"

#include <cstdint>
#include <vector>

struct RwTexture;

namespace Weapons {

struct Bullet {
    double position[3];
    RwV3d velocity;
    RwV3d firingPoint;
    RwV3d endPoint; // the first static hit on its path, else where its lifetime ends
    RwRGBA colour;
    float halfWidth;
    float halfLength;
    Obj::SmokeTrailGroup::Trail* trail;
};

class BulletGroup : public SegmentMissile,
                    public Obj::Object,
                    public Obj::Attachable,
                    public Obj::Renderable,
                    public Obj::Runnable {
public:
    static constexpr uint8_t RenderOrder = 232;
    static constexpr float HalfWidth = 0.1f;
    static constexpr float HalfLength = 2.0f;

    // The point at a bullet's head, drawn in world space by the 2D layer, which installs the drawer (the
    // engine's immediate mode has no point lists); without one the heads are not drawn.
    struct Head {
        float x, y, z;
        RwRGBA colour;
    };
    static inline void (*DrawHeads)(const Head* heads, uint32_t count) = nullptr;

    BulletGroup();
    ~BulletGroup() override;

    // One bullet from position; its end is searched now among the static objects other than the
    // group's own. The group must be in a world.
    void AddBullet(const RwV3d& position, const RwV3d& velocity, float lifetime, RwRGBA colour,
                   bool withTrail);

    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    void SetWorld(Grp::World* world) override;

    // A ricochet at the point, from the water or the solid set, deleting itself when finished.
    void PlayRicochet(const RwV3d& point, bool onWater);

    // Hangs the group below its gun, so that it dies with it.
    void AttachTo(Obj::Attachable* gun) {
        Obj::Attachable::Unlink();
        LinkTo(gun);
    }

    bool IsActive() const { return Obj::Runnable::group != nullptr; }

    RwTexture* texture = nullptr; // owned, while in a world
    std::vector<Bullet> bullets;  // in firing order
    RwSphere sphere = {{0, 0, 0}, 0};
    Base::SmartPtr<Obj::SmokeTrailGroup> trails;

    // The streak vertices of the last draw.
    size_t lastVertexCount = 0;

private:
    void Join();
    void Leave();
    void Impact(const RwV3d& point);
};

} // namespace Weapons
