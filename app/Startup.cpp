#include "app/Startup.h"

#include "app/Application.h"
#include "base/AnimationCache.h"
#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/Config.h"
#include "base/FontCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/SoundCache.h"
#include "base/TextTable.h"
#include "frontend/Frontend.h"
#include "games/MPlrGame.h"
#include "games/SPlrGame.h"
#include "network/Session.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

namespace App {

namespace {

constexpr uint32_t ResourceArenaKB = 4096;

[[noreturn]] void Fail(const char* text, UINT exitCode) {
    MessageBoxA(nullptr, text, "Message", MessageBoxFlags);
    ExitProcess(exitCode);
}

// The settings' display mode, as an engine video mode index (-1 when none matches).
int ChooseVideoMode(HWND window, const Base::Config& settings) {
    if (settings.displayWidth == 0)
        return 0;
    int width = int(settings.displayWidth);
    int height = int(settings.displayHeight);
    // Systems of major version 4 cannot switch to the desktop's own size: a smaller mode is taken.
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version) && version.dwMajorVersion == 4) {
        DEVMODEA desktop{};
        desktop.dmSize = sizeof desktop;
        if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &desktop) &&
            int(desktop.dmPelsWidth) == width && int(desktop.dmPelsHeight) == height) {
            if (width == 800 && height == 600)
                width = 640, height = 480;
            else
                width = 800, height = 600;
        }
    }
    return Rw::FindVideoMode(window, 0, width, height, 32);
}

} // namespace

void Init(HINSTANCE, HWND window) {
    Frontend = nullptr;
    SplrGame = nullptr;
    MplrGame = nullptr;
    Mode = FrontendMode;

    Base::Info startup;
    startup.LoadFile("Startup.info"); // a missing file leaves the tree empty
    Base::String stringsName;
    if (!startup.TryGetString("StringsInfoName", stringsName))
        Fail("Cannot find StringsInfoName entry in Startup.info. Application exiting.", 1);
    Base::Info strings;
    strings.LoadFile(stringsName);

    // Only the display part of the settings is used here; the front end keeps its own copy.
    Base::Config settings;
    settings.SetDefaults();
    settings.Load(Base::ConfigFileName);
    int videoMode = ChooseVideoMode(window, settings);

    if (!Rw::StartEngine(ResourceArenaKB, 0, window, videoMode, settings.refreshRate))
        Fail("Cannot initialize Lumicaster.", UINT(-1));

    // The cache directories; a missing key leaves a path that names nothing.
    Base::FontCache::Directory = strings.GetStringDefault("FontsDir", "UnspecifiedPath");
    Base::ClumpCache::Directory = strings.GetStringDefault("ModelsDir", "UnspecifiedPath");
    Base::AnimationCache::Directory = strings.GetStringDefault("AnimationsDir", "UnspecifiedPath");
    Base::SoundCache::Directory = strings.GetStringDefault("SoundsDir", "UnspecifiedPath");

    Base::TextTable = strings;

    Rw::InstallStreamedTextures();
    Base::AsyncLoader::Start();

    SetWindowTextA(window, Base::GetText("AppTitle").c_str());

    NetSession = new MPlr::Session;
    Frontend = new Fe::Frontend(Keyboard, Mouse, Joystick, NetSession);

    Started = true;
}

void Shutdown() {
    if (!Started)
        return;
    // Cleared while the loader still runs; nothing deleted below may touch a cached font or tree.
    Base::FontCache::Clear();
    Base::InfoCache::Clear();
    Base::ClumpCache::Clear();
    Base::AnimationCache::Clear();
    Base::SoundCache::Clear();

    delete SplrGame;
    SplrGame = nullptr;
    delete MplrGame;
    MplrGame = nullptr;
    delete Frontend; // saves the settings
    Frontend = nullptr;

    delete NetSession;
    NetSession = nullptr;

    Base::AsyncLoader::Stop();
    Rw::StopEngine();
    ChangeDisplaySettingsA(nullptr, 0);
    Started = false;
}

} // namespace App
