#include "objects/Ship.h"

#include "objects/WaterTrail.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"

#include "base/Info.h"

#include "rwsdk/src/frame.h"

#include <algorithm>
#include <cmath>

namespace Obj {

// ---- Ship

float Ship::WakeInterval(float turnRate) {
    const float interval = 0.1f / (turnRate + 0.001f);
    return std::clamp(interval, 0.0f, 10.0f);
}

bool Ship::Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction, float initialSpeed,
                 float maxSpeed_, float turnRate_, float acceleration_) {
    if (!Vehicle::Setup(info, position, direction, initialSpeed, maxSpeed_, turnRate_, acceleration_))
        return false;
    // Across the hull just above the waterline, from outside on the right.
    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    const RwV3d& p = m->pos;
    const RwV3d& r = m->right;
    const RwV3d& u = m->up;
    const RwLine across = {
        {p.x - r.x * 100 + u.x * 0.1f, p.y - r.y * 100 + u.y * 0.1f, p.z - r.z * 100 + u.z * 0.1f},
        {p.x + r.x * 100 + u.x * 0.1f, p.y + r.y * 100 + u.y * 0.1f, p.z + r.z * 100 + u.z * 0.1f}};
    RwV3d hit;
    if (Clump::IntersectSegment(&across, &hit, nullptr)) {
        const float dx = hit.x - p.x, dy = hit.y - p.y, dz = hit.z - p.z;
        beam = 2 * std::sqrt(dx * dx + dy * dy + dz * dz);
    } else {
        beam = 1.0f;
    }
    wakeInterval = WakeInterval(turnRate_);
    return true;
}

void Ship::SetWorld(Grp::World* joined) {
    if (joined) {
        auto* trail = new WaterTrail();
        trail->AttachTo(this, frame, false);
        const RwMatrix* m = RwFrameGetWorldMatrix(frame);
        // A wake that cannot be laid (no positive point interval) is not made.
        if (trail->Setup(beam, 20 * beam, 2.0f, wakeInterval, {m->at.x * speed, m->at.z * speed})) {
            wake = trail;
            joined->AddObject(trail);
        } else {
            delete trail;
        }
    } else if (WaterTrail* trail = wake) {
        trail->Frame::Detach(true);
        trail->Detach();
        wake = nullptr;
    }
    Vehicle::SetWorld(joined);
}

void Ship::Run() {
    Vehicle::Run();
    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    RwMatrix held;
    RwMatrixSetIdentity(&held);
    Base::SetMatrixAxes(&held, m->up, m->at, {m->pos.x, 0, m->pos.z});
    const double x = localPosition[0], z = localPosition[2];
    Transform(&held, rwCOMBINEREPLACE);
    localPosition[0] = x;
    localPosition[1] = 0;
    localPosition[2] = z;
}

// ---- WarShip

bool WarShip::Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction,
                    float initialSpeed, float maxSpeed_, float turnRate_, float acceleration_,
                    bool withAutoGun, bool withAutoLauncher) {
    if (!Ship::Setup(info, position, direction, initialSpeed, maxSpeed_, turnRate_, acceleration_))
        return false;
    return VehicleWeapons::Mount(this, withAutoGun, withAutoLauncher, 30.0f, 60.0f, autoGun, autoLauncher);
}

void WarShip::SetWorld(Grp::World* joined) {
    Ship::SetWorld(joined);
    VehicleWeapons::SetWorld(joined, autoGun, autoLauncher);
}

// ---- Carrier

Carrier::~Carrier() {
    catapults.clear();
}

bool Carrier::Load(const Base::Info* info) {
    if (!Model::Load(info))
        return false;
    const Base::Info* list = info->GetChild("Catapults");
    if (!list)
        return true;
    for (const auto& [name, node] : list->GetChildren()) {
        Base::Vector2 at;
        float heading = 0, length = 0;
        if (!node->TryGetPoint("Position", at) || !node->TryGetFloat("Hdg", heading) ||
            !node->TryGetFloat("Length", length))
            return false;
        // The deck under the point, on the carrier's own model.
        const RwLine down = {{at.x, 1000, at.y}, {at.x, -1000, at.y}};
        RwV3d deck;
        if (!Clump::IntersectSegment(&down, &deck, nullptr))
            deck = {at.x, 0, at.y};
        Catapult record;
        record.position = deck;
        record.heading = heading;
        record.length = length;
        catapults.try_emplace(name, std::move(record));
    }
    return true;
}

Carrier::Catapult* Carrier::FindCatapult(CatapultAirplane* airplane) {
    if (!airplane)
        return nullptr;
    for (auto& [name, catapult] : catapults)
        if (catapult.airplane.Get() == airplane)
            return &catapult;
    return nullptr;
}

bool Carrier::PlaceOnCatapult(CatapultAirplane* airplane, const Base::String& name) {
    Frame* plane = airplane ? airplane->GetCatapultFrame() : nullptr;
    if (!plane || plane->GetParent() || plane->attachedToFrame)
        return false;
    const auto found = catapults.find(name);
    if (found == catapults.end() || found->second.airplane)
        return false;
    Catapult& catapult = found->second;

    plane->AttachTo(this, frame, false);
    catapult.airplane = airplane;
    catapult.launchSpeed = 0;

    const CatapultAirplane::WheelGeometry wheels = airplane->GetWheelGeometry();
    const float below = wheels.a - wheels.b + 0.2f;
    CatapultAirplane::State state;
    state.position = {catapult.position.x, catapult.position.y - below, catapult.position.z};
    state.velocity = {0, 0, 0};
    state.onCatapult = true;
    airplane->SetCatapultState(state, true);
    return true;
}

bool Carrier::StartCatapultLaunch(CatapultAirplane* airplane) {
    Catapult* catapult = FindCatapult(airplane);
    if (!catapult || catapult->launchSpeed != 0)
        return false;
    catapult->launchSpeed = 0.001f;
    return true;
}

bool Carrier::ReleaseFromCatapult(CatapultAirplane* airplane) {
    Catapult* catapult = FindCatapult(airplane);
    if (!catapult)
        return false;
    if (Frame* plane = airplane->GetCatapultFrame(); plane && plane->attachedToFrame)
        plane->Detach(true);
    catapult->airplane = nullptr;
    catapult->launchSpeed = 0;
    CatapultAirplane::State state = airplane->GetCatapultState();
    state.onCatapult = false;
    airplane->SetCatapultState(state, false);
    return true;
}

void Carrier::Run() {
    Ship::Run();
    if (!Obj::Object::world)
        return;
    const float dt = Obj::Object::world->time->step;
    const RwV3d forward = RwFrameGetWorldMatrix(frame)->at;
    for (auto& [name, catapult] : catapults) {
        CatapultAirplane* airplane = catapult.airplane;
        if (!airplane)
            continue;
        const CatapultAirplane::WheelGeometry wheels = airplane->GetWheelGeometry();
        CatapultAirplane::State state = airplane->GetCatapultState();
        state.up = {0, 1, 0};
        state.at = {0, 0, 1};
        const float v = speed + catapult.launchSpeed;
        state.velocity = {forward.x * v, forward.y * v, forward.z * v};
        const float a = catapult.launchSpeed > 0 ? 20.0f : 0.0f;
        state.acceleration = {forward.x * a, forward.y * a, forward.z * a};
        const float radii[3] = {wheels.firstWheelRadius, wheels.b, wheels.b};
        for (int k = 0; k < 3; ++k)
            if (radii[k] != 0)
                state.wheelTurn[k] += dt * catapult.launchSpeed / radii[k];
        airplane->SetCatapultState(state, false);

        if (catapult.launchSpeed != 0) {
            catapult.launchSpeed += 20.0f * dt;
            Frame* plane = airplane->GetCatapultFrame();
            RwMatrix step;
            RwMatrixSetIdentity(&step);
            step.pos = {0, 0, catapult.launchSpeed * dt};
            RwMatrixUpdate(&step);
            plane->Transform(&step, rwCOMBINEPOSTCONCAT);
            const RwV3d& local = RwFrameGetMatrix(plane->frame)->pos;
            const float dx = local.x - catapult.position.x, dy = local.y - catapult.position.y,
                        dz = local.z - catapult.position.z;
            if (std::sqrt(dx * dx + dy * dy + dz * dz) >= catapult.length)
                ReleaseFromCatapult(airplane);
        }
    }
}

} // namespace Obj
