// Decodes a 3-minute stereo Ogg Vorbis track with the game's decoder and with oggdec, in the same run,
// and reports both times and their ratio (target: at most 1.1).
#include "audio/Decoder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Made once per run with sox and oggenc: three minutes of a chord that drifts, so the encoder has work.
const std::string& Track() {
    static const std::string path = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "corvane-bench-audio").string();
        std::filesystem::create_directories(dir);
        std::string wav = dir + "/track.wav", ogg = dir + "/track.ogg";
        if (!std::filesystem::exists(ogg)) {
            std::string make =
                "sox -n -r 44100 -c 2 -b 16 '" + wav +
                "' synth 180 sine 220-440 sine 330-660 pinknoise gain -12 && oggenc -Q -q 5 -o '" + ogg +
                "' '" + wav + "'";
            if (std::system(make.c_str()) != 0) {
                return std::string();
            }
        }
        return ogg;
    }();
    return path;
}

double OurDecodeSeconds(const std::string& path, uint64_t& bytes) {
    auto start = std::chrono::steady_clock::now();
    std::ifstream file(path, std::ios::binary);
    std::unique_ptr<Audio::Decoder> decoder(Audio::OpenDecoder(file));
    std::vector<char> chunk(64 * 1024);
    bytes = 0;
    while (decoder && decoder->status == Audio::Decoder::Open) {
        bytes += decoder->Read(chunk.data(), static_cast<uint32_t>(chunk.size()));
    }
    benchmark::DoNotOptimize(chunk.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double OggdecSeconds(const std::string& path) {
    auto start = std::chrono::steady_clock::now();
    std::string command = "oggdec -Q -R -o /dev/null '" + path + "'";
    if (std::system(command.c_str()) != 0) {
        return 0;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void OggDecodeAgainstOggdec(benchmark::State& state) {
    const std::string& path = Track();
    if (path.empty()) {
        state.SkipWithError("sox or oggenc failed");
        return;
    }
    double ours = 0, reference = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        const double mine = OurDecodeSeconds(path, bytes);
        const double theirs = OggdecSeconds(path);
        ours += mine;
        reference += theirs;
        state.SetIterationTime(mine);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / n;
    state.counters["oggdec_s"] = reference / n;
    state.counters["ratio"] = reference > 0 ? ours / reference : 0;
    state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

} // namespace

BENCHMARK(OggDecodeAgainstOggdec)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
