// 500 atomics of the sample aircraft, in a grid before the camera, lit by an ambient, a directional and a
// point light, drawn each iteration twice: through the world pipelines (RpAtomicRender: instance checks,
// lighting, transform, the default render callback and the driver's caches) and as raw device calls on the
// same instance data (streams, indices, declaration, world transform, DrawIndexedPrimitive per mesh). Both
// passes end with a read-back so that the GL work is counted. "ratio" is the pipeline's time over the raw
// time (target at most 1.3). WarmFrame counts the GL programs compiled and the heap allocations of a warm
// frame (target 0 each). CORVANE_MODELS_DIR names another folder of *.dff files.
#include "bench/rwsdk/OffscreenEngine.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t wanted = 500;

struct Scene : BenchSupport::OffscreenEngine {
    RpWorld* world = nullptr;
    std::vector<RpClump*> clumps;
    std::vector<RpAtomic*> atomics;
    std::vector<RpLight*> lights;

    Scene() : OffscreenEngine(16u << 20, [] { RpWorldPluginAttach(); }) {
        RwCameraSetFarClipPlane(camera, 1000.0f);
        RwBBox box = {{1000, 1000, 1000}, {-1000, -1000, -1000}};
        world = RpWorldCreate(&box);
        RpWorldAddCamera(world, camera);
        AddLights();
        std::vector<RpClump*> masters = BenchSupport::ReadSampleModels();
        for (size_t i = 0; atomics.size() < wanted && !masters.empty(); ++i) {
            RpClump* clump = RpClumpClone(masters[i % masters.size()]);
            BenchSupport::PlaceInGrid(clump, i);
            RpWorldAddClump(world, clump);
            clumps.push_back(clump);
            RpClumpForAllAtomics(
                clump,
                [](RpAtomic* atomic, void* data) {
                    auto* list = static_cast<std::vector<RpAtomic*>*>(data);
                    if (list->size() < wanted)
                        list->push_back(atomic);
                    return atomic;
                },
                &atomics);
        }
        for (RpClump* master : masters)
            RpClumpDestroy(master);
        RwFrameSyncDirty();
    }

    void AddLights() {
        const RwRGBAReal grey = {0.3f, 0.3f, 0.35f, 1.0f}, white = {0.8f, 0.8f, 0.7f, 1.0f};
        RpLight* ambient = RpLightCreate(rpLIGHTAMBIENT);
        RpLightSetColor(ambient, &grey);
        RpLight* sun = RpLightCreate(rpLIGHTDIRECTIONAL);
        RpLightSetColor(sun, &white);
        RpLightSetFrame(sun, RwFrameCreate());
        RpLight* lamp = RpLightCreate(rpLIGHTPOINT);
        RpLightSetColor(lamp, &white);
        RpLightSetRadius(lamp, 200.0f);
        RwFrame* lampFrame = RwFrameCreate();
        const RwV3d at = {0, 0, 200};
        RwMatrixTranslate(RwFrameGetMatrix(lampFrame), &at, rwCOMBINEREPLACE);
        RpLightSetFrame(lamp, lampFrame);
        for (RpLight* light : {ambient, sun, lamp}) {
            RpWorldAddLight(world, light);
            lights.push_back(light);
        }
    }

    void Begin() {
        RwCameraBeginUpdate(camera);
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
    }

    void End() {
        RwCameraEndUpdate(camera);
        ReadBack();
    }

    void PipelinePass() {
        Begin();
        for (RpAtomic* atomic : atomics)
            RpAtomicRender(atomic);
        End();
    }

    // The same instance data drawn with plain device calls.
    void RawPass() {
        Begin();
        IDirect3DDevice9* device = RwD3D9Device;
        for (RpAtomic* atomic : atomics) {
            RwResourceEntry* entry =
                atomic->geometry->repEntry ? atomic->geometry->repEntry : atomic->repEntry;
            if (!entry)
                continue;
            RpD3D9InstanceData* header = RpD3D9ResourceEntryGetInstanceData(entry);
            // RwMatrix keeps flags and padding in its fourth column: spelt out, as the driver sends it, so
            // that this pass draws what the pipelines draw rather than points at infinity.
            const RwMatrix* w = RwFrameGetWorldMatrix(RpAtomicGetFrame(atomic));
            const D3DMATRIX world = {
                {{w->right.x, w->right.y, w->right.z, 0.0f, w->up.x, w->up.y, w->up.z, 0.0f, w->at.x, w->at.y,
                  w->at.z, 0.0f, w->pos.x, w->pos.y, w->pos.z, 1.0f}}};
            device->SetTransform(D3DTS_WORLD, &world);
            for (int s = 0; s < 2; ++s) {
                const RwD3D9VertexStream& stream = header->vertexStream[s];
                if (stream.vertexBuffer)
                    device->SetStreamSource(UINT(s),
                                            static_cast<IDirect3DVertexBuffer9*>(stream.vertexBuffer),
                                            header->useOffsets ? stream.offset : 0, stream.stride);
            }
            device->SetIndices(static_cast<IDirect3DIndexBuffer9*>(header->indexBuffer));
            device->SetVertexDeclaration(
                static_cast<IDirect3DVertexDeclaration9*>(header->vertexDeclaration));
            const RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(header);
            for (RwUInt32 m = 0; m < header->numMeshes; ++m)
                device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(header->primType), meshes[m].baseIndex, 0,
                                             meshes[m].numVertices, meshes[m].startIndex,
                                             meshes[m].numPrimitives);
        }
        End();
        // The driver's caches no longer know what the device holds.
        RwD3D9ResetCachesAndGetDevice();
    }
};

Scene& Shared() {
    static Scene scene;
    return scene;
}

void AtomicsDrawn(benchmark::State& state) {
    Scene& s = Shared();
    if (s.atomics.empty()) {
        state.SkipWithError("no models (build the sample_data target)");
        return;
    }
    s.PipelinePass(); // warm: instance data and programs
    double pipelineSeconds = 0, rawSeconds = 0;
    int iteration = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const auto start = Clock::now();
            if ((iteration + k) % 2 == 0) {
                s.PipelinePass();
                pipelineSeconds += std::chrono::duration<double>(Clock::now() - start).count();
            } else {
                s.RawPass();
                rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
            }
        }
        ++iteration;
    }
    const double n = double(state.iterations()) * double(s.atomics.size());
    state.counters["atomics"] = double(s.atomics.size());
    state.counters["pipeline_per_s"] = n / pipelineSeconds;
    state.counters["raw_per_s"] = n / rawSeconds;
    state.counters["ratio"] = pipelineSeconds / rawSeconds;
    state.SetItemsProcessed(int64_t(n));
}

void WarmFrame(benchmark::State& state) {
    Scene& s = Shared();
    if (s.atomics.empty()) {
        state.SkipWithError("no models (build the sample_data target)");
        return;
    }
    BenchSupport::CountWarmFrames(state, [&] { s.PipelinePass(); });
}

} // namespace

BENCHMARK(AtomicsDrawn)->Unit(benchmark::kMillisecond);
BENCHMARK(WarmFrame)->Unit(benchmark::kMillisecond);
