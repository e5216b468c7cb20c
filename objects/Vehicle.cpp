#include "objects/Vehicle.h"

#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Terrain.h"
#include "objects/Wreck.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"

#include "base/Random.h"

#include "rwsdk/src/frame.h"

#include <algorithm>
#include <cmath>

namespace Obj {

namespace {

// Closer than this the destination has no direction: the vehicle is on it.
constexpr float ArrivalDistance = 1e-4f;

RwMatrix Translation(float x, float y, float z) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = {x, y, z};
    RwMatrixUpdate(&m);
    return m;
}

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

} // namespace

// ---- weapons of the armed vehicles

bool VehicleWeapons::Mount(Model* owner, bool withGun, bool withLauncher, float gunHeight,
                           float launcherHeight, Base::SmartPtr<Frame>& gun,
                           Base::SmartPtr<Frame>& launcher) {
    const auto hang = [owner](Frame* weapon, float height) {
        weapon->AttachTo(owner, owner->frame, false);
        const RwMatrix local = Translation(0, height, 0);
        weapon->Transform(&local, rwCOMBINEREPLACE);
    };
    if (withGun) {
        Frame* made = CreateAutoGun ? CreateAutoGun(owner, Gun{}) : nullptr;
        if (!made)
            return false;
        hang(made, gunHeight);
        gun = made;
    }
    if (withLauncher) {
        Frame* made = CreateAutoLauncher ? CreateAutoLauncher(owner, 10000.0f) : nullptr;
        if (!made)
            return false;
        hang(made, launcherHeight);
        launcher = made;
    }
    return true;
}

void VehicleWeapons::SetWorld(Grp::World* world, Frame* gun, Frame* launcher) {
    for (Frame* weapon : {gun, launcher}) {
        auto* object = dynamic_cast<Obj::Object*>(weapon);
        if (!object)
            continue;
        if (world && !object->world)
            world->AddObject(object);
        else if (!world && object->world)
            object->world->RemoveObject(object);
    }
}

// ---- Vehicle

bool Vehicle::Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction,
                    float initialSpeed, float maxSpeed_, float turnRate_, float acceleration_) {
    if (!Load(info))
        return false;
    if (!LoadDamages(info))
        return false;
    maxSpeed = maxSpeed_;
    turnRate = turnRate_;
    acceleration = acceleration_;
    arrived = true;
    speed = std::clamp(initialSpeed, 0.0f, std::max(maxSpeed, 0.0f));

    RwMatrix m;
    RwMatrixSetIdentity(&m);
    Base::SetMatrixAxes(&m, {0, 1, 0}, {direction.x, 0, direction.y}, {position.x, 0, position.y});
    Transform(&m, rwCOMBINEREPLACE);
    return true;
}

void Vehicle::JoinRunList() {
    if (!Runnable::group && Obj::Object::world) {
        Obj::Object::world->runnables->Insert(this);
    }
}

void Vehicle::LeaveRunList() {
    if (Runnable::group)
        Grp::Simple<Runnable>::Remove(this);
}

void Vehicle::MoveTo(Base::Vector2 to) {
    JoinRunList();
    destination = to;
    arrived = false;
    double p[3];
    GetWorldPositionDouble(p);
    const double dx = double(to.x) - p[0], dz = double(to.y) - p[2];
    if (std::sqrt(dx * dx + dz * dz) < ArrivalDistance) {
        arrived = true;
        return;
    }
    startDirection = Base::Normalize2d(float(dx), float(dz));
}

void Vehicle::SetWorld(Grp::World* joined) {
    Model::SetWorld(joined);
    if (joined) {
        JoinRunList();
        Dynamic::group = joined->dynamics.get();
        Dynamic::group->UpdateDamageable(this);
        Dynamic::OnGroupChanged(Dynamic::group);
        joined->targets->Insert(this);
    } else {
        LeaveRunList();
        if (Dynamic::group)
            Grp::Spatial<Dynamic>::Remove(this);
        if (Target::group)
            Grp::Simple<Target>::Remove(this);
    }
}

Rw::Frame* Vehicle::Transform(const RwMatrix* matrix, int combine) {
    Rw::Frame* result = Model::Transform(matrix, combine);
    if (Dynamic::group)
        Dynamic::group->UpdateDamageable(this);
    return result;
}

void Vehicle::Run() {
    if (arrived || !Obj::Object::world)
        return;
    const float dt = Obj::Object::world->time->step;

    double p[3];
    GetWorldPositionDouble(p);
    const double dx = double(destination.x) - p[0], dz = double(destination.y) - p[2];
    const double dist = std::sqrt(dx * dx + dz * dz);
    // Standing on the destination: no direction left to turn to.
    if (dist < ArrivalDistance) {
        arrived = true;
        return;
    }
    const Base::Vector2 n{float(dx / dist), float(dz / dist)};

    if (dt * speed + speed * speed / (2 * acceleration) <= dist)
        speed += acceleration * dt;
    else
        speed -= acceleration * dt;
    speed = std::clamp(speed, 0.0f, std::max(maxSpeed, 0.0f));

    // Past the line through the destination across the start direction.
    if (n.x * startDirection.x + n.y * startDirection.y < 0) {
        arrived = true;
        return;
    }

    const RwMatrix* world = RwFrameGetWorldMatrix(frame);
    const RwV3d up = world->up, at = world->at;
    const float angle = Base::SignedAngle2d({at.x, at.z}, n);
    const float fraction = maxSpeed > 0 ? std::clamp(speed / maxSpeed, 0.0f, 1.0f) : 0.0f;
    const float maxTurn = fraction * turnRate * dt;
    const float turn = std::min(std::fabs(angle), maxTurn) * Base::Sign(angle);

    const double travel = double(speed) * dt;
    const double q[3] = {p[0] + at.x * travel, p[1] + at.y * travel, p[2] + at.z * travel};
    const RwV3d position = {float(q[0]), float(q[1]), float(q[2])};
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    Base::SetMatrixAxes(&m, up, at, position);
    Base::RotateMatrixAboutPoint(&m, up, turn * float(180.0 / Base::Pi), rwCOMBINEPOSTCONCAT, position);
    Transform(&m, rwCOMBINEREPLACE);
    std::copy(q, q + 3, localPosition);
}

// ---- Car

void Car::Run() {
    Vehicle::Run();
    if (!Obj::Object::world)
        return;

    // Without a loaded terrain there is no ground to sit on.
    const Terrain* terrain = Obj::Object::world->terrain;
    if (terrain && terrain->IsLoaded()) {
        double p[3];
        GetWorldPositionDouble(p);
        const float x = float(p[0]), y = float(p[1]), z = float(p[2]);
        Terrain::Segment segment;
        if (firstDrop) {
            segment = {{x, 10000, z}, {x, -10000, z}};
        } else {
            const RwV3d worldUp = RwFrameGetWorldMatrix(frame)->up;
            segment = {{x + worldUp.x * 100, y + worldUp.y * 100, z + worldUp.z * 100},
                       {x - worldUp.x * 100, y - worldUp.y * 100, z - worldUp.z * 100}};
        }
        firstDrop = false;
        Base::Vector3 hit, normal;
        if (terrain->IntersectSegment(segment, &hit, &normal)) {
            const RwV3d right = RwFrameGetWorldMatrix(frame)->right;
            const RwV3d up = {normal.x, normal.y, normal.z};
            RwV3d at = Cross(right, up);
            // Made unit, so that a sideways slope does not shrink the model.
            const float length = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
            if (length > 0)
                at = {at.x / length, at.y / length, at.z / length};
            RwMatrix m;
            RwMatrixSetIdentity(&m);
            Base::SetMatrixAxes(&m, up, at, {x, hit.y, z});
            Transform(&m, rwCOMBINEREPLACE);
            localPosition[0] = p[0];
            localPosition[1] = hit.y;
            localPosition[2] = p[2];
        }
    }

    if (arrived && IsRunning())
        LeaveRunList();
}

void Car::OnHitPointsChanged() {
    if (hitPoints == 0 && maxHitPoints != 0 && !destroying)
        Destroy();
}

namespace {

// Who fired the missile, or null: the explosion's shooter, or what a missile above this library reports.
Damageable* ShooterOf(const void* explosion, const Fired* fired) {
    if (explosion)
        return static_cast<const Explosion*>(explosion)->shooter;
    return fired ? fired->GetShooter() : nullptr;
}

// Credits the shooter when the target died of the hit and the shooter keeps score on the other side.
void Credit(bool died, Damageable* shooter, Allegiance victimSide) {
    if (!died || !shooter || shooter->allegiance == victimSide)
        return;
    if (auto* counter = dynamic_cast<TargetCounter*>(shooter))
        counter->CountDestroyedTarget();
}

} // namespace

// What the credit needs is read before the hit, which may delete the car.
void Car::OnSegmentMissileHit(SegmentMissile* missile, const RwLine* segment, const RwV3d* hitPoint) {
    const Allegiance side = allegiance;
    Base::SmartPtr<Damageable> shooter = ShooterOf(nullptr, dynamic_cast<const Fired*>(missile));
    Base::SmartPtr<Damageable> self = this;
    Damageable::OnSegmentMissileHit(missile, segment, hitPoint);
    Credit(!self, shooter, side);
}

void Car::OnSphereMissileHit(SphereMissile* missile, const RwSphere* blast) {
    const Allegiance side = allegiance;
    Base::SmartPtr<Damageable> shooter =
        ShooterOf(dynamic_cast<const Explosion*>(missile), dynamic_cast<const Fired*>(missile));
    Base::SmartPtr<Damageable> self = this;
    Damageable::OnSphereMissileHit(missile, blast);
    Credit(!self, shooter, side);
}

void Car::Destroy() {
    destroying = true;
    Grp::World* world = Obj::Object::world;
    if (world) {
        world->RemoveObject(this);
        double p[3];
        GetWorldPositionDouble(p);
        const RwV3d position = {float(p[0]), float(p[1]), float(p[2])};
        auto* explosion = new Explosion;
        const float at[3] = {position.x, position.y, position.z};
        explosion->Setup(at, 10.0f, "");
        world->AddObject(explosion);
        auto* wreck = new Wreck;
        wreck->CreateFromModel(this, {0, 0, 0}, 1, 1.0f, 10.0f, 0.2f);
        world->AddObject(wreck);
        const float u = float(Base::Random::NextUInt32()) * 2.3283064365386963e-10f;
        auto* spot = new HitSpot;
        spot->Setup(1.5f * u + 0.5f);
        spot->Transform(RwFrameGetWorldMatrix(frame), rwCOMBINEREPLACE);
        world->AddObject(spot);
    }
    delete this;
}

// ---- WarCar

bool WarCar::Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction,
                   float initialSpeed, float maxSpeed_, float turnRate_, float acceleration_,
                   bool withAutoGun, bool withAutoLauncher) {
    if (!Vehicle::Setup(info, position, direction, initialSpeed, maxSpeed_, turnRate_, acceleration_))
        return false;
    return VehicleWeapons::Mount(this, withAutoGun, withAutoLauncher, 3.0f, 3.0f, autoGun, autoLauncher);
}

void WarCar::SetWorld(Grp::World* joined) {
    Vehicle::SetWorld(joined);
    VehicleWeapons::SetWorld(joined, autoGun, autoLauncher);
}

} // namespace Obj
