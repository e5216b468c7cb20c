#include "objects/HitSpot.h"

#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "base/Random.h"
#include "rwsdk/src/plcore/matrix.h"

#include <algorithm>
#include <cmath>

namespace Obj {

namespace {

double U() {
    return double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0);
}

} // namespace

void HitSpot::Setup(float s) {
    strength = s;
    Base::Random::SeedFromTimeStamp();
    holdTime = float((0.5 + 1.5 * U()) * std::sqrt(s) * 60);
    fadeTime = float((0.5 + 1.5 * U()) * std::sqrt(s) * 180);
    auto* made = new Smoke;
    smoke = made;
    made->Setup(s);
    made->AttachTo(this, frame, false);
}

void HitSpot::SetStrength(float s) {
    strength = s;
    if (smoke) {
        smoke->strength = s;
        smoke->root = std::sqrt(s);
    }
}

void HitSpot::SetWorld(Grp::World* joined) {
    Grp::World* from = world;
    Obj::Object::SetWorld(joined);
    SetRunnableWorld(*this, joined);
    if (joined) {
        if (smoke)
            joined->AddObject(smoke);
        return;
    }
    if (smoke && smoke->world && from)
        from->RemoveObject(smoke);
}

void HitSpot::Run() {
    if (!world)
        return;
    if (!smoke) {
        world->RemoveObject(this);
        delete this;
        return;
    }
    const float now = world->time->time;
    if (startTime < 0)
        startTime = now;
    const float e = now - startTime - holdTime;
    if (e <= 0)
        return;
    const float f = std::clamp((fadeTime - e) / fadeTime, 0.0f, 1.0f);
    const float s = f * strength;
    if (s > 0.1f) {
        smoke->strength = s;
        smoke->root = std::sqrt(s);
    } else {
        smoke->stopped = true;
    }
}

HitSpot* HitSpot::Create(float s, const RwV3d& point) {
    auto* spot = new HitSpot;
    spot->Setup(s);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = point;
    RwMatrixUpdate(&m);
    spot->Transform(&m, rwCOMBINEREPLACE);
    return spot;
}

bool HitSpot::Install() {
    Damageable::CreateHitSpot = [](float s, const RwV3d& point) -> Frame* { return Create(s, point); };
    return true;
}

} // namespace Obj
