// Stream reads against the plain copy of the same bytes; the ratio counter is the figure that counts
// (target: at most 1.5).
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/stream.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr size_t totalBytes = 64u << 20;

struct Engine {
    Engine() {
        RwEngineOpenParams params = {nullptr};
        started = RwEngineInit(nullptr, 0, 0) && RwEngineOpen(&params) && RwEngineStart();
        data.resize(totalBytes);
        for (size_t i = 0; i < totalBytes; ++i) {
            data[i] = static_cast<RwUInt8>(i * 2654435761u >> 13);
        }
        path = (std::filesystem::temp_directory_path() / ("corvane-bench-" + std::to_string(::getpid())))
                   .string();
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    ~Engine() {
        std::remove(path.c_str());
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
    bool started = false;
    std::vector<RwUInt8> data;
    std::string path;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

using Clock = std::chrono::steady_clock;

template <typename F> double Seconds(F&& f) {
    auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each iteration reads the 64 MB once the plain way and once through a stream, in pieces of the given
// size.
void Report(benchmark::State& state, double plain, double stream) {
    state.counters["plain_ms"] = plain * 1000 / double(state.iterations());
    state.counters["stream_ms"] = stream * 1000 / double(state.iterations());
    state.counters["ratio"] = stream / plain;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(totalBytes));
}

void MemoryStream(benchmark::State& state) {
    Engine& engine = TheEngine();
    const RwUInt32 piece = RwUInt32(state.range(0));
    std::vector<RwUInt8> out(piece);
    double plain = 0, streamed = 0;
    for (auto _ : state) {
        plain += Seconds([&] {
            for (size_t at = 0; at < totalBytes; at += piece) {
                std::memcpy(out.data(), engine.data.data() + at, piece);
                benchmark::DoNotOptimize(out.data());
            }
        });
        streamed += Seconds([&] {
            RwMemory memory = {engine.data.data(), RwUInt32(totalBytes)};
            RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
            while (RwStreamRead(stream, out.data(), piece) == piece) {
                benchmark::DoNotOptimize(out.data());
            }
            RwStreamClose(stream, nullptr);
        });
    }
    Report(state, plain, streamed);
}

void FileStream(benchmark::State& state) {
    Engine& engine = TheEngine();
    const RwUInt32 piece = RwUInt32(state.range(0));
    std::vector<RwUInt8> out(piece);
    double plain = 0, streamed = 0;
    for (auto _ : state) {
        plain += Seconds([&] {
            FILE* f = std::fopen(engine.path.c_str(), "rb");
            while (std::fread(out.data(), 1, piece, f) == piece) {
                benchmark::DoNotOptimize(out.data());
            }
            std::fclose(f);
        });
        streamed += Seconds([&] {
            RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, engine.path.c_str());
            while (RwStreamRead(stream, out.data(), piece) == piece) {
                benchmark::DoNotOptimize(out.data());
            }
            RwStreamClose(stream, nullptr);
        });
    }
    Report(state, plain, streamed);
}

BENCHMARK(MemoryStream)->Arg(4 << 10)->Arg(64 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK(FileStream)->Arg(4 << 10)->Arg(64 << 10)->Unit(benchmark::kMillisecond);

} // namespace
