// The engine as the game sets it up over the sample data tree (run in build/data): its strings, the models
// and textures folders, the clump cache, streamed textures, the background loader, the image formats and
// the sky's sun and ambient light (without them every lit model draws black).
// Taken down again in the reverse order, with the window it was opened on.
#pragma once

#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/StreamedTextureCache.h"
#include "base/TextTable.h"
#include "cameras/SceneLights.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

#include <SDL.h>

#include <string>

namespace BenchSupport {

class SampleEngine {
public:
    // Takes the window and its handle over; videoMode as the engine's start takes it (0 for the default).
    SampleEngine(SDL_Window* window, HWND hwnd, int videoMode = 0) : window_(window), hwnd_(hwnd) {
        Base::Info strings;
        if (strings.LoadFile("Data/Strings.info") != 0) {
            failure_ = "run in build/data: the strings file cannot be read";
            return;
        }
        if (!Rw::StartEngine(4096, 0, hwnd, videoMode, 0)) {
            failure_ = "no device: " + Rw::StartFailure;
            return;
        }
        started_ = true;
        Base::TextTable = strings;
        Base::ClumpCache::Directory = Base::GetText("ModelsDir");
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        Rw::InstallClumpCache();
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        Rw::RegisterImageFormats();
        Lights::InstallSkyLights();
    }
    ~SampleEngine() {
        if (started_) {
            Base::AsyncLoader::Stop();
            Base::StreamedTextureCache::Update();
            Base::ClumpCache::Clear();
            Rw::StopEngine();
        }
        Win32::DetachSdlWindow(hwnd_);
        SDL_DestroyWindow(window_);
    }
    SampleEngine(const SampleEngine&) = delete;
    SampleEngine& operator=(const SampleEngine&) = delete;

    // Why the engine did not start; empty once it has.
    const std::string& Failure() const { return failure_; }

private:
    SDL_Window* window_;
    HWND hwnd_;
    std::string failure_;
    bool started_ = false;
};

} // namespace BenchSupport
