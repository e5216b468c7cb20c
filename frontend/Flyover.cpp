#include "frontend/Flyover.h"

#include "base/ClumpCache.h"
#include "base/TextTable.h"
#include "base/Maths.h"
#include "objects/Clouds.h"
#include "objects/LensFlare.h"
#include "objects/LoadScenery.h"
#include "objects/Ship.h"
#include "objects/Sky.h"
#include "objects/Terrain.h"
#include "objects/Vehicle.h"
#include "scene/Attachable.h"
#include "scene/EngineHost.h"
#include "scene/RenderProbe.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/baworobj.h"
#include "rwsdk/world/bawrld.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <strings.h>

namespace Fe {

namespace {

// The loop over the sample terrain (x east, z north, y up): out over the sea, in across the coast, low over
// the coast field, over the hills and up through the cloud layer, down to the highland base, along the
// valley and back up through the clouds over the sea.
constexpr RwV3d Waypoints[] = {
    {-14000, 350, -1500}, {-10000, 300, 1500},  {-6800, 420, 4200},   {-3500, 420, 5060}, {-200, 700, 5600},
    {3500, 1500, 3200},   {6000, 2550, -1000},  {8200, 1000, -4800},  {7800, 640, -6540}, {3000, 900, -9000},
    {-3000, 1200, -9500}, {-9000, 2600, -7000}, {-13500, 1400, -4500}};
constexpr int WaypointCount = int(sizeof Waypoints / sizeof Waypoints[0]);

// Catmull-Rom through the waypoints, closed.
RwV3d Spline(double s) {
    const double lap = std::fmod(s, double(WaypointCount));
    const double wrapped = lap < 0 ? lap + WaypointCount : lap;
    const int i = int(wrapped);
    const double t = wrapped - i;
    const RwV3d& p0 = Waypoints[(i + WaypointCount - 1) % WaypointCount];
    const RwV3d& p1 = Waypoints[i % WaypointCount];
    const RwV3d& p2 = Waypoints[(i + 1) % WaypointCount];
    const RwV3d& p3 = Waypoints[(i + 2) % WaypointCount];
    const auto axis = [t](float a, float b, float c, float d) {
        return float(0.5 * ((2 * b) + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t * t +
                            (-a + 3 * b - 3 * c + d) * t * t * t));
    };
    return {axis(p0.x, p1.x, p2.x, p3.x), axis(p0.y, p1.y, p2.y, p3.y), axis(p0.z, p1.z, p2.z, p3.z)};
}

} // namespace

Flyover::Flyover() = default;

Flyover::~Flyover() {
    Stop();
}

RwCamera* Flyover::Camera() const {
    return camera_ ? camera_->camera : nullptr;
}

namespace {

// One moving group of the scenery's "Convoys<n>.info": cars, armed cars, ships or a carrier in a plain
// formation, set off towards their destination. Until the missions spawn such groups, the flyover shows
// them this way; armed kinds carry the weapons only once the weapons are there to make them.
void SpawnGroup(Grp::World& world, const Base::String& key, const Base::Info& group) {
    Base::String action, type, model;
    Base::Vector2 position, destination;
    float heading = 0, speed = 0, span = 0, gun = 0, launcher = 0;
    int32_t count = 1;
    group.TryGetString("Action", action);
    group.TryGetString("Type", type);
    group.TryGetString("Model", model);
    if (!group.TryGetPoint("Pos", position) || model.empty()) {
        std::fprintf(stderr, "Convoys: group \"%s\" has no Pos or Model and is left out\n",
                     Base::Clip(key).c_str());
        return;
    }
    const bool moves = group.TryGetPoint("Dest", destination);
    group.TryGetFloat("Hdg", heading);
    group.TryGetFloat("InitSpeed", speed);
    // A whole number: a huge or fractional count in the file must not spawn without end.
    if (!group.TryGetInt("Count", count))
        count = 1;
    if (count > Flyover::MaxGroupObjects) {
        std::fprintf(stderr, "Convoys: group \"%s\" asks for %d objects; it gets %d\n",
                     Base::Clip(key).c_str(), int(count), int(Flyover::MaxGroupObjects));
        count = Flyover::MaxGroupObjects;
    }
    group.TryGetFloat("Formation.ObjectsSpan", span);
    group.TryGetFloat("Gun", gun);
    group.TryGetFloat("Launcher", launcher);
    Base::String formation;
    group.TryGetString("Formation.Type", formation);
    const bool abreast = strcasecmp(formation.c_str(), "lineabreast") == 0;
    const bool ships = action == "SpawnShips";
    auto is = [&type](const char* kind) { return strcasecmp(type.c_str(), kind) == 0; };
    const bool carrier = ships && !is("ship") && !is("warship");
    const Base::Info description = [&] {
        Base::Info tree;
        tree.LoadFile(carrier ? Base::MakePath(Base::ClumpCache::Directory, model, "model")
                              : Base::MakePath(Base::ClumpCache::Directory, model));
        return tree;
    }();
    const double h = heading * Base::Pi / 180.0;
    const Base::Vector2 d{float(-std::sin(h)), float(std::cos(h))};
    const Base::Vector2 r{d.y, -d.x};
    const bool withGun = gun > 0 && Obj::VehicleWeapons::CreateAutoGun;
    const bool withLauncher = launcher > 0 && Obj::VehicleWeapons::CreateAutoLauncher;
    const float tuning = 10.0f, turn = ships ? 0.02f : 0.25f;
    for (int i = 0; i < count; ++i) {
        // A column behind the first, or abreast with the sides alternating.
        const float k = abreast ? float((i + 1) / 2) * (i % 2 ? -1.0f : 1.0f) : -float(i);
        const Base::Vector2 step = abreast ? Base::Vector2{r.x * k * span, r.y * k * span}
                                           : Base::Vector2{d.x * k * span, d.y * k * span};
        const Base::Vector2 at{position.x + step.x, position.y + step.y};
        std::unique_ptr<Obj::Vehicle> vehicle;
        bool ready = false;
        if (!ships && is("car")) {
            auto car = std::make_unique<Obj::Car>();
            ready = car->Setup(&description, at, d, speed, tuning, turn, turn);
            vehicle = std::move(car);
        } else if (!ships) {
            auto car = std::make_unique<Obj::WarCar>();
            ready = car->Setup(&description, at, d, speed, tuning, turn, turn, withGun, withLauncher);
            vehicle = std::move(car);
        } else if (is("ship")) {
            auto ship = std::make_unique<Obj::Ship>();
            ready = ship->Setup(&description, at, d, speed, tuning, turn, turn);
            vehicle = std::move(ship);
        } else {
            std::unique_ptr<Obj::WarShip> ship =
                carrier ? std::make_unique<Obj::Carrier>() : std::make_unique<Obj::WarShip>();
            ready = ship->Setup(&description, at, d, speed, tuning, turn, turn, withGun, withLauncher);
            vehicle = std::move(ship);
        }
        if (!ready) {
            std::fprintf(stderr, "Convoys: %s of group \"%s\" does not load and is left out\n",
                         Base::Clip(model).c_str(), Base::Clip(key).c_str());
            return;
        }
        Obj::Vehicle* placed = vehicle.get();
        world.AddObject(vehicle.release());
        if (moves)
            placed->MoveTo({destination.x + step.x, destination.y + step.y});
    }
}

} // namespace

bool Flyover::Start(const Base::Config& settings, int number) {
    Stop();
    if (!Rw::EngineStarted)
        return false;
    world_ = std::make_unique<Grp::World>();
    Obj::LoadScenery(settings, *world_, number);
    // The scenery's moving groups, when it has any.
    // A scenery may have none; a damaged list is told with its line (and is not used).
    Base::Info groups;
    const Base::String convoys =
        Base::MakePath(Base::GetText("DataDir"), "Convoys" + std::to_string(number), "info");
    if (const int line = groups.LoadFile(convoys); line > 0)
        std::fprintf(stderr, "Error in the scenery file '%s' at line %d.\n", Base::Clip(convoys).c_str(),
                     line);
    for (const auto& [key, group] : groups.GetChildren())
        SpawnGroup(*world_, key, *group);
    camera_ = std::make_unique<Obj::Camera>();
    if (!camera_->camera) {
        Stop();
        return false;
    }
    RwCameraSetNearClipPlane(camera_->camera, 2.0f);
    RwCameraSetFarClipPlane(camera_->camera, Obj::SceneryViewRange(settings.visibility));
    if (world_->world)
        RpWorldAddCamera(world_->world, camera_->camera);
    return true;
}

void Flyover::Stop() {
    if (camera_ && camera_->camera) {
        if (world_ && world_->world && RwCameraGetWorld(camera_->camera))
            RpWorldRemoveCamera(world_->world, camera_->camera);
        RwCameraSetRaster(camera_->camera, nullptr);
        RwCameraSetZRaster(camera_->camera, nullptr);
    }
    camera_.reset();
    world_.reset();
}

void Flyover::PathPoint(double time, RwV3d& position, RwV3d& at) {
    // Even speed is not needed: the legs are of similar length.
    const double s = time / LapTime * WaypointCount;
    position = Spline(s);
    const RwV3d ahead = Spline(s + 0.05);
    RwV3d d = {ahead.x - position.x, ahead.y - position.y, ahead.z - position.z};
    const float h = std::sqrt(d.x * d.x + d.z * d.z);
    // Level flight looks a little down at the ground; a climb or dive keeps its own pitch.
    d.y = d.y - 0.12f * h;
    const float l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    at = l > 0 ? RwV3d{d.x / l, d.y / l, d.z / l} : RwV3d{0, 0, 1};
}

void Flyover::PlaceCamera(double time) {
    RwV3d position, at;
    PathPoint(time, position, at);
    // Never below the hills: 120 above the ground under the camera.
    if (world_->terrain) {
        const Obj::Terrain::Segment probe{{position.x, 20000, position.z}, {position.x, -1000, position.z}};
        Base::Vector3 ground;
        if (world_->terrain->IntersectSegment(probe, &ground, nullptr))
            position.y = std::max(position.y, ground.y + 120.0f);
    }
    const float r = std::sqrt(at.x * at.x + at.z * at.z);
    const RwV3d right = r > 0 ? RwV3d{at.z / r, 0, -at.x / r} : RwV3d{1, 0, 0};
    RwMatrix m{};
    m.right = right;
    m.up = {at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
            at.x * right.y - at.y * right.x};
    m.at = at;
    m.pos = position;
    RwMatrixUpdate(&m);
    // Through the wrapper: the camera-relative drawing reads its double-precision position.
    camera_->Transform(&m, rwCOMBINEREPLACE);
}

void Flyover::Frame(double time, double frameTime, RwRaster* colour, RwRaster* depth, void* window) {
    if (!world_ || !camera_ || !colour)
        return;
    Grp::WorldTime& clock = *world_->time;
    const float before = clock.time;
    clock.Advance(frameTime);
    {
        Grp::ProbeSection section("simulate and run");
        Grp::SimulateGroup(*world_->simulateables, before, clock.time);
        Grp::RunGroup(*world_->runnables);
    }

    RwCamera* camera = camera_->camera;
    RwCameraSetRaster(camera, colour);
    RwCameraSetZRaster(camera, depth);
    // The view window keeps the raster's shape with a 70 degree horizontal field.
    camera_->SetFieldOfView(70.0f * 3.14159265f / 180.0f);
    PlaceCamera(time);
    if (RwCameraBeginUpdate(camera)) {
        RwRGBA haze = {190, 208, 228, 255};
        {
            Grp::ProbeSection section("clear");
            RwCameraClear(camera, &haze, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        }
        Rw::ResetRenderStates();
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        if (const Rw::CameraView* view = camera_->GetViewParameters()) {
            const auto range = Grp::VisibleRange(*view, *world_->renderables);
            Grp::RenderVisible(range.begin(), range.end(), nullptr);
        }
        RwCameraEndUpdate(camera);
    }
    if (window) {
        Grp::ProbeSection section("present");
        RwCameraShowRaster(camera, window, 0);
    }
}

} // namespace Fe
