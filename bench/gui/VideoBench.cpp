// BM_FilmFrame plays the sample test pattern (320 x 240, 75 frames) through the texture renderer as the
// video widget does: each game frame takes the newest picture into the texture. Pacing makes
// wall time meaningless, so both sides count the process's CPU time (every thread: the streaming thread,
// the driver's), less what the main thread spends outside the renderer's calls: the stand-in game frame
// (a sleep, whose wake-ups cost the kernel time) is the game's, not the film's. In the same iteration
// FFmpeg decodes the same file alone; "ratio" is ours over that.
#include "bench/ThreadClock.h"
#include "base/FrameClock.h"
#include "gui/TextureRenderer.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "scene/EngineHost.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

namespace {

const std::string Film = std::string(CORVANE_DATA) + "/Data/Movies/TestPattern.avi";

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Engine {
    SDL_Window* window = nullptr;
    bool started = false;
    Engine() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        window = SDL_CreateWindow("bench", 0, 0, 320, 240, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        started = Rw::StartEngine(4096, 0, Win32::AttachSdlWindow(window), 0, 0);
    }
};

// Frames decoded by FFmpeg alone.
int DecodeAlone() {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, Film.c_str(), nullptr, nullptr) < 0)
        return 0;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[index]->codecpar);
    decoder->thread_count = 1;
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int frames = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            ++frames;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder, packet) == 0)
            drain();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frames;
}

void BM_FilmFrame(benchmark::State& state) {
    static Engine engine;
    if (!engine.started) {
        state.SkipWithError("no engine");
        return;
    }
    double oursSeconds = 0, aloneSeconds = 0, pacingSeconds = 0;
    uint64_t oursFrames = 0, aloneFrames = 0;
    for (auto _ : state) {
        TextureRenderer::Stream stream;
        ThreadClock::duration inCalls{0};
        const auto call = [&inCalls](auto&& work) {
            const auto start = ThreadClock::now();
            work();
            inCalls += ThreadClock::now() - start;
        };
        const double t0 = CpuSeconds();
        const auto main0 = ThreadClock::now();
        call([&] { TextureRenderer::Open(&stream, RwD3D9Device, Film.c_str(), false); });
        call([&] { TextureRenderer::Play(&stream, false); });
        TextureRenderer* renderer = stream.renderer;
        while (renderer && renderer->state == TextureRenderer::Playing) {
            ++Base::FrameClock::FrameCounter;
            call([&] {
                TextureRenderer::Update(&stream);
                TextureRenderer::TimerProc();
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(4)); // a game frame's other work
        }
        const uint64_t uploaded = renderer ? renderer->framesUploaded : 0;
        call([&] { TextureRenderer::Close(&stream); });
        const double t1 = CpuSeconds();
        const double pacing = std::chrono::duration<double>(ThreadClock::now() - main0 - inCalls).count();
        oursSeconds += t1 - t0 - pacing;
        pacingSeconds += pacing;
        oursFrames += uploaded;
        aloneFrames += uint64_t(DecodeAlone());
        aloneSeconds += CpuSeconds() - t1;
    }
    const double ours = oursFrames ? oursSeconds / double(oursFrames) : 0;
    const double alone = aloneFrames ? aloneSeconds / double(aloneFrames) : 0;
    state.counters["film_ms_per_frame"] = ours * 1000;
    state.counters["pacing_ms_per_frame"] = oursFrames ? pacingSeconds / double(oursFrames) * 1000 : 0;
    state.counters["ffmpeg_ms_per_frame"] = alone * 1000;
    state.counters["ratio"] = alone > 0 ? ours / alone : 0;
    state.counters["frames_shown"] = double(oursFrames) / double(state.iterations());
}
BENCHMARK(BM_FilmFrame)->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace
