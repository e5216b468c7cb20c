// Decoding speed of the image-file readers in megapixels per second (counter MP/s), each beside
// ImageMagick (Magick++) reading the same 1024 x 1024 file and handing out its RGBA bytes. DXT1 blocks: the
// engine's decoder beside libsquish's on the same blocks.
#include "rwsdk/driver/d3d9/d3d9dxttex.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/tool/bmp/rtbmp.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/tool/tiff/rttiff.h"
#include "rwsdk/src/plcore/stream.h"

#include <Magick++.h>
#include <benchmark/benchmark.h>
#include <squish.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int side = 1024;
constexpr double megapixels = side * side / 1e6;

struct Files {
    std::filesystem::path dir;
    bool ready = false;
    Files() {
        RwEngineOpenParams params = {nullptr};
        bool started = RwEngineInit(nullptr, 0, 0) && RwEngineOpen(&params) && RwEngineStart();
        dir = std::filesystem::temp_directory_path() / ("corvane-bench-images-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        const std::string c = std::string(IMAGEFILES_CONVERT) + " -seed 5 -size 1024x1024 plasma: -depth 8 ";
        auto make = [&](const std::string& options, const std::string& target) {
            return std::system((c + options + " '" + target + "'").c_str()) == 0;
        };
        ready = started && make("", "BMP3:" + Path("f.bmp")) &&
                make("-define png:color-type=2", Path("f.png")) && make("-compress lzw", Path("f.tif")) &&
                make("-define dds:compression=dxt1 -define dds:mipmaps=0", Path("f.dds"));
    }
    ~Files() {
        std::filesystem::remove_all(dir);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
    std::string Path(const char* name) const { return (dir / name).string(); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

void Rate(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(megapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void Engine(benchmark::State& state, RwImage* (*read)(const RwChar*), const char* name) {
    Files& files = TheFiles();
    if (!files.ready) {
        state.SkipWithError("no test files");
        return;
    }
    const std::string path = files.Path(name);
    for (auto _ : state) {
        RwImage* image = read(path.c_str());
        if (!image) {
            state.SkipWithError("read failed");
            return;
        }
        benchmark::DoNotOptimize(image->pixels);
        RwImageDestroy(image);
    }
    Rate(state);
}

RwImage* ReadDds(const RwChar* name) {
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, name);
    RwDDSHeader header;
    RwImage* image = nullptr;
    if (stream && _rwDDSHeaderRead(stream, &header)) {
        image = _rwDDSImageRead(stream, &header, nullptr, nullptr);
    }
    if (stream) {
        RwStreamClose(stream, nullptr);
    }
    return image;
}

void ImageMagick(benchmark::State& state, const char* name) {
    Files& files = TheFiles();
    if (!files.ready) {
        state.SkipWithError("no test files");
        return;
    }
    static const bool initialised = [] {
        Magick::InitializeMagick(nullptr);
        return true;
    }();
    (void)initialised;
    const std::string path = files.Path(name);
    std::vector<RwUInt8> rgba(size_t(side) * side * 4);
    for (auto _ : state) {
        try {
            Magick::Image image;
            image.read(path);
            image.write(0, 0, side, side, "RGBA", MagickCore::CharPixel, rgba.data());
        } catch (const Magick::Exception& e) {
            state.SkipWithError(e.what());
            return;
        }
        benchmark::DoNotOptimize(rgba.data());
    }
    Rate(state);
}

BENCHMARK_CAPTURE(Engine, bmp24, RtBMPImageRead, "f.bmp")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ImageMagick, bmp24, "f.bmp")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Engine, png_rgb8, RtPNGImageRead, "f.png")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ImageMagick, png_rgb8, "f.png")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Engine, tiff_rgb_lzw, RtTIFFImageRead, "f.tif")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ImageMagick, tiff_rgb_lzw, "f.tif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Engine, dds_dxt1, ReadDds, "f.dds")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ImageMagick, dds_dxt1, "f.dds")->Unit(benchmark::kMillisecond)->UseRealTime();

// The same DXT1 blocks, decoded in memory.
struct Blocks {
    std::vector<RwUInt8> data;
    std::vector<RwUInt8> pixels;
    Blocks() : data(size_t(side / 4) * (side / 4) * 8), pixels(size_t(side) * side * 4) {
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = RwUInt8((i * 2654435761u) >> 13 ^ (i / 4096));
        }
        squish::CompressImage(pixels.data(), side, side, data.data(),
                              squish::kDxt1 | squish::kColourRangeFit);
    }
};

void Dxt1Engine(benchmark::State& state) {
    static Blocks blocks;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RwDXT1Decompress(side, side, blocks.pixels.data(), blocks.data.data()));
        benchmark::ClobberMemory();
    }
    Rate(state);
}
BENCHMARK(Dxt1Engine)->Unit(benchmark::kMillisecond)->UseRealTime();

void Dxt1Squish(benchmark::State& state) {
    static Blocks blocks;
    for (auto _ : state) {
        squish::DecompressImage(blocks.pixels.data(), side, side, blocks.data.data(), squish::kDxt1);
        benchmark::ClobberMemory();
    }
    Rate(state);
}
BENCHMARK(Dxt1Squish)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
