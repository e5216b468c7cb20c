// Obj::Explosion: what every detonation leaves. On entering a world it hits, once, every damageable that
// its blast sphere reaches; it draws a ball of fire (additive) and a cloud of smoke as camera-facing
// particles, plays its two sounds half a second of world time later, and removes and deletes itself once
// no particle is alive. Nobody owns it after AddObject: its creators see it go through tracked pointers.
#pragma once

#include "objects/Particles.h"
#include "scene/ObjectModel.h"

#include "base/String.h"

#include <vector>

struct RwTexture;

namespace Obj {

class Explosion : public SphereMissile, public Object, public Renderable, public Runnable {
public:
    static constexpr uint8_t RenderOrder = 230;
    static constexpr float SoundDelay = 0.5f;

    Explosion();
    ~Explosion() override;

    // Always right after construction, before AddObject: the centre, the strength S and a name the
    // creator gives (empty for airplanes, cars and network copies).
    void Setup(const float position[3], float strength, Base::String sourceName);

    void OnHit(Damageable* target, const RwSphere* blast) override;
    // Joining: the groups, the sounds' time and the blast; leaving: the groups.
    void SetWorld(Grp::World* world) override;
    // Radius 200 about the centre; each explosion has its own record.
    const RwSphere* GetBoundingSphere() override;
    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;

    // One particle vector; true when a particle was alive.
    static bool DrawParticles(const std::vector<Particle>& particles, RwCamera* camera, bool farToNear);

    float BlastRadius() const;
    float BlastScale() const;
    bool AnyAlive() const;

    Base::SmartPtr<Damageable> shooter;
    bool remoteCopy = false; // set by the network layer on the copies it makes
    float position[3] = {0, 0, 0};
    float strength = 0;
    float soundTime = -1;
    float farVolume = 1.0f;
    float nearVolume = 0.005f;
    std::vector<Particle> fireParticles;
    std::vector<Particle> smokeParticles;
    RwTexture* fireTexture = nullptr;
    RwTexture* smokeTexture = nullptr;
    float fireLifeScale = 0;
    float smokeLifeScale = 0;
    Base::String sourceName;

private:
    void AgeParticles(float dt);
    void StartSounds();
    void End();

    RwSphere bounds{};
};

} // namespace Obj
