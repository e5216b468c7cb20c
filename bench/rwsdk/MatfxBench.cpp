// Atomics of the sample aircraft in a grid before the camera, lit by an ambient and a directional light,
// drawn twice per iteration: once with every material given an effect (bump map, environment map or dual
// pass, a third of the atomics each) through the material-effects pipelines, and once as the same models
// with the same base textures through the plain world pipelines. "ratio" is the effects frame's time over
// the plain frame's. WarmFrame/1 counts the GL programs compiled and the heap allocations of a warm effects
// frame (target 0 each); WarmFrame/0 the same of the plain frame. CORVANE_MODELS_DIR names another folder of
// *.dff files.
#include "bench/rwsdk/OffscreenEngine.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t wanted = 150;

enum Kind { bump, env, dual, plain, kinds };

struct Textures {
    RwTexture* base;
    RwTexture* bump;
    RwTexture* env;
    RwTexture* second;
};

RwTexture* MakeTexture(int size, RwUInt32 seed, bool alpha) {
    RwRaster* raster = RwRasterCreate(
        size, size, 0, RwInt32(rwRASTERTYPETEXTURE) | (alpha ? rwRASTERFORMAT8888 : rwRASTERFORMAT888));
    RwUInt8* pixels = RwRasterLock(raster, 0, rwRASTERLOCKWRITE);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const RwUInt32 v =
                ((x ^ y) & 1 ? seed : seed ^ 0x00FFFFFFu) | (alpha ? 0x80000000u : 0xFF000000u);
            std::memcpy(pixels + y * raster->stride + 4 * x, &v, 4);
        }
    RwRasterUnlock(raster);
    RwTexture* texture = RwTextureCreate(raster);
    RwTextureSetFilterMode(texture, rwFILTERLINEAR);
    return texture;
}

Textures textures = {};

struct Scene : BenchSupport::OffscreenEngine {
    RpWorld* world = nullptr;
    std::vector<RpAtomic*> effects; // through the material-effects pipelines
    std::vector<RpAtomic*> plains;  // the same models through the world pipelines

    Scene()
        : OffscreenEngine(16u << 20, [] {
              RpWorldPluginAttach();
              RpMatFXPluginAttach();
          }) {
        RwCameraSetFarClipPlane(camera, 1000.0f);
        RwBBox box = {{1000, 1000, 1000}, {-1000, -1000, -1000}};
        world = RpWorldCreate(&box);
        RpWorldAddCamera(world, camera);
        AddLights();
        textures = {MakeTexture(16, 0x00806040u, true), MakeTexture(16, 0x00404040u, false),
                    MakeTexture(8, 0x00A0C0E0u, false), MakeTexture(16, 0x00C08080u, true)};
        // Clones share their geometry and materials, so each kind reads its own copy of the models.
        std::vector<RpClump*> masters[kinds];
        for (int k = 0; k < kinds; ++k) {
            masters[k] = BenchSupport::ReadSampleModels();
            for (RpClump* clump : masters[k])
                RpClumpForAllAtomics(clump, SetUpAtomic, &k);
        }
        for (size_t i = 0; effects.size() < wanted && !masters[0].empty(); ++i) {
            const int k = int(i % 3);
            const size_t model = i / 3 % masters[k].size();
            for (Kind target : {Kind(k), plain}) {
                RpClump* clump = RpClumpClone(masters[target][model]);
                BenchSupport::PlaceInGrid(clump, i);
                RpWorldAddClump(world, clump);
                auto& list = target == plain ? plains : effects;
                RpClumpForAllAtomics(
                    clump,
                    [](RpAtomic* atomic, void* data) {
                        static_cast<std::vector<RpAtomic*>*>(data)->push_back(atomic);
                        return atomic;
                    },
                    &list);
            }
        }
        for (auto& list : masters)
            for (RpClump* master : list)
                RpClumpDestroy(master);
        RwFrameSyncDirty();
    }

    // Every material gets the same base texture; the effect kinds add their own textures.
    static RpAtomic* SetUpAtomic(RpAtomic* atomic, void* data) {
        const int kind = *static_cast<int*>(data);
        if (kind != plain)
            RpMatFXAtomicEnableEffects(atomic);
        RpGeometryForAllMaterials(RpAtomicGetGeometry(atomic), SetUpMaterial, data);
        return atomic;
    }

    static RpMaterial* SetUpMaterial(RpMaterial* material, void* data);

    void AddLights() {
        const RwRGBAReal grey = {0.3f, 0.3f, 0.35f, 1.0f}, white = {0.8f, 0.8f, 0.7f, 1.0f};
        RpLight* ambient = RpLightCreate(rpLIGHTAMBIENT);
        RpLightSetColor(ambient, &grey);
        RpLight* sun = RpLightCreate(rpLIGHTDIRECTIONAL);
        RpLightSetColor(sun, &white);
        RpLightSetFrame(sun, RwFrameCreate());
        for (RpLight* light : {ambient, sun})
            RpWorldAddLight(world, light);
    }

    void Begin() {
        RwCameraBeginUpdate(camera);
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
    }

    void End() {
        RwCameraEndUpdate(camera);
        ReadBack();
    }

    void Pass(const std::vector<RpAtomic*>& atomics) {
        Begin();
        for (RpAtomic* atomic : atomics)
            RpAtomicRender(atomic);
        End();
    }
};

RpMaterial* Scene::SetUpMaterial(RpMaterial* material, void* data) {
    const Textures& t = textures;
    RpMaterialSetTexture(material, t.base);
    switch (*static_cast<int*>(data)) {
    case bump:
        RpMatFXMaterialSetEffects(material, rpMATFXEFFECTBUMPMAP);
        RpMatFXMaterialSetBumpMapTexture(material, t.bump);
        RpMatFXMaterialSetBumpMapCoefficient(material, 0.5f);
        break;
    case env:
        RpMatFXMaterialSetEffects(material, rpMATFXEFFECTENVMAP);
        RpMatFXMaterialSetEnvMapTexture(material, t.env);
        RpMatFXMaterialSetEnvMapCoefficient(material, 0.6f);
        break;
    case dual:
        RpMatFXMaterialSetEffects(material, rpMATFXEFFECTDUAL);
        RpMatFXMaterialSetDualTexture(material, t.second);
        RpMatFXMaterialSetDualBlendModes(material, 5, 6); // source alpha, inverse source alpha
        break;
    default:
        break;
    }
    return material;
}

Scene& Shared() {
    static Scene scene;
    return scene;
}

void EffectsDrawn(benchmark::State& state) {
    Scene& s = Shared();
    if (s.effects.empty()) {
        state.SkipWithError("no models (build the sample_data target)");
        return;
    }
    s.Pass(s.effects); // warm: instance data, validations and programs
    s.Pass(s.plains);
    double effectSeconds = 0, plainSeconds = 0;
    int iteration = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const auto start = Clock::now();
            const bool effects = (iteration + k) % 2 == 0;
            s.Pass(effects ? s.effects : s.plains);
            (effects ? effectSeconds : plainSeconds) +=
                std::chrono::duration<double>(Clock::now() - start).count();
        }
        ++iteration;
    }
    const double frames = double(state.iterations());
    state.counters["atomics"] = double(s.effects.size());
    state.counters["effects_ms/frame"] = effectSeconds * 1e3 / frames;
    state.counters["plain_ms/frame"] = plainSeconds * 1e3 / frames;
    state.counters["ratio"] = effectSeconds / plainSeconds;
}

void WarmFrame(benchmark::State& state) {
    Scene& s = Shared();
    if (s.effects.empty()) {
        state.SkipWithError("no models (build the sample_data target)");
        return;
    }
    // Argument 1: the effects frame; 0: the plain frame, for comparison.
    const std::vector<RpAtomic*>& atomics = state.range(0) ? s.effects : s.plains;
    BenchSupport::CountWarmFrames(state, [&] { s.Pass(atomics); });
}

} // namespace

BENCHMARK(EffectsDrawn)->Unit(benchmark::kMillisecond);
BENCHMARK(WarmFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
