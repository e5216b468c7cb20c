#include "weapons/BulletGroup.h"

#include "audio/CreateSound.h"
#include "audio/Sound3d.h"
#include "base/Random.h"
#include "objects/Particles.h"
#include "objects/Spurt.h"
#include "scene/LoadTexture.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/texture.h"

#include <cmath>
#include <cstdio>

namespace Weapons {

namespace {

constexpr uintptr_t BlendOne = 2, BlendSrcAlpha = 5, BlendInvSrcAlpha = 6, FilterLinear = 2;

// The drawing buffers every group shares; they only grow.
struct DrawBuffers {
    std::vector<RwIm3DVertex> streaks;
    std::vector<RwImVertexIndex> indices;
    std::vector<BulletGroup::Head> points;
};
DrawBuffers& Buffers() {
    static DrawBuffers buffers;
    return buffers;
}

RwV3d Unit(const RwV3d& v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0))
        return {0, 0, 1};
    return {v.x / length, v.y / length, v.z / length};
}

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

} // namespace

BulletGroup::BulletGroup() {
    renderOrders.push_back(RenderOrder);
}

BulletGroup::~BulletGroup() {
    for (Bullet& bullet : bullets)
        if (bullet.trail)
            bullet.trail->ended = true;
    if (trails)
        trails->StopAll();
    if (texture)
        RwTextureDestroy(texture);
}

void BulletGroup::Join() {
    if (!world)
        return;
    if (!Obj::Renderable::group)
        Obj::SetRenderableWorld(*this, world);
    if (!Obj::Runnable::group)
        Obj::SetRunnableWorld(*this, world);
}

void BulletGroup::Leave() {
    Obj::SetRenderableWorld(*this, nullptr);
    Obj::SetRunnableWorld(*this, nullptr);
}

void BulletGroup::AddBullet(const RwV3d& position, const RwV3d& velocity, float lifetime, RwRGBA colour,
                            bool withTrail) {
    if (!world)
        return;
    Bullet bullet;
    bullet.position[0] = position.x;
    bullet.position[1] = position.y;
    bullet.position[2] = position.z;
    bullet.velocity = velocity;
    bullet.firingPoint = position;
    bullet.colour = colour;
    bullet.halfWidth = HalfWidth;
    bullet.halfLength = HalfLength;
    bullet.trail = withTrail && trails ? trails->AddTrail() : nullptr;

    const RwV3d flightEnd = {position.x + velocity.x * lifetime, position.y + velocity.y * lifetime,
                             position.z + velocity.z * lifetime};
    const RwLine path = {position, flightEnd};
    RwV3d hit;
    Obj::Attachable* const root = AttachmentRoot(static_cast<Obj::Attachable*>(this));
    const auto notOwn = [root](Obj::Static* s) {
        return !root || AttachmentRoot(static_cast<Obj::Damageable*>(s)) != root;
    };
    bullet.endPoint = world->statics->FindNearestHit(path, notOwn, &hit, nullptr, nullptr) ? hit : flightEnd;
    bullets.push_back(bullet);
    if (bullets.size() == 1)
        sphere = {position, HalfWidth + HalfLength};
    Join();
}

void BulletGroup::Impact(const RwV3d& point) {
    const bool onWater = point.y <= Obj::Spurt::WaterImpactHeight;
    Obj::Spurt* spurt = onWater ? static_cast<Obj::Spurt*>(new Obj::SpurtWater())
                                : static_cast<Obj::Spurt*>(new Obj::SpurtLand());
    const float at[3] = {point.x, point.y, point.z};
    spurt->Setup(at, 0.75f);
    world->AddObject(spurt);
    PlayRicochet(point, onWater);
}

void BulletGroup::Run() {
    Base::SmartPtr<BulletGroup> self(this);
    if (!world)
        return;
    const float dt = world->time->step;
    float boxMin[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, boxMax[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    size_t kept = 0;
    // Bullets are indexed, not referenced: a callback may add bullets to this group.
    for (size_t i = 0; i < bullets.size(); ++i) {
        RwV3d position = {float(bullets[i].position[0]), float(bullets[i].position[1]),
                          float(bullets[i].position[2])};
        const RwV3d velocity = bullets[i].velocity;
        RwV3d next = {position.x + velocity.x * dt, position.y + velocity.y * dt,
                      position.z + velocity.z * dt};
        const RwV3d end = bullets[i].endPoint;
        bool finished = false, impact = false;
        if ((end.x - next.x) * velocity.x + (end.y - next.y) * velocity.y + (end.z - next.z) * velocity.z <=
            0) {
            next = end;
            finished = true;
        }
        const RwLine step = {position, next};
        RwV3d stop;
        if (Alg::ShootSegment::Shoot(Alg::ShootSegment::NearSegment(*world->dynamics, step), this, step,
                                     nullptr, &stop)) {
            next = stop;
            finished = impact = true;
        }
        if (!self)
            return;
        if (finished) {
            const RwV3d u = Unit(velocity);
            const RwLine beyond = {position, {next.x + u.x, next.y + u.y, next.z + u.z}};
            if (Alg::ShootSegment::Shoot(Alg::ShootSegment::AlongSegment(*world->statics, beyond), this,
                                         beyond, nullptr, &stop)) {
                next = stop;
                impact = true;
            }
            if (!self)
                return;
        }
        if (Obj::SmokeTrailGroup::Trail* trail = bullets[i].trail; trail && trails) {
            const double at[3] = {next.x, next.y, next.z};
            const float flying[4] = {1, 1, 1, 0}, ended[4] = {1, 1, 1, 1};
            trails->Update(trail, at, finished ? ended : flying);
        }
        if (impact && world) {
            Impact(next);
            if (!self)
                return;
        }
        if (!finished) {
            const float reach = bullets[i].halfWidth + bullets[i].halfLength;
            const float p[3] = {next.x, next.y, next.z};
            for (int a = 0; a < 3; ++a) {
                boxMin[a] = std::min(boxMin[a], p[a] - reach);
                boxMax[a] = std::max(boxMax[a], p[a] + reach);
            }
            if (kept != i)
                bullets[kept] = bullets[i];
            ++kept;
        } else if (bullets[i].trail) {
            bullets[i].trail->ended = true;
        }
    }
    bullets.resize(kept);
    if (bullets.empty()) {
        Leave();
        return;
    }
    for (Bullet& bullet : bullets) {
        bullet.position[0] += double(bullet.velocity.x) * dt;
        bullet.position[1] += double(bullet.velocity.y) * dt;
        bullet.position[2] += double(bullet.velocity.z) * dt;
    }
    sphere.center = {(boxMin[0] + boxMax[0]) / 2, (boxMin[1] + boxMax[1]) / 2, (boxMin[2] + boxMax[2]) / 2};
    const float dx = boxMax[0] - boxMin[0], dy = boxMax[1] - boxMin[1], dz = boxMax[2] - boxMin[2];
    sphere.radius = std::sqrt(dx * dx + dy * dy + dz * dz) / 2;
    if (Obj::Renderable::group)
        Obj::Renderable::group->Update(this);
}

void BulletGroup::Render(unsigned, Cameras::Basic*) {
    lastVertexCount = 0;
    RwCamera* camera = Obj::CurrentCamera();
    Obj::EffectView view;
    if (bullets.empty() || !Obj::EffectView::FromCamera(camera, view))
        return;
    DrawBuffers& buffers = Buffers();
    const size_t n = bullets.size();
    if (buffers.streaks.size() < 4 * n)
        buffers.streaks.resize(4 * n);
    if (buffers.indices.size() < 6 * n)
        buffers.indices.resize(6 * n);
    if (buffers.points.size() < n)
        buffers.points.resize(n);
    // Indices are 16 bits: one draw takes at most 16384 streaks.
    const size_t drawn = std::min<size_t>(n, 16384);
    for (size_t i = 0; i < drawn; ++i) {
        const Bullet& b = bullets[i];
        const RwV3d p = {float(b.position[0]), float(b.position[1]), float(b.position[2])};
        const RwV3d dir = Unit(b.velocity);
        const RwV3d d = {dir.x * b.halfLength, dir.y * b.halfLength, dir.z * b.halfLength};
        const RwV3d v =
            Unit({float(b.position[0] - view.position[0]), float(b.position[1] - view.position[1]),
                  float(b.position[2] - view.position[2])});
        const RwV3d side = Unit(Cross(v, d));
        const RwV3d s = {side.x * b.halfWidth, side.y * b.halfWidth, side.z * b.halfWidth};
        const uint32_t argb = Obj::PackArgb(b.colour.red, b.colour.green, b.colour.blue, b.colour.alpha);
        RwIm3DVertex* q = &buffers.streaks[4 * i];
        const RwV3d corners[4] = {{p.x + d.x - s.x, p.y + d.y - s.y, p.z + d.z - s.z},
                                  {p.x + d.x + s.x, p.y + d.y + s.y, p.z + d.z + s.z},
                                  {p.x - d.x - s.x, p.y - d.y - s.y, p.z - d.z - s.z},
                                  {p.x - d.x + s.x, p.y - d.y + s.y, p.z - d.z + s.z}};
        const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        for (int k = 0; k < 4; ++k)
            q[k] = {corners[k], {0, 0, 0}, argb, uv[k][0], uv[k][1]};
        const auto k = RwImVertexIndex(4 * i);
        RwImVertexIndex* index = &buffers.indices[6 * i];
        index[0] = RwImVertexIndex(k + 1);
        index[1] = k;
        index[2] = RwImVertexIndex(k + 2);
        index[3] = RwImVertexIndex(k + 3);
        index[4] = RwImVertexIndex(k + 1);
        index[5] = RwImVertexIndex(k + 2);

        const double ex = b.position[0] - view.position[0], ey = b.position[1] - view.position[1],
                     ez = b.position[2] - view.position[2];
        const float distance = float(std::sqrt(ex * ex + ey * ey + ez * ez));
        const float alpha =
            255.0f - 191.0f * std::min(distance * 0.001f, 1.0f) - 64.0f * std::min(distance * 0.0001f, 1.0f);
        buffers.points[i] = {
            p.x, p.y, p.z, {b.colour.red, b.colour.green, b.colour.blue, uint8_t(std::lround(alpha))}};
    }
    Obj::SetRenderState(rwRENDERSTATETEXTURERASTER,
                        uintptr_t(texture ? RwTextureGetRaster(texture) : nullptr));
    Obj::SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
    Obj::SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
    Obj::SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    Obj::SetRenderState(rwRENDERSTATEDESTBLEND, BlendOne);
    Obj::SetRenderState(rwRENDERSTATETEXTUREFILTER, FilterLinear);
    if (RwIm3DTransform(buffers.streaks.data(), RwUInt32(4 * drawn), nullptr, rwIM3D_VERTEXUV)) {
        RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, buffers.indices.data(), RwInt32(6 * drawn));
        RwIm3DEnd();
        lastVertexCount = 4 * drawn;
    }
    if (DrawHeads)
        DrawHeads(buffers.points.data(), uint32_t(drawn));
    Obj::SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
    Obj::SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    Obj::SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
}

void BulletGroup::PlayRicochet(const RwV3d& point, bool onWater) {
    if (!world || !world->soundGroup)
        return;
    char name[32];
    std::snprintf(name, sizeof name, "%sRicochet%u.wav", onWater ? "Water" : "Solid",
                  unsigned(Base::Random::NextUInt32() % 6 + 1));
    Audio::Sound3d* sound = Audio::CreateSound3d(name, world->soundGroup, true);
    if (!sound)
        return;
    const float u1 = Base::Random::FloatInRange(0, 1), u2 = Base::Random::FloatInRange(0, 1);
    sound->params.volume = 0.75f + 0.25f * u2;
    sound->params.frequencyFactor = 0.75f + 0.5f * u1;
    sound->params.referenceDistance = 20.0f;
    sound->params.maximumDistance = -1.0f;
    sound->params.position = {point.x, point.y, point.z};
    sound->params.velocity = {0, 0, 0};
    if (sound->state != Audio::BasicSound::Playing) {
        sound->state = Audio::BasicSound::PlayRequested;
        sound->loop = 0;
        sound->autoDelete = 1;
    }
}

void BulletGroup::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    if (joined) {
        auto* group = new Obj::SmokeTrailGroup();
        group->Setup(Obj::SmokeTrailGroup::Tracers);
        trails = group;
        joined->AddObject(group);
        if (!texture)
            texture = Rw::LoadTexture("Bullet", rwTEXTUREADDRESSCLAMP, rwFILTERLINEAR);
        if (!bullets.empty())
            Join();
    } else {
        Leave();
        if (trails)
            trails->StopAll();
        trails = nullptr;
        for (Bullet& bullet : bullets)
            bullet.trail = nullptr;
        if (texture)
            RwTextureDestroy(texture);
        texture = nullptr;
    }
}

} // namespace Weapons
