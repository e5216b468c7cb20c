// Where a drawn frame goes, section by section, for the benchmarks that draw: the GL calls that reach the
// driver are counted on their way, and a probe (set as the engine's render probe) charges each section its
// time, the drawing thread's part of it, its pixels through the depth test and its calls.
#pragma once

#include "bench/ThreadClock.h"
#include "scene/RenderProbe.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace BenchSupport {

// Calls counted on their way to the GL driver: libepoxy's entry points are pointers, replaced by hooks that
// count and call the driver's own function (asked of the GL context, so that epoxy's resolving stubs,
// which may call back through the pointer, are never reached).
struct GlCounts {
    uint64_t draws = 0, vertices = 0, primitives = 0, states = 0, programs = 0, uniforms = 0, uploads = 0;
};
// The calls counted so far.
extern GlCounts gl;

// Replaces libepoxy's entry points of the counted calls by the counting hooks; call with the context current.
void InstallGlHooks();

// A section's name as a reader wants it: a type's name demangled, with its namespace.
std::string Readable(const char* name);

using Clock = std::chrono::steady_clock;

class FrameProbe;
// The probe of the frame being measured, or null.
extern FrameProbe* activeProbe;

// Per section: the frame's totals, summed over the frames measured.
struct Totals {
    double cpuMs = 0;    // on the drawing thread, waits for the rasteriser left out
    double threadMs = 0; // the drawing thread's processor time (no time waiting for a core or a lock)
    uint64_t blocks = 0; // times the drawing thread waited inside the GL (its voluntary context switches)
    double wallMs = 0;   // the section's whole cost: its work on the drawing thread and its rasterisation
    uint64_t pixels = 0;
    GlCounts calls;
};

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
    // screenPixels: the frame's pixels, for overdraw.
    // CORVANE_PROBE_EACH_SECTION=1: finish the GL's work at every change of section as well, so that a
    // section that does no GL work of its own (the terrain's streaming, a renderable's preparation before
    // its first draw) is charged its own time instead of adding it to the section that drew last.
    explicit FrameProbe(int screenPixels) : screenPixels_(screenPixels) {
        const char* each = std::getenv("CORVANE_PROBE_EACH_SECTION");
        eachSection_ = each && *each && *each != '0';
    }
    ~FrameProbe() override {
        if (!pool_.empty())
            glDeleteQueries(GLsizei(pool_.size()), pool_.data());
    }

    void Begin(const char* section) override {
        Close();
        if (eachSection_ && !stack_.empty())
            Switch();
        stack_.push_back(section);
        if (eachSection_)
            timed_ = section;
        Open();
    }
    void End() override {
        Close();
        if (eachSection_)
            Switch();
        stack_.pop_back();
        if (eachSection_ && !stack_.empty())
            timed_ = stack_.back();
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
        std::printf("%-40s %8s %8s %9s %6s %8s %6s %8s %8s %6s %5s %5s %5s\n", "section", "whole_ms",
                    "cpu_ms", "thread_ms", "blocks", "overdraw", "draws", "vertices", "prims", "states",
                    "progs", "ubo", "upld");
        std::vector<std::pair<std::string, const Totals*>> rows;
        for (const auto& [name, totals] : sections_)
            rows.emplace_back(Readable(name), &totals);
        std::sort(rows.begin(), rows.end(),
                  [](const auto& a, const auto& b) { return a.second->wallMs > b.second->wallMs; });
        const double f = frames_;
        const double pixels = screenPixels_;
        const auto row = [f, pixels](const std::string& name, const Totals& t) {
            std::printf("%-40.40s %8.2f %8.2f %9.2f %6.1f %8.2f %6.0f %8.0f %8.0f %6.0f %5.0f %5.0f %5.1f\n",
                        name.c_str(), t.wallMs / f, t.cpuMs / f, t.threadMs / f, double(t.blocks) / f,
                        double(t.pixels) / f / pixels, double(t.calls.draws) / f,
                        double(t.calls.vertices) / f, double(t.calls.primitives) / f,
                        double(t.calls.states) / f, double(t.calls.programs) / f,
                        double(t.calls.uniforms) / f, double(t.calls.uploads) / f);
        };
        for (const auto& [name, t] : rows)
            row(name, *t);
        row("all", All());
        std::printf(
            "whole_ms: the section's drawing-thread work and its rasterisation, finished; cpu_ms: the "
            "drawing thread's part (its time, waits for the rasteriser's finish left out); thread_ms: the "
            "drawing thread's processor time in it; blocks: the times it waited inside the driver for a lock "
            "or "
            "a fence (not for a core); overdraw: pixels passing the depth test per screen pixel; vertices: "
            "the "
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
        to.threadMs += t.threadMs;
        to.blocks += t.blocks;
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

    // The calling thread's voluntary context switches so far: each is a wait (a lock, a fence).
    static uint64_t Blocks() {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return uint64_t(usage.ru_nvcsw);
    }

    void Switch() {
        const auto start = Clock::now();
        const auto threadStart = ThreadClock::now();
        const uint64_t blocksStart = Blocks();
        glFinish();
        waitBlocks_ += Blocks() - blocksStart;
        waitThreadMs_ += std::chrono::duration<double, std::milli>(ThreadClock::now() - threadStart).count();
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
        waitMs_ = waitThreadMs_ = 0;
        waitBlocks_ = 0;
        blocksAtOpen_ = Blocks();
        threadAtOpen_ = ThreadClock::now();
        openedAt_ = Clock::now();
    }
    void Close() {
        if (stack_.empty())
            return;
        const auto now = Clock::now();
        glEndQuery(GL_SAMPLES_PASSED);
        Totals& t = *segments_.back();
        t.cpuMs += std::chrono::duration<double, std::milli>(now - openedAt_).count() - waitMs_;
        t.threadMs += std::chrono::duration<double, std::milli>(ThreadClock::now() - threadAtOpen_).count() -
                      waitThreadMs_;
        t.blocks += Blocks() - blocksAtOpen_ - waitBlocks_;
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
    ThreadClock::time_point threadAtOpen_;
    const char* timed_ = nullptr;
    double waitMs_ = 0, waitThreadMs_ = 0;
    uint64_t blocksAtOpen_ = 0, waitBlocks_ = 0;
    int frames_ = 0;
    int screenPixels_;
    bool eachSection_ = false;
};

} // namespace BenchSupport
