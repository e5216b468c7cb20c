#include "weapons/Bomb.h"

#include "weapons/Rocket.h"

#include "base/Info.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>

namespace Weapons {

Bomb::~Bomb() {
    owner = nullptr;
}

bool Bomb::ReadBombKeys(const Base::Info* info) {
    return RequireFloat(info, "BombParams.ExplosionStr", 0, Limits::Strength, explosionStrength);
}

bool Bomb::LoadParams(const Base::Info* info) {
    if (!Ordnance::Load(info) || !ReadBombKeys(info))
        return false;
    paramsLoaded = true;
    return true;
}

void Bomb::Launch(const RwV3d& initialVelocity) {
    if (rack)
        rack->Release();
    velocity = initialVelocity;
    if (world && !Obj::Runnable::group)
        Obj::SetRunnableWorld(*this, world);
}

void Bomb::SetWorld(Grp::World* joined) {
    Obj::Model::SetWorld(joined);
    if (!joined)
        Obj::SetRunnableWorld(*this, nullptr);
}

void Bomb::Run() {
    Base::SmartPtr<Bomb> self(this);
    if (!world)
        return;
    const float dt = world->time->step;
    velocity.y -= Gravity * dt;
    const float drag = std::pow(DragPerSecond, dt);
    velocity = {velocity.x * drag, velocity.y * drag, velocity.z * drag};

    double position[3];
    GetWorldPositionDouble(position);
    const RwV3d current = {float(position[0]), float(position[1]), float(position[2])};
    const double next[3] = {position[0] + double(velocity.x) * dt, position[1] + double(velocity.y) * dt,
                            position[2] + double(velocity.z) * dt};
    const RwLine fall = {current, {float(next[0]), float(next[1]), float(next[2])}};
    const bool hit = Alg::ShootSegment::Shoot(
        Alg::ShootSegment::Chain(Alg::ShootSegment::AlongSegment(*world->statics, fall),
                                 Alg::ShootSegment::NearSegment(*world->dynamics, fall)),
        this, fall, nullptr, nullptr);
    if (!self || !world)
        return;

    const RwMatrix* m = RwFrameGetMatrix(frame);
    RwV3d forward = Base::LerpVector3(m->at, velocity, 0.05f * dt);
    const float length = std::sqrt(forward.x * forward.x + forward.y * forward.y + forward.z * forward.z);
    forward = length > 1e-12f ? RwV3d{forward.x / length, forward.y / length, forward.z / length} : m->at;
    // The right axis (world up x forward) is horizontal; straight down keeps the one it had.
    RwV3d side = {forward.z, 0, -forward.x};
    const float sideLength = std::sqrt(side.x * side.x + side.z * side.z);
    side = sideLength > 1e-6f ? RwV3d{side.x / sideLength, 0, side.z / sideLength} : m->right;
    RwMatrix turned;
    turned.right = side;
    turned.at = forward;
    turned.up = {forward.y * turned.right.z - forward.z * turned.right.y,
                 forward.z * turned.right.x - forward.x * turned.right.z,
                 forward.x * turned.right.y - forward.y * turned.right.x};
    turned.pos = fall.end;
    RwMatrixUpdate(&turned);
    Transform(&turned, rwCOMBINEREPLACE);
    std::copy(next, next + 3, localPosition);

    if (hit)
        Explode();
}

void Bomb::Explode() {
    Grp::World* in = world;
    double position[3];
    GetWorldPositionDouble(position);
    const RwV3d at = {float(position[0]), float(position[1]), float(position[2])};
    Base::SmartPtr<Obj::Attachable> shooter = owner.Get();
    if (in)
        in->RemoveObject(this);
    Detonate(in, at, explosionStrength, shooter, name);
    delete this;
}

} // namespace Weapons
