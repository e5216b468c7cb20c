// Sky colour recomputation per altitude step (every dome vertex, with the sun's glow) and the cloud
// layer's frame preparation for about 5,000 particles (fading, sorting and vertex filling, no draw).
// Counters give the cost per vertex and per particle.
#include "objects/Clouds.h"
#include "objects/Sky.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void SkyColours(benchmark::State& state) {
    Base::Info node;
    node.LoadFile(SAMPLE_SKY_INFO);
    Obj::Sky sky;
    if (!sky.Load(node)) {
        state.SkipWithError(sky.Error().c_str());
        return;
    }
    float height = 0;
    for (auto _ : state) {
        height += 0.0021f * sky.Radius(); // one step past the threshold every time
        if (height > sky.Radius())
            height = 0;
        benchmark::DoNotOptimize(sky.UpdateColors(height));
    }
    state.counters["vertices"] = double(sky.VertexCount());
    state.counters["ns_per_vertex"] =
        benchmark::Counter(double(state.iterations()) * sky.VertexCount(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(SkyColours);

void CloudFrame(benchmark::State& state) {
    Base::Info node;
    node.LoadFile(SAMPLE_CLOUDS_INFO);
    node.GetChildForWrite("Density")->SetValue("1");
    node.GetChildForWrite("MaxParticlesPerCloud")->SetValue("60");
    Obj::Clouds clouds;
    if (!clouds.Load(node, 1)) {
        state.SkipWithError(clouds.Error().c_str());
        return;
    }
    const Obj::Clouds::View view{{0, 2000, 0}, {1, 0, 0}, {0, 0, 1}};
    clouds.UpdateActive(view.position);
    size_t particles = 0;
    for (const auto& active : clouds.ActiveClouds())
        particles += active.particles.size();
    std::vector<Obj::Clouds::Vertex> vertices(particles * 6);
    size_t drawn = 0;
    for (auto _ : state) {
        drawn = clouds.PrepareFrame(view).size();
        clouds.FillVertices(view, vertices.data());
        benchmark::ClobberMemory();
    }
    state.counters["particles"] = double(particles);
    state.counters["drawn"] = double(drawn);
    state.counters["ns_per_drawn"] =
        benchmark::Counter(double(state.iterations()) * double(drawn),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(CloudFrame);

} // namespace
