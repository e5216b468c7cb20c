// Frames of the sample sky, clouds and terrain with its sea on the Direct3D 9 stand-in at 1024 x 768
// offscreen, along a fixed path out over the sea and back along the coast: frame time p50 and p99, beside
// the same path with the terrain alone (the ratio is what the sky, the clouds and the water's own passes
// add). And the airplane shadow on the software rasteriser: time per shadow (the off-screen caster pass,
// its inversion, two softening copies and the receivers) beside the frame it darkens. Run in build/data
// (the sample data tree) with vblank_mode=0.
#include "bench/Offscreen.h"
#include "bench/objects/CameraPath.h"
#include "tests/support/Clumps.h"
#include "objects/Clouds.h"
#include "objects/Shadow.h"
#include "objects/Sky.h"
#include "objects/Terrain.h"

#include "base/AsyncLoader.h"
#include "base/StreamedTextureCache.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/rpworld.h"
#include "scene/Clump.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace {

constexpr int Width = 1024, Height = 768;

using BenchSupport::Place;

// Out over the sea to the west, up through the cloud layer and back along the coast; t from 0 to 1.
void PathPoint(float t, RwV3d& position, RwV3d& at) {
    const float angle = t * 6.2832f;
    position = {-9000 + 5000 * std::cos(angle), 600 + 2200 * std::sin(angle) * std::sin(angle),
                1500 + 7000 * std::sin(angle)};
    at = {-std::sin(angle) - 0.4f, -0.15f, std::cos(angle)};
}

struct Engine {
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwCamera* camera = nullptr;
    RwFrame* frame = nullptr;
    bool started = false;

    Engine() {
        std::tie(window, hwnd) = BenchSupport::OpenHiddenWindow("scene", Width, Height);
        started = Rw::StartEngine(4096, 0, hwnd, 0, 0);
        if (!started)
            return;
        Rw::RegisterImageFormats();
        RwImageSetPath("Data/Textures/");
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        camera = RwCameraCreate();
        frame = RwFrameCreate();
        RwCameraSetFrame(camera, frame);
        RwCameraSetRaster(camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera, Rw::DepthRaster);
        RwCameraSetNearClipPlane(camera, 5);
        RwCameraSetFarClipPlane(camera, 20000);
        const RwV2d view{0.5f, 0.375f};
        RwCameraSetViewWindow(camera, &view);
    }
    ~Engine() {
        if (started) {
            RwCameraSetRaster(camera, nullptr);
            RwCameraSetZRaster(camera, nullptr);
            RwCameraSetFrame(camera, nullptr);
            RwCameraDestroy(camera);
            RwFrameDestroy(frame);
            Base::AsyncLoader::Stop();
            Base::StreamedTextureCache::Update();
            Rw::StopEngine();
        }
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    // One frame: clear, draw, show; its time in milliseconds.
    double Frame(const std::function<void()>& draw) {
        const auto start = std::chrono::steady_clock::now();
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        draw();
        RwCameraEndUpdate(camera);
        RwCameraShowRaster(camera, nullptr, 0);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
};

void Percentiles(const std::vector<double>& times, double& p50, double& p99) {
    p50 = BenchSupport::Percentile(times, 50);
    p99 = BenchSupport::Percentile(times, 99);
}

void SkyCloudsWaterFrames(benchmark::State& state) {
    Engine engine;
    if (!engine.started) {
        state.SkipWithError("no device");
        return;
    }
    Base::Info skyInfo, cloudsInfo, terrainInfo;
    Obj::Sky sky;
    Obj::Clouds clouds;
    Obj::Terrain terrain;
    if (skyInfo.LoadFile("Data/Sky1.info") != 0 || cloudsInfo.LoadFile("Data/Clouds1.info") != 0 ||
        terrainInfo.LoadFile("Data/Terrain1.info") != 0 || !sky.Load(skyInfo) ||
        !clouds.Load(cloudsInfo, 7) || !terrain.Load(terrainInfo)) {
        state.SkipWithError("run in build/data: the sample sky, clouds or terrain cannot be read");
        return;
    }
    const int framesPerLap = 600;
    // A warm-up lap streams the slice textures in; then the timed laps.
    const auto lap = [&](int frames, bool scene, std::vector<double>* times) {
        for (int k = 0; k < frames; ++k) {
            RwV3d position, at;
            PathPoint(float(k % framesPerLap) / framesPerLap, position, at);
            Place(engine.frame, position, at);
            const float worldTime = float(k) / 60;
            const double ms = engine.Frame([&] {
                if (scene)
                    sky.Render(engine.camera);
                terrain.Render(engine.camera, worldTime);
                if (scene)
                    clouds.Render(engine.camera);
            });
            if (times)
                times->push_back(ms);
        }
    };
    lap(framesPerLap, true, nullptr);
    std::vector<double> sceneTimes, terrainTimes;
    for (auto _ : state)
        lap(framesPerLap, true, &sceneTimes);
    lap(framesPerLap, false, &terrainTimes);
    double p50, p99, t50, t99;
    Percentiles(sceneTimes, p50, p99);
    Percentiles(terrainTimes, t50, t99);
    state.counters["p50_ms"] = p50;
    state.counters["p99_ms"] = p99;
    state.counters["terrain_only_p50_ms"] = t50;
    state.counters["terrain_only_p99_ms"] = t99;
    state.counters["ratio_p50"] = p50 / t50;
    state.counters["water_path_shader"] = terrain.GetWaterPath() == Obj::Terrain::WaterPath::Shader ? 1 : 0;
}
BENCHMARK(SkyCloudsWaterFrames)->Iterations(2)->Unit(benchmark::kMillisecond);

using TestSupport::MakeBox;

void ShadowPasses(benchmark::State& state) {
    Engine engine;
    if (!engine.started) {
        state.SkipWithError("no device");
        return;
    }
    Base::Info terrainInfo;
    Obj::Terrain terrain;
    if (terrainInfo.LoadFile("Data/Terrain1.info") != 0 || !terrain.Load(terrainInfo)) {
        state.SkipWithError("run in build/data: the sample terrain cannot be read");
        return;
    }
    {
        // Over the open sea (flat at 0), seen from behind and above.
        auto box = std::make_unique<Obj::Clump>(MakeBox(12), true);
        box->UpdateLocalBoundingSphere();
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {-12000, 150, 0};
        RwMatrixUpdate(&m);
        box->Transform(&m, rwCOMBINEREPLACE);
        Obj::Shadow shadow(box.get());
        Place(engine.frame, {-12000, 300, -400}, {0, -0.5f, 1});
        const RwV3d light = Base::Normalize3d(RwV3d{0.3f, -1, 0.2f});
        std::vector<double> withShadow, without, casterOnly;
        for (int k = 0; k < 30; ++k) // warm: textures and instancing
            engine.Frame([&] {
                terrain.Render(engine.camera, 0);
                shadow.RenderFor(engine.camera, &terrain, light);
            });
        for (auto _ : state) {
            without.push_back(engine.Frame([&] { terrain.Render(engine.camera, 0); }));
            withShadow.push_back(engine.Frame([&] {
                terrain.Render(engine.camera, 0);
                shadow.RenderFor(engine.camera, &terrain, light);
            }));
            RwCameraBeginUpdate(engine.camera);
            const auto start = std::chrono::steady_clock::now();
            shadow.shadowCamera->RenderCaster({-light.x, -light.y, -light.z}, 0);
            casterOnly.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            RwCameraEndUpdate(engine.camera);
        }
        double w50, w99, o50, o99, c50, c99;
        Percentiles(withShadow, w50, w99);
        Percentiles(without, o50, o99);
        Percentiles(casterOnly, c50, c99);
        state.counters["frame_with_shadow_p50_ms"] = w50;
        state.counters["frame_without_p50_ms"] = o50;
        state.counters["per_shadow_ms"] = w50 - o50;
        state.counters["caster_passes_p50_ms"] = c50;
        state.counters["ratio_with_without"] = w50 / o50;
        state.counters["receivers"] = double(shadow.LastReceiversDrawn());
    }
}
BENCHMARK(ShadowPasses)->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace
