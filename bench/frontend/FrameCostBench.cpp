// Where a frame of the play command's flyover goes: the whole sample world along its camera path at
// 1024 x 768 offscreen on the software rasteriser, broken down by section (each kind of renderable, the
// terrain's streaming, water and land, the clear, the simulation and Present). Per section and frame: its
// whole cost (the drawing thread's work, the driver's vertex processing and set-up, which the software
// rasteriser does on the calling thread, and its rasterisation, finished), the drawing thread's part, the
// pixels that pass the depth test (an occlusion query), and the GL calls that reach the driver: draws,
// vertices, primitives, state changes, program changes, uniform-block writes and uploads. The frame time is
// measured first, over frames without the probe; the breakdown comes from the same frames again with it,
// and is printed as a table after the run. Run in build/data (the sample data tree) with vblank_mode=0.
#include "bench/AllocationCounter.h"
#include "bench/FrameProbe.h"
#include "bench/Offscreen.h"
#include "bench/frontend/SampleEngine.h"
#include "base/RandomTimeStamp.h"
#include "frontend/Flyover.h"
#include "objects/Terrain.h"

#include "rwsdk/src/camera.h"
#include "scene/EngineHost.h"
#include "scene/World.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Width = 1024, Height = 768;
using Clock = std::chrono::steady_clock;

void FrameCosts(benchmark::State& state) {
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("frame costs", Width, Height);
    const BenchSupport::SampleEngine engine(window, hwnd);
    if (!engine.Failure().empty()) {
        state.SkipWithError(engine.Failure().c_str());
        return;
    }
    BenchSupport::InstallGlHooks();
    {
        Base::Config settings;
        Fe::Flyover flyover;
        // The clouds' layout is drawn from the clock at load: fixed here, so that runs compare.
        Base::RandomTimeStamp = [] { return 20261211u; };
        const bool started = flyover.Start(settings, 1);
        Base::RandomTimeStamp = nullptr;
        if (!started || !flyover.World()->terrain || !flyover.World()->terrain->IsLoaded()) {
            state.SkipWithError("the sample scenery does not load");
        } else {
            // Argument 0: the water under the whole of every slice with land, to compare with.
            Obj::Terrain& terrain = *flyover.World()->terrain;
            terrain.SetWaterCoverEnabled(state.range(0) != 0);
            uint64_t waterCells = 0, cellsUnderLand = 0, landCells = 0, landCellsOverWater = 0;
            // One lap of the path at 25 frames a second of path time; the window stands for the game's, so
            // that Present runs as it does in the game.
            const double step = 1.0 / 25;
            const int lap = int(Fe::Flyover::LapTime / step);
            int k = 0;
            const auto frame = [&] {
                flyover.Frame(double(k % lap) * step, step, Rw::ColourRaster, Rw::DepthRaster, hwnd);
                ++k;
            };
            // Warm: the first frames compile programs and stream the first slices in.
            for (int i = 0; i < 25; ++i)
                frame();
            std::vector<double> times;
            const BenchSupport::GlCounts atStart = BenchSupport::gl;
            const AllocationCounter::Counts allocationsAtStart = AllocationCounter::Now();
            for (auto _ : state) {
                const auto start = Clock::now();
                frame();
                times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                waterCells += terrain.WaterCellsDrawn();
                cellsUnderLand += terrain.WaterCellsUnderLand();
                landCells += terrain.LandCellsOverWater();
                landCellsOverWater += terrain.WaterCellsUnderLand();
            }
            const double frames = double(times.size());
            state.counters["allocs_per_frame"] =
                double(AllocationCounter::Since(allocationsAtStart).all) / frames;
            state.counters["p50_ms"] = BenchSupport::Percentile(times, 50);
            state.counters["p99_ms"] = BenchSupport::Percentile(times, 99);
            state.counters["fps_p50"] = 1000.0 / BenchSupport::Percentile(times, 50);
            state.counters["draws_per_frame"] = double(BenchSupport::gl.draws - atStart.draws) / frames;
            state.counters["vertices_per_frame"] =
                double(BenchSupport::gl.vertices - atStart.vertices) / frames;
            // Of the cells of the visible slices with land and water, those with water drawn under them.
            state.counters["water_under_land"] =
                cellsUnderLand ? double(waterCells) / double(cellsUnderLand) : 0;
            // Of the same cells, those with their land drawn (the others are wholly transparent).
            state.counters["land_over_water"] =
                landCellsOverWater ? double(landCells) / double(landCellsOverWater) : 0;

            // The same frames again, untimed, with attribution: the allocations our own code asks for.
            k -= int(times.size());
            AllocationCounter::Attribute(true);
            const AllocationCounter::Counts oursAtStart = AllocationCounter::Now();
            for (size_t i = 0; i < times.size(); ++i)
                frame();
            AllocationCounter::Attribute(false);
            state.counters["ours_allocs_per_frame"] =
                double(AllocationCounter::Since(oursAtStart).ours) / frames;

            // The same frames again with the probe, from the same place on the path.
            BenchSupport::FrameProbe probe(Width * Height);
            Grp::renderProbe = &probe;
            k -= int(times.size());
            for (size_t i = 0; i < times.size(); ++i) {
                probe.StartFrame();
                frame();
                probe.EndFrame();
            }
            Grp::renderProbe = nullptr;
            const BenchSupport::Totals all = probe.All();
            state.counters["probed_ms_per_frame"] = all.wallMs / probe.Frames();
            state.counters["overdraw"] = double(all.pixels) / probe.Frames() / (Width * Height);
            probe.Print(BenchSupport::Percentile(times, 50));
        }
        flyover.Stop();
    }
}
BENCHMARK(FrameCosts)->ArgName("water_cover")->Arg(1)->Arg(0)->Iterations(300)->Unit(benchmark::kMillisecond);

} // namespace
