// Segment tests on the sample terrain: the cell walk against brute force over every cell of the grid, for
// bullet steps (50 units), vertical probes (20 km) and long oblique segments (10 km). Both are timed in the
// same run; the counters give segments per second of each and their ratio.
#include "bench/objects/SampleTerrain.h"
#include "objects/Terrain.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

namespace {

Obj::Terrain& SampleTerrain() {
    static Obj::Terrain terrain;
    static bool built = false;
    if (!built) {
        built = true;
        std::ifstream in(SAMPLE_TERRAIN_INFO);
        std::stringstream text;
        text << in.rdbuf();
        Base::Info info;
        info.LoadText(text.str());
        BenchSupport::LoadSampleTerrain(terrain, info);
    }
    return terrain;
}

// The first hit of every cell's test, by the smallest distance from the start.
bool BruteForce(const Obj::Terrain& terrain, const Obj::Terrain::Segment& s, Base::Vector3& best) {
    bool any = false;
    float bestDistance = 0;
    for (int32_t z = 0; z < terrain.GridDepth() - 1; ++z)
        for (int32_t x = 0; x < terrain.GridWidth() - 1; ++x) {
            Base::Vector3 p;
            if (!terrain.CellIntersectSegment(s, x, z, &p, nullptr))
                continue;
            const float d =
                float(Base::VectorLength(Base::Vector3{p.x - s.start.x, p.y - s.start.y, p.z - s.start.z}));
            if (!any || d < bestDistance) {
                any = true;
                bestDistance = d;
                best = p;
            }
        }
    return any;
}

std::vector<Obj::Terrain::Segment> Segments(int kind, int count) {
    std::mt19937 random(77);
    std::uniform_real_distribution<float> xz(-15000, 15000), unit(-1, 1), low(0, 600);
    std::vector<Obj::Terrain::Segment> out;
    for (int k = 0; k < count; ++k) {
        const Base::Vector3 a{xz(random), 0, xz(random)};
        if (kind == 0) { // a bullet's step: 50 units, a little above or through the ground
            Base::Vector3 d =
                Base::Normalize3d(Base::Vector3{unit(random), unit(random) * 0.5f, unit(random)});
            const Base::Vector3 s{a.x, low(random), a.z};
            out.push_back({s, {s.x + d.x * 50, s.y + d.y * 50, s.z + d.z * 50}});
        } else if (kind == 1) { // a vertical probe from 10 km down to -10 km
            out.push_back({{a.x, 10000, a.z}, {a.x, -10000, a.z}});
        } else { // 10 km at a shallow dive
            const float heading = unit(random) * 3.14159f;
            const Base::Vector3 s{a.x, 2500, a.z};
            out.push_back({s, {s.x + 9950 * std::cos(heading), 0, s.z + 9950 * std::sin(heading)}});
        }
    }
    return out;
}

void SegmentTests(benchmark::State& state) {
    const Obj::Terrain& terrain = SampleTerrain();
    const int kind = int(state.range(0));
    const std::vector<Obj::Terrain::Segment> segments = Segments(kind, 4096);
    size_t k = 0, hits = 0;
    const auto start = std::chrono::steady_clock::now();
    uint64_t walked = 0;
    for (auto _ : state) {
        Base::Vector3 p;
        hits += terrain.IntersectSegment(segments[k], &p, nullptr);
        k = (k + 1) % segments.size();
        ++walked;
    }
    const double walkSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Brute force over a few of the same segments, in the same run.
    const int bruteCount = 24;
    const auto bruteStart = std::chrono::steady_clock::now();
    size_t bruteHits = 0;
    for (int b = 0; b < bruteCount; ++b) {
        Base::Vector3 p;
        bruteHits += BruteForce(terrain, segments[size_t(b)], p);
    }
    const double bruteSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - bruteStart).count();
    const double walkRate = double(walked) / walkSeconds, bruteRate = bruteCount / bruteSeconds;
    state.counters["walk_per_s"] = walkRate;
    state.counters["brute_per_s"] = bruteRate;
    state.counters["ratio"] = walkRate / bruteRate;
    state.counters["hit_share"] = double(hits) / double(walked);
    benchmark::DoNotOptimize(bruteHits);
    state.SetLabel(kind == 0 ? "bullet steps 50" : kind == 1 ? "vertical probes 20 km" : "oblique 10 km");
}
BENCHMARK(SegmentTests)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
