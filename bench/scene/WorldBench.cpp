// A frame of the three world passes over 2,000 objects (500 moving), with the time of each pass and the heap
// allocations of a warm frame; and segment walks through the sector grid against a brute-force test of every
// member, with the ratio of the two.
#include "bench/AllocationCounter.h"

#include "scene/World.h"
#include "scene/WorldPasses.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <random>
#include <vector>

namespace {

RwBBox Box() {
    return {{400000, 30000, 400000}, {-400000, -30000, -400000}};
}

class Thing : public Obj::Renderable, public Obj::Runnable, public Obj::Simulateable, public Obj::Static {
public:
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void Render(unsigned order, Cameras::Basic*) override { benchmark::DoNotOptimize(order); }
    void Run() override {
        if (moving) {
            sphere.center.x += 30;
            if (sphere.center.x > 390000)
                sphere.center.x = -390000;
            Obj::Renderable::group->Update(this);
            Obj::Static::group->UpdateDamageable(this);
        }
    }
    void Simulate(float time, float step) override { benchmark::DoNotOptimize(time + step); }
    RwSphere sphere{};
    bool moving = false;
};

struct Scene {
    Grp::Spatial<Obj::Renderable> renderables{Box(), 20, 1, 20};
    Grp::Spatial<Obj::Static> statics{Box(), 20, 1, 20};
    Grp::Simple<Obj::Runnable> runnables;
    Grp::Simple<Obj::Simulateable> simulateables;
    std::vector<std::unique_ptr<Thing>> things;

    explicit Scene(int count, int moving) {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> x(-390000, 390000), y(-1000, 3000), r(5, 60);
        for (int n = 0; n < count; ++n) {
            auto thing = std::make_unique<Thing>();
            thing->sphere = {{x(random), y(random), x(random)}, r(random)};
            thing->moving = n < moving;
            thing->renderOrders = {uint8_t(n % 3 == 0 ? 128 : 230)};
            thing->stepInterval = 0.05f;
            thing->Obj::Renderable::group = &renderables;
            renderables.Update(thing.get());
            thing->Obj::Static::group = &statics;
            statics.UpdateDamageable(thing.get());
            if (thing->moving) {
                runnables.Insert(thing.get());
                simulateables.Insert(thing.get());
            }
            things.push_back(std::move(thing));
        }
    }
    ~Scene() {
        for (auto& thing : things) {
            Grp::Spatial<Obj::Renderable>::Remove(thing.get());
            Grp::Spatial<Obj::Static>::Remove(thing.get());
            if (thing->Obj::Runnable::group)
                Grp::Simple<Obj::Runnable>::Remove(thing.get());
            if (thing->Obj::Simulateable::group)
                Grp::Simple<Obj::Simulateable>::Remove(thing.get());
        }
    }
};

// A wide view over the grid's middle, far clip 60 km.
Rw::CameraView View() {
    Rw::CameraView view;
    view.position = {0, 1000, -30000};
    view.at = {0, 0, 1};
    view.up = {0, 1, 0};
    view.windowX = 1;
    view.windowY = 0.75f;
    view.nearClip = 2;
    view.farClip = 60000;
    return view;
}

void BM_WorldFrame(benchmark::State& state) {
    Scene scene(2000, 500);
    const Rw::CameraView view = View();
    float t = 0;
    auto frame = [&](double* times) {
        using Clock = std::chrono::steady_clock;
        const auto a = Clock::now();
        Grp::SimulateGroup(scene.simulateables, t, t + 0.02f);
        t += 0.02f;
        const auto b = Clock::now();
        Grp::RunGroup(scene.runnables);
        const auto c = Clock::now();
        const auto range = Grp::VisibleRange(view, scene.renderables);
        Grp::RenderVisible(range.begin(), range.end(), nullptr);
        const auto d = Clock::now();
        times[0] += std::chrono::duration<double>(b - a).count();
        times[1] += std::chrono::duration<double>(c - b).count();
        times[2] += std::chrono::duration<double>(d - c).count();
    };
    double warmup[3] = {};
    for (int n = 0; n < 3; ++n)
        frame(warmup);
    double times[3] = {};
    const auto start = AllocationCounter::Now();
    for (auto _ : state)
        frame(times);
    const auto allocations = AllocationCounter::Since(start);
    const double frames = double(state.iterations());
    state.counters["simulate_us"] = times[0] / frames * 1e6;
    state.counters["run_us"] = times[1] / frames * 1e6;
    state.counters["render_us"] = times[2] / frames * 1e6;
    state.counters["allocs_per_frame"] = double(allocations.all) / frames;
}
BENCHMARK(BM_WorldFrame)->Unit(benchmark::kMicrosecond);

// Segments as bullets fly them (600 m steps) through the grid, walked and tested against every member.
void BM_SegmentWalk(benchmark::State& state) {
    Scene scene(2000, 0);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> x(-390000, 390000), d(-600, 600);
    std::vector<RwLine> segments(1024);
    for (RwLine& s : segments) {
        s.start = {x(random), d(random) + 1000, x(random)};
        s.end = {s.start.x + d(random), s.start.y + d(random), s.start.z + d(random)};
    }
    using Clock = std::chrono::steady_clock;
    size_t found = 0, walks = 0;
    double walkTime = 0;
    for (auto _ : state) {
        const auto a = Clock::now();
        for (const RwLine& s : segments)
            scene.statics.ForEachNearSegment(s, [&](Obj::Static*) { ++found; });
        walkTime += std::chrono::duration<double>(Clock::now() - a).count();
        walks += segments.size();
    }
    // The brute-force reference over the same segments, in the same run.
    size_t bruteFound = 0;
    const auto b = Clock::now();
    for (const RwLine& s : segments)
        for (auto& thing : scene.things)
            if (Grp::SegmentTouchesSphere(s, &thing->sphere))
                ++bruteFound;
    const double bruteTime = std::chrono::duration<double>(Clock::now() - b).count();
    benchmark::DoNotOptimize(found + bruteFound);
    const double walkRate = double(walks) / walkTime, bruteRate = double(segments.size()) / bruteTime;
    state.counters["walks_per_s"] = walkRate;
    state.counters["brute_per_s"] = bruteRate;
    state.counters["ratio"] = walkRate / bruteRate;
}
BENCHMARK(BM_SegmentWalk)->Unit(benchmark::kMillisecond);

} // namespace
