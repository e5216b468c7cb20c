// The world's run pass over 200 cars driving on the sample terrain and 20 ships with their wakes at sea: time
// and heap allocations per frame once warm. The reference is the same motion of 220 points written as a plain
// loop (double positions, speed, heading, turn), so the ratio shows what the objects add: frames, the
// groups' refiling, the terrain probes and the wakes.
#include "bench/AllocationCounter.h"

#include "objects/Ship.h"
#include "objects/Terrain.h"
#include "objects/Vehicle.h"
#include "objects/WaterTrail.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "bench/objects/SampleTerrain.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Cars = 200, Ships = 20;
constexpr float Step = 1 / 60.0f;

struct Engine {
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpUserDataPluginAttach() &&
             RpCollisionPluginAttach() && Rw::Frame::RegisterPlugins() && Rw::RegisterWrapperPlugins() &&
             Rw::AtomicLodData::RegisterPlugin();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
        Base::ClumpCache::Directory = std::string(SAMPLE_MODELS_DIR) + "\\";
        Rw::InstallClumpCache();
    }
    ~Engine() {
        Base::ClumpCache::Clear();
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
    bool ok = false;
};

std::unique_ptr<Obj::Terrain> SampleTerrain() {
    auto terrain = std::make_unique<Obj::Terrain>();
    Base::Info info;
    info.LoadFile(SAMPLE_TERRAIN_INFO);
    BenchSupport::LoadSampleTerrain(*terrain, info);
    return terrain;
}

void Advance(Grp::World& world) {
    world.time->step = Step;
    world.time->time += Step;
    Grp::RunGroup(*world.runnables);
}

// The plain-loop reference: the same kinematics on bare records.
struct Mover {
    double x, z;
    float dirX, dirZ, speed, turn;
};
void StepMovers(std::vector<Mover>& movers) {
    for (Mover& m : movers) {
        const float s = std::sin(m.turn * Step), c = std::cos(m.turn * Step);
        const float dx = m.dirX * c + m.dirZ * s, dz = m.dirZ * c - m.dirX * s;
        m.dirX = dx;
        m.dirZ = dz;
        m.x += double(dx) * m.speed * Step;
        m.z += double(dz) * m.speed * Step;
    }
    benchmark::DoNotOptimize(movers.data());
}

void VehiclesRunPass(benchmark::State& state) {
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("engine did not start");
        return;
    }
    const std::unique_ptr<Obj::Terrain> terrain = SampleTerrain();
    auto world = std::make_unique<Grp::World>();
    world->terrain = terrain.get();
    Base::Info truck, frigate;
    truck.LoadFile(std::string(SAMPLE_MODELS_DIR) + "/Truck.info");
    frigate.LoadFile(std::string(SAMPLE_MODELS_DIR) + "/Frigate.info");
    // Cars on the land east of the coast, ships at sea to the west; all bound far away.
    for (int i = 0; i < Cars; ++i) {
        auto* car = new Obj::Car;
        const Base::Vector2 at = {-2000.0f + float(i % 20) * 400, -8000.0f + float(i / 20) * 1200};
        if (!car->Setup(&truck, at, {0, 1}, 5, 10, 0.25f, 0.25f)) {
            delete car;
            state.SkipWithError("no sample truck");
            return;
        }
        world->AddObject(car);
        car->MoveTo({at.x + 3000, at.y + 12000});
    }
    for (int i = 0; i < Ships; ++i) {
        auto* ship = new Obj::Ship;
        const Base::Vector2 at = {-13500.0f + float(i % 4) * 600, -8000.0f + float(i / 4) * 2500};
        ship->Setup(&frigate, at, {0, 1}, 10, 10, 0.02f, 0.02f);
        world->AddObject(ship);
        ship->MoveTo({at.x - 2000, at.y + 20000});
    }
    // Warm: the wakes lay their points, the scratch buffers grow.
    for (int f = 0; f < 600; ++f)
        Advance(*world);

    std::vector<Mover> movers(Cars + Ships);
    for (size_t i = 0; i < movers.size(); ++i)
        movers[i] = {double(i), 0, 0, 1, 10, 0.01f * float(i % 7)};

    double passSeconds = 0, referenceSeconds = 0;
    uint64_t allocations = 0, frames = 0;
    for (auto _ : state) {
        const AllocationCounter::Counts before = AllocationCounter::Now();
        const auto t0 = std::chrono::steady_clock::now();
        Advance(*world);
        const auto t1 = std::chrono::steady_clock::now();
        allocations += AllocationCounter::Since(before).all;
        StepMovers(movers);
        const auto t2 = std::chrono::steady_clock::now();
        passSeconds += std::chrono::duration<double>(t1 - t0).count();
        referenceSeconds += std::chrono::duration<double>(t2 - t1).count();
        ++frames;
    }
    const double perFrame = passSeconds / double(frames), reference = referenceSeconds / double(frames);
    state.counters["run_pass_us"] = perFrame * 1e6;
    state.counters["plain_loop_us"] = reference * 1e6;
    state.counters["ratio"] = reference > 0 ? perFrame / reference : 0;
    state.counters["allocs_per_frame"] = double(allocations) / double(frames);
    world->Clear();
    world->terrain = nullptr;
    world.reset();
}
BENCHMARK(VehiclesRunPass)->Unit(benchmark::kMicrosecond);

} // namespace
