// Smoke trails and wrecks without a device.
// BM_TrailFrames: 200 condensation trails following weaving sources, warmed to their steady length; one
// iteration is one frame of every trail (head moved, aged, strip built). In the same iteration the same
// strips are built the plain way, into a new vertex buffer per trail as a straight reading of the design
// would; "ratio" is the trails' time over that reference, with vertices and heap allocations per frame.
// BM_WreckSplit: a 10,000-triangle model broken at depth 3 (up to 8 pieces); the reference copies all its
// triangles once into a geometry of unshared vertices, the least work any split must do. "ratio" is the
// split's time over the copy's.
#include "bench/AllocationCounter.h"
#include "objects/SmokeTrail.h"
#include "objects/Wreck.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/Wrappers.h"

#include "base/Random.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/Clumps.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Engine {
    bool ok = false;
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && Rw::Frame::RegisterPlugins() &&
             Rw::RegisterWrapperPlugins();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
};

constexpr int Trails = 200;

void Source(int trail, float t, double out[3]) {
    const double phase = trail * 0.7;
    out[0] = 300.0 * t + 40.0 * std::sin(0.9 * t + phase) + trail * 20.0;
    out[1] = 1500.0 + 30.0 * std::sin(1.3 * t + phase);
    out[2] = 50.0 * std::cos(0.7 * t + phase);
}

void BM_TrailFrames(benchmark::State& state) {
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("engine");
        return;
    }
    {
        Grp::World world;
        auto* group = new Obj::SmokeTrailGroup;
        group->startWidth = 0.2f;
        group->endWidth = 40;
        group->widenRate = 5;
        group->pointInterval = 0.1f;
        world.AddObject(group);
        std::vector<Obj::SmokeTrailGroup::Trail*> trails;
        for (int i = 0; i < Trails; ++i)
            trails.push_back(group->AddTrail());
        const float white[4] = {1, 1, 1, 0.6f};
        const double camera[3] = {0, 1400, -200};
        Obj::VertexStore store;
        float now = 0;
        size_t vertices = 0;
        auto frame = [&](bool timedReference, double& ours, double& reference) {
            now += 1 / 60.0f;
            world.time->time = now;
            world.time->step = 1 / 60.0f;
            const auto t0 = Clock::now();
            vertices = 0;
            for (int i = 0; i < Trails; ++i) {
                double p[3];
                Source(i, now, p);
                group->Update(trails[size_t(i)], p, white);
                group->AgeTrail(trails[size_t(i)]);
                const size_t n = group->BuildTrail(*trails[size_t(i)], camera, store);
                benchmark::DoNotOptimize(store.Reserve(n));
                vertices += n;
            }
            const auto t1 = Clock::now();
            if (timedReference)
                for (int i = 0; i < Trails; ++i) {
                    Obj::VertexStore fresh;
                    benchmark::DoNotOptimize(group->BuildTrail(*trails[size_t(i)], camera, fresh));
                }
            const auto t2 = Clock::now();
            ours += std::chrono::duration<double, std::nano>(t1 - t0).count();
            reference += std::chrono::duration<double, std::nano>(t2 - t1).count();
        };
        double ours = 0, reference = 0;
        for (int warm = 0; warm < 600; ++warm) // 10 s: past the 7.96 s point lifetime
            frame(false, ours, reference);
        ours = reference = 0;
        uint64_t allocations = 0, frames = 0;
        for (auto _ : state) {
            const auto before = AllocationCounter::Now();
            double o = 0, r = 0;
            frame(false, o, r);
            allocations += AllocationCounter::Since(before).all;
            ++frames;
            frame(true, ours, reference);
        }
        state.counters["vertices_per_frame"] = double(vertices);
        state.counters["allocations_per_frame"] = double(allocations) / double(frames);
        state.counters["trails_ns"] = ours / double(frames);
        state.counters["reference_ns"] = reference / double(frames);
        state.counters["ratio"] = reference > 0 ? ours / reference : 0;
    }
}
BENCHMARK(BM_TrailFrames)->Unit(benchmark::kMicrosecond);

// A 10,000-triangle part: a 50 x 100 grid of cells, two triangles each, bent into a hump.
RpClump* BigModel() {
    constexpr int nx = 50, nz = 100;
    RpClump* clump = RpClumpCreate();
    RwFrame* root = RwFrameCreate();
    RpClumpSetFrame(clump, root);
    RpGeometry* geometry = RpGeometryCreate((nx + 1) * (nz + 1), 2 * nx * nz,
                                            rpGEOMETRYPOSITIONS | rpGEOMETRYNORMALS | rpGEOMETRYTEXTURED);
    RpMorphTarget* target = RpGeometryGetMorphTarget(geometry, 0);
    RwV3d* v = RpMorphTargetGetVertices(target);
    RwV3d* normals = RpMorphTargetGetVertexNormals(target);
    RwTexCoords* uv = RpGeometryGetVertexTexCoords(geometry, 1);
    for (int j = 0; j <= nz; ++j)
        for (int i = 0; i <= nx; ++i) {
            const int k = j * (nx + 1) + i;
            v[k] = {i * 0.2f - 5, std::sin(i * 0.06f) * std::sin(j * 0.03f) * 2, j * 0.2f - 10};
            normals[k] = {0, 1, 0};
            uv[k] = {i / float(nx), j / float(nz)};
        }
    RpTriangle* t = RpGeometryGetTriangles(geometry);
    RpMaterial* materials[2] = {RpMaterialCreate(), RpMaterialCreate()};
    for (int j = 0; j < nz; ++j)
        for (int i = 0; i < nx; ++i) {
            const RwUInt16 a = RwUInt16(j * (nx + 1) + i), b = RwUInt16(a + 1), c = RwUInt16(a + nx + 1),
                           d = RwUInt16(c + 1);
            RpGeometryTriangleSetVertexIndices(geometry, t, a, b, c);
            RpGeometryTriangleSetMaterial(geometry, t++, materials[j < nz / 2]);
            RpGeometryTriangleSetVertexIndices(geometry, t, b, d, c);
            RpGeometryTriangleSetMaterial(geometry, t++, materials[j < nz / 2]);
        }
    RpMaterialDestroy(materials[0]);
    RpMaterialDestroy(materials[1]);
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(target, &sphere);
    RpMorphTargetSetBoundingSphere(target, &sphere);
    RpAtomicSetFlags(TestSupport::AddAtomicUnder(clump, root, geometry), rpATOMICRENDER);
    return clump;
}

// Every triangle of the source once into unshared vertices: positions, normals, coordinates, materials.
RpGeometry* CopyAll(RpGeometry* source) {
    const RwInt32 n = RpGeometryGetNumTriangles(source);
    RpGeometry* out = RpGeometryCreate(3 * n, n, RpGeometryGetFlags(source));
    const RpTriangle* from = RpGeometryGetTriangles(source);
    RpTriangle* to = RpGeometryGetTriangles(out);
    const RwV3d* v = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(source, 0));
    const RwV3d* nv = RpMorphTargetGetVertexNormals(RpGeometryGetMorphTarget(source, 0));
    const RwTexCoords* uv = RpGeometryGetVertexTexCoords(source, 1);
    RwV3d* ov = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(out, 0));
    RwV3d* onv = RpMorphTargetGetVertexNormals(RpGeometryGetMorphTarget(out, 0));
    RwTexCoords* ouv = RpGeometryGetVertexTexCoords(out, 1);
    for (RwInt32 t = 0; t < n; ++t) {
        for (int k = 0; k < 3; ++k) {
            const RwUInt16 s = from[t].vertIndex[k];
            ov[3 * t + k] = v[s];
            onv[3 * t + k] = nv[s];
            ouv[3 * t + k] = uv[s];
        }
        RpGeometryTriangleSetVertexIndices(out, &to[t], RwUInt16(3 * t), RwUInt16(3 * t + 1),
                                           RwUInt16(3 * t + 2));
        RpGeometryTriangleSetMaterial(out, &to[t], RpGeometryGetMaterial(source, from[t].matIndex));
    }
    return out;
}

void BM_WreckSplit(benchmark::State& state) {
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("engine");
        return;
    }
    {
        Obj::Clump model(BigModel(), true);
        RpAtomic* atomic = nullptr;
        RpClumpForAllAtomics(
            model.clump, [](RpAtomic* a, void* out) { return *static_cast<RpAtomic**>(out) = a; }, &atomic);
        RpGeometry* source = RpAtomicGetGeometry(atomic);
        Base::Random::Seed(26);
        double split = 0, reference = 0;
        size_t pieces = 0;
        uint64_t iterations = 0;
        for (auto _ : state) {
            const auto t0 = Clock::now();
            auto* wreck = new Obj::Wreck;
            wreck->CreateFromModel(&model, {0, 0, 0}, 3, 0.5f, 1, 1);
            pieces = wreck->Fragments().size();
            delete wreck;
            const auto t1 = Clock::now();
            RpGeometry* copy = CopyAll(source);
            RpGeometryDestroy(copy);
            const auto t2 = Clock::now();
            split += std::chrono::duration<double, std::micro>(t1 - t0).count();
            reference += std::chrono::duration<double, std::micro>(t2 - t1).count();
            ++iterations;
        }
        state.counters["triangles"] = double(RpGeometryGetNumTriangles(source));
        state.counters["pieces"] = double(pieces);
        state.counters["split_us"] = split / double(iterations);
        state.counters["copy_us"] = reference / double(iterations);
        state.counters["ratio"] = reference > 0 ? split / reference : 0;
    }
}
BENCHMARK(BM_WreckSplit)->Unit(benchmark::kMillisecond);

} // namespace
