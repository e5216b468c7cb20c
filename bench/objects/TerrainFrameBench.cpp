// Terrain frames on the Direct3D 9 stand-in at 1024 x 768 offscreen, along a fixed camera path over the
// sample terrain (a low pass along the coast, a climb, a dive into the valley): frame time p50 and p99,
// with slice rebuilds, texture uploads and heap allocations per frame. Run in build/data (the sample data
// tree) with vblank_mode=0.
#include "bench/Offscreen.h"
#include "bench/objects/CameraPath.h"
#include "bench/AllocationCounter.h"
#include "objects/Terrain.h"

#include "base/AsyncLoader.h"
#include "base/StreamedTextureCache.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/tool/png/rtpng.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Width = 1024, Height = 768;

uint64_t uploads = 0;
RwTexture* CountingCreate(uint32_t side, const uint8_t* data, uint32_t size) {
    ++uploads;
    return Rw::CreateStreamedTexture(side, data, size);
}

using BenchSupport::Place;

// The path: 0 to 1 over the frames.
void PathPoint(float t, RwV3d& position, RwV3d& at) {
    const float angle = t * 6.2832f;
    position = {-4000 + 6000 * std::cos(angle), 700 + 1500 * std::sin(angle * 2) * std::sin(angle * 2),
                2000 + 6000 * std::sin(angle)};
    at = {-std::sin(angle), -0.25f, std::cos(angle)};
}

void TerrainFrames(benchmark::State& state) {
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("terrain", Width, Height);
    if (!Rw::StartEngine(4096, 0, hwnd, 0, 0)) {
        state.SkipWithError("no device");
        return;
    }
    RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
    RwImageSetPath("Data/Textures/");
    Rw::InstallStreamedTextures();
    Base::StreamedTextureCache::CreateTexture = CountingCreate;
    Base::AsyncLoader::Start();
    {
        Base::Info info;
        Obj::Terrain terrain;
        if (info.LoadFile("Data/Terrain1.info") != 0 || !terrain.Load(info)) {
            state.SkipWithError("run in build/data: the sample terrain cannot be read");
        } else {
            RwCamera* camera = RwCameraCreate();
            RwFrame* frame = RwFrameCreate();
            RwCameraSetFrame(camera, frame);
            RwCameraSetRaster(camera, Rw::ColourRaster);
            RwCameraSetZRaster(camera, Rw::DepthRaster);
            RwCameraSetNearClipPlane(camera, 5);
            RwCameraSetFarClipPlane(camera, 20000);
            const RwV2d view{0.5f, 0.375f};
            RwCameraSetViewWindow(camera, &view);
            const int framesPerLap = 600;
            std::vector<double> times;
            uint64_t frames = 0, rebuildsAtStart = terrain.Rebuilds(), uploadsAtStart = uploads;
            const AllocationCounter::Counts allocationsAtStart = AllocationCounter::Now();
            for (auto _ : state) {
                RwV3d position, at;
                PathPoint(float(frames % framesPerLap) / framesPerLap, position, at);
                Place(frame, position, at);
                const auto start = std::chrono::steady_clock::now();
                RwCameraBeginUpdate(camera);
                RwRGBA sky = {150, 185, 225, 255};
                RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
                RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
                RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
                terrain.Render(camera);
                RwCameraEndUpdate(camera);
                RwCameraShowRaster(camera, nullptr, 0);
                times.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
                ++frames;
            }
            const AllocationCounter::Counts allocations = AllocationCounter::Since(allocationsAtStart);
            state.counters["p50_ms"] = BenchSupport::Percentile(times, 50);
            state.counters["p99_ms"] = BenchSupport::Percentile(times, 99);
            state.counters["rebuilds_per_frame"] =
                double(terrain.Rebuilds() - rebuildsAtStart) / double(frames);
            state.counters["uploads_per_frame"] = double(uploads - uploadsAtStart) / double(frames);
            state.counters["allocs_per_frame"] = double(allocations.all) / double(frames);
            // A second, untimed lap with attribution: the allocations our own code asks for.
            AllocationCounter::Attribute(true);
            const AllocationCounter::Counts oursAtStart = AllocationCounter::Now();
            const uint64_t attributed = 120;
            for (uint64_t k = 0; k < attributed; ++k) {
                RwV3d position, at;
                PathPoint(float(k * 5 % framesPerLap) / framesPerLap, position, at);
                Place(frame, position, at);
                RwCameraBeginUpdate(camera);
                terrain.Render(camera);
                RwCameraEndUpdate(camera);
            }
            AllocationCounter::Attribute(false);
            state.counters["ours_allocs_per_frame"] =
                double(AllocationCounter::Since(oursAtStart).ours) / double(attributed);
            RwCameraSetRaster(camera, nullptr);
            RwCameraSetZRaster(camera, nullptr);
            RwCameraSetFrame(camera, nullptr);
            RwCameraDestroy(camera);
            RwFrameDestroy(frame);
        }
    }
    Base::AsyncLoader::Stop();
    Base::StreamedTextureCache::Update();
    Rw::StopEngine();
    Win32::DetachSdlWindow(hwnd);
    SDL_DestroyWindow(window);
}
BENCHMARK(TerrainFrames)->Iterations(1200)->Unit(benchmark::kMillisecond);

} // namespace
