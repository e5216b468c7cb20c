// Each iteration draws the same triangles three times: through the engine (2D immediate mode, or 3D
// immediate mode with its batch, caches and rotating buffers), as raw DrawPrimitiveUP calls on the device,
// and as raw appends to one dynamic vertex buffer drawn with DrawPrimitive (the driver's own way, without its
// caches). Each pass finishes with a read-back so that the GL work is counted, not only its queueing.
// "ratio" is the engine's time over the buffered time, "ratio_up" over the DrawPrimitiveUP time.
//
// StaticFrame counts the heap allocations of a warm frame of a still scene (begin update, clear, 2D and 3D
// immediate-mode primitives, end update, show): all of them, the GL driver's included, and those of the
// program's own code (target 0).
#include "bench/AllocationCounter.h"
#include "bench/rwsdk/OffscreenEngine.h"
#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/pipe/p2/im3d.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int triangles = 2000;

struct Engine : BenchSupport::OffscreenEngine {
    Engine() : OffscreenEngine(0) {}

    void Finish() { BenchSupport::FinishDrawing(width, height); }
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

// "ratio", the headline, is the engine's time over the buffered draws' (target at most 1.2); "ratio_up" over
// the raw DrawPrimitiveUP calls'.
void Report(benchmark::State& state, double engineSeconds, double rawSeconds, double bufferedSeconds) {
    const double n = double(state.iterations()) * triangles;
    state.counters["engine_per_s"] = n / engineSeconds;
    state.counters["raw_per_s"] = n / rawSeconds;
    state.counters["buffered_per_s"] = n / bufferedSeconds;
    state.counters["ratio"] = engineSeconds / bufferedSeconds;
    state.counters["ratio_up"] = engineSeconds / rawSeconds;
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

// Runs the three passes of an iteration, each first in turn, and adds up their times. Before each, what the
// previous one left to the GL driver (the camera's clear is only done when the first draws need it) is
// finished outside the timing.
template <class EnginePass, class RawPass, class BufferedPass>
void Passes(Engine& e, int iteration, double& engineSeconds, double& rawSeconds, double& bufferedSeconds,
            EnginePass engine, RawPass raw, BufferedPass buffered) {
    for (int k = 0; k < 3; ++k) {
        e.Finish();
        const auto start = Clock::now();
        switch ((iteration + k) % 3) {
        case 0:
            engine();
            e.Finish();
            engineSeconds += std::chrono::duration<double>(Clock::now() - start).count();
            break;
        case 1:
            raw();
            e.Finish();
            rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
            // The raw draws went around the engine's caches: tell them.
            RwD3D9ResetCachesAndGetDevice();
            break;
        default:
            bufferedSeconds += buffered();
            RwD3D9ResetCachesAndGetDevice();
            break;
        }
    }
}

void Im2DTriangles(benchmark::State& state) {
    Engine& e = Shared();
    const std::vector<RwIm2DVertex> v = Screen();
    double engineSeconds = 0, rawSeconds = 0, bufferedSeconds = 0;
    int iteration = 0;
    for (auto _ : state) {
        RwCameraBeginUpdate(e.camera);
        Passes(
            e, iteration++, engineSeconds, rawSeconds, bufferedSeconds,
            [&] {
                for (int i = 0; i < triangles; ++i)
                    RwIm2DRenderPrimitive(rwPRIMTYPETRILIST, const_cast<RwIm2DVertex*>(&v[size_t(i) * 3]), 3);
            },
            [&] {
                RwD3D9Device->SetVertexShader(nullptr);
                RwD3D9Device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
                for (int i = 0; i < triangles; ++i)
                    RwD3D9Device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, &v[size_t(i) * 3],
                                                  sizeof(RwIm2DVertex));
            },
            [&] { return Buffered(e, v, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1); });
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
    int iteration = 0;
    for (auto _ : state) {
        RwCameraBeginUpdate(e.camera);
        Passes(
            e, iteration++, engineSeconds, rawSeconds, bufferedSeconds,
            [&] {
                for (int i = 0; i < triangles; ++i) {
                    RwIm3DTransform(&v[size_t(i) * 3], 3, nullptr, rwIM3D_ALLOPAQUE);
                    RwIm3DRenderPrimitive(rwPRIMTYPETRILIST);
                    RwIm3DEnd();
                }
            },
            [&] {
                RwD3D9Device->SetVertexShader(nullptr);
                RwD3D9Device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
                for (int i = 0; i < triangles; ++i)
                    RwD3D9Device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, &raw[size_t(i) * 3], sizeof(Raw));
            },
            [&] { return Buffered(e, raw, D3DFVF_XYZ | D3DFVF_DIFFUSE); });
        RwCameraEndUpdate(e.camera);
        RwCameraShowRaster(e.camera, e.hwnd, 0);
    }
    Report(state, engineSeconds, rawSeconds, bufferedSeconds);
}

void StaticFrame(benchmark::State& state) {
    Engine& e = Shared();
    std::vector<RwIm2DVertex> screen = Screen();
    std::vector<RwIm3DVertex> world = World();
    screen.resize(30);
    world.resize(30);
    RwRGBA background = {0, 0, 64, 255};
    auto frame = [&] {
        RwCameraClear(e.camera, &background, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwCameraBeginUpdate(e.camera);
        RwIm2DRenderPrimitive(rwPRIMTYPETRILIST, screen.data(), RwInt32(screen.size()));
        RwIm3DTransform(world.data(), RwUInt32(world.size()), nullptr, rwIM3D_ALLOPAQUE);
        RwIm3DRenderPrimitive(rwPRIMTYPETRILIST);
        RwIm3DEnd();
        RwCameraEndUpdate(e.camera);
        RwCameraShowRaster(e.camera, e.hwnd, 0);
    };
    for (int i = 0; i < 20; ++i)
        frame();
    AllocationCounter::Attribute(true);
    const AllocationCounter::Counts start = AllocationCounter::Now();
    for (auto _ : state)
        frame();
    const AllocationCounter::Counts counted = AllocationCounter::Since(start);
    AllocationCounter::Attribute(false);
    const double frames = double(state.iterations());
    state.counters["allocs/frame"] = double(counted.all) / frames;
    state.counters["ours/frame"] = double(counted.ours) / frames;
}

} // namespace

BENCHMARK(StaticFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(Im2DTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(Im3DTriangles)->Unit(benchmark::kMillisecond);
