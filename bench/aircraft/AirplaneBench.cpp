// 50 airplanes of the sample fighter on the complex flight model in one world: one 16.7 ms frame of the
// world's simulation (flight model and engine at the airplanes' 0.01 s step), run pass (ground probe, part
// animations, wheels, control surfaces, trails) and view culling, as a share of that frame (target under 5
// %), and the heap allocations our own code makes in a warm frame (target 0). Runs in the built data tree
// (CORVANE_DATA_DIR, else ../data beside the executable).
#include "aircraft/Airplane.h"
#include "bench/AllocationCounter.h"
#include "scene/AnimationFile.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

constexpr double FrameSeconds = 0.0167;

struct Engine {
    bool ok = false;
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpUserDataPluginAttach() &&
             RpCollisionPluginAttach() && RpHAnimPluginAttach() && Rw::Frame::RegisterPlugins() &&
             Rw::RegisterWrapperPlugins() && Rw::AtomicLodData::RegisterPlugin();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
};

bool EnterDataTree() {
    std::filesystem::path data;
    if (const char* dir = std::getenv("CORVANE_DATA_DIR"))
        data = dir;
    else
        data = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "data";
    std::error_code error;
    std::filesystem::current_path(data, error);
    if (error || !std::filesystem::exists("Data/Airfoil.dat"))
        return false;
    Base::ClumpCache::Directory = "Data/Models/";
    Base::AnimationCache::Directory = "Data/Anims/";
    Rw::InstallClumpCache();
    Rw::InstallAnimationCache();
    return true;
}

Rw::CameraView View() {
    Rw::CameraView view;
    view.position = {2500, 3000, -2000};
    view.at = {0, 0, 1};
    view.up = {0, 1, 0};
    view.windowX = 1;
    view.windowY = 0.75f;
    view.nearClip = 2;
    view.farClip = 60000;
    return view;
}

void FiftyAirplanesOneFrame(benchmark::State& state) {
    Engine engine;
    if (!engine.ok || !EnterDataTree()) {
        state.SkipWithError("no engine or no data tree");
        return;
    }
    {
        Grp::World world;
        for (int i = 0; i < 50; ++i) {
            auto* airplane = new Obj::Airplane;
            airplane->seed = uint32_t(i + 1);
            if (!airplane->Load("Data/Models/Airplanes/F16", Obj::Airplane::ComplexModel)) {
                delete airplane;
                state.SkipWithError("the sample airplane does not load");
                return;
            }
            world.AddObject(airplane);
            airplane->Place(float(i % 10) * 500, float(i / 10) * 500, 3000, 0, 200);
            Physics::AirplaneState s = airplane->GetState();
            s.throttle = 0.8f;
            s.pitchInput = 0.05f;
            s.gearDownCommand = float(i % 2); // half of them lowering their gear
            airplane->SetState(s);
        }
        const Rw::CameraView view = View();
        float t = 0;
        size_t visible = 0;
        auto frame = [&] {
            world.time->step = float(FrameSeconds);
            Grp::SimulateGroup(*world.simulateables, t, t + float(FrameSeconds));
            t += float(FrameSeconds);
            world.time->time = t;
            Grp::RunGroup(*world.runnables);
            visible = 0;
            for (Obj::Renderable* member : Grp::VisibleRange(view, *world.renderables)) {
                (void)member;
                ++visible;
            }
        };
        for (int n = 0; n < 30; ++n)
            frame();
        using Clock = std::chrono::steady_clock;
        Clock::duration total{};
        AllocationCounter::Attribute(true);
        const auto start = AllocationCounter::Now();
        for (auto _ : state) {
            const auto a = Clock::now();
            frame();
            total += Clock::now() - a;
        }
        const auto allocations = AllocationCounter::Since(start);
        AllocationCounter::Attribute(false);
        const double frames = double(state.iterations());
        const double seconds = std::chrono::duration<double>(total).count() / frames;
        state.counters["frame_ms"] = seconds * 1000;
        state.counters["budget_ms"] = FrameSeconds * 1000;
        state.counters["share"] = seconds / FrameSeconds;
        state.counters["ours_allocs_per_frame"] = double(allocations.ours) / frames;
        state.counters["visible"] = double(visible);
    }
}
BENCHMARK(FiftyAirplanesOneFrame)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
