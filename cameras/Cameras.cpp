#include "cameras/Cameras.h"

#include "aircraft/Airplane.h"
#include "cockpit/Cockpit.h"
#include "objects/LensFlare.h"
#include "objects/Terrain.h"
#include "pilots/Pilot.h"
#include "scene/MatrixHelpers.h"
#include "scene/RoleGroups.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"

#include "base/FrameClock.h"
#include "base/Maths.h"
#include "base/Random.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "rwsdk/world/baworobj.h"

#include <dinput.h>

#include <algorithm>
#include <cmath>

namespace Cameras {

namespace {

constexpr RwV3d WorldUp{0, 1, 0};
constexpr float DegreesPerRadian = float(180.0 / Base::Pi);
constexpr float RadiansPerDegree = float(Base::Pi / 180.0);

RwV3d Add(const RwV3d& a, const RwV3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d Scale(const RwV3d& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float Length(const RwV3d& a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

void LeaveEngineWorld(RwCamera* camera) {
    if (!camera)
        return;
    if (RpWorld* current = RwCameraGetWorld(camera))
        RpWorldRemoveCamera(current, camera);
}

// The frame's world matrix, synchronised.
const RwMatrix* WorldMatrix(Rw::Frame* frame) {
    return frame && frame->frame ? RwFrameGetWorldMatrix(frame->frame) : nullptr;
}

} // namespace

void InstallHooks() {
    Obj::LensFlare::CameraBlocks = [](Basic* camera, const RwLine& segment) {
        return camera->IntersectSegment(&segment);
    };
    ::Cockpit::Cockpit::ShownAirplane = [](Basic* camera) -> Obj::Airplane* {
        auto* cockpit = dynamic_cast<Cockpit*>(camera);
        return cockpit && cockpit->showCockpit ? cockpit->target.Get() : nullptr;
    };
    Obj::Pilot::IsInsideViewOf = [](Basic* camera, const Obj::Airplane* airplane) {
        auto* cockpit = dynamic_cast<Cockpit*>(camera);
        return cockpit && airplane && cockpit->target.Get() == airplane && cockpit->showCockpit;
    };
}

// ---- Basic

Basic::~Basic() {
    LeaveEngineWorld(camera);
    if (Obj::Runnable::group)
        Grp::Simple<Obj::Runnable>::Remove(this);
}

void Basic::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    LeaveEngineWorld(camera);
    if (joined) {
        if (joined->world && camera)
            RpWorldAddCamera(joined->world, camera);
    } else {
        SetActive(false);
    }
}

void Basic::SetActive(bool active) {
    if (!active) {
        if (Obj::Runnable::group)
            Grp::Simple<Obj::Runnable>::Remove(this);
        return;
    }
    if (world && !Obj::Runnable::group)
        Obj::SetRunnableWorld(*this, world);
    Activate();
}

float Basic::FrameStep() {
    const double t = Base::FrameClock::FrameTime;
    if (!(t > 0))
        return 0;
    return float(std::min(t, 0.1));
}

bool Basic::Held(uint8_t key) const {
    return world && world->keyboard && world->keyboard->keys[key];
}

uint8_t Basic::Modifiers() const {
    return world && world->keyboard ? world->keyboard->modifiers : 0;
}

float Basic::HatAngle() const {
    return world && world->joystick ? world->joystick->pointOfView : -1.0f;
}

bool Basic::GroundHeight(float x, float z, float* height) const {
    if (!world || !world->terrain)
        return false;
    const RwLine segment{{x, 10000.0f, z}, {x, -10000.0f, z}};
    RwV3d hit;
    if (!world->terrain->IntersectSegment(&segment, &hit, nullptr))
        return false;
    *height = hit.y;
    return true;
}

void Basic::ZoomKeys(float dt, float base, float lo, float hi) {
    if (Held(DIK_ADD))
        zoom /= std::pow(base, dt);
    if (Held(DIK_SUBTRACT))
        zoom *= std::pow(base, dt);
    if (Held(DIK_MULTIPLY))
        zoom = 1.0f;
    zoom = std::clamp(zoom, lo, hi);
}

void Basic::Place(const RwMatrix& view, const double position[3]) {
    RwMatrix m = view;
    RwMatrixUpdate(&m);
    Transform(&m, rwCOMBINEREPLACE);
    localPosition[0] = position[0];
    localPosition[1] = position[1];
    localPosition[2] = position[2];
}

void Basic::SetFieldOfViewDegrees(float degrees) {
    SetFieldOfView(degrees * RadiansPerDegree);
}

void Basic::ApplyHat(RwMatrix& view) const {
    const float hat = HatAngle();
    if (hat > 0)
        Base::RotateMatrixAboutPoint(&view, view.up, -hat, rwCOMBINEPOSTCONCAT, view.pos);
}

// ---- Cockpit

Cockpit::Cockpit(uint8_t show) : showCockpit(show) {}

float Cockpit::HeadResponse(float x) {
    const float sign = x > 0 ? 1.0f : (x < 0 ? -1.0f : 0.0f);
    return -0.1f * sign * (1.0f - std::exp(-0.02f * std::fabs(x)));
}

RwV3d Cockpit::GetVelocity() const {
    Obj::Airplane* airplane = target.Get();
    return airplane && airplane->flightModel ? airplane->GetState().velocity : RwV3d{0, 0, 0};
}

bool Cockpit::IntersectSegment(const RwLine* segment) {
    Obj::Airplane* airplane = target.Get();
    return airplane && airplane->cockpit && airplane->cockpit->IntersectSegment(segment);
}

void Cockpit::Activate() {
    pitchRate = yawRate = pitchAngle = yawAngle = 0;
    zoom = 1.0f;
    if (Obj::Airplane* airplane = target.Get(); airplane && airplane->flightModel)
        history.Fill(airplane->GetState().acceleration);
}

void Cockpit::Run() {
    const float dt = FrameStep();
    Obj::Airplane* airplane = target.Get();
    if (dt == 0 || !airplane)
        return;
    const RwMatrix* world = WorldMatrix(airplane);
    if (!world)
        return;
    const RwMatrix M = *world;

    float s = 1.0f;
    if (Held(DIK_LSHIFT))
        s = 10.0f;
    if (Held(DIK_LCONTROL))
        s = 0.1f;
    if (Held(DIK_NUMPAD4))
        yawRate += s * zoom * dt * 60.0f;
    if (Held(DIK_NUMPAD6))
        yawRate -= s * zoom * dt * 60.0f;
    if (Held(DIK_NUMPAD8))
        pitchRate -= s * zoom * dt * 45.0f;
    if (Held(DIK_NUMPAD2))
        pitchRate += s * zoom * dt * 45.0f;
    if (Held(DIK_NUMPAD5)) {
        pitchAngle = yawAngle = pitchRate = yawRate = 0;
        zoom = 1.0f;
    }
    const float damping = std::pow(0.1f, 10.0f * dt);
    pitchRate *= damping;
    yawRate *= damping;
    pitchAngle = std::clamp(pitchAngle + dt * pitchRate, -45.0f * RadiansPerDegree, 45.0f * RadiansPerDegree);
    yawAngle = std::clamp(yawAngle + dt * yawRate, -135.0f * RadiansPerDegree, 135.0f * RadiansPerDegree);
    ZoomKeys(dt, 2.5f, 0.1f, 1.0f);

    const RwV3d eye = airplane->cockpit ? airplane->cockpit->GetEyeOffset() : RwV3d{0, 0, 0};
    const RwV3d E = Add(Add(Scale(M.right, eye.x), Scale(M.up, eye.y)), Scale(M.at, eye.z));
    const RwV3d acceleration = airplane->flightModel ? airplane->GetState().acceleration : RwV3d{0, 0, 0};
    const RwV3d a = history.AddAndFilter(acceleration, 20, 15, 10);
    const RwV3d h = Scale(RwV3d{HeadResponse(a.x), HeadResponse(a.y), HeadResponse(a.z)}, 0.6f);
    const float p = HeadResponse(Base::DotProduct(a, M.up));
    const float y = HeadResponse(Base::DotProduct(a, M.right));

    RwMatrix V = M;
    V.pos = Add(M.pos, Add(E, h));
    Base::RotateMatrixAboutPoint(&V, M.right, (pitchAngle + p) * DegreesPerRadian + 5.0f, rwCOMBINEPOSTCONCAT,
                                 V.pos);
    Base::RotateMatrixAboutPoint(&V, M.up, (yawAngle + y) * DegreesPerRadian, rwCOMBINEPOSTCONCAT, V.pos);
    ApplyHat(V);

    double position[3];
    airplane->GetWorldPositionDouble(position);
    position[0] += double(E.x) + double(h.x);
    position[1] += double(E.y) + double(h.y);
    position[2] += double(E.z) + double(h.z);
    Place(V, position);
    SetFieldOfViewDegrees(80.0f * zoom);
}

// ---- Outside

RwV3d Outside::GetVelocity() const {
    auto* airplane = dynamic_cast<Obj::Airplane*>(target.Get());
    return airplane && airplane->flightModel ? airplane->GetState().velocity : RwV3d{0, 0, 0};
}

void Outside::ResetView() {
    if (Obj::Frame* frame = target.Get()) {
        float d = 1000.0f + 5.0f;
        if (auto* renderable = dynamic_cast<Obj::Renderable*>(frame))
            if (const RwSphere* sphere = renderable->GetBoundingSphere())
                d = sphere->radius + 5.0f;
        offset = {0, 0.3f * d, -d};
        if (const RwMatrix* m = WorldMatrix(frame))
            heading = m->at;
    }
    pitchRate = yawRate = distanceRate = 0;
    zoom = 1.0f;
}

void Outside::Activate() {
    ResetView();
    zoom = 1.0f;
}

void Outside::Run() {
    const float dt = FrameStep();
    Obj::Frame* frame = target.Get();
    if (dt == 0 || !frame)
        return;
    const RwMatrix* targetMatrix = WorldMatrix(frame);
    if (!targetMatrix)
        return;
    const RwV3d T = targetMatrix->pos;

    float s = 1.0f;
    if (Held(DIK_LSHIFT))
        s = 10.0f;
    if (Held(DIK_LCONTROL))
        s = 0.1f;
    const float k = 30.0f * s;
    if (Held(DIK_NUMPAD5))
        ResetView();
    if (Held(DIK_NUMPAD8))
        pitchRate += k * dt * 0.75f;
    if (Held(DIK_NUMPAD2))
        pitchRate -= k * dt * 0.75f;
    if (Held(DIK_NUMPAD4))
        yawRate += k * dt;
    if (Held(DIK_NUMPAD6))
        yawRate -= k * dt;
    const uint8_t modifiers = Modifiers();
    if (modifiers == 0) {
        if (Held(DIK_ADD))
            distanceRate -= 20.0f * s * dt;
        if (Held(DIK_SUBTRACT))
            distanceRate += 20.0f * s * dt;
    }
    const float damping = std::pow(0.35f, 10.0f * dt);
    pitchRate *= damping;
    yawRate *= damping;
    distanceRate *= damping;
    if (modifiers == Input::Keyboard::Shift)
        ZoomKeys(dt, 2.5f, 0.1f, 1.0f);

    RwV3d axis = Base::Normalize3d(Base::CrossProduct(offset, WorldUp));
    offset = Base::RotateVectorAroundAxis(offset, axis, dt * pitchRate);
    offset = Base::RotateVectorAroundAxis(offset, WorldUp, dt * yawRate);
    offset = Scale(offset, 1.0f + dt * distanceRate);

    // Never nearer than 10 degrees to straight above or below: the offset's angle from up is clamped,
    // keeping its side.
    const float length = Length(offset);
    const RwV3d side = Base::Normalize3d(Base::CrossProduct(WorldUp, offset));
    const float elevation = Obj::SignedAngleOnPlane(side, WorldUp, offset);
    const float lo = MinElevationDegrees * RadiansPerDegree,
                hi = (180.0f - MinElevationDegrees) * RadiansPerDegree;
    if (elevation < lo)
        offset = Scale(Base::RotateVectorAroundAxis(WorldUp, side, lo), length);
    else if (elevation > hi)
        offset = Scale(Base::RotateVectorAroundAxis(WorldUp, side, hi), length);

    const RwV3d h = Base::Normalize3d(RwV3d{targetMatrix->at.x, 0, targetMatrix->at.z});
    heading = Base::Normalize3d(Base::LerpVector3(heading, h, 0.5f * dt));

    const RwV3d across = Base::CrossProduct(heading, WorldUp);
    RwV3d W = Add(Add(Scale(across, offset.x), Scale(WorldUp, offset.y)), Scale(heading, offset.z));

    if (auto* dynamic = dynamic_cast<Obj::Dynamic*>(frame)) {
        const RwSphere* sphere = dynamic->GetBoundingSphere();
        const float r = sphere ? sphere->radius : 0.0f;
        const RwLine segment{Add(T, Scale(Base::Normalize3d(W), 2.0f * r)), T};
        RwV3d Q;
        if (dynamic->IntersectSegment(&segment, &Q, nullptr)) {
            const float L = Length(Sub(Q, T)) + 0.125f * r + 8.0f;
            if (Length(W) < L) {
                W = Scale(Base::Normalize3d(W), L);
                offset = Scale(Base::Normalize3d(offset), L);
            }
        }
    }
    if (Length(W) > MaxDistance) {
        W = Scale(Base::Normalize3d(W), MaxDistance);
        offset = Scale(Base::Normalize3d(offset), MaxDistance);
    }
    const RwV3d Pc = Add(T, W);
    if (float g; GroundHeight(Pc.x, Pc.z, &g) && Pc.y < g + 3.0f)
        W.y = g + 3.0f - T.y;

    double position[3];
    frame->GetWorldPositionDouble(position);
    position[0] += W.x;
    position[1] += W.y;
    position[2] += W.z;
    RwMatrix view;
    RwMatrixSetIdentity(&view);
    view.pos = Add(T, W);
    Base::SetMatrixLookDirection(&view, Base::Normalize3d(Scale(W, -1.0f)), WorldUp);
    ApplyHat(view);
    Place(view, position);
    SetFieldOfViewDegrees(75.0f * zoom);
}

// ---- Free

void Free::Activate() {
    velocity = {0, 0, 0};
    pitchRate = yawRate = 0;
    zoom = 1.0f;
}

void Free::Run() {
    const float dt = FrameStep();
    if (dt == 0 || !frame)
        return;
    const RwMatrix current = *RwFrameGetMatrix(frame);

    float s = 1.0f;
    const bool shift = Held(DIK_LSHIFT) || Held(DIK_RSHIFT);
    const bool control = Held(DIK_LCONTROL) || Held(DIK_RCONTROL);
    if (shift)
        s = 20.0f;
    else if (control)
        s = 0.05f;
    if (Held(DIK_LMENU) || Held(DIK_RMENU))
        s *= s;

    const float turn = std::min(zoom, 1.0f) * dt * 30.0f;
    if (Held(DIK_UP))
        pitchRate += turn;
    if (Held(DIK_DOWN))
        pitchRate -= turn;
    if (Held(DIK_LEFT))
        yawRate += turn;
    if (Held(DIK_RIGHT))
        yawRate -= turn;

    const float push = dt * s * 2000.0f;
    const struct {
        uint8_t key;
        RwV3d axis;
    } moves[] = {{DIK_A, current.at},         {DIK_Z, Scale(current.at, -1)},
                 {DIK_DELETE, current.right}, {DIK_END, Scale(current.right, -1)},
                 {DIK_PRIOR, current.up},     {DIK_NEXT, Scale(current.up, -1)}};
    for (const auto& move : moves)
        if (Held(move.key))
            velocity = Add(velocity, Scale(move.axis, push));

    const float damping = std::pow(0.35f, 10.0f * dt);
    velocity = Scale(velocity, damping);
    pitchRate *= damping;
    yawRate *= damping;
    if (Modifiers() == Input::Keyboard::Shift)
        ZoomKeys(dt, 4.0f, 0.01f, 1.8f);

    double position[3] = {localPosition[0] + double(velocity.x) * dt,
                          localPosition[1] + double(velocity.y) * dt,
                          localPosition[2] + double(velocity.z) * dt};
    RwMatrix view = current;
    view.pos = {0, 0, 0};
    RwMatrixRotate(&view, &current.right, pitchRate * dt * DegreesPerRadian, rwCOMBINEPOSTCONCAT);
    RwMatrixRotate(&view, &WorldUp, yawRate * dt * DegreesPerRadian, rwCOMBINEPOSTCONCAT);
    view.pos = {float(position[0]), float(position[1]), float(position[2])};
    Place(view, position);
    SetFieldOfViewDegrees(90.0f * zoom);
}

// ---- FlyBy

float FlyBy::FieldOfViewDegrees(float distance) {
    return 75.0f - 72.0f * (1.0f - std::exp(-0.01f * std::pow(distance, 0.85f)));
}

void FlyBy::Activate() {
    lastPlacement = Base::FrameClock::GameTime;
    zoom = 1.0f;
    Obj::Frame* frame = target.Get();
    const RwMatrix* targetMatrix = WorldMatrix(frame);
    if (!targetMatrix)
        return;
    const auto unit = [] { return float(double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0)); };
    const float z = unit() * 100.0f - 50.0f;
    const float up = (unit() + 1.0f) * 25.0f;
    const float x = unit() * 100.0f - 50.0f;
    double position[3];
    frame->GetWorldPositionDouble(position);
    position[0] += x;
    position[1] += up;
    position[2] += z;
    RwMatrix view;
    RwMatrixSetIdentity(&view);
    view.pos = {float(position[0]), float(position[1]), float(position[2])};
    Place(view, position);
}

void FlyBy::Run() {
    const float dt = FrameStep();
    Obj::Frame* frame = target.Get();
    if (dt == 0 || !frame)
        return;
    const RwMatrix* targetMatrix = WorldMatrix(frame);
    if (!targetMatrix)
        return;
    if (Modifiers() == Input::Keyboard::Shift)
        ZoomKeys(dt, 4.0f, 0.2f, 5.0f);

    const RwV3d T = targetMatrix->pos;
    const RwV3d v = Scale(Sub(T, previousPosition), 1.0f / dt);
    previousPosition = T;
    RwMatrix view = *RwFrameGetMatrix(this->frame);
    const float d = Length(Sub(T, view.pos));

    const double now = Base::FrameClock::GameTime;
    const float speed = Length(v);
    if (now > lastPlacement + 5.0 && d > 9.6f * speed + 20.0f) {
        lastPlacement = now;
        const auto offset = [speed](float lo, float hi) {
            const float r1 = Base::Random::FloatInRange(lo, hi);
            const float r2 = Base::Random::FloatInRange(lo, hi);
            return 0.8f * speed * r1 + 40.0f * r2;
        };
        const float z = offset(-1.0f, 1.0f);
        const float up = offset(0.5f, 1.0f);
        const float x = offset(-1.0f, 1.0f);
        RwV3d placed = Add(Add(T, Scale(v, 8.0f)), RwV3d{x, up, z});
        if (float g; GroundHeight(placed.x, placed.z, &g) && placed.y < g + 5.0f)
            placed.y = g + 5.0f;
        RwMatrixSetIdentity(&view);
        view.pos = placed;
    }
    Base::SetMatrixLookAt(T, &view, WorldUp);
    const double position[3] = {view.pos.x, view.pos.y, view.pos.z};
    Place(view, position);
    SetFieldOfViewDegrees(FieldOfViewDegrees(d) * zoom);
}

// ---- Crash

void Crash::Activate() {
    RwMatrix view = *RwFrameGetMatrix(frame);
    view.pos = Add(point, RwV3d{200.0f, 70.0f, 0.0f});
    const double position[3] = {view.pos.x, view.pos.y, view.pos.z};
    Place(view, position);
}

void Crash::Run() {
    const float dt = FrameStep();
    if (dt == 0 || !frame)
        return;
    RwMatrix view = *RwFrameGetMatrix(frame);
    const RwV3d before = view.pos;
    Base::RotateMatrixAboutPoint(&view, WorldUp, dt * 0.1f * DegreesPerRadian, rwCOMBINEPOSTCONCAT, point);
    if (float g; GroundHeight(before.x, before.z, &g) && view.pos.y < g + 50.0f)
        view.pos.y = g + 50.0f;
    Base::SetMatrixLookDirection(&view, Base::Normalize3d(Sub(point, view.pos)), WorldUp);
    const double position[3] = {view.pos.x, view.pos.y, view.pos.z};
    Place(view, position);
    SetFieldOfViewDegrees(75.0f);
}

} // namespace Cameras
