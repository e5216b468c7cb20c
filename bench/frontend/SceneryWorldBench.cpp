// The whole sample world (sky, clouds, terrain with its water, generated scenery, two airbases) along the
// play command's camera path at 1024 x 768 offscreen on the software rasteriser: frame time p50 and p99,
// and per frame the GL draw calls, state changes, buffer creations and texture uploads that reach the
// driver, the terrain slice and scenery sector builds, and heap allocations. The reference is the terrain
// alone along the same path, in the same run. Run in build/data (the sample data tree) with vblank_mode=0.
#include "bench/Offscreen.h"
#include "bench/frontend/SampleEngine.h"
#include "bench/AllocationCounter.h"
#include "frontend/Flyover.h"
#include "objects/AutoGen.h"
#include "objects/Terrain.h"

#include "rwsdk/src/camera.h"
#include "scene/EngineHost.h"
#include "scene/World.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Width = 1024, Height = 768;

// Calls counted on their way to the GL driver: libepoxy's entry points are pointers, replaced by hooks
// that count and call the driver's own function (asked of the GL context, so that epoxy's resolving
// stubs, which may call back through the pointer, are never reached).
struct GlCounts {
    uint64_t draws = 0, states = 0, buffers = 0, uploads = 0;
};
GlCounts gl;

#define COUNTED(name, counter, params, args)                                                                 \
    decltype(epoxy_##name) real_##name = nullptr;                                                            \
    void GLAPIENTRY hook_##name params {                                                                     \
        ++gl.counter;                                                                                        \
        real_##name args;                                                                                    \
    }

COUNTED(glDrawArrays, draws, (GLenum m, GLint f, GLsizei c), (m, f, c))
COUNTED(glDrawElementsBaseVertex, draws, (GLenum m, GLsizei c, GLenum t, const void* i, GLint b),
        (m, c, t, i, b))
COUNTED(glDrawRangeElementsBaseVertex, draws,
        (GLenum m, GLuint s, GLuint e, GLsizei c, GLenum t, const void* i, GLint b), (m, s, e, c, t, i, b))
COUNTED(glEnable, states, (GLenum c), (c))
COUNTED(glDisable, states, (GLenum c), (c))
COUNTED(glBlendFuncSeparate, states, (GLenum a, GLenum b, GLenum c, GLenum d), (a, b, c, d))
COUNTED(glBlendEquationSeparate, states, (GLenum a, GLenum b), (a, b))
COUNTED(glDepthMask, states, (GLboolean f), (f))
COUNTED(glDepthFunc, states, (GLenum f), (f))
COUNTED(glCullFace, states, (GLenum f), (f))
COUNTED(glFrontFace, states, (GLenum f), (f))
COUNTED(glColorMask, states, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a))
COUNTED(glUseProgram, states, (GLuint p), (p))
COUNTED(glBindTexture, states, (GLenum t, GLuint n), (t, n))
COUNTED(glBindSampler, states, (GLuint u, GLuint s), (u, s))
COUNTED(glSamplerParameteri, states, (GLuint s, GLenum p, GLint v), (s, p, v))
COUNTED(glGenBuffers, buffers, (GLsizei n, GLuint* b), (n, b))
COUNTED(glTexImage2D, uploads,
        (GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum y, const void* p),
        (t, l, i, w, h, b, f, y, p))
COUNTED(glTexSubImage2D, uploads,
        (GLenum t, GLint l, GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum z, const void* p),
        (t, l, x, y, w, h, f, z, p))
COUNTED(glCompressedTexImage2D, uploads,
        (GLenum t, GLint l, GLenum i, GLsizei w, GLsizei h, GLint b, GLsizei s, const void* p),
        (t, l, i, w, h, b, s, p))

#define HOOK(name)                                                                                           \
    real_##name = reinterpret_cast<decltype(real_##name)>(SDL_GL_GetProcAddress(#name));                     \
    if (real_##name)                                                                                         \
    epoxy_##name = hook_##name

void InstallHooks() {
    HOOK(glDrawArrays);
    HOOK(glDrawElementsBaseVertex);
    HOOK(glDrawRangeElementsBaseVertex);
    HOOK(glEnable);
    HOOK(glDisable);
    HOOK(glBlendFuncSeparate);
    HOOK(glBlendEquationSeparate);
    HOOK(glDepthMask);
    HOOK(glDepthFunc);
    HOOK(glCullFace);
    HOOK(glFrontFace);
    HOOK(glColorMask);
    HOOK(glUseProgram);
    HOOK(glBindTexture);
    HOOK(glBindSampler);
    HOOK(glSamplerParameteri);
    HOOK(glGenBuffers);
    HOOK(glTexImage2D);
    HOOK(glTexSubImage2D);
    HOOK(glCompressedTexImage2D);
}

using BenchSupport::Percentile;

void SceneryWorldFrames(benchmark::State& state) {
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("scenery", Width, Height);
    const BenchSupport::SampleEngine engine(window, hwnd);
    if (!engine.Failure().empty()) {
        state.SkipWithError(engine.Failure().c_str());
        return;
    }
    InstallHooks();
    {
        Base::Config settings;
        Fe::Flyover flyover;
        if (!flyover.Start(settings, 1) || !flyover.World()->terrain ||
            !flyover.World()->terrain->IsLoaded()) {
            state.SkipWithError("the sample scenery does not load");
        } else {
            Grp::World& world = *flyover.World();
            Obj::AutoGen* autogen = nullptr;
            world.ForEach([&](Obj::Object* o) {
                if (!autogen)
                    autogen = dynamic_cast<Obj::AutoGen*>(o);
            });
            const auto sectorBuilds = [&] {
                return uint64_t(world.terrain->Rebuilds()) + (autogen ? autogen->sectorsBuilt : 0);
            };
            // One lap of the path at 25 frames a second of path time.
            const double step = 1.0 / 25;
            const int lap = int(Fe::Flyover::LapTime / step);
            const auto frame = [&](int k) {
                flyover.Frame(k * step, step, Rw::ColourRaster, Rw::DepthRaster, nullptr);
                RwCameraShowRaster(flyover.Camera(), nullptr, 0);
            };
            // Warm: the first frames compile programs and stream the first slices in.
            for (int k = 0; k < 25; ++k)
                frame(k);
            std::vector<double> times;
            const GlCounts glAtStart = gl;
            const uint64_t buildsAtStart = sectorBuilds();
            const AllocationCounter::Counts allocationsAtStart = AllocationCounter::Now();
            int k = 25;
            for (auto _ : state) {
                const auto start = std::chrono::steady_clock::now();
                frame(k++ % lap);
                times.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
            }
            const double frames = double(times.size());
            const AllocationCounter::Counts allocations = AllocationCounter::Since(allocationsAtStart);
            state.counters["p50_ms"] = Percentile(times, 50);
            state.counters["p99_ms"] = Percentile(times, 99);
            state.counters["draws_per_frame"] = double(gl.draws - glAtStart.draws) / frames;
            state.counters["states_per_frame"] = double(gl.states - glAtStart.states) / frames;
            state.counters["buffers_per_frame"] = double(gl.buffers - glAtStart.buffers) / frames;
            state.counters["uploads_per_frame"] = double(gl.uploads - glAtStart.uploads) / frames;
            state.counters["builds_per_frame"] = double(sectorBuilds() - buildsAtStart) / frames;
            state.counters["allocs_per_frame"] = double(allocations.all) / frames;

            // The reference in the same run: the terrain alone, on the same camera and path.
            RwCamera* camera = flyover.Camera();
            std::vector<double> reference;
            for (size_t n = 0; n < times.size(); ++n) {
                flyover.PlaceCamera(double((25 + n) % size_t(lap)) * step);
                const auto start = std::chrono::steady_clock::now();
                RwCameraBeginUpdate(camera);
                RwRGBA haze = {190, 208, 228, 255};
                RwCameraClear(camera, &haze, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
                world.terrain->Render(camera, world.time->time);
                RwCameraEndUpdate(camera);
                RwCameraShowRaster(camera, nullptr, 0);
                reference.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
            }
            state.counters["terrain_p50_ms"] = Percentile(reference, 50);
            state.counters["world_over_terrain_p50"] = Percentile(times, 50) / Percentile(reference, 50);
        }
        flyover.Stop();
    }
}
BENCHMARK(SceneryWorldFrames)->Iterations(600)->Unit(benchmark::kMillisecond);

} // namespace
