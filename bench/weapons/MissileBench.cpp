// Fifty guided missiles in flight at once, each locked on a target that keeps ahead of it and off to its
// side, so that every step of every missile steers (lead, height correction, the turn its thrust allows)
// and every frame runs its hit test, smoke trail and exhaust. One frame at 60 Hz (the simulation up to the
// frame's time in the missiles' 0.02 s steps, then the run pass) is timed against the 16.7 ms frame budget,
// with the heap allocations the program's own code makes once warm.
#include "bench/AllocationCounter.h"

#include "weapons/HomingRocket.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"
#include "scene/AtomicData.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int Missiles = 50;
constexpr float Step = 1 / 60.0f, Budget = 1 / 60.0f;

struct Engine {
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpUserDataPluginAttach() &&
             RpCollisionPluginAttach() && Rw::Frame::RegisterPlugins() && Rw::RegisterWrapperPlugins() &&
             Rw::AtomicLodData::RegisterPlugin();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
    bool ok = false;
};

class Beacon : public Obj::Object, public Obj::Target {
public:
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void SetWorld(Grp::World* w) override {
        Obj::Object::SetWorld(w);
        if (w)
            w->targets->Insert(this);
        else if (Obj::Target::group)
            Grp::Simple<Obj::Target>::Remove(this);
    }
    RwSphere sphere = {{0, 0, 0}, 5};
};

struct Chase {
    Base::SmartPtr<Weapons::HomingRocket> missile;
    Beacon* beacon;
    float side; // radians off the missile's nose
};

// The missile's parameters as a medium-range missile's, without a model to draw.
Weapons::HomingRocket* MakeMissile(Grp::World& world, RwV3d at, RwV3d heading) {
    auto* m = new Weapons::HomingRocket();
    m->timeToLive = 1e9f;
    m->acceleration = 250;
    m->maxSpeed = 1200;
    m->explosionStrength = 200;
    m->nozzleOffset = {0, 0, -1.85f};
    m->nozzleDiameter = 0.19f;
    m->timeToEngineStart = 0.3f;
    m->guidance = Weapons::GuidanceRadar;
    m->fuseDistance = 10;
    m->upAdjustFactor = 0.5f;
    m->seeker->turnRate = 15;
    m->paramsLoaded = true;
    m->SetFrame(RwFrameCreate(), true); // no model: a frame of its own
    RwMatrix matrix;
    RwMatrixSetIdentity(&matrix);
    matrix.at = heading;
    matrix.right = {heading.z, 0, -heading.x};
    matrix.up = {0, 1, 0};
    matrix.pos = at;
    RwMatrixUpdate(&matrix);
    m->Transform(&matrix, rwCOMBINEREPLACE);
    world.AddObject(m);
    return m;
}

// Each target 2 km ahead of its missile and off its nose: the missile turns after it for ever.
void Lead(std::vector<Chase>& chases) {
    for (Chase& c : chases) {
        Weapons::HomingRocket* m = c.missile.Get();
        if (!m)
            continue;
        const RwMatrix* w = RwFrameGetWorldMatrix(m->frame);
        const float s = std::sin(c.side), k = std::cos(c.side);
        c.beacon->sphere.center = {w->pos.x + 2000 * (k * w->at.x + s * w->right.x),
                                   w->pos.y + 2000 * (k * w->at.y + s * w->right.y) + 50,
                                   w->pos.z + 2000 * (k * w->at.z + s * w->right.z)};
    }
}

void GuidedMissiles(benchmark::State& state) {
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("engine did not start");
        return;
    }
    const RwBBox box = {{60000, 30000, 60000}, {-60000, -500, -60000}};
    auto world = std::make_unique<Grp::World>(box, 40, 1, 40);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> across(-3000, 3000), turn(-0.17f, 0.17f), angle(0, 6.2831853f);
    std::vector<Chase> chases;
    for (int i = 0; i < Missiles; ++i) {
        const float a = angle(random);
        Weapons::HomingRocket* m =
            MakeMissile(*world, {across(random), 3000 + across(random) * 0.2f, across(random)},
                        {std::sin(a), 0, std::cos(a)});
        auto* beacon = new Beacon();
        world->AddObject(beacon);
        chases.push_back({m, beacon, turn(random)});
        Lead(chases);
        m->SetTarget(beacon, true);
        m->Launch({300 * std::sin(a), 0, 300 * std::cos(a)});
    }
    double last = 0;
    const auto frame = [&]() {
        const double now = last + Step;
        world->time->step = Step;
        world->time->time = float(now);
        Grp::SimulateGroup(*world->simulateables, float(last), float(now));
        Grp::RunGroup(*world->runnables);
        last = now;
    };
    // Warm: engines burning, trails at their full length.
    for (int f = 0; f < 600; ++f) {
        Lead(chases);
        frame();
    }

    double seconds = 0;
    uint64_t allocations = 0, frames = 0;
    AllocationCounter::Attribute(true);
    for (auto _ : state) {
        Lead(chases);
        const AllocationCounter::Counts before = AllocationCounter::Now();
        const auto t0 = std::chrono::steady_clock::now();
        frame();
        const auto t1 = std::chrono::steady_clock::now();
        allocations += AllocationCounter::Since(before).ours;
        seconds += std::chrono::duration<double>(t1 - t0).count();
        ++frames;
    }
    AllocationCounter::Attribute(false);
    int guiding = 0;
    for (const Chase& c : chases)
        guiding += c.missile && c.missile->IsLocked();
    const double perFrame = seconds / double(frames);
    state.counters["frame_us"] = perFrame * 1e6;
    state.counters["budget_ratio"] = perFrame / Budget;
    state.counters["our_allocs_per_frame"] = double(allocations) / double(frames);
    state.counters["guiding"] = guiding;
    world.reset();
}
BENCHMARK(GuidedMissiles)->Unit(benchmark::kMicrosecond);

} // namespace
