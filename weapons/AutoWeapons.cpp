#include "weapons/AutoWeapons.h"

#include "weapons/HomingRocket.h"

#include "aircraft/Airplane.h"
#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Maths.h"
#include "objects/Vehicle.h"
#include "physics/Intercept.h"
#include "scene/MatrixHelpers.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include <cmath>
#include <cstdio>

namespace Weapons {

namespace {

constexpr float ToDegrees = 57.295776f;

float Distance(const RwV3d& a, const RwV3d& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Both weapons' rating; the airplane rated, when the candidate was one within the distances (its rating
// may still be 0, at the maximum distance).
float Rate(const TargetRating& rating, Obj::Damageable* candidate, Obj::Airplane** rated = nullptr) {
    if (!candidate || (rating.carrier && candidate->allegiance == rating.carrier->allegiance))
        return 0;
    auto* airplane = dynamic_cast<Obj::Airplane*>(candidate);
    if (!airplane)
        return 0;
    const RwSphere* sphere = candidate->GetBoundingSphere();
    if (!sphere)
        return 0;
    const float d = Distance(rating.position, sphere->center);
    if (d < rating.minimum || d > rating.maximum)
        return 0;
    if (rated)
        *rated = airplane;
    return (rating.maximum - d) / (candidate->GetDetectability() + 0.1f);
}

template <class Weapon>
void Search(Weapon& weapon, Base::SmartPtr<Obj::Damageable>& target, Grp::World* world, const RwV3d& position,
            float maxDistance, float spread, const TargetRating& rating) {
    target = nullptr;
    if (!world)
        return;
    float best = 0;
    world->targets->ForEach([&](Obj::Target* candidate) {
        const RwSphere* sphere = candidate->GetBoundingSphere();
        if (!sphere || !(Distance(sphere->center, position) <= maxDistance))
            return;
        float s = Weapon::RateTarget(rating, candidate);
        if (s > 0)
            s += weapon.random.Unit() * spread;
        if (s > best) {
            best = s;
            target = static_cast<Obj::Damageable*>(candidate);
        }
    });
}

Obj::Damageable* AsDamageable(Obj::Attachable* carrier) {
    return dynamic_cast<Obj::Damageable*>(carrier);
}

uint32_t nextSeed = 0x5EED0001u;

} // namespace

AutoRandom::AutoRandom() : generator(nextSeed++) {}

float AutoRandom::Unit() {
    return float(double(generator()) * (1.0 / 4294967296.0));
}

// ---- the gun

AutoGun::AutoGun(Obj::Attachable* carrier_) : carrier(carrier_) {}

float AutoGun::RateTarget(const TargetRating& rating, Obj::Damageable* candidate) {
    return Rate(rating, candidate);
}

void AutoGun::FindTarget(Base::SmartPtr<Obj::Damageable>& found, Grp::World* in, const RwV3d& position,
                         float maxDistance, float spread, const TargetRating& rating) {
    Search(*this, found, in, position, maxDistance, spread, rating);
}

void AutoGun::Run() {
    if (!world)
        return;
    const float now = world->time->time;
    const RwV3d position = Position();
    if (now >= nextSearchTime) {
        const TargetRating rating{AsDamageable(carrier), position, 0, range * 1.25f};
        FindTarget(target, world, position, range * 1.25f, range * 0.25f, rating);
        nextSearchTime = now + (1 + random.Unit()) * (target ? 6.0f : 3.0f);
    }
    if (auto* airplane = dynamic_cast<Obj::Airplane*>(target.Get())) {
        const Physics::AirplaneState state = airplane->GetState();
        const float d = Distance(state.position, position);
        if (d > range * 1.25f)
            nextSearchTime = 0;
        if (burstSwitchTime <= now) {
            firing = !firing;
            burstSwitchTime = now + (firing ? random.InRange(0.5f, 1.5f) : random.InRange(0.5f, 3.0f));
        }
        RwV3d aim;
        if (firing && d < range &&
            Hud::ComputeIntercept(position, RwV3d{0, 0, 0}, state.position, state.velocity,
                                  params.muzzleSpeed, &aim, nullptr, nullptr)) {
            // The world orientation: along the lead, off by the aim error about its own right and up axes.
            RwMatrix m;
            RwMatrixSetIdentity(&m);
            Base::SetMatrixLookDirection(&m, aim, RwV3d{0, 1, 0});
            m.pos = {0, 0, 0};
            const float pitch = random.InRange(-1, 1) * aimError * ToDegrees;
            const float yaw = random.InRange(-1, 1) * aimError * ToDegrees;
            const RwV3d right = m.right;
            RwMatrixRotate(&m, &right, pitch, rwCOMBINEPOSTCONCAT);
            const RwV3d up = m.up;
            RwMatrixRotate(&m, &up, yaw, rwCOMBINEPOSTCONCAT);
            // As the gun's own matrix below its parent: the parent's turn taken out, the gun's mounting
            // point kept where it is on the carrier.
            if (RwFrame* parent = RwFrameGetParent(frame)) {
                RwMatrix inverse;
                RwMatrix parentTurn = *RwFrameGetWorldMatrix(parent);
                parentTurn.pos = {0, 0, 0};
                RwMatrixInvert(&inverse, &parentTurn);
                RwMatrixTransform(&m, &inverse, rwCOMBINEPOSTCONCAT);
            }
            m.pos = RwFrameGetMatrix(frame)->pos;
            RwMatrixUpdate(&m);
            Transform(&m, rwCOMBINEREPLACE);
            Fire(RwV3d{0, 0, 0});
        }
    }
    Gun::Run();
}

// ---- the missile site

AutoLauncher::AutoLauncher(Obj::Attachable* carrier_, float range_) : carrier(carrier_), range(range_) {}

RwV3d AutoLauncher::Position() {
    return RwFrameGetWorldMatrix(frame)->pos;
}

float AutoLauncher::RateTarget(const TargetRating& rating, Obj::Damageable* candidate) {
    Obj::Airplane* airplane = nullptr;
    const float rated = Rate(rating, candidate, &airplane);
    if (airplane && airplane->cockpit)
        airplane->cockpit->ReportThreat(dynamic_cast<Obj::Frame*>(rating.carrier),
                                        Obj::CockpitLink::ThreatSeen);
    return rated;
}

void AutoLauncher::FindTarget(Base::SmartPtr<Obj::Damageable>& found, Grp::World* in, const RwV3d& position,
                              float maxDistance, float spread, const TargetRating& rating) {
    Search(*this, found, in, position, maxDistance, spread, rating);
}

void AutoLauncher::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    Obj::SetRunnableWorld(*this, joined);
}

void AutoLauncher::Run() {
    if (!world)
        return;
    const float now = world->time->time;
    const RwV3d position = Position();
    if (now >= nextSearchTime) {
        const TargetRating rating{AsDamageable(carrier), position, 0, range * 1.25f};
        FindTarget(target, world, position, range * 1.25f, range * 0.25f, rating);
        nextSearchTime = now + (1 + random.Unit()) * (target ? 5.0f : 2.5f);
    }
    auto* airplane = dynamic_cast<Obj::Airplane*>(target.Get());
    if (!airplane)
        return;
    if (airplane->cockpit)
        airplane->cockpit->ReportThreat(dynamic_cast<Obj::Frame*>(carrier), Obj::CockpitLink::ThreatTracked);
    const float d = Distance(airplane->GetState().position, position);
    if (d > range * 1.25f)
        nextSearchTime = 0;
    if (now >= nextLaunchTime && d < range) {
        LaunchAt(airplane, position);
        nextLaunchTime = now + random.InRange(0.5f, 1.0f) * 60;
    }
}

void AutoLauncher::LaunchAt(Obj::Target* aimed, const RwV3d& position) {
    const RwSphere* sphere = aimed->GetBoundingSphere();
    if (!sphere)
        return;
    const RwV3d direction = Base::Normalize3d(
        RwV3d{sphere->center.x - position.x, sphere->center.y - position.y, sphere->center.z - position.z});
    const Base::Info& info = Base::InfoCache::Get(Base::MakePath(Base::ClumpCache::Directory, MissileFile));
    auto* rocket = new HomingRocket();
    // A site whose missile does not load launches nothing.
    if (info.GetChildren().empty() || !rocket->LoadParams(&info)) {
        if (!failureSaid)
            std::fprintf(stderr, "Missile site: \"%s\" cannot be loaded%s%s\n", MissileFile,
                         rocket->loadError.empty() ? "" : ": ", rocket->loadError.c_str());
        failureSaid = true;
        delete rocket;
        return;
    }
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    Base::SetMatrixAxes(&m, RwV3d{0, 1, 0}, RwV3d{0, 0, 1}, position);
    Base::SetMatrixLookDirection(&m, direction, RwV3d{0, 1, 0});
    RwMatrixUpdate(&m);
    rocket->Transform(&m, rwCOMBINEREPLACE);
    // The missile leaves from inside its carrier: it must never hit it.
    rocket->owner = carrier ? AttachmentRoot(carrier) : nullptr;
    world->AddObject(rocket);
    rocket->SetTarget(aimed, true);
    rocket->Launch({direction.x * LaunchSpeed, direction.y * LaunchSpeed, direction.z * LaunchSpeed});
    ++launches;
}

// ---- the armed vehicles' makers

namespace {

Obj::Frame* MakeVehicleGun(Obj::Model* owner, const Obj::VehicleWeapons::Gun& given) {
    auto* gun = new AutoGun(owner);
    GunParams params;
    params.rounds = given.rounds;
    params.muzzleSpeed = given.muzzleSpeed;
    params.interval = given.interval;
    params.lifetime = given.lifetime;
    gun->Setup(owner, params);
    gun->bulletGroup->damage = given.bulletGroupParameter;
    gun->range = given.range;
    gun->aimError = given.dispersion;
    return gun;
}

Obj::Frame* MakeVehicleLauncher(Obj::Model* owner, float range) {
    return new AutoLauncher(owner, range);
}

} // namespace

bool InstallVehicleWeapons() {
    Obj::VehicleWeapons::CreateAutoGun = MakeVehicleGun;
    Obj::VehicleWeapons::CreateAutoLauncher = MakeVehicleLauncher;
    return true;
}

} // namespace Weapons
