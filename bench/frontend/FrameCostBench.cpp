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
#include "bench/Offscreen.h"
#include "bench/frontend/SampleEngine.h"
#include "base/RandomTimeStamp.h"
#include "frontend/Flyover.h"
#include "objects/Terrain.h"

#include "rwsdk/src/camera.h"
#include "scene/EngineHost.h"
#include "scene/RenderProbe.h"
#include "scene/World.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cxxabi.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int Width = 1024, Height = 768;
using Clock = std::chrono::steady_clock;

// Calls counted on their way to the GL driver: libepoxy's entry points are pointers, replaced by hooks that
// count and call the driver's own function (asked of the GL context, so that epoxy's resolving stubs,
// which may call back through the pointer, are never reached).
struct GlCounts {
    uint64_t draws = 0, vertices = 0, primitives = 0, states = 0, programs = 0, uniforms = 0, uploads = 0;
};
GlCounts gl;

uint64_t Primitives(GLenum mode, uint64_t count) {
    switch (mode) {
    case GL_TRIANGLES:
        return count / 3;
    case GL_TRIANGLE_STRIP:
    case GL_TRIANGLE_FAN:
        return count >= 2 ? count - 2 : 0;
    case GL_LINES:
        return count / 2;
    case GL_LINE_STRIP:
        return count >= 1 ? count - 1 : 0;
    default:
        return count;
    }
}

void Work();

void CountDraw(GLenum mode, GLsizei count) {
    Work();
    ++gl.draws;
    gl.vertices += uint64_t(count);
    gl.primitives += Primitives(mode, uint64_t(count));
}

#define HOOKED(name, params, args, counting)                                                                 \
    decltype(epoxy_##name) real_##name = nullptr;                                                            \
    void GLAPIENTRY hook_##name params {                                                                     \
        counting;                                                                                            \
        real_##name args;                                                                                    \
    }
#define COUNTED(name, counter, params, args)                                                                 \
    decltype(epoxy_##name) real_##name = nullptr;                                                            \
    void GLAPIENTRY hook_##name params {                                                                     \
        ++gl.counter;                                                                                        \
        real_##name args;                                                                                    \
    }

HOOKED(glDrawArrays, (GLenum m, GLint f, GLsizei c), (m, f, c), CountDraw(m, c))
HOOKED(glDrawElements, (GLenum m, GLsizei c, GLenum t, const void* i), (m, c, t, i), CountDraw(m, c))
HOOKED(glDrawElementsBaseVertex, (GLenum m, GLsizei c, GLenum t, const void* i, GLint b), (m, c, t, i, b),
       CountDraw(m, c))
HOOKED(glMultiDrawArrays, (GLenum m, const GLint* f, const GLsizei* c, GLsizei n), (m, f, c, n),
       for (GLsizei i = 0; i < n; ++i) CountDraw(m, c[i]))
HOOKED(glMultiDrawElementsBaseVertex,
       (GLenum m, const GLsizei* c, GLenum t, const void* const* i, GLsizei n, const GLint* b),
       (m, c, t, i, n, b), for (GLsizei k = 0; k < n; ++k) CountDraw(m, c[k]))
HOOKED(glClear, (GLbitfield m), (m), Work())
HOOKED(glBlitFramebuffer,
       (GLint a, GLint b, GLint c, GLint d, GLint e, GLint f, GLint g, GLint h, GLbitfield m, GLenum i),
       (a, b, c, d, e, f, g, h, m, i), Work())
COUNTED(glEnable, states, (GLenum c), (c))
COUNTED(glDisable, states, (GLenum c), (c))
COUNTED(glBlendFuncSeparate, states, (GLenum a, GLenum b, GLenum c, GLenum d), (a, b, c, d))
COUNTED(glBlendEquationSeparate, states, (GLenum a, GLenum b), (a, b))
COUNTED(glDepthMask, states, (GLboolean f), (f))
COUNTED(glDepthFunc, states, (GLenum f), (f))
COUNTED(glCullFace, states, (GLenum f), (f))
COUNTED(glFrontFace, states, (GLenum f), (f))
COUNTED(glColorMask, states, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a))
COUNTED(glBindTexture, states, (GLenum t, GLuint n), (t, n))
COUNTED(glBindSampler, states, (GLuint u, GLuint s), (u, s))
COUNTED(glSamplerParameteri, states, (GLuint s, GLenum p, GLint v), (s, p, v))
COUNTED(glVertexAttribPointer, states, (GLuint i, GLint s, GLenum t, GLboolean n, GLsizei d, const void* p),
        (i, s, t, n, d, p))
COUNTED(glUseProgram, programs, (GLuint p), (p))
COUNTED(glBindBufferRange, uniforms, (GLenum t, GLuint i, GLuint b, GLintptr o, GLsizeiptr s),
        (t, i, b, o, s))
COUNTED(glBufferSubData, uploads, (GLenum t, GLintptr o, GLsizeiptr s, const void* d), (t, o, s, d))
COUNTED(glBufferData, uploads, (GLenum t, GLsizeiptr s, const void* d, GLenum u), (t, s, d, u))
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
    HOOK(glDrawElements);
    HOOK(glDrawElementsBaseVertex);
    HOOK(glMultiDrawArrays);
    HOOK(glMultiDrawElementsBaseVertex);
    HOOK(glClear);
    HOOK(glBlitFramebuffer);
    HOOK(glEnable);
    HOOK(glDisable);
    HOOK(glBlendFuncSeparate);
    HOOK(glBlendEquationSeparate);
    HOOK(glDepthMask);
    HOOK(glDepthFunc);
    HOOK(glCullFace);
    HOOK(glFrontFace);
    HOOK(glColorMask);
    HOOK(glBindTexture);
    HOOK(glBindSampler);
    HOOK(glSamplerParameteri);
    HOOK(glVertexAttribPointer);
    HOOK(glUseProgram);
    HOOK(glBindBufferRange);
    HOOK(glBufferSubData);
    HOOK(glBufferData);
    HOOK(glTexImage2D);
    HOOK(glTexSubImage2D);
    HOOK(glCompressedTexImage2D);
}

// A section's name as a reader wants it: a type's name demangled, with its namespace.
std::string Readable(const char* name) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string text = status == 0 && demangled ? demangled : name;
    std::free(demangled);
    return text;
}

// Per section: the frame's totals, summed over the frames measured.
struct Totals {
    double cpuMs = 0;  // on the drawing thread, waits for the rasteriser left out
    double wallMs = 0; // the section's whole cost: its work on the drawing thread and its rasterisation
    uint64_t pixels = 0;
    GlCounts calls;
};

class FrameProbe;
FrameProbe* activeProbe = nullptr;

// The probe: a stack of open sections. Each stretch of one section between two changes of the stack is a
// segment with its own occlusion query (GL queries of one kind do not nest), read back at the end of the
// frame. The software rasteriser bins a whole frame before it draws, and its timer queries span from the
// first begin to the last end over all its threads, which covers nearly the frame for any section; so a
// section's own cost is measured by finishing the GL's work whenever work of another section is about to
// reach it (a draw, a clear or Present's copy): the time between two such points belongs to the section
// that did the work. This serialises the drawing thread and the rasteriser, so the sections add up to more
// than the frame time measured without the probe.
class FrameProbe final : public Grp::RenderProbe {
public:
    FrameProbe() = default;
    ~FrameProbe() override {
        if (!pool_.empty())
            glDeleteQueries(GLsizei(pool_.size()), pool_.data());
    }

    void Begin(const char* section) override {
        Close();
        stack_.push_back(section);
        Open();
    }
    void End() override {
        Close();
        stack_.pop_back();
        if (!stack_.empty())
            Open();
    }

    // Work is about to reach the GL: a section other than the one being timed finishes what came before.
    void Work() {
        if (!stack_.empty() && stack_.back() != timed_)
            Switch();
    }

    // A frame: everything outside a section is "other".
    void StartFrame() {
        activeProbe = this;
        Begin("other (camera, engine, set-up)");
        timed_ = stack_.back();
        mark_ = Clock::now();
    }
    void EndFrame() {
        End();
        Switch();
        activeProbe = nullptr;
        for (size_t i = 0; i < segments_.size(); ++i) {
            GLuint64 samples = 0;
            glGetQueryObjectui64v(pool_[i], GL_QUERY_RESULT, &samples);
            segments_[i]->pixels += samples;
        }
        segments_.clear();
        ++frames_;
    }

    void Print(double frameMs) const {
        std::printf(
            "\nFrame cost by section, per frame over %d frames (frame time without the probe: %.1f ms "
            "p50)\n",
            frames_, frameMs);
        std::printf("%-40s %8s %8s %8s %6s %8s %8s %6s %5s %5s %5s\n", "section", "whole_ms", "cpu_ms",
                    "overdraw", "draws", "vertices", "prims", "states", "progs", "ubo", "upld");
        std::vector<std::pair<std::string, const Totals*>> rows;
        for (const auto& [name, totals] : sections_)
            rows.emplace_back(Readable(name), &totals);
        std::sort(rows.begin(), rows.end(),
                  [](const auto& a, const auto& b) { return a.second->wallMs > b.second->wallMs; });
        const double f = frames_;
        const auto row = [f](const std::string& name, const Totals& t) {
            std::printf(
                "%-40.40s %8.2f %8.2f %8.2f %6.0f %8.0f %8.0f %6.0f %5.0f %5.0f %5.1f\n", name.c_str(),
                t.wallMs / f, t.cpuMs / f, double(t.pixels) / f / (Width * Height), double(t.calls.draws) / f,
                double(t.calls.vertices) / f, double(t.calls.primitives) / f, double(t.calls.states) / f,
                double(t.calls.programs) / f, double(t.calls.uniforms) / f, double(t.calls.uploads) / f);
        };
        for (const auto& [name, t] : rows)
            row(name, *t);
        row("all", All());
        std::printf(
            "whole_ms: the section's drawing-thread work and its rasterisation, finished; cpu_ms: the "
            "drawing thread's part; overdraw: pixels passing the depth test per screen pixel; vertices: the "
            "count each draw passes, so an indexed draw counts its indices (a list of separate triangles "
            "shows 3 a triangle however many vertices they share)\n\n");
    }

    Totals All() const {
        Totals all;
        for (const auto& [name, t] : sections_)
            Add(all, t);
        return all;
    }
    int Frames() const { return frames_; }

private:
    static void Add(Totals& to, const Totals& t) {
        to.cpuMs += t.cpuMs;
        to.wallMs += t.wallMs;
        to.pixels += t.pixels;
        to.calls.draws += t.calls.draws;
        to.calls.vertices += t.calls.vertices;
        to.calls.primitives += t.calls.primitives;
        to.calls.states += t.calls.states;
        to.calls.programs += t.calls.programs;
        to.calls.uniforms += t.calls.uniforms;
        to.calls.uploads += t.calls.uploads;
    }

    void Switch() {
        const auto start = Clock::now();
        glFinish();
        const auto now = Clock::now();
        sections_[timed_].wallMs += std::chrono::duration<double, std::milli>(now - mark_).count();
        waitMs_ += std::chrono::duration<double, std::milli>(now - start).count();
        mark_ = now;
        timed_ = stack_.empty() ? nullptr : stack_.back();
    }

    void Open() {
        const size_t i = segments_.size();
        if (i == pool_.size()) {
            pool_.push_back(0);
            glGenQueries(1, &pool_.back());
        }
        segments_.push_back(&sections_[stack_.back()]);
        glBeginQuery(GL_SAMPLES_PASSED, pool_[i]);
        callsAtOpen_ = gl;
        waitMs_ = 0;
        openedAt_ = Clock::now();
    }
    void Close() {
        if (stack_.empty())
            return;
        const auto now = Clock::now();
        glEndQuery(GL_SAMPLES_PASSED);
        Totals& t = *segments_.back();
        t.cpuMs += std::chrono::duration<double, std::milli>(now - openedAt_).count() - waitMs_;
        t.calls.draws += gl.draws - callsAtOpen_.draws;
        t.calls.vertices += gl.vertices - callsAtOpen_.vertices;
        t.calls.primitives += gl.primitives - callsAtOpen_.primitives;
        t.calls.states += gl.states - callsAtOpen_.states;
        t.calls.programs += gl.programs - callsAtOpen_.programs;
        t.calls.uniforms += gl.uniforms - callsAtOpen_.uniforms;
        t.calls.uploads += gl.uploads - callsAtOpen_.uploads;
    }

    std::vector<const char*> stack_;
    std::map<const char*, Totals> sections_;
    std::vector<Totals*> segments_;
    std::vector<GLuint> pool_;
    GlCounts callsAtOpen_;
    Clock::time_point openedAt_, mark_;
    const char* timed_ = nullptr;
    double waitMs_ = 0;
    int frames_ = 0;
};

void Work() {
    if (activeProbe)
        activeProbe->Work();
}

void FrameCosts(benchmark::State& state) {
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("frame costs", Width, Height);
    const BenchSupport::SampleEngine engine(window, hwnd);
    if (!engine.Failure().empty()) {
        state.SkipWithError(engine.Failure().c_str());
        return;
    }
    InstallHooks();
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
            const GlCounts atStart = gl;
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
            state.counters["draws_per_frame"] = double(gl.draws - atStart.draws) / frames;
            state.counters["vertices_per_frame"] = double(gl.vertices - atStart.vertices) / frames;
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
            FrameProbe probe;
            Grp::renderProbe = &probe;
            k -= int(times.size());
            for (size_t i = 0; i < times.size(); ++i) {
                probe.StartFrame();
                frame();
                probe.EndFrame();
            }
            Grp::renderProbe = nullptr;
            const Totals all = probe.All();
            state.counters["probed_ms_per_frame"] = all.wallMs / probe.Frames();
            state.counters["overdraw"] = double(all.pixels) / probe.Frames() / (Width * Height);
            probe.Print(BenchSupport::Percentile(times, 50));
        }
        flyover.Stop();
    }
}
BENCHMARK(FrameCosts)->ArgName("water_cover")->Arg(1)->Arg(0)->Iterations(300)->Unit(benchmark::kMillisecond);

} // namespace
