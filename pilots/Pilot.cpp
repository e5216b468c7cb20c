#include "pilots/Pilot.h"

#include "aircraft/Airplane.h"
#include "objects/Terrain.h"
#include "scene/AtomicData.h"
#include "scene/MatrixHelpers.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include "base/Maths.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/world/baclump.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <strings.h>

namespace Obj {

namespace {

constexpr float ToDegrees = float(180.0 / Base::Pi);
constexpr const char* FigureParts[] = {"Sitting", "Sitting", "Flying", "OnParachute"};

RpAtomic* FindAtomic(RpClump* clump, const char* name) {
    struct Search {
        const char* name;
        RpAtomic* atomic = nullptr;
    } search{name};
    if (clump)
        RpClumpForAllAtomics(
            clump,
            [](RpAtomic* atomic, void* data) -> RpAtomic* {
                auto* s = static_cast<Search*>(data);
                if (strcasecmp(Rw::GetAtomicName(atomic), s->name) != 0)
                    return atomic;
                s->atomic = atomic;
                return nullptr;
            },
            &search);
    return search.atomic;
}

void SetDrawn(RpAtomic* atomic, bool drawn, RwUInt8 flag = rpATOMICRENDER) {
    const RwUInt8 flags = RpAtomicGetFlags(atomic);
    RpAtomicSetFlags(atomic, drawn ? RwUInt8(flags | flag) : RwUInt8(flags & ~flag));
}

// The figure's shown part alone is drawn and met by shots: a hidden part (the folded canopy around a
// seated pilot) would take the hits meant for the airplane it hides in.
constexpr RwUInt8 ShownFlags = rpATOMICRENDER | rpATOMICCOLLISIONTEST;

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Length(const RwV3d& v) {
    return std::sqrt(Dot(v, v));
}

} // namespace

Pilot::Pilot() = default;

Pilot::~Pilot() {
    if (Obj::Object::world)
        Obj::Object::world->RemoveObject(this);
}

bool Pilot::Load(const Base::Info* info) {
    if (!Model::Load(info))
        return false;
    SetFigure(Seated);
    return true;
}

void Pilot::SetWorld(Grp::World* joined) {
    Model::SetWorld(joined);
    SetRunnableWorld(*this, joined);
    if (joined) {
        Dynamic::group = joined->dynamics.get();
        Dynamic::group->UpdateDamageable(this);
        Dynamic::OnGroupChanged(Dynamic::group);
    } else if (Dynamic::group) {
        Grp::Spatial<Dynamic>::Remove(this);
    }
}

void Pilot::Render(unsigned order, Cameras::Basic* camera) {
    if (IsInsideViewOf) {
        const Airplane* airplane = GetAirplane();
        if (airplane && IsInsideViewOf(camera, airplane))
            return;
    }
    Model::Render(order, camera);
}

Rw::Frame* Pilot::Transform(const RwMatrix* matrix, int combine) {
    Rw::Frame* result = Model::Transform(matrix, combine);
    if (Dynamic::group)
        Dynamic::group->UpdateDamageable(this);
    return result;
}

// ---- the airplane

void Pilot::SetAirplane(Airplane* airplane) {
    if (GetParent()) {
        if (attachedToFrame)
            Detach(true);
        else
            Attachable::Unlink();
    }
    if (!airplane)
        return;
    AttachTo(airplane, airplane->frame, false);
    RwMatrix seat = frame->modelling;
    seat.pos = airplane->pilotSeat;
    RwMatrixOptimize(&seat, nullptr);
    Transform(&seat, rwCOMBINEREPLACE);
}

Airplane* Pilot::GetAirplane() const {
    return dynamic_cast<Airplane*>(GetParent());
}

Pilot* Pilot::Of(const Airplane* airplane) {
    return airplane ? airplane->FindChild<Pilot>() : nullptr;
}

void Pilot::SetFigure(uint32_t state) {
    if (state < std::size(FigureParts))
        if (RpAtomic* part = FindAtomic(clump, FigureParts[state])) {
            RpClumpForAllAtomics(
                clump,
                [](RpAtomic* atomic, void*) -> RpAtomic* {
                    SetDrawn(atomic, false, ShownFlags);
                    return atomic;
                },
                nullptr);
            SetDrawn(part, true, ShownFlags);
        }
    figureState = state;
}

void Pilot::Eject() {
    Airplane* airplane = GetAirplane();
    if (!airplane)
        return;
    airplane->crashCountdown = CrashAfterEjection;
    if (RpAtomic* canopy = FindAtomic(airplane->clump, "_CabinGlass"))
        SetDrawn(canopy, false);
    Physics::AirplaneState s = airplane->GetState();
    velocity = {s.velocity.x + EjectionSpeed * s.up.x, s.velocity.y + EjectionSpeed * s.up.y,
                s.velocity.z + EjectionSpeed * s.up.z};
    ejectTime = Obj::Object::world ? Obj::Object::world->time->time
                                   : (airplane->world ? airplane->world->time->time : 0.0f);
    SetFigure(Ejected);
    s.outOfControl = 1;
    airplane->SetState(s);
    SetAirplane(nullptr);
}

// ---- per frame

void Pilot::Run() {
    Grp::World* w = Obj::Object::world;
    const float dt = w ? w->time->step : 0.0f;
    if (figureState == Seated)
        RunSeated(dt);
    else
        RunFree(dt);
}

void Pilot::RunSeated(float dt) {
    const Airplane* airplane = GetAirplane();
    if (!airplane)
        return;
    const Physics::AirplaneState s = airplane->GetState();
    const float g = Base::SignedPow(Dot(s.acceleration, s.up), 0.5f);
    blackout = std::max(0.0f, blackout + std::max(0.0f, g) * dt * 0.0125f - dt * 0.08f);
    redout = std::max(0.0f, redout + std::max(0.0f, -g) * dt * 0.0125f - dt * 0.04f);
}

bool Pilot::RunFree(float dt) {
    const bool parachute = figureState == UnderParachute;
    const float c = parachute ? 0.0f : 0.005f;
    const float r = parachute ? 2.0f : 0.0f;

    double position[3];
    std::copy(localPosition, localPosition + 3, position);
    const RwV3d at = {float(position[0]), float(position[1]), float(position[2])};
    const RwV3d forward = frame->modelling.at;
    const RwV3d worldUp = {0, 1, 0};

    RwMatrix turn;
    RwMatrixSetIdentity(&turn);
    // The figure turns its front away from where it flies, and under the canopy towards the sky. An axis
    // that vanishes (flying exactly front first, or hanging exactly upright) leaves nothing to turn.
    const float speed = Length(velocity);
    const RwV3d across = Cross(velocity, forward);
    const float acrossLength = Length(across);
    if (c > 0 && speed > 0 && acrossLength > 1e-6f * speed * Length(forward)) {
        const RwV3d axis = {across.x / acrossLength, across.y / acrossLength, across.z / acrossLength};
        const RwV3d unit = {velocity.x / speed, velocity.y / speed, velocity.z / speed};
        const float degrees = std::min(1.0f, speed * c * dt) * ToDegrees * (1 + Dot(unit, forward));
        Base::RotateMatrixAboutPoint(&turn, axis, degrees, rwCOMBINEPOSTCONCAT, at);
    }
    const RwV3d tilt = Cross(forward, worldUp);
    const float tiltLength = Length(tilt);
    if (r > 0 && tiltLength > 1e-6f) {
        const RwV3d axis = {tilt.x / tiltLength, tilt.y / tiltLength, tilt.z / tiltLength};
        const float degrees = std::min(1.0f, r * dt) * ToDegrees * (1 - Dot(worldUp, forward));
        Base::RotateMatrixAboutPoint(&turn, axis, degrees, rwCOMBINEPOSTCONCAT, at);
    }

    position[0] += double(velocity.x) * dt;
    position[1] += double(velocity.y) * dt;
    position[2] += double(velocity.z) * dt;
    const RwV3d moved = {float(position[0]) - at.x, float(position[1]) - at.y, float(position[2]) - at.z};
    turn.pos = {turn.pos.x + moved.x, turn.pos.y + moved.y, turn.pos.z + moved.z};
    RwMatrixUpdate(&turn);
    Transform(&turn, rwCOMBINEPOSTCONCAT);
    std::copy(position, position + 3, localPosition);

    velocity.y -= 9.81f * dt;
    const float decay = std::pow(parachute ? 0.15f : 0.7f, dt);
    velocity = {velocity.x * decay, velocity.y * decay, velocity.z * decay};

    const float since = Obj::Object::world ? Obj::Object::world->time->time - ejectTime : 0.0f;
    if (figureState == Ejected && since > FreeFallAfter)
        SetFigure(FallingFree);
    else if (figureState == FallingFree && since > ParachuteAfter)
        SetFigure(UnderParachute);

    Grp::World* w = Obj::Object::world;
    if (w && w->terrain && w->terrain->IsLoaded()) {
        const Terrain::Segment down{{float(position[0]), float(position[1]) + 100, float(position[2])},
                                    {float(position[0]), float(position[1]), float(position[2])}};
        Base::Vector3 hit, normal;
        if (w->terrain->IntersectGroundOrSea(down, &hit, &normal)) {
            w->RemoveObject(this);
            delete this;
            return true;
        }
    }
    return false;
}

} // namespace Obj
