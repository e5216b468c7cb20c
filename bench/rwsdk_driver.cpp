// Each iteration draws the same triangles twice: once through the engine (2D immediate mode, or 3D
// immediate mode with its batch, caches and rotating buffers) and once as raw DrawPrimitiveUP calls on the
// device. Both finish with a read-back so that the GL work is counted, not only its queueing.
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/pipe/p2/im3d.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int triangles = 2000;
constexpr int width = 320, height = 240;

struct Engine {
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwCamera* camera = nullptr;
    RwFrame* frame = nullptr;
    RwRaster* colour = nullptr;
    RwRaster* depth = nullptr;

    Engine() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        window = SDL_CreateWindow("bench", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        hwnd = Win32::AttachSdlWindow(window);
        RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach);
        RwEngineInit(nullptr, 0, 0);
        RwEngineOpenParams params = {hwnd};
        RwEngineOpen(&params);
        RwEngineStart();
        frame = RwFrameCreate();
        camera = RwCameraCreate();
        RwCameraSetFrame(camera, frame);
        colour = RwRasterCreate(width, height, 0, rwRASTERTYPECAMERA);
        depth = RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER);
        RwCameraSetRaster(camera, colour);
        RwCameraSetZRaster(camera, depth);
    }

    // Waits for the device to finish: a one-pixel read-back of the back buffer.
    void Finish() {
        IDirect3DSurface9* target = nullptr;
        RwD3D9Device->GetRenderTarget(0, &target);
        IDirect3DSurface9* copy = nullptr;
        RwD3D9Device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                                  nullptr);
        RwD3D9Device->GetRenderTargetData(target, copy);
        copy->Release();
        target->Release();
    }
};

Engine& Shared() {
    static Engine engine;
    return engine;
}

std::vector<RwIm2DVertex> Screen() {
    std::vector<RwIm2DVertex> v;
    for (int i = 0; i < triangles; ++i) {
        const float x = float(i % 300), y = float((i / 300) * 30 % 200);
        v.push_back({x, y, 0.5f, 1.0f, 0xFF00FF00, 0, 0});
        v.push_back({x + 20, y, 0.5f, 1.0f, 0xFF00FF00, 0, 0});
        v.push_back({x, y + 20, 0.5f, 1.0f, 0xFF00FF00, 0, 0});
    }
    return v;
}

std::vector<RwIm3DVertex> World() {
    std::vector<RwIm3DVertex> v;
    for (int i = 0; i < triangles; ++i) {
        const float x = float(i % 20) * 0.1f - 1.0f, y = float(i / 20 % 20) * 0.1f - 1.0f;
        for (const auto& p : {RwV3d{x, y, 5}, RwV3d{x + 0.2f, y, 5}, RwV3d{x, y + 0.2f, 5}})
            v.push_back({p, {0, 0, 1}, 0xFFFF0000, 0, 0});
    }
    return v;
}

void Report(benchmark::State& state, double engineSeconds, double rawSeconds) {
    const double n = double(state.iterations()) * triangles;
    state.counters["engine_per_s"] = n / engineSeconds;
    state.counters["raw_per_s"] = n / rawSeconds;
    state.counters["ratio"] = engineSeconds / rawSeconds;
    state.SetItemsProcessed(int64_t(n));
}

void Im2DTriangles(benchmark::State& state) {
    Engine& e = Shared();
    const std::vector<RwIm2DVertex> v = Screen();
    double engineSeconds = 0, rawSeconds = 0;
    for (auto _ : state) {
        RwCameraBeginUpdate(e.camera);
        auto start = Clock::now();
        for (int i = 0; i < triangles; ++i)
            RwIm2DRenderPrimitive(rwPRIMTYPETRILIST, const_cast<RwIm2DVertex*>(&v[size_t(i) * 3]), 3);
        e.Finish();
        engineSeconds += std::chrono::duration<double>(Clock::now() - start).count();

        RwD3D9Device->SetVertexShader(nullptr);
        RwD3D9Device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        start = Clock::now();
        for (int i = 0; i < triangles; ++i)
            RwD3D9Device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, &v[size_t(i) * 3], sizeof(RwIm2DVertex));
        e.Finish();
        rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        // The raw draws went around the caches: tell them.
        RwD3D9ResetCachesAndGetDevice();
        RwCameraEndUpdate(e.camera);
        RwCameraShowRaster(e.camera, e.hwnd, 0);
    }
    Report(state, engineSeconds, rawSeconds);
}

void Im3DTriangles(benchmark::State& state) {
    Engine& e = Shared();
    std::vector<RwIm3DVertex> v = World();
    double engineSeconds = 0, rawSeconds = 0;
    struct Raw {
        RwV3d position;
        RwUInt32 colour;
    };
    std::vector<Raw> raw;
    for (const RwIm3DVertex& vertex : v)
        raw.push_back({vertex.objVertex, vertex.color});
    for (auto _ : state) {
        RwCameraBeginUpdate(e.camera);
        auto start = Clock::now();
        for (int i = 0; i < triangles; ++i) {
            RwIm3DTransform(&v[size_t(i) * 3], 3, nullptr, rwIM3D_ALLOPAQUE);
            RwIm3DRenderPrimitive(rwPRIMTYPETRILIST);
            RwIm3DEnd();
        }
        e.Finish();
        engineSeconds += std::chrono::duration<double>(Clock::now() - start).count();

        RwD3D9Device->SetVertexShader(nullptr);
        RwD3D9Device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        start = Clock::now();
        for (int i = 0; i < triangles; ++i)
            RwD3D9Device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, &raw[size_t(i) * 3], sizeof(Raw));
        e.Finish();
        rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        RwD3D9ResetCachesAndGetDevice();
        RwCameraEndUpdate(e.camera);
        RwCameraShowRaster(e.camera, e.hwnd, 0);
    }
    Report(state, engineSeconds, rawSeconds);
}

} // namespace

BENCHMARK(Im2DTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(Im3DTriangles)->Unit(benchmark::kMillisecond);
