// Decoding speed of the image-file readers beside ImageMagick (Magick++) reading the same 1024 x 1024 file
// and handing out its RGBA bytes, both in the same iterations, in turn first: each prints "engine_MP/s",
// "reference_MP/s" and "ratio", the engine's time over the reference's (targets: 1.5, PNG and TIFF 1.2).
// DXT1 blocks: the engine's decoder beside libsquish's on the same blocks (target 1).
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

#include <chrono>
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

using Clock = std::chrono::steady_clock;

// Runs the engine's pass and the reference's in each iteration, each first in turn, and prints both rates
// and their ratio.
template <class EnginePass, class ReferencePass>
void Side(benchmark::State& state, EnginePass engine, ReferencePass reference) {
    Clock::duration engineTime{}, referenceTime{};
    bool engineFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool isEngine = (turn == 0) == engineFirst;
            const auto start = Clock::now();
            if (!(isEngine ? engine() : reference())) {
                state.SkipWithError(isEngine ? "engine read failed" : "reference read failed");
                return;
            }
            (isEngine ? engineTime : referenceTime) += Clock::now() - start;
        }
        engineFirst = !engineFirst;
    }
    const double pixels = megapixels * double(state.iterations());
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    state.counters["engine_MP/s"] = pixels / seconds(engineTime);
    state.counters["reference_MP/s"] = pixels / seconds(referenceTime);
    state.counters["ratio"] = seconds(engineTime) / seconds(referenceTime);
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

// The engine's reader against ImageMagick's on the same file.
void AgainstImageMagick(benchmark::State& state, RwImage* (*read)(const RwChar*), const char* name) {
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
    Side(
        state,
        [&] {
            RwImage* image = read(path.c_str());
            if (!image)
                return false;
            benchmark::DoNotOptimize(image->pixels);
            RwImageDestroy(image);
            return true;
        },
        [&] {
            try {
                Magick::Image image;
                image.read(path);
                image.write(0, 0, side, side, "RGBA", MagickCore::CharPixel, rgba.data());
            } catch (const Magick::Exception&) {
                return false;
            }
            benchmark::DoNotOptimize(rgba.data());
            return true;
        });
}

BENCHMARK_CAPTURE(AgainstImageMagick, bmp24, RtBMPImageRead, "f.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AgainstImageMagick, png_rgb8, RtPNGImageRead, "f.png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AgainstImageMagick, tiff_rgb_lzw, RtTIFFImageRead, "f.tif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AgainstImageMagick, dds_dxt1, ReadDds, "f.dds")->Unit(benchmark::kMillisecond);

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

void Dxt1AgainstSquish(benchmark::State& state) {
    static Blocks blocks;
    Side(
        state,
        [&] {
            benchmark::DoNotOptimize(RwDXT1Decompress(side, side, blocks.pixels.data(), blocks.data.data()));
            benchmark::ClobberMemory();
            return true;
        },
        [&] {
            squish::DecompressImage(blocks.pixels.data(), side, side, blocks.data.data(), squish::kDxt1);
            benchmark::ClobberMemory();
            return true;
        });
}
BENCHMARK(Dxt1AgainstSquish)->Unit(benchmark::kMillisecond);

} // namespace
