// The flyover in a window the player would see: the sample world along its camera path, flown in real time
// for a number of seconds, in the display mode the game takes by default (1024 x 768) on whatever display
// SDL finds. scripts/side-by-side runs it beside a reference game under one X server and counts both
// programs' buffer swaps. Run in build/data; prints its own frame rate on stderr at the end.
//     flyover_window [seconds]
#include "frontend/Flyover.h"
#include "objects/Terrain.h"

#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/StreamedTextureCache.h"
#include "base/TextTable.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"
#include "scene/World.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    Base::Info strings;
    if (strings.LoadFile("Data/Strings.info") != 0) {
        std::fprintf(stderr, "flyover_window: run in build/data (the strings file cannot be read)\n");
        return 1;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "flyover_window: no display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("Corvane flyover", 0, 0, 1024, 768, SDL_WINDOW_OPENGL);
    HWND hwnd = Win32::AttachSdlWindow(window);
    const int mode = Rw::FindVideoMode(hwnd, 0, 1024, 768, 32);
    if (!Rw::StartEngine(4096, 0, hwnd, mode > 0 ? mode : 0, 0)) {
        std::fprintf(stderr, "flyover_window: %s\n", Rw::StartFailure.c_str());
        return 1;
    }
    Base::TextTable = strings;
    Base::ClumpCache::Directory = Base::GetText("ModelsDir");
    RwImageSetPath(Base::GetText("TexturesDir").c_str());
    Rw::InstallClumpCache();
    Rw::InstallStreamedTextures();
    Base::AsyncLoader::Start();
    Rw::RegisterImageFormats();
    int status = 0;
    {
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
    }
    Base::AsyncLoader::Stop();
    Base::StreamedTextureCache::Update();
    Base::ClumpCache::Clear();
    Rw::StopEngine();
    Win32::DetachSdlWindow(hwnd);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return status;
}
