// Atomics of the sample aircraft in a grid before the camera, lit by an ambient and a directional light,
// drawn twice per iteration: once with every material given an effect (bump map, environment map or dual
// pass, a third of the atomics each) through the material-effects pipelines, and once as the same models
// with the same base textures through the plain world pipelines. "ratio" is the effects frame's time over
// the plain frame's. WarmFrame/1 counts the GL programs compiled and the heap allocations of a warm effects
// frame (target 0 each); WarmFrame/0 the same of the plain frame. CORVANE_MODELS_DIR names another folder of
// *.dff files.
#include "bench/AllocationCounter.h"
#include "platform/d3d9/Control.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/rpworld.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int width = 320, height = 240;
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

struct Scene {
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwCamera* camera = nullptr;
    RwFrame* frame = nullptr;
    RwRaster* colour = nullptr;
    RwRaster* depth = nullptr;
    RpWorld* world = nullptr;
    std::vector<RpAtomic*> effects; // through the material-effects pipelines
    std::vector<RpAtomic*> plains;  // the same models through the world pipelines
    IDirect3DSurface9* readBack = nullptr;

    Scene() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        window = SDL_CreateWindow("bench", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        hwnd = Win32::AttachSdlWindow(window);
        RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach);
        RwEngineInit(nullptr, 0, 16u << 20);
        RpWorldPluginAttach();
        RpMatFXPluginAttach();
        RwEngineOpenParams params = {hwnd};
        RwEngineOpen(&params);
        RwEngineStart();
        frame = RwFrameCreate();
        camera = RwCameraCreate();
        RwCameraSetFrame(camera, frame);
        RwCameraSetFarClipPlane(camera, 1000.0f);
        colour = RwRasterCreate(width, height, 0, rwRASTERTYPECAMERA);
        depth = RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER);
        RwCameraSetRaster(camera, colour);
        RwCameraSetZRaster(camera, depth);
        RwBBox box = {{1000, 1000, 1000}, {-1000, -1000, -1000}};
        world = RpWorldCreate(&box);
        RpWorldAddCamera(world, camera);
        AddLights();
        textures = {MakeTexture(16, 0x00806040u, true), MakeTexture(16, 0x00404040u, false),
                    MakeTexture(8, 0x00A0C0E0u, false), MakeTexture(16, 0x00C08080u, true)};
        // Clones share their geometry and materials, so each kind reads its own copy of the models.
        std::vector<RpClump*> masters[kinds];
        for (int k = 0; k < kinds; ++k) {
            masters[k] = ReadModels();
            for (RpClump* clump : masters[k])
                RpClumpForAllAtomics(clump, SetUpAtomic, &k);
        }
        for (size_t i = 0; effects.size() < wanted && !masters[0].empty(); ++i) {
            const int k = int(i % 3);
            const size_t model = i / 3 % masters[k].size();
            for (Kind target : {Kind(k), plain}) {
                RpClump* clump = RpClumpClone(masters[target][model]);
                const RwV3d at = {RwReal(int(i % 8) * 30 - 105), RwReal(int(i / 8 % 6) * 20 - 50),
                                  RwReal(150 + int(i / 48) * 40)};
                RwMatrixTranslate(RwFrameGetMatrix(RpClumpGetFrame(clump)), &at, rwCOMBINEREPLACE);
                RwFrameUpdateObjects(RpClumpGetFrame(clump));
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

    static std::vector<RpClump*> ReadModels() {
        std::filesystem::path dir;
        if (const char* given = std::getenv("CORVANE_MODELS_DIR"))
            dir = given;
        else
            dir = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" /
                  "Data" / "Models" / "Airplanes";
        std::vector<RpClump*> clumps;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
            if (entry.path().extension() != ".dff")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<RwUInt8> bytes((std::istreambuf_iterator<char>(in)), {});
            RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
            RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
            if (!stream)
                continue;
            RpClump* clump =
                RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
            RwStreamClose(stream, nullptr);
            if (clump)
                clumps.push_back(clump);
        }
        return clumps;
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
        // The read-back surface is made once, so that a frame's allocations are the drawing's own.
        IDirect3DSurface9* target = nullptr;
        RwD3D9Device->GetRenderTarget(0, &target);
        if (!readBack)
            RwD3D9Device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                      &readBack, nullptr);
        RwD3D9Device->GetRenderTargetData(target, readBack);
        target->Release();
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
    s.Pass(atomics);
    s.Pass(atomics);
    const size_t programs = D3D9::ProgramCount(RwD3D9Device);
    AllocationCounter::Attribute(true);
    const AllocationCounter::Counts start = AllocationCounter::Now();
    for (auto _ : state)
        s.Pass(atomics);
    const AllocationCounter::Counts counted = AllocationCounter::Since(start);
    AllocationCounter::Attribute(false);
    const double frames = double(state.iterations());
    state.counters["programs/frame"] = double(D3D9::ProgramCount(RwD3D9Device) - programs) / frames;
    state.counters["allocs/frame"] = double(counted.all) / frames;
    state.counters["ours/frame"] = double(counted.ours) / frames;
}

} // namespace

BENCHMARK(EffectsDrawn)->Unit(benchmark::kMillisecond);
BENCHMARK(WarmFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
