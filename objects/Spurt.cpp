#include "objects/Spurt.h"

#include "base/Maths.h"
#include "base/Random.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"

#include <cmath>

namespace Obj {

namespace {

constexpr float Gravity = 9.81f;

// A fresh uniform value in [0, 1).
float U() {
    return float(double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0));
}

uint8_t LifeAlpha(float life, float maxLife) {
    return UnitToByte(maxLife > 0 ? life / maxLife : 0.0f);
}

} // namespace

// ---- shared

Spurt::Spurt() {
    renderOrders.push_back(RenderOrder);
}

Spurt::~Spurt() {
    if (texture)
        RwTextureDestroy(texture);
}

float Spurt::Step() const {
    return world && world->time ? world->time->step : 0.0f;
}

void Spurt::LoadTexture(const char* name) {
    if (texture)
        RwTextureDestroy(texture);
    texture = Rw::LoadTexture(name, rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
}

void Spurt::Box::Grow(double x, double y, double z, float half) {
    const double p[3] = {x, y, z};
    for (int k = 0; k < 3; ++k) {
        min[k] = std::min(min[k], float(p[k] - half));
        max[k] = std::max(max[k], float(p[k] + half));
    }
    taken = true;
}

void Spurt::PlaceSphere(const Box& box, const float base[3]) {
    if (!box.taken)
        return;
    const float dx = box.max[0] - box.min[0], dy = box.max[1] - box.min[1], dz = box.max[2] - box.min[2];
    sphere.center = {(box.min[0] + box.max[0]) * 0.5f + base[0], (box.min[1] + box.max[1]) * 0.5f + base[1],
                     (box.min[2] + box.max[2]) * 0.5f + base[2]};
    sphere.radius = 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz);
    if (Renderable::group)
        Renderable::group->Update(this);
}

void Spurt::Render(unsigned, Cameras::Basic*) {
    RwCamera* camera = CurrentCamera();
    if (camera) {
        SetRenderState(rwRENDERSTATETEXTURERASTER,
                       uintptr_t(texture ? RwTextureGetRaster(texture) : nullptr));
        SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
        SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
        SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLNONE);
    }
    const bool any = DrawParticles(camera);
    if (camera) {
        SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
        SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLBACK);
    }
    if (!any) {
        if (world)
            world->RemoveObject(this);
        delete this;
    }
}

void Spurt::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    SetRunnableWorld(*this, joined);
}

// ---- dust

void SpurtLand::Setup(const float point[3], float s) {
    size = s;
    std::copy(point, point + 3, position);
    const float root = std::sqrt(s);
    maxLife = 1.1f * root;
    sphere = {{point[0], point[1], point[2]}, 0};
    LoadTexture("SpurtLand");
    Base::Random::SeedFromTimeStamp();
    particles.clear();
    particles.reserve(ParticleCount);
    for (int n = 0; n < ParticleCount; ++n) {
        Particle p{};
        p.position[2] = (2 * U() - 1) * 0.1f * s;
        p.position[0] = (2 * U() - 1) * 0.1f * s;
        p.velocity[2] = (4 * U() - 2) * root;
        p.velocity[1] = (14.25f * U() + 0.75f) * root;
        p.velocity[0] = (4 * U() - 2) * root;
        p.angle = float(int(Base::Random::NextUInt32() % 3) - 1) * float(Base::Pi);
        p.life = (0.8f + 0.4f * U()) * maxLife;
        p.size = 0.8f * root;
        p.color[0] = p.color[1] = p.color[2] = p.color[3] = 255;
        particles.push_back(p);
    }
}

void SpurtLand::Run() {
    const float dt = Step();
    if (!(dt > 0))
        return;
    const float growth = 0.6f * std::sqrt(size);
    Box box;
    for (Particle& p : particles) {
        if (!(p.life > 0))
            continue;
        for (int k = 0; k < 3; ++k)
            p.position[k] += p.velocity[k] * dt;
        p.velocity[1] -= Gravity * dt;
        p.size += growth * dt;
        p.life -= dt;
        for (int k = 0; k < 3; ++k)
            p.velocity[k] -= 2.0f * p.velocity[k] * dt;
        p.color[3] = LifeAlpha(p.life, maxLife);
        if (p.color[3] > 0)
            box.Grow(p.position[0], p.position[1], p.position[2], p.size / 2);
    }
    PlaceSphere(box, position);
}

bool SpurtLand::DrawParticles(RwCamera* camera) {
    lastVertexCount = 0;
    EffectView view;
    if (!EffectView::FromCamera(camera, view)) {
        for (const Particle& p : particles)
            if (p.life > 0)
                return true;
        return false;
    }
    RwV3d corners[4];
    CornerDirections(view.right, view.up, corners);
    RwIm3DVertex* out = store_.Reserve(particles.size() * 6);
    size_t count = 0;
    for (const Particle& p : particles) {
        if (!(p.life > 0))
            continue;
        RwV3d turned[4];
        for (int k = 0; k < 4; ++k)
            turned[k] = Base::RotateVectorAroundAxis(corners[k], view.at, p.angle);
        const RwV3d centre{position[0] + p.position[0], position[1] + p.position[1],
                           position[2] + p.position[2]};
        WriteQuad(out + count, centre, turned, p.size,
                  PackArgb(p.color[0], p.color[1], p.color[2], p.color[3]));
        count += 6;
    }
    if (count == 0)
        return false;
    DrawIm3D(out, count, rwPRIMTYPETRILIST);
    lastVertexCount = count;
    return true;
}

// ---- spray

void SpurtWater::Setup(const float point[3], float s) {
    size = s;
    const float root = std::sqrt(s);
    maxLife = 1.5f * root + 0.5f;
    sphere = {{point[0], point[1], point[2]}, 0};
    LoadTexture("SpurtWater");
    Base::Random::SeedFromTimeStamp();
    particles.clear();
    particles.reserve(ParticleCount);
    for (int n = 0; n < ParticleCount; ++n) {
        Obj::Particle p{};
        const double oz = double((2 * U() - 1) * 0.18f * s);
        const double ox = double((2 * U() - 1) * 0.18f * s);
        p.position[0] = double(point[0]) + ox;
        p.position[1] = double(point[1]);
        p.position[2] = double(point[2]) + oz;
        const double d = std::sqrt(ox * ox + oz * oz);
        p.velocity[2] = 0 * U();
        p.velocity[1] = float((0.9 * U() + 0.1) * 20.0 * s / (d + s) * root);
        p.velocity[0] = 0 * U();
        p.life = (0.7f + 0.5f * U()) * maxLife;
        p.size = 1.8f * root;
        p.color[0] = p.color[1] = p.color[2] = p.color[3] = 255;
        particles.push_back(p);
    }
}

void SpurtWater::Run() {
    const float dt = Step();
    if (!(dt > 0))
        return;
    const float growth = 0.4f * std::sqrt(size);
    Box box;
    for (Obj::Particle& p : particles) {
        if (!(p.life > 0))
            continue;
        for (int k = 0; k < 3; ++k)
            p.position[k] += double(p.velocity[k]) * dt;
        p.velocity[1] -= Gravity * dt;
        p.size += growth * dt;
        p.life -= dt;
        for (int k = 0; k < 3; ++k)
            p.velocity[k] -= 0.75f * p.velocity[k] * dt;
        p.color[3] = LifeAlpha(p.life, maxLife);
        if (p.color[3] > 0)
            box.Grow(p.position[0], p.position[1], p.position[2], p.size / 2);
        // Its top under the sea: gone.
        if (p.position[1] + p.size / 2 < 0)
            p.life = 0;
    }
    const float origin[3] = {0, 0, 0};
    PlaceSphere(box, origin);
}

void SpurtWater::QuadAxes(const EffectView& view, RwV3d& a, RwV3d& b) {
    const RwV3d up{0, 1, 0};
    a = Base::CrossProduct(view.at, up);
    if (Base::VectorLength(a) < 1e-4) {
        a = view.right;
        b = view.up;
        return;
    }
    b = Base::CrossProduct(view.at, a);
}

bool SpurtWater::DrawParticles(RwCamera* camera) {
    lastVertexCount = 0;
    EffectView view;
    if (!EffectView::FromCamera(camera, view)) {
        for (const Obj::Particle& p : particles)
            if (p.life > 0)
                return true;
        return false;
    }
    RwV3d a, b;
    QuadAxes(view, a, b);
    const size_t count = BuildParticleQuads(particles, view, a, b, false, true, order_, store_);
    if (count == 0)
        return false;
    CameraRelativeScope relative(camera, view);
    DrawIm3D(store_.Reserve(count), count, rwPRIMTYPETRILIST);
    lastVertexCount = count;
    return true;
}

Spurt* CreateImpactSpurt(Grp::World* world, const float point[3], float size) {
    Spurt* spurt = point[1] <= Spurt::WaterImpactHeight ? static_cast<Spurt*>(new SpurtWater)
                                                        : static_cast<Spurt*>(new SpurtLand);
    spurt->Setup(point, size);
    if (world)
        world->AddObject(spurt);
    return spurt;
}

} // namespace Obj
