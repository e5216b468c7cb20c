// Text layout and the screen-text queue. BM_LayoutGlyphs and BM_QueueGlyphs count glyphs per second without
// a device. BM_FullScreenText draws 10,000 glyphs per frame through the queue and, in the same iteration,
// the same quads as one raw DrawPrimitiveUP on the device with the same texture and blending; each pass ends
// with a read-back so that GL's work is counted. "ratio" is the queue's time over the raw time;
// "allocs_per_frame" counts heap allocations while a warm frame queues and flushes its text.
#include "bench/Offscreen.h"
#include "bench/rwsdk/OffscreenEngine.h"
#include "base/Info.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "gui/draw/TextLayout.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::atomic<uint64_t> allocations{0};

} // namespace

// The counting operator new hands out malloc's memory, so its delete frees it; g++ sees new and free meet
// once they are inlined into one caller.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Width = 1024, Height = 768;

// Printable ASCII in 7 x 14 cells of a 256 x 128 atlas, as the font tool lays them out.
Gui::Font* MakeFont(RwTexture* texture) {
    std::string text = "Texture T\nSpacing 0 0\nChars\n{\n";
    for (int c = 32; c < 127; ++c) {
        const int i = c - 32;
        text += std::to_string(c) + " " + std::to_string(2 + (i % 28) * 9) + " " +
                std::to_string(2 + (i / 28) * 16) + " r7 r14\n";
    }
    text += "}\n";
    Base::Info info;
    info.LoadText(text);
    return Gui::Font::Build(info, texture, 256, 128);
}

std::string Paragraph(size_t length) {
    const char* words = "Two bandits low over the coast heading north at four hundred knots ";
    std::string out;
    while (out.size() < length)
        out += words;
    out.resize(length);
    return out;
}

void BM_LayoutGlyphs(benchmark::State& state) {
    Gui::Font* font = MakeFont(nullptr);
    const std::string text = Paragraph(2000);
    Gui::TextStyle style;
    style.font = font;
    style.right = 600, style.bottom = 800;
    style.wrap = 1;
    style.horizontalAlignment = 0;
    for (auto _ : state) {
        Gui::TextLayout layout(text, style);
        benchmark::DoNotOptimize(layout.lines.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    Gui::Font::Delete(font);
}
BENCHMARK(BM_LayoutGlyphs);

void BM_QueueGlyphs(benchmark::State& state) {
    Gui::Font* font = MakeFont(nullptr);
    const std::string line = Paragraph(100);
    const Gui::ScreenPoint* points = nullptr;
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i)
            Gui::QueueText({0, float(i * 7)}, line, {255, 255, 255, 255}, {1, 1}, 0, line.size(), {0, 0}, -1,
                           -1);
        benchmark::DoNotOptimize(Gui::BuildTextQuads(font, &points));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100 * int64_t(line.size()));
    Gui::Font::Delete(font);
}
BENCHMARK(BM_QueueGlyphs);

struct Engine {
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwCamera* camera = nullptr;
    RwTexture* texture = nullptr;
    Gui::Font* font = nullptr;
    bool started = false;

    Engine() {
        std::tie(window, hwnd) = BenchSupport::OpenHiddenWindow("bench", Width, Height);
        started = Rw::StartEngine(4096, 0, hwnd, 0, 0);
        if (!started)
            return;
        camera = RwCameraCreate();
        RwCameraSetFrame(camera, RwFrameCreate());
        RwCameraSetRaster(camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera, Rw::DepthRaster);
        RwRaster* raster = RwRasterCreate(256, 128, 32, int(rwRASTERTYPETEXTURE) | int(rwRASTERFORMAT8888));
        texture = RwTextureCreate(raster);
        font = MakeFont(texture); // the font owns the texture
    }

    void Finish() { BenchSupport::FinishDrawing(Width, Height); }
};

Engine& Shared() {
    static Engine engine;
    return engine;
}

// 100 lines of 100 characters over the screen.
void QueueScreen(const std::string& line) {
    for (int i = 0; i < 100; ++i)
        Gui::QueueText({4, float(i * 7)}, line, {240, 240, 240, 255}, {1, 1}, 0, line.size(), {0, 0}, -1, -1);
}

struct RawVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

void BM_FullScreenText(benchmark::State& state) {
    Engine& e = Shared();
    if (!e.started) {
        state.SkipWithError("no device");
        return;
    }
    const std::string line = Paragraph(100);
    // The same quads, built once, for the raw pass.
    QueueScreen(line);
    const Gui::ScreenPoint* points = nullptr;
    const uint32_t count = Gui::BuildTextQuads(e.font, &points);
    std::vector<RawVertex> raw;
    for (uint32_t q = 0; q + 1 < count; q += 2) {
        const Gui::ScreenPoint& a = points[q];
        const Gui::ScreenPoint& b = points[q + 1];
        const uint32_t c = Gui::ToArgb(a.colour);
        const RawVertex v0{a.x, a.y, 0.5f, 1, c, a.u, a.v}, v1{b.x, a.y, 0.5f, 1, c, b.u, a.v},
            v2{b.x, b.y, 0.5f, 1, c, b.u, b.v}, v3{a.x, b.y, 0.5f, 1, c, a.u, b.v};
        raw.insert(raw.end(), {v0, v1, v2, v2, v3, v0});
    }
    auto* deviceTexture =
        static_cast<IDirect3DBaseTexture9*>(RwD3D9RasterExtension(RwTextureGetRaster(e.texture))->texture);

    double textSeconds = 0, rawSeconds = 0;
    uint64_t allocs = 0, frames = 0;
    RwCameraBeginUpdate(e.camera);
    QueueScreen(line); // warm the queue and its buffers
    Gui::FlushTextQueue(e.font, rwFILTERLINEAR);
    RwCameraEndUpdate(e.camera);
    for (auto _ : state) {
        RwCameraBeginUpdate(e.camera);
        const uint64_t before = allocations.load();
        auto t0 = Clock::now();
        QueueScreen(line);
        Gui::FlushTextQueue(e.font, rwFILTERLINEAR);
        allocs += allocations.load() - before;
        ++frames;
        e.Finish();
        auto t1 = Clock::now();
        IDirect3DDevice9* d = RwD3D9Device;
        d->SetTexture(0, deviceTexture);
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(raw.size() / 3), raw.data(), sizeof(RawVertex));
        e.Finish();
        auto t2 = Clock::now();
        RwCameraEndUpdate(e.camera);
        // The raw pass went around the engine's caches: they forget what they sent.
        RwD3D9ResetCachesAndGetDevice();
        textSeconds += std::chrono::duration<double>(t1 - t0).count();
        rawSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["glyphs"] = double(count / 2);
    state.counters["text_ms"] = textSeconds * 1000 / double(state.iterations());
    state.counters["raw_ms"] = rawSeconds * 1000 / double(state.iterations());
    state.counters["ratio"] = rawSeconds > 0 ? textSeconds / rawSeconds : 0;
    state.counters["allocs_per_frame"] = frames ? double(allocs) / double(frames) : 0;
}
BENCHMARK(BM_FullScreenText)->Unit(benchmark::kMillisecond);

} // namespace
