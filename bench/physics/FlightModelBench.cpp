// The complex flight model's cost: steps per second of one airplane, and 50 airplanes stepped through one
// 16.7 ms frame at the airplanes' 0.01 s step (a 0.01 s step and a 0.0067 s remainder each), as a share of
// that frame (target: under 5 %). Runs in the built data tree (CORVANE_DATA_DIR, else ../data beside the
// executable) for "Data\Airfoil.dat" and the sample airplane's description.
#include "physics/AirplanePhysicsComplex.h"

#include "base/Info.h"
#include "rwsdk/src/engine.h"
#include "scene/Frame.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr double FrameSeconds = 0.0167;

struct Engine {
    bool ok = false;
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && Rw::Frame::RegisterPlugins();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
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
    return !error && std::filesystem::exists("Data/Airfoil.dat");
}

Physics::PhysicsParams SampleParams() {
    Base::Info info;
    info.LoadFile("Data/Models/Airplanes/F16.info");
    Physics::PhysicsParams params;
    Physics::ReadPhysicsParams(info, params);
    params.complex.centerWheelPosition = {0, -1.3f, 4.0f};
    params.complex.sideWheelPosition = {1.4f, -1.2f, -0.6f};
    return params;
}

// Level at 3000 m and 200 m/s over terrain 2900 m below, so that springs and wheels probe the ground too.
Physics::AirplaneState Flying(float x) {
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);
    s.position = {x, 3000, 0};
    s.precisePosition[0] = x;
    s.precisePosition[1] = 3000;
    s.velocity = {0, 0, 200};
    s.thrustFactor = 0.4f;
    s.pitchInput = 0.08f;
    s.groundValid = 1;
    s.groundNormal = {0, 1, 0};
    s.groundDistance = 100;
    s.groundRoughness = 0.2f;
    s.gearExtension = 1;
    return s;
}

void ComplexModelSteps(benchmark::State& state) {
    Engine engine;
    if (!engine.ok || !EnterDataTree()) {
        state.SkipWithError("no engine or no data tree");
        return;
    }
    const Physics::AirplaneState start = Flying(0);
    Physics::AirplanePhysicsComplex model(SampleParams(), start);
    int steps = 0;
    for (auto _ : state) {
        // Back to the start every 10 s of flight, so that every step is one of flight, not of a crash.
        if (++steps == 1000) {
            steps = 0;
            model.SetState(start);
        }
        model.Step(0.01f);
        benchmark::DoNotOptimize(model.state.position);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ComplexModelSteps);

// Reports the frame's time for 50 airplanes, the 16.7 ms frame, and the share (target under 0.05).
void FiftyAirplanesOneFrame(benchmark::State& state) {
    Engine engine;
    if (!engine.ok || !EnterDataTree()) {
        state.SkipWithError("no engine or no data tree");
        return;
    }
    const Physics::PhysicsParams params = SampleParams();
    std::vector<std::unique_ptr<Physics::AirplanePhysicsComplex>> airplanes;
    for (int i = 0; i < 50; ++i)
        airplanes.push_back(std::make_unique<Physics::AirplanePhysicsComplex>(params, Flying(i * 100.0f)));
    using Clock = std::chrono::steady_clock;
    Clock::duration total{};
    int frames = 0;
    for (auto _ : state) {
        // Back to the start every 10 s of flight (not timed), so that every step is one of flight.
        if (++frames == 600) {
            frames = 0;
            for (int i = 0; i < 50; ++i)
                airplanes[i]->SetState(Flying(i * 100.0f));
        }
        const auto start = Clock::now();
        for (auto& airplane : airplanes) {
            double left = FrameSeconds;
            while (left > 1e-9) {
                const double step = std::min(0.01, left);
                airplane->Step(float(step));
                left -= step;
            }
        }
        total += Clock::now() - start;
    }
    const double frame = std::chrono::duration<double>(total).count() / double(state.iterations());
    state.counters["frame_ms"] = frame * 1000;
    state.counters["budget_ms"] = FrameSeconds * 1000;
    state.counters["share"] = frame / FrameSeconds;
}
BENCHMARK(FiftyAirplanesOneFrame)->Unit(benchmark::kMillisecond);

} // namespace
