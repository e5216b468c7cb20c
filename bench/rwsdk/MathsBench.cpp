// Transforms of 1 million points and normals: the engine's routine sets, a plain scalar loop and GLM.
// Each benchmark reports elements per second; compare the engine's figures with "glm" of the same run.
#include "bench/ThreadClock.h"
#include "rwsdk/driver/common/cpuext.h"

#include <benchmark/benchmark.h>
#include <glm/glm.hpp>

#include <chrono>
#include <random>
#include <vector>

namespace {

constexpr std::int32_t count = 1000000;

struct Data {
    std::vector<RwV3d> in, out;
    RwMatrix matrix{};
    glm::mat4 glmMatrix{};
    std::vector<glm::vec3> glmIn, glmOut;

    Data() : in(count), out(count), glmIn(count), glmOut(count) {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> value(-100.0f, 100.0f);
        for (std::int32_t i = 0; i < count; ++i) {
            in[i] = {value(random), value(random), value(random)};
            glmIn[i] = {in[i].x, in[i].y, in[i].z};
        }
        matrix.right = {0.36f, 0.48f, -0.8f};
        matrix.up = {-0.8f, 0.6f, 0.0f};
        matrix.at = {0.48f, 0.64f, 0.6f};
        matrix.pos = {10.0f, -20.0f, 30.0f};
        glmMatrix = glm::mat4(glm::vec4(0.36f, 0.48f, -0.8f, 0), glm::vec4(-0.8f, 0.6f, 0, 0),
                              glm::vec4(0.48f, 0.64f, 0.6f, 0), glm::vec4(10, -20, 30, 1));
    }
};

Data& Shared() {
    static Data data;
    return data;
}

void Finish(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * count);
}

template <RwV3d* (*Routine)(RwV3d*, const RwV3d*, std::int32_t, const RwMatrix*)>
void Engine(benchmark::State& state) {
    Data& d = Shared();
    for (auto _ : state) {
        Routine(d.out.data(), d.in.data(), count, &d.matrix);
        benchmark::DoNotOptimize(d.out.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void ChosenPoints(benchmark::State& state) {
    const RwCpuFeatures features = RwCpuGetFeatures();
    const RwCpuTransformRoutines* routines = RwCpuChooseTransformRoutines(&features);
    Data& d = Shared();
    for (auto _ : state) {
        routines->points(d.out.data(), d.in.data(), count, &d.matrix);
        benchmark::DoNotOptimize(d.out.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void ScalarPoints(benchmark::State& state) {
    Data& d = Shared();
    const RwMatrix& m = d.matrix;
    for (auto _ : state) {
        for (std::int32_t i = 0; i < count; ++i) {
            const RwV3d v = d.in[i];
            d.out[i] = {v.x * m.right.x + v.y * m.up.x + v.z * m.at.x + m.pos.x,
                        v.x * m.right.y + v.y * m.up.y + v.z * m.at.y + m.pos.y,
                        v.x * m.right.z + v.y * m.up.z + v.z * m.at.z + m.pos.z};
        }
        benchmark::DoNotOptimize(d.out.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void ScalarNormals(benchmark::State& state) {
    Data& d = Shared();
    const RwMatrix& m = d.matrix;
    for (auto _ : state) {
        for (std::int32_t i = 0; i < count; ++i) {
            const RwV3d v = d.in[i];
            d.out[i] = {v.x * m.right.x + v.y * m.up.x + v.z * m.at.x,
                        v.x * m.right.y + v.y * m.up.y + v.z * m.at.y,
                        v.x * m.right.z + v.y * m.up.z + v.z * m.at.z};
        }
        benchmark::DoNotOptimize(d.out.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void GlmPoints(benchmark::State& state) {
    Data& d = Shared();
    for (auto _ : state) {
        for (std::int32_t i = 0; i < count; ++i)
            d.glmOut[i] = glm::vec3(d.glmMatrix * glm::vec4(d.glmIn[i], 1.0f));
        benchmark::DoNotOptimize(d.glmOut.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void GlmNormals(benchmark::State& state) {
    Data& d = Shared();
    const glm::mat3 normalMatrix(d.glmMatrix);
    for (auto _ : state) {
        for (std::int32_t i = 0; i < count; ++i)
            d.glmOut[i] = normalMatrix * d.glmIn[i];
        benchmark::DoNotOptimize(d.glmOut.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

// The engine's chosen set and GLM timed in the same iterations, in turn first, in processor time; "ratio"
// above 1 means the engine is faster.
template <bool points> void AgainstGlm(benchmark::State& state) {
    const RwCpuFeatures features = RwCpuGetFeatures();
    const RwCpuTransformRoutines* routines = RwCpuChooseTransformRoutines(&features);
    Data& d = Shared();
    const glm::mat3 normalMatrix(d.glmMatrix);
    using Clock = ThreadClock;
    Clock::duration engine{}, reference{};
    bool engineFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == engineFirst) {
                if (points)
                    routines->points(d.out.data(), d.in.data(), count, &d.matrix);
                else
                    routines->vectors(d.out.data(), d.in.data(), count, &d.matrix);
                benchmark::DoNotOptimize(d.out.data());
                benchmark::ClobberMemory();
                engine += Clock::now() - t0;
            } else {
                for (std::int32_t i = 0; i < count; ++i)
                    d.glmOut[i] = points ? glm::vec3(d.glmMatrix * glm::vec4(d.glmIn[i], 1.0f))
                                         : normalMatrix * d.glmIn[i];
                benchmark::DoNotOptimize(d.glmOut.data());
                benchmark::ClobberMemory();
                reference += Clock::now() - t0;
            }
        }
        engineFirst = !engineFirst;
    }
    const double n = static_cast<double>(state.iterations()) * count;
    const double engineSeconds = std::chrono::duration<double>(engine).count();
    const double glmSeconds = std::chrono::duration<double>(reference).count();
    state.counters["engine/s"] = n / engineSeconds;
    state.counters["glm/s"] = n / glmSeconds;
    state.counters["ratio"] = glmSeconds / engineSeconds;
}

BENCHMARK(AgainstGlm<true>)->Name("points/engine against glm")->Unit(benchmark::kMillisecond);
BENCHMARK(AgainstGlm<false>)->Name("normals/engine against glm")->Unit(benchmark::kMillisecond);
BENCHMARK(ChosenPoints)->Name("points/engine chosen set")->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwSSETransformPoints>)->Name("points/engine sse")->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwSSEComponentTransformPoints>)
    ->Name("points/engine sse components")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwX87TransformPoints>)->Name("points/engine x87 set")->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwVector3DefaultTransformPoints>)
    ->Name("points/engine default")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ScalarPoints)->Name("points/scalar loop")->Unit(benchmark::kMillisecond);
BENCHMARK(GlmPoints)->Name("points/glm")->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwSSETransformVectors>)->Name("normals/engine sse")->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwSSEComponentTransformVectors>)
    ->Name("normals/engine sse components")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwX87TransformVectors>)->Name("normals/engine x87 set")->Unit(benchmark::kMillisecond);
BENCHMARK(Engine<RwVector3DefaultTransformVectors>)
    ->Name("normals/engine default")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ScalarNormals)->Name("normals/scalar loop")->Unit(benchmark::kMillisecond);
BENCHMARK(GlmNormals)->Name("normals/glm")->Unit(benchmark::kMillisecond);

} // namespace
