#include "objects/Smoke.h"

#include "objects/Particles.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "base/Maths.h"
#include "base/Random.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Obj {

namespace {

double U() {
    return double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0);
}
double S() {
    return 2 * U() - 1;
}

constexpr uintptr_t BlendSrcAlpha = 5, BlendInvSrcAlpha = 6;

// Whole quads per engine batch.
constexpr size_t BatchVertices = rwIm3DMaxVertices / 6 * 6;

} // namespace

Smoke::Smoke() {
    Renderable::renderOrders.push_back(RenderOrder);
}

Smoke::~Smoke() {
    if (texture)
        RwTextureDestroy(texture);
}

void Smoke::Setup(float s) {
    strength = s;
    root = std::sqrt(s);
    interval = float((0.8 + 0.4 * U()) * root * 0.1);
    puffLife = float((0.8 + 0.4 * U()) * root * 10);
    lastEmission = 0;
    startTime = -1;
    bounds.radius = -1;
    stopped = false;
    texture = Rw::LoadTexture("Smoke", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
}

void Smoke::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    SetRunnableWorld(*this, joined);
}

const RwSphere* Smoke::GetBoundingSphere() {
    return bounds.radius < 0 ? nullptr : &bounds;
}

void Smoke::Emit(const double source[3], float now) {
    Particle p{};
    const double jitterZ = S() * strength, jitterY = S() * strength, jitterX = S() * strength;
    p.position[0] = source[0] + jitterX;
    p.position[1] = source[1] + jitterY;
    p.position[2] = source[2] + jitterZ;
    p.velocity[0] = float(S() * root);
    p.velocity[1] = 5 * root;
    p.velocity[2] = float(S() * root);
    p.size = strength;
    p.growth = root;
    p.life = puffLife;
    p.angle = float(double(int(Base::Random::NextUInt32() % 3) - 1) * std::numbers::pi);
    p.spin = float((0.75 + 0.5 * U()) / root);
    p.opacity = std::clamp((now - startTime) / (0.5f * root), 0.0f, 1.0f);
    p.color[0] = p.color[1] = p.color[2] = 255;
    p.color[3] = 0;
    puffs.push_back(p);
}

void Smoke::Run() {
    if (!world)
        return;
    const float now = world->time->time, dt = world->time->step;
    // Emission starts at the first run: a smoke made late in a world's life owes no puffs from before.
    if (startTime < 0) {
        startTime = now;
        lastEmission = now;
    }
    // Without a positive interval (no strength) the column has nothing to emit.
    if (!stopped && interval > 0) {
        Base::Random::SeedFromTimeStamp();
        double source[3];
        GetWorldPositionDouble(source);
        while (lastEmission + interval < now) {
            Emit(source, now);
            lastEmission += interval;
        }
    }
    // The dead are the oldest, at the front; the array keeps its storage, so a burning column allocates
    // nothing once it holds its full queue.
    const auto alive = std::find_if(puffs.begin(), puffs.end(), [](const Particle& p) { return p.life > 0; });
    puffs.erase(puffs.begin(), alive);

    const RwV3d& origin = RwFrameGetWorldMatrix(frame)->pos;
    double lo[3] = {origin.x, origin.y, origin.z}, hi[3] = {origin.x, origin.y, origin.z};
    const float T = puffLife;
    for (Particle& p : puffs) {
        p.velocity[0] = (1 - 0.01f * dt) * p.velocity[0] + 0.01f * dt * 0.5f * p.growth;
        for (int a = 0; a < 3; ++a)
            p.position[a] += double(p.velocity[a]) * dt;
        p.life -= dt;
        p.size += p.growth * dt;
        p.angle += std::clamp(p.life / T, 0.0f, 1.0f) * p.spin * dt;
        const float f = p.life / T;
        const float a = std::clamp(std::min(f * f * f, 15 * (T - p.life) / T), 0.0f, 1.0f);
        p.color[3] = UnitToByte(a * p.opacity);
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], p.position[i] - p.size);
            hi[i] = std::max(hi[i], p.position[i] + p.size);
        }
    }
    const double dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    bounds.center = {float(0.5 * (lo[0] + hi[0])), float(0.5 * (lo[1] + hi[1])),
                     float(0.5 * (lo[2] + hi[2]))};
    bounds.radius = float(0.5 * std::sqrt(dx * dx + dy * dy + dz * dz));
    if (Renderable::group)
        Renderable::group->Update(this);

    if (stopped && puffs.empty()) {
        world->RemoveObject(this);
        delete this;
    }
}

bool Smoke::DrawParticles(RwCamera* camera) {
    EffectView view;
    if (!camera || !EffectView::FromCamera(camera, view))
        return false;
    // Kept between frames: a warm column draws without allocating.
    static std::vector<std::pair<double, const Particle*>> order;
    static VertexStore store;
    order.clear();
    for (const Particle& p : puffs) {
        const double dx = p.position[0] - view.position[0], dy = p.position[1] - view.position[1],
                     dz = p.position[2] - view.position[2];
        order.emplace_back(dx * dx + dy * dy + dz * dz, &p);
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    RwV3d corners[4];
    CornerDirections(view.right, view.up, corners);
    RwIm3DVertex* out = store.Reserve(puffs.size() * 6);
    size_t count = 0;
    for (const auto& [distance2, p] : order) {
        if (!(p->life > 0))
            continue;
        const RwV3d rel{float(p->position[0] - view.position[0]), float(p->position[1] - view.position[1]),
                        float(p->position[2] - view.position[2])};
        RwV3d turned[4];
        for (int k = 0; k < 4; ++k)
            turned[k] = Base::RotateVectorAroundAxis(corners[k], view.at, p->angle);
        WriteQuad(out + count, rel, turned, p->size,
                  PackArgb(p->color[0], p->color[1], p->color[2], p->color[3]));
        count += 6;
    }
    if (count) {
        CameraRelativeScope scope(camera, view);
        for (size_t start = 0; start < count; start += BatchVertices)
            DrawIm3D(out + start, std::min(BatchVertices, count - start), rwPRIMTYPETRILIST);
    }
    return count > 0;
}

void Smoke::Render(unsigned, Cameras::Basic*) {
    SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
    SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
    SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLNONE);
    SetRenderState(rwRENDERSTATETEXTURERASTER,
                   texture ? reinterpret_cast<uintptr_t>(RwTextureGetRaster(texture)) : 0);
    DrawParticles(CurrentCamera());
    SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
    SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLBACK);
}

} // namespace Obj
