// Line queries per second against a 20,000-triangle terrain-like model, through its collision tree and by
// brute force over every triangle (the ratio is the tree's gain), and standard keyframes interpolated per
// second beside the same slerp and lerp loop written with GLM (the ratio is the engine's cost over GLM's).
#include "bench/ThreadClock.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/tool/anim/rtanim.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cmath>
#include <ctime>
#include <random>
#include <vector>

namespace {

struct Engine {
    bool started = false;
    Engine() {
        started = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpCollisionPluginAttach() &&
                  RpHAnimPluginAttach() && RtAnimToolkitAttach();
        RwEngineOpenParams params = {nullptr};
        started = started && RwEngineOpen(&params) && RwEngineStart();
    }
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

// A 100 x 100 grid of quads (20,000 triangles) over hills, 10 m apart.
RpGeometry* Terrain() {
    const int n = 100;
    RpGeometry* g = RpGeometryCreate((n + 1) * (n + 1), 2 * n * n, rpGEOMETRYPOSITIONS);
    RwV3d* verts = g->morphTarget[0].verts;
    for (int v = 0; v < (n + 1) * (n + 1); ++v) {
        const RwReal x = RwReal(v % (n + 1)) * 10.0f, z = RwReal(v / (n + 1)) * 10.0f;
        verts[v] = {x, 30.0f * std::sin(x * 0.01f) * std::cos(z * 0.013f), z};
    }
    RpTriangle* t = g->triangles;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const RwUInt16 a = RwUInt16(r * (n + 1) + c), b = RwUInt16(a + 1), d = RwUInt16(a + n + 1),
                           e = RwUInt16(d + 1);
            RpGeometryTriangleSetVertexIndices(g, t++, a, d, b);
            RpGeometryTriangleSetVertexIndices(g, t++, b, d, e);
        }
    }
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(&g->morphTarget[0], &sphere);
    RpMorphTargetSetBoundingSphere(&g->morphTarget[0], &sphere);
    return g;
}

RpCollisionTriangle* CountHit(RpIntersection*, RpCollisionTriangle* triangle, RwReal, void* data) {
    ++*static_cast<long*>(data);
    return triangle;
}

void LineQueries(benchmark::State& state) {
    if (!TheEngine().started) {
        state.SkipWithError("engine did not start");
        return;
    }
    RpGeometry* plainGeometry = Terrain();
    RpGeometry* treeGeometry = Terrain();
    RpCollisionGeometryBuildData(treeGeometry);
    RpAtomic* plain = RpAtomicCreate();
    RpAtomic* tree = RpAtomicCreate();
    RpAtomicSetGeometry(plain, plainGeometry, 0);
    RpAtomicSetGeometry(tree, treeGeometry, 0);
    RpGeometryDestroy(plainGeometry);
    RpGeometryDestroy(treeGeometry);
    // Height probes and short slanted lines, as the game's terrain and scene code ask.
    std::mt19937 random(9);
    std::uniform_real_distribution<RwReal> place(0.0f, 1000.0f), offset(-20.0f, 20.0f);
    std::vector<RpIntersection> lines(256);
    for (size_t i = 0; i < lines.size(); ++i) {
        const RwV3d s = {place(random), 60.0f, place(random)};
        lines[i].type = rpINTERSECTLINE;
        lines[i].t.line = {s, i % 2 ? RwV3d{s.x, -60.0f, s.z}
                                    : RwV3d{s.x + offset(random), -40.0f, s.z + offset(random)}};
    }
    double treeSeconds = 0, bruteSeconds = 0;
    long treeHits = 0, bruteHits = 0;
    for (auto _ : state) {
        treeSeconds += ThreadSeconds([&] {
            for (RpIntersection& is : lines)
                RpCollisionAtomicForAllIntersections(tree, &is, CountHit, &treeHits);
        });
        bruteSeconds += ThreadSeconds([&] {
            for (RpIntersection& is : lines)
                RpCollisionAtomicForAllIntersections(plain, &is, CountHit, &bruteHits);
        });
    }
    if (treeHits != bruteHits)
        state.SkipWithError("the tree and brute force disagree");
    const double queries = double(lines.size()) * double(state.iterations());
    state.counters["tree_per_s"] = queries / treeSeconds;
    state.counters["brute_per_s"] = queries / bruteSeconds;
    state.counters["ratio"] = bruteSeconds / treeSeconds;
    RpAtomicDestroy(plain);
    RpAtomicDestroy(tree);
}
BENCHMARK(LineQueries)->Unit(benchmark::kMillisecond);

struct GlmKey {
    float time;
    glm::quat q;
    glm::vec3 t;
};

void KeyFrames(benchmark::State& state) {
    if (!TheEngine().started) {
        state.SkipWithError("engine did not start");
        return;
    }
    const size_t count = 4096;
    std::mt19937 random(4);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<RpHAnimStdKeyFrame> keys(2 * count);
    std::vector<GlmKey> glmKeys(2 * count);
    for (size_t i = 0; i < 2 * count; ++i) {
        glm::quat q = glm::normalize(glm::quat(d(random), d(random), d(random), d(random)));
        if (i % 2 && glm::dot(q, glmKeys[i - 1].q) < 0.0f)
            q = -q; // both loops then take the same arc without flipping
        const glm::vec3 t(d(random), d(random), d(random));
        const float time = float(i % 2);
        keys[i] = {i % 2 ? &keys[i - 1] : nullptr, time, {{q.x, q.y, q.z}, q.w}, {t.x, t.y, t.z}};
        glmKeys[i] = {time, q, t};
    }
    std::vector<RpHAnimInterpFrame> out(count);
    std::vector<GlmKey> glmOut(count);
    double engineSeconds = 0, glmSeconds = 0;
    float time = 0.0f;
    for (auto _ : state) {
        time = time > 0.9f ? 0.05f : time + 0.1f;
        engineSeconds += ThreadSeconds([&] {
            for (size_t i = 0; i < count; ++i)
                RpHAnimKeyFrameInterpolate(&out[i], &keys[2 * i], &keys[2 * i + 1], time, nullptr);
            benchmark::DoNotOptimize(out.data());
        });
        glmSeconds += ThreadSeconds([&] {
            for (size_t i = 0; i < count; ++i) {
                const GlmKey& a = glmKeys[2 * i];
                const GlmKey& b = glmKeys[2 * i + 1];
                const float f = (time - a.time) / (b.time - a.time);
                glmOut[i] = {time, glm::slerp(a.q, b.q, f), glm::mix(a.t, b.t, f)};
            }
            benchmark::DoNotOptimize(glmOut.data());
        });
    }
    const double frames = double(count) * double(state.iterations());
    state.counters["engine_per_s"] = frames / engineSeconds;
    state.counters["glm_per_s"] = frames / glmSeconds;
    state.counters["ratio"] = engineSeconds / glmSeconds;
}
BENCHMARK(KeyFrames)->Unit(benchmark::kMicrosecond);

} // namespace
