// Resampling 1024 x 1024 to 512 x 512 (megapixels per second of source; target at least 100), printed with a
// plain 2 x 2 average loop measured in the same run and their ratio, and quantising 512 x 512 to 256 colours.
#include "rwsdk/src/palquant.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/resample.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <vector>

namespace {

struct StartedEngine {
    StartedEngine() {
        RwEngineInit(nullptr, 0, 0);
        RwEngineOpenParams params = {nullptr};
        RwEngineOpen(&params);
        RwEngineStart();
    }
    ~StartedEngine() {
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
};

RwImage* TestImage(RwInt32 size) {
    RwImage* image = RwImageCreate(size, size, 32);
    RwImageAllocatePixels(image);
    std::mt19937 random(11);
    for (RwInt32 y = 0; y < size; y++) {
        RwUInt8* p = image->pixels + y * image->stride;
        for (RwInt32 x = 0; x < size; x++, p += 4) {
            p[0] = static_cast<RwUInt8>(x * 255 / size);
            p[1] = static_cast<RwUInt8>(y * 255 / size);
            p[2] = static_cast<RwUInt8>((x ^ y) + random() % 24);
            p[3] = static_cast<RwUInt8>(255 - random() % 8);
        }
    }
    return image;
}

// The reference: the simplest exact 2 x 2 average of the same image.
void ReferenceHalve(const RwImage* source, std::vector<RwUInt8>& out) {
    for (int y = 0; y < 512; y++) {
        const RwUInt8* r0 = source->pixels + (2 * y) * source->stride;
        const RwUInt8* r1 = r0 + source->stride;
        RwUInt8* o = &out[y * 512 * 4];
        for (int x = 0; x < 512 * 4; x++) {
            const int px = (x >> 2) * 8 + (x & 3);
            o[x] = static_cast<RwUInt8>((r0[px] + r0[px + 4] + r1[px] + r1[px + 4] + 2) >> 2);
        }
    }
}

// Source megapixels per second of the reference, timed here in the same run.
double ReferenceRate(const RwImage* source) {
    std::vector<RwUInt8> out(512 * 512 * 4);
    const int runs = 50;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; i++) {
        ReferenceHalve(source, out);
        benchmark::DoNotOptimize(out[i]);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    return runs * 1024.0 * 1024.0 / 1e6 / seconds.count();
}

void BM_ResampleHalve1024(benchmark::State& state) {
    StartedEngine engine;
    RwImage* source = TestImage(1024);
    RwImage* destination = RwImageCreate(512, 512, 32);
    RwImageAllocatePixels(destination);
    const double reference = ReferenceRate(source);
    const auto start = std::chrono::steady_clock::now();
    int64_t runs = 0;
    for (auto _ : state) {
        RwImageResample(destination, source);
        benchmark::DoNotOptimize(destination->pixels[0]);
        runs++;
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const double rate = runs * 1024.0 * 1024.0 / 1e6 / seconds.count();
    state.counters["source_MP/s"] = rate;
    state.counters["reference_MP/s"] = reference;
    state.counters["ratio"] = rate / reference; // target: at least 100 MP/s
    RwImageDestroy(destination);
    RwImageDestroy(source);
}
BENCHMARK(BM_ResampleHalve1024)->Unit(benchmark::kMillisecond);

void BM_ResampleToNonMultiple(benchmark::State& state) {
    StartedEngine engine;
    RwImage* source = TestImage(1024);
    RwImage* destination = RwImageCreate(300, 700, 32);
    RwImageAllocatePixels(destination);
    for (auto _ : state) {
        RwImageResample(destination, source);
        benchmark::DoNotOptimize(destination->pixels[0]);
    }
    state.counters["source_MP/s"] =
        benchmark::Counter(1024.0 * 1024.0 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    RwImageDestroy(destination);
    RwImageDestroy(source);
}
BENCHMARK(BM_ResampleToNonMultiple)->Unit(benchmark::kMillisecond);

void BM_Quantize512To256(benchmark::State& state) {
    StartedEngine engine;
    RwImage* source = TestImage(512);
    std::vector<RwUInt8> indices(512 * 512);
    RwUInt8 palette[256 * 4];
    for (auto _ : state) {
        RwPaletteQuantizer quantizer;
        RwPaletteQuantizerInit(&quantizer);
        RwPaletteQuantizerAddImage(&quantizer, source, 1.0f);
        RwPaletteQuantizerMakePalette(&quantizer, palette, 256);
        RwPaletteQuantizerMatchImage(&quantizer, indices.data(), 512, source);
        RwPaletteQuantizerDeinit(&quantizer);
        benchmark::DoNotOptimize(indices[0]);
    }
    state.counters["MP/s"] =
        benchmark::Counter(512.0 * 512.0 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    RwImageDestroy(source);
}
BENCHMARK(BM_Quantize512To256)->Unit(benchmark::kMillisecond);

} // namespace
