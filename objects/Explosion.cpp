#include "objects/Explosion.h"

#include "objects/HitSpot.h"
#include "objects/ShootSphere.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "audio/CreateSound.h"
#include "audio/Sound3d.h"
#include "base/Random.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Obj {

namespace {

// Blasts leave hit spots wherever explosions are linked in.
const bool hitSpotsInstalled = HitSpot::Install();

double U() {
    return double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0);
}
double S() {
    return 2 * U() - 1;
}

// The engine's blend modes.
constexpr uintptr_t BlendOne = 2, BlendSrcAlpha = 5, BlendInvSrcAlpha = 6;

uintptr_t Raster(RwTexture* texture) {
    return texture ? reinterpret_cast<uintptr_t>(RwTextureGetRaster(texture)) : 0;
}

} // namespace

Explosion::Explosion() {
    (void)hitSpotsInstalled;
    Renderable::renderOrders.push_back(RenderOrder);
}

Explosion::~Explosion() {
    if (fireTexture)
        RwTextureDestroy(fireTexture);
    if (smokeTexture)
        RwTextureDestroy(smokeTexture);
}

float Explosion::BlastRadius() const {
    return std::sqrt(strength);
}

float Explosion::BlastScale() const {
    return 1.6f * std::sqrt(strength) + 4.0f;
}

void Explosion::Setup(const float at[3], float s, Base::String name) {
    sourceName = std::move(name);
    position[0] = at[0], position[1] = at[1], position[2] = at[2];
    strength = s;
    damage = s;
    fireTexture = Rw::LoadTexture("ExplosionFire", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
    smokeTexture = Rw::LoadTexture("ExplosionSmoke", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);

    const double R = BlastScale();
    fireLifeScale = float(0.25 * std::sqrt(R));
    smokeLifeScale = float(std::sqrt(R));
    const double centre[3] = {at[0], at[1], at[2]};
    const auto emit = [&](std::vector<Particle>& out, int steps, bool fire) {
        const double step = 2.0 / (steps - 1);
        for (int i = 0; i < steps; ++i)
            for (int j = 0; j < steps; ++j)
                for (int k = 0; k < steps; ++k) {
                    const double p[3] = {-1 + step * i, -1 + step * j, -1 + step * k};
                    const double d = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
                    if (!(d > 0.7 && (fire ? d < 1.0 : d <= 1.0)))
                        continue;
                    double q[3];
                    q[2] = p[2] + 0.1 * S();
                    q[1] = p[1] + 0.1 * S();
                    q[0] = p[0] + 0.1 * S();
                    Particle particle{};
                    const double spread = (fire ? 0.1 : 0.25) * R, speed = fire ? 25.0 : 0.8;
                    for (int a = 0; a < 3; ++a) {
                        const double o = q[a] * spread;
                        particle.position[a] = centre[a] + o;
                        particle.velocity[a] = float(speed * o);
                    }
                    particle.angle = float(S() * std::numbers::pi);
                    if (fire) {
                        particle.size = float(0.04 * std::pow(R, 1.25));
                        particle.spin = float(60 * U() - 30);
                        particle.life = float((1 + U()) * (1.25 - 0.5 * d) * fireLifeScale * 0.75);
                    } else {
                        particle.size = float(0.6 * R);
                        particle.spin = float(0.5 * U() - 0.25);
                        particle.life = float((1.25 - 0.5 * d) * smokeLifeScale);
                    }
                    out.push_back(particle);
                }
    };
    fireParticles.reserve(170);
    smokeParticles.reserve(26);
    emit(fireParticles, 9, true);
    emit(smokeParticles, 5, false);
}

void Explosion::OnHit(Damageable*, const RwSphere*) {}

const RwSphere* Explosion::GetBoundingSphere() {
    bounds.center = {position[0], position[1], position[2]};
    bounds.radius = 200;
    return &bounds;
}

void Explosion::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    SetRunnableWorld(*this, joined);
    if (!joined)
        return;
    soundTime = joined->time->time + SoundDelay;
    farVolume = 1.0f;
    nearVolume = 0.005f;
    const RwSphere blast{{position[0], position[1], position[2]}, BlastRadius()};
    Alg::ShootSphere::Shoot(this, blast, *joined->statics, *joined->dynamics);
}

bool Explosion::AnyAlive() const {
    const auto alive = [](const Particle& p) { return p.life > 0; };
    return std::any_of(fireParticles.begin(), fireParticles.end(), alive) ||
           std::any_of(smokeParticles.begin(), smokeParticles.end(), alive);
}

void Explosion::AgeParticles(float dt) {
    const float fls = fireLifeScale, k = smokeLifeScale;
    for (Particle& p : fireParticles) {
        if (!(p.life > 0))
            continue;
        for (int a = 0; a < 3; ++a)
            p.position[a] += double(p.velocity[a]) * dt;
        p.size += 3 * std::sqrt(p.size) * dt;
        p.life -= dt;
        for (float& v : p.velocity)
            v -= 5 * v * dt;
        p.angle += p.spin * dt;
        p.spin -= 5 * p.spin * dt;
        const float t = p.life / fls;
        p.color[0] = UnitToByte(t);
        p.color[1] = UnitToByte(t * t);
        p.color[2] = UnitToByte(t * t * t);
        p.color[3] = UnitToByte(t > 0 ? std::sqrt(t) : 0.0f);
    }
    for (Particle& p : smokeParticles) {
        if (!(p.life > 0))
            continue;
        for (int a = 0; a < 3; ++a)
            p.position[a] += double(p.velocity[a]) * dt;
        p.life -= dt;
        p.size *= 1 + 0.35f * dt;
        p.angle += p.spin * dt;
        const float a1 = std::clamp(2 * p.life / k, 0.0f, 1.0f);
        const float a2 = std::clamp(((k - p.life) - 1.25f * fls) / k, 0.0f, 1.0f);
        p.color[0] = p.color[1] = p.color[2] = 255;
        p.color[3] = UnitToByte(std::pow(a1, 2.5f) * a2);
    }
}

void Explosion::StartSounds() {
    const float f = float(0.7 + 0.5 * U());
    Audio::SoundGroup* group = world->soundGroup;
    const float reference = std::clamp(40 * std::sqrt(strength), 50.0f, 2000.0f);
    const struct {
        const char* name;
        float volume;
    } sounds[2] = {{"ExplosionFar.wav", farVolume}, {"ExplosionNear.wav", nearVolume}};
    for (const auto& entry : sounds) {
        // Without a sound group (a world that plays no sound) there is nothing to create them in.
        Audio::Sound3d* sound = group ? Audio::CreateSound3d(entry.name, group, true) : nullptr;
        if (!sound)
            continue;
        sound->params.volume = entry.volume;
        sound->params.frequencyFactor = f;
        sound->params.referenceDistance = reference;
        sound->params.maximumDistance = -1;
        sound->params.position = {position[0], position[1], position[2]};
        sound->params.velocity = {0, 0, 0};
        if (sound->state != Audio::BasicSound::Playing) {
            sound->loop = 0;
            sound->autoDelete = 1;
            sound->state = Audio::BasicSound::PlayRequested;
        }
    }
    soundTime = -1;
}

void Explosion::End() {
    world->RemoveObject(this);
    delete this;
}

void Explosion::Run() {
    if (!world)
        return;
    const float dt = world->time->step;
    if (!(dt > 0))
        return;
    AgeParticles(dt);
    if (soundTime >= 0 && world->time->time >= soundTime)
        StartSounds();
    // Ends here too, so that one never drawn (out of view) does not stay for the rest of the world's life.
    if (!AnyAlive())
        End();
}

bool Explosion::DrawParticles(const std::vector<Particle>& particles, RwCamera* camera, bool farToNear) {
    EffectView view;
    if (!camera || !EffectView::FromCamera(camera, view))
        return std::any_of(particles.begin(), particles.end(), [](const Particle& p) { return p.life > 0; });
    // Kept between frames: a warm explosion draws without allocating.
    static std::vector<const Particle*> order;
    static VertexStore store;
    CameraRelativeScope scope(camera, view);
    const size_t count =
        BuildParticleQuads(particles, view, view.right, view.up, true, farToNear, order, store);
    // A refused batch draws nothing but still counts its live particles, so the explosion does not end early.
    if (count)
        DrawIm3D(store.Reserve(count), count, rwPRIMTYPETRILIST);
    return count > 0;
}

void Explosion::Render(unsigned, Cameras::Basic*) {
    SetRenderState(rwRENDERSTATETEXTURERASTER, Raster(fireTexture));
    SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
    SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendOne);
    SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
    SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLNONE);
    const bool fire = DrawParticles(fireParticles, CurrentCamera(), false);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    SetRenderState(rwRENDERSTATETEXTURERASTER, Raster(smokeTexture));
    const bool smoke = DrawParticles(smokeParticles, CurrentCamera(), true);
    SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
    SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLBACK);
    if (!fire && !smoke && world)
        End();
}

} // namespace Obj
