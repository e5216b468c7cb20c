#include "aircraft/Airplane.h"

#include "objects/Exhaust.h"
#include "objects/Shadow.h"
#include "objects/Ship.h"
#include "objects/Structure.h"
#include "objects/Terrain.h"
#include "physics/AirplanePhysicsComplex.h"
#include "physics/AirplanePhysicsNull.h"
#include "physics/AirplanePhysicsSimple.h"
#include "scene/AtomicData.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"

#include "audio/CreateSound.h"
#include "audio/Sound3d.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Maths.h"

#include "rwsdk/src/frame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Obj {

namespace {

constexpr float ToDegrees = 57.295776f;

// A part frame's own matrix replaced.
void SetModelling(RwFrame* frame, const RwMatrix& m) {
    RwMatrixTransform(&frame->modelling, &m, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(frame);
}

constexpr float NotGiven = 1.0e8f; // an offset's x above this was not in the description

RwV3d Scale(const RwV3d& v, float k) {
    return {v.x * k, v.y * k, v.z * k};
}
RwV3d Add(const RwV3d& a, const RwV3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
RwV3d Normalized(const RwV3d& v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return length > 0 ? Scale(v, 1 / length) : RwV3d{0, 0, 0};
}

// The vector as the matrix's axes turn it.
RwV3d Rotate(const RwMatrix& m, const RwV3d& v) {
    return Add(Add(Scale(m.right, v.x), Scale(m.up, v.y)), Scale(m.at, v.z));
}

RwV3d Offset(const Base::Info& info, const char* key) {
    Base::Vector3 v{1.0e9f, 0, 0};
    info.TryGetVector3(key, v);
    if (!(v.x <= NotGiven) || !std::isfinite(v.y) || !std::isfinite(v.z))
        return {0, 0, 0};
    return {v.x, v.y, v.z};
}

void Report(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "%s: %s; the airplane is not made.\n", file.c_str(), why.c_str());
}

} // namespace

// ---- construction and loading

Airplane::Airplane() {
    for (ControlSurface& surface : surfaces)
        RwMatrixSetIdentity(&surface.rest);
}

Airplane::~Airplane() {
    // Out of its world first, with everything it put there.
    if (Obj::Object::world)
        Obj::Object::world->RemoveObject(this);
    ReleaseWorldParts();
    if (Shadow* s = shadow.Get()) {
        shadow = nullptr;
        delete s;
    }
    flightModel.reset();
}

bool Airplane::Load(const char* path, int kind) {
    const std::string base = path ? path : "";
    const size_t slash = base.find_last_of("\\/");
    title = slash == std::string::npos ? base : base.substr(slash + 1);
    modelFile = base + ".dff";
    const std::string file = base + ".info";
    const Base::Info& info = Base::InfoCache::Get(file);

    if (!Model::Load(&info)) {
        Report(file, "its model does not load");
        return false;
    }
    if (!LoadDamages(&info)) {
        Report(file, "its damage keys cannot be read");
        return false;
    }
    wheels[0].Lookup(this, "WheelC", "SuspC");
    wheels[1].Lookup(this, "WheelL", "SuspL");
    wheels[2].Lookup(this, "WheelR", "SuspR");
    for (int i = 0; i < SurfaceCount; ++i)
        if (RwFrame* part = FindPart(clump, SurfaceNames[i])) {
            surfaces[i].frame = part;
            surfaces[i].rest = part->modelling;
            surfaces[i].found = true;
        }

    Physics::PhysicsParams params;
    Physics::ReadPhysicsParams(info, params);
    params.complex.tailIncidence = 0;
    auto wheelPosition = [](const WheelRecord& w) {
        return w.found ? RwFrameGetWorldMatrix(w.wheel)->pos : RwV3d{0, 1, 0};
    };
    params.complex.centerWheelPosition = wheelPosition(wheels[0]);
    params.complex.sideWheelPosition = wheelPosition(wheels[1]);
    // Keys that would fly into infinities or NaNs fail the load rather than the flight.
    const std::string fault = kind == NullModel     ? std::string()
                              : kind == SimpleModel ? Physics::SimpleParamsFault(params)
                                                    : Physics::ComplexParamsFault(params);
    if (!fault.empty()) {
        Report(file, fault);
        return false;
    }

    Physics::AirplaneState state;
    Physics::AirplaneState::Init(state);
    const RwMatrix& m = *RwFrameGetWorldMatrix(frame);
    state.position = m.pos;
    state.up = m.up;
    state.at = m.at;
    state.right = m.right;
    state.precisePosition[0] = m.pos.x;
    state.precisePosition[1] = m.pos.y;
    state.precisePosition[2] = m.pos.z;
    if (kind == NullModel)
        flightModel = std::make_unique<Physics::AirplanePhysicsNull>(params, state, seed);
    else if (kind == SimpleModel)
        flightModel = std::make_unique<Physics::AirplanePhysicsSimple>(params, state, seed);
    else
        flightModel = std::make_unique<Physics::AirplanePhysicsComplex>(params, state, seed);

    pilotSeat = Offset(info, "Offsets.PilotSeat");
    condensationOffset = Offset(info, "Offsets.CondensationTrail");
    condensation = new SmokeTrailGroup;
    condensation->Setup(SmokeTrailGroup::CondensationTrails);
    condensation->AttachTo(this);
    condensationTrails[0] = condensation->AddTrail();
    condensationTrails[1] = condensation->AddTrail();
    damageOffset = Offset(info, "Offsets.DamageTrail");
    damageSmoke = new SmokeTrailGroup;
    damageSmoke->Setup(SmokeTrailGroup::DamageSmoke);
    damageSmoke->AttachTo(this);
    damageTrail = damageSmoke->AddTrail();

    exhaust = new Exhaust;
    exhaust->SetupAirplane(info);
    exhaust->AttachTo(this, frame, false);

    if (kind != NullModel && kind != SimpleModel)
        shadow = new Shadow(this, Shadow::DefaultReach);

    // A display copy of another peer's airplane never fires: that peer's gun does.
    uint32_t ammo = 0;
    if (!remoteCopy && info.TryGetUInt("GunAmmo", ammo)) {
        Base::Vector3 at{3.4028235e38f, 0, 0};
        info.TryGetVector3("Offsets.Gun", at);
        if (at.x != 3.4028235e38f && std::isfinite(at.x) && std::isfinite(at.y) && std::isfinite(at.z)) {
            hasGun = true;
            gunSetup.rounds = ammo / 2;
            gunSetup.offset = {at.x, at.y, at.z};
            if (CreateGun)
                if (Frame* made = CreateGun(this, gunSetup)) {
                    made->AttachTo(this, frame, false);
                    RwMatrix local;
                    RwMatrixSetIdentity(&local);
                    local.pos = gunSetup.offset;
                    RwMatrixUpdate(&local);
                    made->Transform(&local, rwCOMBINEREPLACE);
                    gun = made;
                }
        }
    }
    // The 3D cockpit, "<title>_Cockpit" beside the airplane's model.
    if (CreateCockpit)
        cockpit.reset(CreateCockpit(this, "Airplanes\\" + title + "_Cockpit.dff"));
    if (CreateStores)
        stores.reset(CreateStores(this));
    return true;
}

Physics::AirplaneState Airplane::GetState() const {
    if (flightModel)
        return flightModel->state;
    Physics::AirplaneState s;
    return Physics::AirplaneState::Init(s);
}

void Airplane::SetState(const Physics::AirplaneState& s) {
    if (flightModel)
        flightModel->SetState(s);
}

// ---- in the world

void Airplane::ReleaseWorldParts() {
    engine.reset();
    delete wheelsSound;
    wheelsSound = nullptr;
    gears.Unload();
    weaponDoor.Unload();
}

void Airplane::SetWorld(Grp::World* joined) {
    Grp::World* leaving = Obj::Object::world;
    Model::SetWorld(joined);
    if (stores)
        stores->SetWorld(joined);
    if (!joined) {
        if (Runnable::group)
            Grp::Simple<Runnable>::Remove(this);
        if (Simulateable::group)
            Grp::Simple<Simulateable>::Remove(this);
        if (Dynamic::group)
            Grp::Spatial<Dynamic>::Remove(this);
        if (Target::group)
            Grp::Simple<Target>::Remove(this);
        if (leaving && shadow && shadow->world == leaving)
            leaving->RemoveObject(shadow);
        // The cockpit is the airplane's own, in the world's groups but not in its object list.
        if (auto* inside = dynamic_cast<Obj::Object*>(cockpit.get()); inside && inside->world) {
            inside->SetWorld(nullptr);
            inside->world = nullptr;
        }
        ReleaseWorldParts();
        return;
    }
    joined->runnables->Insert(this);
    Simulateable::stepInterval = 0.01f;
    joined->simulateables->Insert(this);
    Dynamic::group = joined->dynamics.get();
    Dynamic::group->UpdateDamageable(this);
    Dynamic::OnGroupChanged(Dynamic::group);
    joined->targets->Insert(this);

    gears.Load(this, "Gears");
    weaponDoor.Load(this, "WeaponDoor");
    using Part = Obj::Object;
    for (Part* part : {static_cast<Part*>(condensation.Get()), static_cast<Part*>(damageSmoke.Get()),
                       static_cast<Part*>(shadow.Get()), static_cast<Part*>(exhaust.Get()),
                       dynamic_cast<Part*>(gun.Get())})
        if (part && !part->world)
            joined->AddObject(part);
    if (auto* inside = dynamic_cast<Obj::Object*>(cockpit.get()); inside && !inside->world) {
        inside->world = joined;
        inside->SetWorld(joined);
    }
    if (joined->soundGroup)
        wheelsSound = Audio::CreateSound3d("Wheels.wav", joined->soundGroup);
    engine = std::make_unique<Engine>(this, "Airplanes\\" + title + "_Engine.wav",
                                      "Airplanes\\" + title + "_EngineAb.wav");
}

void Airplane::Simulate(float, float step) {
    if (!flightModel)
        return;
    flightModel->Step(step);
    if (engine)
        engine->Step(step);
}

void Airplane::Render(unsigned order, Cameras::Basic* camera) {
    if (IsCockpitCameraOf && IsCockpitCameraOf(camera, this))
        return;
    Model::Render(order, camera);
}

Rw::Frame* Airplane::Transform(const RwMatrix* matrix, int combine) {
    Rw::Frame* result = Model::Transform(matrix, combine);
    if (Dynamic::group)
        Dynamic::group->UpdateDamageable(this);
    if (matrix && frameToState && flightModel) {
        Physics::AirplaneState s = flightModel->state;
        // The frame's own matrix: the world's, or the carrier's coordinates while it hangs on a catapult.
        const RwMatrix& m = frame->modelling;
        s.position = Add(m.pos, Rotate(m, s.massCentreOffset));
        s.up = m.up;
        s.at = m.at;
        s.right = m.right;
        s.precisePosition[0] = s.position.x;
        s.precisePosition[1] = s.position.y;
        s.precisePosition[2] = s.position.z;
        flightModel->SetState(s);
    }
    return result;
}

void Airplane::PlaceFrameFromState(const Physics::AirplaneState& s) {
    frameToState = false;
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d right = Base::CrossProduct(s.up, s.at);
    const RwV3d o = s.massCentreOffset;
    const RwV3d p = {s.position.x - (right.x * o.x + s.up.x * o.y + s.at.x * o.z),
                     s.position.y - (right.y * o.x + s.up.y * o.y + s.at.y * o.z),
                     s.position.z - (right.z * o.x + s.up.z * o.y + s.at.z * o.z)};
    Base::SetMatrixAxes(&m, s.up, s.at, p);
    Transform(&m, rwCOMBINEREPLACE);
    frameToState = true;
    if (o.x == 0 && o.y == 0 && o.z == 0)
        std::copy(s.precisePosition, s.precisePosition + 3, localPosition);
}

void Airplane::ProbeGround(Physics::AirplaneState& s) {
    Grp::World* w = Obj::Object::world;
    const float x = s.position.x, y = s.position.y, z = s.position.z;
    float terrainHeight = 0;
    const Terrain* terrain = w->terrain;
    if (terrain && terrain->IsLoaded()) {
        Base::Vector3 hit, normal;
        if (terrain->IntersectGroundOrSea(Terrain::Segment{{x, 10000, z}, {x, -10000, z}}, &hit, &normal))
            terrainHeight = hit.y;
    }
    s.groundHeight = terrainHeight;

    // A probe under the nose, from 20 m above the airplane to 100 m below it: it finds a runway, a deck or a
    // roof before the terrain under them, and reaches the ground that the contact springs feel.
    const RwV3d ahead = Normalized(RwV3d{s.at.x, 0, s.at.z});
    const RwLine probe = {{x + 4 * ahead.x, y + 20, z + 4 * ahead.z},
                          {x + 4 * ahead.x, y - 100, z + 4 * ahead.z}};
    RwV3d point, normal;
    Obj::Static* object = nullptr;
    bool found = false;
    float roughness = 0;
    if (w->statics && Grp::FindNearestStaticHit(*w->statics, probe, &point, &normal, &object)) {
        found = true;
    } else if (terrain && terrain->IsLoaded()) {
        Base::Vector3 hit, n;
        if (terrain->IntersectGroundOrSea(Terrain::Segment{{probe.start.x, probe.start.y, probe.start.z},
                                                           {probe.end.x, probe.end.y, probe.end.z}},
                                          &hit, &n)) {
            found = true;
            point = {hit.x, hit.y, hit.z};
            normal = {n.x, n.y, n.z};
            roughness = 0.2f;
        }
    }
    if (found) {
        s.groundValid = 1;
        s.groundNormal = normal;
        s.groundDistance = Base::DotProduct(normal, point);
        s.groundVelocity = {0, 0, 0};
        s.groundRoughness = roughness;
    } else {
        // The last plane stays: the simple model still tests it.
        s.groundValid = 0;
    }
}

float Airplane::AreaMargin(float extent) {
    return std::min(30000.0f, 0.25f * std::max(extent, 0.0f));
}

void Airplane::KeepInsideArea(Physics::AirplaneState& s) {
    const Grp::World::Extent& e = Obj::Object::world->terrainExtent;
    if (!(e.sizeX > 0) || !(e.sizeZ > 0))
        return;
    const float mx = AreaMargin(e.sizeX), mz = AreaMargin(e.sizeZ);
    bool moved = false;
    auto keep = [&](float& p, double& precise, float& v, float lo, float hi) {
        if (p < lo || p > hi) {
            p = std::clamp(p, lo, hi);
            precise = p;
            // Turned back at the bound, heading inwards: every other field of the state stays.
            v = p <= lo ? std::fabs(v) : -std::fabs(v);
            moved = true;
        }
    };
    keep(s.position.x, s.precisePosition[0], s.velocity.x, e.minX + mx, e.minX + e.sizeX - mx);
    keep(s.position.z, s.precisePosition[2], s.velocity.z, e.minZ + mz, e.minZ + e.sizeZ - mz);
    if (moved) {
        if (std::fabs(s.velocity.x) > 0 || std::fabs(s.velocity.z) > 0) {
            // Nose along the new course.
            const RwV3d course = Normalized(s.velocity);
            if (course.x != 0 || course.y != 0 || course.z != 0) {
                const float along = Base::DotProduct(course, s.up);
                RwV3d up = Normalized(
                    RwV3d{s.up.x - course.x * along, s.up.y - course.y * along, s.up.z - course.z * along});
                if (up.x != 0 || up.y != 0 || up.z != 0) {
                    s.at = course;
                    s.up = up;
                    s.right = Base::CrossProduct(up, course);
                }
            }
        }
        flightModel->SetState(s);
        PlaceFrameFromState(s);
    }
}

void Airplane::Run() {
    Grp::World* w = Obj::Object::world;
    if (!flightModel || !w)
        return;
    const float dt = w->time->step;
    Physics::AirplaneState s = flightModel->state;
    // On a catapult the carrier carries it, and its position is the carrier's coordinates.
    if (!remoteCopy && !s.held)
        ProbeGround(s);
    PlaceFrameFromState(s);
    const RwV3d position = RwFrameGetWorldMatrix(frame)->pos;

    weaponDoor.SetProgress(s.weaponDoorOpening);
    weaponDoor.Update(position, s.velocity, dt, s.weaponDoorCommand);
    s.weaponDoorOpening = weaponDoor.GetProgress();

    // The gear cannot be raised while the airplane stands on it.
    const float lowest = std::min({s.wheelCompression[0], s.wheelCompression[1], s.wheelCompression[2]});
    if (!remoteCopy && (lowest < -0.01f || s.held) && s.gearExtension == 1.0f)
        s.gearDownCommand = 1.0f;
    gears.SetProgress(1 - s.gearExtension);
    if (!remoteCopy) {
        gears.Update(position, s.velocity, dt, 1 - s.gearDownCommand);
        s.gearExtension = 1 - gears.GetProgress();
    }
    if (s.gearExtension == 1.0f)
        for (int i = 0; i < 3; ++i)
            wheels[i].Update(s.wheelCompression[i], s.wheelSteering[i], s.wheelRotation[i]);

    if (wheelsSound) {
        const float m =
            std::max({wheels[0].GetCompression(), wheels[1].GetCompression(), wheels[2].GetCompression()});
        if (m <= 0.05f) {
            wheelsSound->state = Audio::BasicSound::Idle;
            wheelsSound->params.volume = 0;
        } else if (wheelsSound->params.volume == 0) {
            wheelsSound->params.volume = 1.0f;
            wheelsSound->params.referenceDistance = 20.0f;
            wheelsSound->params.position = {s.position.x, s.position.y, s.position.z};
            wheelsSound->params.velocity = {s.velocity.x, s.velocity.y, s.velocity.z};
            wheelsSound->loop = 0;
            wheelsSound->state = Audio::BasicSound::PlayRequested;
        }
    }

    if (!s.outOfControl) {
        const float angles[SurfaceCount] = {-s.aileronAngle, s.aileronAngle,  s.auxAngle,    s.auxAngle,
                                            s.elevatorAngle, s.elevatorAngle, s.rudderAngle, s.rudderAngle};
        for (int i = 0; i < SurfaceCount; ++i) {
            ControlSurface& c = surfaces[i];
            if (!c.found)
                continue;
            RwMatrix m = c.rest;
            Base::RotateMatrixAboutPoint(&m, c.rest.right, angles[i] * ToDegrees, rwCOMBINEPOSTCONCAT,
                                         c.rest.pos);
            SetModelling(c.frame, m);
        }
    }

    if (!remoteCopy && s.fireRequest) {
        s.fireRequest = 0;
        if (stores)
            stores->FireSelected();
    }

    UpdateTrails(s);
    if (exhaust)
        for (Exhaust::Nozzle& nozzle : exhaust->nozzles) {
            nozzle.color[0] = 255;
            nozzle.color[1] = 200;
            nozzle.color[2] = 160;
            nozzle.color[3] = uint8_t(std::lround(std::clamp(s.thrustFactor, 0.0f, 1.0f) * 255));
        }
    if (stores)
        stores->Update();
    flightModel->SetState(s);
    if (remoteCopy)
        return;
    if (s.wheelBrakeCommand == 0 && attachedToFrame)
        if (auto* carrier = dynamic_cast<Carrier*>(GetParent()))
            carrier->StartCatapultLaunch(this);
    s = flightModel->state;
    if (CheckCrash(s, dt))
        return;
    if (!s.held)
        KeepInsideArea(s);
}

void Airplane::UpdateTrails(const Physics::AirplaneState& s) {
    double p[3];
    GetWorldPositionDouble(p);
    const RwMatrix& m = *RwFrameGetWorldMatrix(frame);
    auto source = [&](const RwV3d& offset, double out[3]) {
        const RwV3d o = Rotate(m, offset);
        out[0] = p[0] + o.x;
        out[1] = p[1] + o.y;
        out[2] = p[2] + o.z;
    };
    if (condensation) {
        const float speed = float(Base::VectorLength(s.velocity));
        const float a = std::max(0.0f, speed - 50), b = std::max(0.0f, speed - 60);
        float intensity = 0;
        if (!s.engineDestroyed) {
            const float g = Base::DotProduct(s.right, s.angularVelocity);
            intensity = std::fabs(g) * b * 0.015f + (s.position.y - 4000) * a * 1e-7f;
            intensity = intensity > 0 ? std::min(intensity, 0.75f) : 0.0f;
        }
        const float colour[4] = {1, 1, 1, intensity};
        double at[3];
        for (int side = 0; side < 2; ++side)
            if (condensationTrails[side]) {
                const RwV3d offset = {side ? -condensationOffset.x : condensationOffset.x,
                                      condensationOffset.y, condensationOffset.z};
                source(offset, at);
                condensation->Update(condensationTrails[side], at, colour);
            }
    }
    if (damageSmoke && damageTrail) {
        const float colour[4] = {0.25f, 0.25f, 0.25f, s.engineDestroyed ? 0.75f : 0.0f};
        double at[3];
        source(damageOffset, at);
        damageSmoke->Update(damageTrail, at, colour);
    }
}

// ---- placing

void Airplane::Place(float x, float z, float height, float heading, float speed) {
    if (!flightModel)
        return;
    const float h = heading * float(Base::Pi / 180.0);
    const RwV3d forward = {-std::sin(h), 0, std::cos(h)};
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);

    RwV3d ground = {0, 0, 0}, normal = {0, 1, 0};
    if (Grp::World* w = Obj::Object::world) {
        // The runway or deck where there is one over the terrain.
        const RwLine down = {{x, 10000, z}, {x, -1000, z}};
        RwV3d point, n;
        Obj::Static* object = nullptr;
        if (w->statics && Grp::FindNearestStaticHit(*w->statics, down, &point, &n, &object)) {
            ground = point;
            normal = n;
        } else if (w->terrain && w->terrain->IsLoaded()) {
            Base::Vector3 hit, tn;
            if (w->terrain->IntersectGroundOrSea(Terrain::Segment{{x, 10000, z}, {x, -1000, z}}, &hit, &tn)) {
                ground = {hit.x, hit.y, hit.z};
                normal = {tn.x, tn.y, tn.z};
            }
        }
    }
    const Physics::ComplexPhysicsParams& c = flightModel->params.complex;
    RwV3d up = {0, 1, 0}, at = forward;
    float y;
    if (height >= 0) {
        y = std::max(ground.y + 250, height);
        s.engineRunning = 1;
        s.engineSpool = 0.75f;
        s.throttle = s.throttleLevel = 0.375f;
        s.gearExtension = s.gearDownCommand = 0;
    } else {
        y = ground.y - std::min(c.centerWheelPosition.y - c.centerWheelRadius,
                                c.sideWheelPosition.y - c.sideWheelRadius);
        up = Normalized(normal);
        const RwV3d right = Normalized(Base::CrossProduct(up, forward));
        at = Base::CrossProduct(right, up);
        s.engineRunning = 0;
        s.engineSpool = 0;
        s.throttle = s.throttleLevel = 0;
        s.gearExtension = s.gearDownCommand = 1.0f;
    }
    s.position = {x, y, z};
    s.precisePosition[0] = x;
    s.precisePosition[1] = y;
    s.precisePosition[2] = z;
    s.up = up;
    s.at = at;
    s.right = Base::CrossProduct(up, at);
    s.velocity = Scale(forward, speed);
    flightModel->SetState(s);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    Base::SetMatrixAxes(&m, up, at, s.position);
    Transform(&m, rwCOMBINEREPLACE);
}

bool Airplane::PlaceOnRunway(const Airbase* airbase, const Base::String& name) {
    const Airbase::Runway* runway = airbase ? airbase->FindRunway(name) : nullptr;
    if (!runway)
        return false;
    const float r = runway->heading * float(Base::Pi / 180.0);
    const RwMatrix& m = *RwFrameGetWorldMatrix(airbase->frame);
    const RwV3d local = {runway->x, 0, runway->z};
    const RwV3d point = Add(m.pos, Rotate(m, local));
    const RwV3d direction = Rotate(m, RwV3d{-std::sin(r), 0, std::cos(r)});
    float heading = std::atan2(-direction.x, direction.z) * ToDegrees;
    if (heading < 0)
        heading += 360;
    Place(point.x, point.z, -1.0f, heading, 0);
    return true;
}

void Airplane::Rearm() {
    if (!flightModel)
        return;
    Physics::AirplaneState s = flightModel->state;
    s.fuel = 1.0f;
    flightModel->SetState(s);
    if (gun && RefillGun)
        RefillGun(gun);
    if (stores)
        stores->Rearm();
}

// ---- on a catapult

CatapultAirplane::State Airplane::GetCatapultState() {
    const Physics::AirplaneState s = GetState();
    State c;
    c.position = s.position;
    c.up = s.up;
    c.at = s.at;
    c.velocity = s.velocity;
    c.acceleration = s.acceleration;
    c.onCatapult = s.held != 0;
    std::copy(s.wheelRotation, s.wheelRotation + 3, c.wheelTurn);
    return c;
}

void Airplane::SetCatapultState(const State& c, bool fresh) {
    if (!flightModel)
        return;
    Physics::AirplaneState s = flightModel->state;
    if (fresh) {
        Physics::AirplaneState::Init(s);
        s.engineRunning = 1;
        s.engineSpool = 1.0f;
        s.throttle = s.throttleLevel = 1.0f;
        s.gearDownCommand = s.gearExtension = 1.0f;
        s.wheelBrakeCommand = 0.6f;
    }
    s.position = c.position;
    s.precisePosition[0] = c.position.x;
    s.precisePosition[1] = c.position.y;
    s.precisePosition[2] = c.position.z;
    s.up = Normalized(c.up);
    s.at = Normalized(c.at);
    s.right = Base::CrossProduct(s.up, s.at);
    s.velocity = c.velocity;
    s.acceleration = c.acceleration;
    s.held = c.onCatapult ? 1 : 0;
    constexpr float Turn = float(2 * Base::Pi);
    for (int i = 0; i < 3; ++i) {
        const float r = std::fmod(c.wheelTurn[i], Turn);
        s.wheelRotation[i] = std::isfinite(r) ? (r < 0 ? r + Turn : r) : 0.0f;
    }
    flightModel->SetState(s);
    if (fresh)
        PlaceFrameFromState(flightModel->state);
}

CatapultAirplane::WheelGeometry Airplane::GetWheelGeometry() {
    if (!flightModel)
        return {};
    const Physics::ComplexPhysicsParams& c = flightModel->params.complex;
    // The side wheels' height below the model's origin and their radius; the nose wheel's radius.
    return {c.sideWheelPosition.y, c.sideWheelRadius, c.centerWheelRadius};
}

float Airplane::GetDetectability() {
    AirplaneExposure e;
    e.height = RwFrameGetWorldMatrix(frame)->pos.y;
    const Physics::AirplaneState s = GetState();
    e.groundHeight = s.groundHeight;
    e.hasWeaponDoor = weaponDoor.loaded;
    e.hasGears = gears.loaded;
    e.doorOpening = s.weaponDoorOpening;
    e.gearExtension = s.gearExtension;
    e.jammerOn = s.jammerOn != 0;
    return AirplaneDetectability(e);
}

} // namespace Obj
