// Each iteration draws the same triangles three times: through the engine (2D immediate mode, or 3D
// immediate mode with its batch, caches and rotating buffers), as raw DrawPrimitiveUP calls on the device,
// and as raw appends to one dynamic vertex buffer drawn with DrawPrimitive (the driver's own way, without its
// caches). Each pass finishes with a read-back so that the GL work is counted, not only its queueing.
// "ratio" is the engine's time over the DrawPrimitiveUP time, "ratio_buffered" over the buffered time.
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

#include <algorithm>
#include <chrono>
#include <cstring>
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

void Report(benchmark::State& state, double engineSeconds, double rawSeconds, double bufferedSeconds) {
    const double n = double(state.iterations()) * triangles;
    state.counters["engine_per_s"] = n / engineSeconds;
    state.counters["raw_per_s"] = n / rawSeconds;
    state.counters["buffered_per_s"] = n / bufferedSeconds;
    state.counters["ratio"] = engineSeconds / rawSeconds;
    state.counters["ratio_buffered"] = engineSeconds / bufferedSeconds;
    state.SetItemsProcessed(int64_t(n));
}

// The triangles appended one by one to a dynamic buffer with no-overwrite locks and drawn from it.
template <typename Vertex> double Buffered(Engine& e, const std::vector<Vertex>& v, DWORD fvf) {
    static IDirect3DVertexBuffer9* buffer = nullptr;
    const UINT bytes =
        std::max(UINT(v.size() * sizeof(Vertex)), UINT(0x40000)); // as large as a rotating buffer
    if (buffer) {
        D3DVERTEXBUFFER_DESC desc{};
        buffer->GetDesc(&desc);
        if (desc.Size < bytes) {
            buffer->Release();
            buffer = nullptr;
        }
    }
    if (!buffer)
        RwD3D9Device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT,
                                         &buffer, nullptr);
    RwD3D9Device->SetVertexShader(nullptr);
    RwD3D9Device->SetFVF(fvf);
    RwD3D9Device->SetStreamSource(0, buffer, 0, sizeof(Vertex));
    const auto start = Clock::now();
    for (int i = 0; i < triangles; ++i) {
        const UINT offset = UINT(i) * 3 * sizeof(Vertex);
        void* data = nullptr;
        buffer->Lock(offset, 3 * sizeof(Vertex), &data, i == 0 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE);
        std::memcpy(data, &v[size_t(i) * 3], 3 * sizeof(Vertex));
        buffer->Unlock();
        RwD3D9Device->DrawPrimitive(D3DPT_TRIANGLELIST, UINT(i) * 3, 1);
    }
    e.Finish();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    RwD3D9Device->SetStreamSource(0, nullptr, 0, 0);
    return seconds;
}

void Im2DTriangles(benchmark::State& state) {
    Engine& e = Shared();
    const std::vector<RwIm2DVertex> v = Screen();
    double engineSeconds = 0, rawSeconds = 0, bufferedSeconds = 0;
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
        bufferedSeconds += Buffered(e, v, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        // The raw draws went around the caches: tell them.
        RwD3D9ResetCachesAndGetDevice();
        RwCameraEndUpdate(e.camera);
        RwCameraShowRaster(e.camera, e.hwnd, 0);
    }
    Report(state, engineSeconds, rawSeconds, bufferedSeconds);
}

void Im3DTriangles(benchmark::State& state) {
    Engine& e = Shared();
    std::vector<RwIm3DVertex> v = World();
    double engineSeconds = 0, rawSeconds = 0, bufferedSeconds = 0;
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
        bufferedSeconds += Buffered(e, raw, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        RwD3D9ResetCachesAndGetDevice();
        RwCameraEndUpdate(e.camera);
        RwCameraShowRaster(e.camera, e.hwnd, 0);
    }
    Report(state, engineSeconds, rawSeconds, bufferedSeconds);
}

} // namespace

BENCHMARK(Im2DTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(Im3DTriangles)->Unit(benchmark::kMillisecond);
