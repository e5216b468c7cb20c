// The flyover in a window the player would see: the sample world along its camera path, flown in real time
// for a number of seconds, in the display mode the game takes by default (1024 x 768) on whatever display
// SDL finds. scripts/side-by-side runs it beside a reference game under one X server and counts both
// programs' buffer swaps. Run in build/data; prints its own frame rate on stderr at the end.
//     flyover_window [seconds]
#include "bench/frontend/SampleEngine.h"
#include "frontend/Flyover.h"
#include "objects/Terrain.h"

#include "platform/win32/SdlWindow.h"
#include "scene/EngineHost.h"
#include "scene/World.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Flies the path for `seconds` on the started engine; 0, or 1 when the sample scenery does not load.
int Fly(double seconds, HWND hwnd) {
    int status = 0;
    Base::Config settings;
    Fe::Flyover flyover;
    if (!flyover.Start(settings, 1) || !flyover.World()->terrain) {
        std::fprintf(stderr, "flyover_window: the sample scenery does not load\n");
        status = 1;
    } else {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto previous = start;
        long frames = 0;
        for (bool quit = false; !quit;) {
            for (SDL_Event event; SDL_PollEvent(&event);)
                quit = quit || event.type == SDL_QUIT;
            const auto now = Clock::now();
            const double time = std::chrono::duration<double>(now - start).count();
            if (time >= seconds)
                break;
            flyover.Frame(time, std::chrono::duration<double>(now - previous).count(), Rw::ColourRaster,
                          Rw::DepthRaster, hwnd);
            previous = now;
            ++frames;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::fprintf(stderr, "flyover_window: %ld frames in %.1f s, %.1f frames per second\n", frames,
                     elapsed, double(frames) / elapsed);
    }
    flyover.Stop();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "flyover_window: no display: %s\n", SDL_GetError());
        return 1;
    }
    Win32::AskDeviceFrameBuffer();
    SDL_Window* window = SDL_CreateWindow("Corvane flyover", 0, 0, 1024, 768, SDL_WINDOW_OPENGL);
    HWND hwnd = Win32::AttachSdlWindow(window);
    const int mode = Rw::FindVideoMode(hwnd, 0, 1024, 768, 32);
    int status = 1;
    {
        const BenchSupport::SampleEngine engine(window, hwnd, mode > 0 ? mode : 0);
        if (engine.Failure().empty())
            status = Fly(seconds, hwnd);
        else
            std::fprintf(stderr, "flyover_window: %s\n", engine.Failure().c_str());
    }
    SDL_Quit();
    return status;
}
