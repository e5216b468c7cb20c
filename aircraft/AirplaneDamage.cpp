// Hits, kill credit, the disabled airplane and the crash.
#include "aircraft/Airplane.h"

#include "objects/Explosion.h"
#include "objects/HitSpot.h"
#include "objects/Spurt.h"
#include "objects/Wreck.h"
#include "scene/World.h"

#include "base/Maths.h"
#include "base/TextTable.h"

#include <cmath>

namespace Obj {

namespace {

// One kill to the shooter, when it is an airplane of another side than the victim's (read before the hit).
void Credit(Damageable* shooter, Allegiance victimSide) {
    if (auto* airplane = dynamic_cast<Airplane*>(shooter); airplane && airplane->allegiance != victimSide)
        ++airplane->airplaneKills;
}

} // namespace

void Airplane::OnSegmentMissileHit(SegmentMissile* missile, const RwLine* segment, const RwV3d* hitPoint) {
    const float before = hitPoints;
    const Allegiance side = allegiance;
    const auto* fired = dynamic_cast<const Fired*>(missile);
    Base::SmartPtr<Damageable> shooter = fired ? fired->GetShooter() : nullptr;
    Base::SmartPtr<Damageable> self = static_cast<Damageable*>(this);
    if (missile->damage > 0)
        lastAttacker = Base::GetText("MPlr.GunFire");
    if (hitPoint)
        SetHitPoints(hitPoints - missile->damage);
    (void)segment;
    if (before != 0 && (!self || hitPoints == 0))
        Credit(shooter, side);
}

void Airplane::OnSphereMissileHit(SphereMissile* missile, const RwSphere* blast) {
    auto* explosion = dynamic_cast<Explosion*>(missile);
    // The copy of another peer's explosion: that peer's own blast hit its view of this airplane and the
    // damage comes in its report to the owner. A second blast here would count the same damage twice.
    if (explosion && explosion->remoteCopy)
        return;
    const bool dead = hitPoints == 0;
    const Allegiance side = allegiance;
    Base::SmartPtr<Damageable> shooter = explosion ? explosion->shooter.Get() : nullptr;
    Base::SmartPtr<Damageable> self = static_cast<Damageable*>(this);
    if (explosion)
        lastAttacker = explosion->sourceName;
    Damageable::OnSphereMissileHit(missile, blast);
    if (!dead && (!self || hitPoints == 0))
        Credit(shooter, side);
}

void Airplane::OnHitPointsChanged() {
    if (remoteCopy || !flightModel || hitPoints != 0 || !(maxHitPoints > 0))
        return;
    Physics::AirplaneState s = flightModel->state;
    s.engineDestroyed = 1;
    s.outOfControl = 1;
    flightModel->SetState(s);
}

bool Airplane::CheckCrash(const Physics::AirplaneState& s, float dt) {
    const float speed = float(Base::VectorLength(s.velocity));
    if ((hitPoints == 0 && maxHitPoints != 0 && speed < 20.0f) || s.crashed) {
        const bool water = s.groundValid && s.groundNormal.x == 0 && s.groundNormal.y == 1 &&
                           s.groundNormal.z == 0 && std::fabs(s.groundDistance) < 1.0f;
        Crash(water);
        return true;
    }
    if (crashCountdown >= 0) {
        crashCountdown = std::max(0.0f, crashCountdown - dt);
        if (crashCountdown == 0) {
            Crash(false);
            return true;
        }
    }
    return false;
}

void Airplane::Crash(bool onWater) {
    if (crashing)
        return;
    crashing = true;
    Grp::World* w = Obj::Object::world;
    if (w) {
        const Physics::AirplaneState s = GetState();
        double p[3];
        GetWorldPositionDouble(p);
        const float at[3] = {float(p[0]), float(p[1]), float(p[2])};
        // The smoke stays behind and fades.
        for (SmokeTrailGroup* group : {condensation.Get(), damageSmoke.Get()})
            if (group) {
                group->Detach();
                group->StopAll();
            }
        w->RemoveObject(this);
        for (SmokeTrailGroup* group : {condensation.Get(), damageSmoke.Get()})
            if (group && !group->world)
                w->AddObject(group);
        condensation = nullptr;
        damageSmoke = nullptr;
        if (onWater) {
            auto* spurt = new SpurtWater;
            spurt->Setup(at, 40.0f);
            w->AddObject(spurt);
        } else {
            auto* explosion = new Explosion;
            explosion->Setup(at, 200.0f, "");
            w->AddObject(explosion);
            const float speed = float(Base::VectorLength(s.velocity));
            auto* wreck = new Wreck;
            wreck->CreateFromModel(this, {s.velocity.x * 0.5f, s.velocity.y * 0.5f, s.velocity.z * 0.5f},
                                   Wreck::Airplane(speed));
            w->AddObject(wreck);
        }
        if (s.groundHeight > 1.0f && at[1] - s.groundHeight < 5.0f) {
            auto* spot = new HitSpot;
            spot->Setup(3.0f);
            RwMatrix m;
            RwMatrixSetIdentity(&m);
            m.pos = {at[0], at[1], at[2]};
            RwMatrixUpdate(&m);
            spot->Transform(&m, rwCOMBINEREPLACE);
            w->AddObject(spot);
        }
    }
    delete this;
}

} // namespace Obj
