#include "weapons/HomingRocket.h"

#include "weapons/Countermeasure.h"

#include "aircraft/Airplane.h"
#include "base/Info.h"
#include "base/Maths.h"
#include "base/Random.h"
#include "physics/Intercept.h"
#include "scene/RoleGroups.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>

namespace Weapons {

namespace {

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Length(const RwV3d& v) {
    return std::sqrt(Dot(v, v));
}

constexpr float Pi = 3.14159265358979f;

} // namespace

HomingRocket::HomingRocket() : seeker(std::make_unique<Seeker>(this)) {}

HomingRocket::~HomingRocket() {
    seeker.reset();
}

bool HomingRocket::ReadHomingKeys(const Base::Info* info) {
    if (!info->TryGetString("FileName", fileName))
        return Fail("FileName", "missing");
    Base::String kind;
    info->TryGetString("HomingRocketParams.Guidance", kind);
    if (kind == "Other")
        guidance = GuidanceOther;
    else if (kind == "Infrared")
        guidance = GuidanceInfrared;
    else if (kind == "Radar")
        guidance = GuidanceRadar;
    else
        return Fail("HomingRocketParams.Guidance", "not \"Infrared\", \"Radar\" or \"Other\"");
    float turnRate = DefaultTurnRate;
    if (!RequireFloat(info, "HomingRocketParams.FuseDistance", 0, Limits::Size * 10, fuseDistance) ||
        !RequireFloat(info, "HomingRocketParams.TargetingSpeed", 0, 36000.0f, turnRate) ||
        !OptionalFloat(info, "HomingRocketParams.UpAdjustFactor", -Limits::Size, Limits::Size,
                       upAdjustFactor))
        return false;
    seeker->turnRate = turnRate;
    return true;
}

bool HomingRocket::LoadParams(const Base::Info* info) {
    if (!Rocket::LoadParams(info))
        return false;
    paramsLoaded = false;
    // The guidance divides by the engine's acceleration.
    if (!(acceleration > 0))
        return Fail("RocketParams.Acc", "a guided rocket needs a positive acceleration");
    if (!ReadHomingKeys(info))
        return false;
    paramsLoaded = true;
    return true;
}

RwV3d HomingRocket::Centre(Obj::Target* target) {
    if (const RwSphere* sphere = target->GetBoundingSphere())
        return sphere->center;
    if (auto* frame = dynamic_cast<Rw::Frame*>(target))
        return RwFrameGetWorldMatrix(frame->frame)->pos;
    return {0, 0, 0};
}

void HomingRocket::TargetMotion(Obj::Target* target, RwV3d& position, RwV3d& velocity) {
    if (auto* airplane = dynamic_cast<Obj::Airplane*>(target)) {
        const Physics::AirplaneState state = airplane->GetState();
        position = state.position;
        velocity = state.velocity;
        return;
    }
    velocity = {0, 0, 0};
    if (auto* frame = dynamic_cast<Rw::Frame*>(target))
        position = RwFrameGetWorldMatrix(frame->frame)->pos;
    else
        position = Centre(target);
}

void HomingRocket::SetTarget(Obj::Target* target, bool locked) {
    const bool onRack = GetParent() != nullptr;
    if (!target) {
        if (onRack && Obj::Runnable::group)
            Obj::SetRunnableWorld(*this, nullptr);
    } else {
        // The seeker searches while the missile hangs on its rack.
        if (onRack && !Obj::Runnable::group && world)
            Obj::SetRunnableWorld(*this, world);
        seeker->decoyTestArmed = false;
        seeker->previousSampleValid = false;
    }
    seeker->target = target;
    seeker->inRange = false;
    seeker->axis = {0, 0, 1};
    seeker->locked = locked;
}

void HomingRocket::SetWorld(Grp::World* joined) {
    Rocket::SetWorld(joined);
    if (joined && GetParent() && seeker->target && !Obj::Runnable::group)
        Obj::SetRunnableWorld(*this, joined);
}

void HomingRocket::Launch(const RwV3d& initialVelocity) {
    Rocket::Launch(initialVelocity);
    if (Obj::Target* target = seeker->target.Get())
        targetCentreAtLaunch = Centre(target);
}

void HomingRocket::Seeker::Update(float dt) {
    Obj::Target* aimed = target.Get();
    if (!aimed)
        return;
    const RwMatrix& m = *RwFrameGetWorldMatrix(rocket->frame);
    const RwV3d toTarget = Sub(Centre(aimed), m.pos);
    if (locked)
        inRange = rocket->maxSpeed > 0 && Length(toTarget) / rocket->maxSpeed < 0.75f * rocket->timeToLive;
    const RwV3d world = Base::Normalize3d(toTarget);
    // Into the rocket's own axes (its matrix is a rotation).
    const RwV3d look = Base::Normalize3d(RwV3d{Dot(world, m.right), Dot(world, m.up), Dot(world, m.at)});
    if (Dot(look, axis) < LockCone) {
        locked = false;
        inRange = false;
        axis = {0, 0, 1};
        return;
    }
    const RwV3d across = Base::CrossProduct(axis, look);
    if (Length(across) > 1e-7f) {
        // The slew wobbles: its turning axis swings by up to 45 degrees either way about the seeker axis.
        RwV3d turn = Base::Normalize3d(across);
        turn = Base::RotateVectorAroundAxis(turn, Base::Normalize3d(axis),
                                            Base::Random::FloatInRange(-Pi / 4, Pi / 4));
        axis = Base::RotateVectorAroundAxis(axis, turn, Pi / 180 * turnRate * dt);
    }
    if (Length(Sub(axis, look)) <= LockTolerance) {
        locked = true;
        axis = {0, 0, 1};
    }
}

void HomingRocket::CheckDecoys(GuidanceKind kind) {
    Obj::Target* aimed = seeker->target.Get();
    if (!aimed || !world)
        return;
    const RwV3d centre = Centre(aimed);
    const float d = Length(Sub(centre, Position()));
    if (kind == GuidanceRadar)
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(aimed); airplane && airplane->GetState().jammerOn) {
            const float r = float(Base::Random::NextUInt32() * (1.0 / 4294967296.0));
            if (d * 0.000002f > r) {
                SetTarget(nullptr, false);
                return;
            }
        }
    bool switched = false;
    if (seeker->decoyTestArmed && (kind == GuidanceInfrared || kind == GuidanceRadar)) {
        const float chance = std::clamp(std::exp(-0.0002f * d), 0.1f, 0.9f);
        const RwV3d q = Sub(centre, seeker->predictedTarget);
        world->targets->ForEach([&](Obj::Target* candidate) {
            Countermeasure* decoy = kind == GuidanceInfrared
                                        ? static_cast<Countermeasure*>(dynamic_cast<Flare*>(candidate))
                                        : static_cast<Countermeasure*>(dynamic_cast<Chaff*>(candidate));
            if (!decoy)
                return;
            const RwV3d p = Sub(RwFrameGetWorldMatrix(decoy->frame)->pos, seeker->predictedTarget);
            if (Dot(q, q) > Dot(p, p) + 100) {
                const float r = float(Base::Random::NextUInt32() * (1.0 / 4294967296.0));
                if (r < chance) {
                    seeker->target = candidate;
                    switched = true;
                }
            }
        });
    }
    // Where the target will be at the next check, from the last two.
    seeker->predictedTarget = {2 * centre.x - seeker->lastTargetCentre.x,
                               2 * centre.y - seeker->lastTargetCentre.y,
                               2 * centre.z - seeker->lastTargetCentre.z};
    seeker->lastTargetCentre = centre;
    seeker->lastSampleTime = world->time->time;
    if (seeker->previousSampleValid && !switched) {
        seeker->decoyTestArmed = true;
    } else {
        seeker->decoyTestArmed = false;
        seeker->previousSampleValid = !switched;
    }
}

void HomingRocket::Run() {
    if (!world)
        return;
    const float dt = world->time->step;
    if (GetParent()) {
        seeker->Update(dt);
        return;
    }
    const float now = world->time->time;
    if (now >= lastDecoyCheck + DecoyCheckInterval) {
        lastDecoyCheck = now;
        CheckDecoys(guidance);
    }
    if (seeker->locked)
        if (Obj::Target* aimed = seeker->target.Get())
            if (Dot(Sub(Centre(aimed), Position()), Forward()) < 0)
                SetTarget(nullptr, false);
    if (Obj::Target* aimed = seeker->target.Get(); aimed && dt > 0)
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(aimed); airplane && airplane->cockpit)
            airplane->cockpit->ReportThreat(this, Obj::CockpitLink::ThreatMissile);
    Rocket::Run();
}

RwV3d HomingRocket::AimPoint(const RwV3d& targetPosition, const RwV3d& targetVelocity) {
    const RwV3d position = Position();
    const float speed = Length(velocity);
    const float distance = Length(Sub(targetPosition, position));
    const float toGo = speed > 0.01f ? distance / speed : 1e9f;
    const float height = (1 - std::exp(-0.5f * std::max(0.0f, toGo - 1.5f))) * upAdjustFactor * 100;
    float t = 0;
    if (!Hud::ComputeIntercept(position, RwV3d{0, 0, 0}, targetPosition, targetVelocity, maxSpeed, nullptr,
                               nullptr, &t))
        t = 0; // no lead to be had: straight at the target
    return {targetPosition.x + targetVelocity.x * t, targetPosition.y + targetVelocity.y * t + height,
            targetPosition.z + targetVelocity.z * t};
}

RwV3d HomingRocket::Steer(const RwV3d& targetPosition, const RwV3d& targetVelocity, float dt) {
    const RwV3d forward = Forward();
    const RwV3d aim = Base::Normalize3d(Sub(AimPoint(targetPosition, targetVelocity), Position()));
    const RwV3d across = Base::CrossProduct(forward, aim);
    // Already on the aim: no turning axis to be had, and none needed.
    if (!(Length(across) > 1e-6f))
        return forward;
    const RwV3d normal = Base::Normalize3d(across);
    const float angle = Obj::SignedAngleOnPlane(normal, forward, aim);
    const float k = std::clamp(Length(velocity) * angle / (acceleration * dt), -1.0f, 1.0f);
    return Base::RotateVectorAroundAxis(forward, normal, std::asin(k));
}

void HomingRocket::Simulate(float, float dt) {
    if (remoteCopy || !(dt > 0))
        return;
    Obj::Target* aimed = seeker->target.Get();
    if (!seeker->locked || !aimed) {
        Advance(dt);
        return;
    }
    RwV3d targetPosition, targetVelocity;
    TargetMotion(aimed, targetPosition, targetVelocity);
    thrustDirection = Steer(targetPosition, targetVelocity, dt);
    const RwV3d from = Position();
    Advance(dt);
    const RwLine flown = {from, Position()};
    const RwV3d centre = Centre(aimed);
    const RwV3d nearest = ClosestPointOnSegment(flown, centre);
    if (Length(Sub(nearest, centre)) <= fuseDistance)
        Explode(nearest);
}

} // namespace Weapons
