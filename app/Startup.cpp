#include "app/Startup.h"

#include "app/Application.h"
#include "audio/CreateSound.h"
#include "audio/Device.h"
#include "base/AnimationCache.h"
#include "base/AsyncLoader.h"
#include "base/CacheLoaders.h"
#include "base/ClumpCache.h"
#include "base/Config.h"
#include "base/FontCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/SoundCache.h"
#include "base/String.h"
#include "base/TextTable.h"
#include "cameras/SceneLights.h"
#include "cockpit/Cockpit.h"
#include "hud/Hud.h"
#include "frontend/Frontend.h"
#include "games/MPlrGame.h"
#include "games/SPlrGame.h"
#include "gui/draw/Draw3d.h"
#include "gui/draw/Font.h"
#include "input/DirectInput.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "network/Session.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/texture.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "weapons/AirplaneGun.h"
#include "weapons/BulletGroup.h"
#include "weapons/AutoWeapons.h"
#include "weapons/Gun.h"
#include "weapons/Stores.h"
#include "scene/StreamedTexture.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace App {

void (*StepListener)(const char* step) = nullptr;

namespace {

// The bullets' heads go through the 2D layer's point drawing, which the weapons cannot reach.
void DrawBulletHeads(const Weapons::BulletGroup::Head* heads, uint32_t count) {
    static std::vector<Gui::Vertex3d> points;
    if (points.size() < count)
        points.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        points[i] = {heads[i].x, heads[i].y, heads[i].z, heads[i].colour, 0, 0};
    Gui::DrawPoints(points.data(), count, 1, nullptr);
}

constexpr uint32_t ResourceArenaKB = 4096;

void Step(const char* name) {
    if (StepListener)
        StepListener(name);
}

[[noreturn]] void Fail(const std::string& text, UINT exitCode) {
    MessageBoxA(nullptr, text.c_str(), "Message", MessageBoxFlags);
    ExitProcess(exitCode);
}

// LoadFile's result: above 0, the line where the parse failed.
void FailOnParseError(std::string_view file, int line) {
    if (line > 0)
        Fail("Error in '" + Base::Clip(file) + "' at line " + std::to_string(line) + ". Application exiting.",
             1);
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
    int found = Rw::FindVideoMode(window, 0, width, height, 32);
    if (found >= 0)
        return found;
    // A mode this machine does not offer (another monitor, a settings file from another machine) must not
    // lock the player out: the nearest one is taken, or a window, and the player is told.
    int nearWidth = 0, nearHeight = 0;
    found = Rw::NearestVideoMode(window, 0, width, height, 32, nearWidth, nearHeight);
    std::string instead = found > 0
                              ? std::to_string(nearWidth) + " x " + std::to_string(nearHeight) + " instead."
                              : "a window instead.";
    MessageBoxA(nullptr,
                ("The display mode " + std::to_string(width) + " x " + std::to_string(height) +
                 " is not available on this machine: using " + instead)
                    .c_str(),
                "Message", MessageBoxFlags);
    return found;
}

// Reads the five resource directories into their users; false when any key is missing (a missing key
// stores "UnspecifiedPath").
bool SetDirectories(const Base::Info& strings) {
    bool all = true;
    auto get = [&](const char* key) {
        bool found = false;
        Base::String value = strings.GetStringDefault(key, "UnspecifiedPath", &found);
        all = all && found;
        return value;
    };
    Base::FontCache::Directory = get("FontsDir");
    Base::ClumpCache::Directory = get("ModelsDir");
    Base::AnimationCache::Directory = get("AnimationsDir");
    Base::SoundCache::Directory = get("SoundsDir");
    RwImageSetPath(get("TexturesDir").c_str());
    return all;
}

template <class T> void Delete(T*& object) {
    delete object;
    object = nullptr;
}

// Gives the display back as it was before the engine started.
void StopEngineAndDisplay() {
    Step("stop engine");
    Rw::StopEngine();
    Step("restore display");
    ChangeDisplaySettingsA(nullptr, 0);
}

} // namespace

void Init(HINSTANCE instance, HWND window) {
    Frontend = nullptr;
    SplrGame = nullptr;
    MplrGame = nullptr;
    Mode = FrontendMode;

    Step("read startup file");
    Base::Info startup;
    // A missing file leaves the tree empty; a damaged one is named with its line rather than taken for a
    // missing key.
    const int startupRead = startup.LoadFile("Startup.info");
    // A missing file is named as such rather than taken for a file without its key.
    if (startupRead < 0) {
        std::error_code ignored;
        Fail("Cannot find 'Startup.info' in '" + Base::Clip(std::filesystem::current_path(ignored).string()) +
                 "'. Application exiting.",
             1);
    }
    FailOnParseError("Startup.info", startupRead);
    Base::String stringsName;
    if (!startup.TryGetString("StringsInfoName", stringsName))
        Fail("Cannot find StringsInfoName entry in Startup.info. Application exiting.", 1);
    Step("read strings file");
    Base::Info strings;
    FailOnParseError(stringsName, strings.LoadFile(stringsName));

    // Only the display part of the settings is used here; the front end keeps its own copy.
    Step("read settings");
    Base::Config settings;
    settings.SetDefaults();
    settings.Load(Base::ConfigFileName);
    Step("choose video mode");
    int videoMode = ChooseVideoMode(window, settings);

    Step("start engine");
    if (!Rw::StartEngine(ResourceArenaKB, 0, window, videoMode, settings.refreshRate)) {
        // The display goes back first: a full-screen attempt may have changed it.
        ChangeDisplaySettingsA(nullptr, 0);
        Fail("Cannot initialize Lumicaster.\n\n" + Rw::StartFailure, UINT(-1));
    }

    Step("set directories");
    bool directoriesFound = SetDirectories(strings);
    Gui::Font::InstallCache();        // fonts are read from "FontsDir" when the GUI first asks for them
    Gui::InstallClumpPoints();        // far models fade to a point drawn by the 3D drawing layer
    Lights::InstallSkyLights();       // every sky that loads builds its scene lights
    Rw::InstallClumpCache();          // models are read from "ModelsDir" and handed out as clones
    Rw::InstallAnimationCache();      // animations are read from "AnimationsDir"
    Weapons::InstallVehicleWeapons(); // armed cars and ships get their guns from the weapons
    Weapons::InstallAirplaneGun();    // and loaded airplanes theirs
    Cockpit::RegisterCockpit();       // every airplane gets its 3D cockpit
    Hud::RegisterHud();               // with its head-up display on the glass
    Weapons::InstallStores();         // and airplanes their weapon stores
    Weapons::BulletGroup::DrawHeads = DrawBulletHeads;
    Step("copy strings");
    Base::TextTable = strings;
    if (!directoriesFound) {
        // A full-screen start has changed the display: it is given back before the process ends.
        StopEngineAndDisplay();
        Fail("One or more game directories unspecified in '" + Base::Clip(stringsName) +
                 "' file. Application exiting.",
             1);
    }

    Step("start file loader");
    Rw::InstallStreamedTextures();
    Base::AsyncLoader::Start();

    Step("register image formats");
    Rw::RegisterImageFormats();
    Step("start audio");
    // The game runs silent without a sound device; the player is told why there is no sound.
    if (!Audio::StartDirectSound(nullptr, window))
        std::fprintf(stderr, "No sound device could be opened: the game runs without sound.\n");
    Audio::InstallSoundCache();
    Step("create DirectInput");
    Input::CreateDirectInput(instance, window); // without it the devices stay idle
    Step("set title");
    SetWindowTextA(window, Base::GetText("AppTitle").c_str());

    Step("create keyboard");
    Keyboard = new Input::Keyboard;
    Step("create mouse");
    Mouse = new Input::Mouse;
    Step("create joystick");
    Joystick = new Input::Joystick;
    Step("create session");
    NetSession = new MPlr::Session;
    Step("create front end");
    Frontend = new Fe::Frontend(Keyboard, Mouse, Joystick, NetSession);

    // Every cache's loader and every hook is installed by now; one that is not (its layer not built yet, or
    // forgotten) is said once, by name, rather than having every file it holds read as missing in silence.
    for (const std::string& cache : Base::CachesWithoutLoader())
        Base::ReportMissingLoader(cache);
    for (const std::string& hook : Base::HooksNotInstalled())
        Base::ReportMissingHook(hook);

    Started = true;
}

void Shutdown() {
    if (!Started)
        return;
    // The caches go first, while the games and the front end still exist: their destructors must not use
    // cached fonts, trees, clumps, animations or sounds. The loader runs on until the textures are gone.
    Step("clear caches");
    Base::FontCache::Clear();
    Base::InfoCache::Clear();
    Base::ClumpCache::Clear();
    Base::AnimationCache::Clear();
    Base::SoundCache::Clear();

    Step("delete games and front end");
    Delete(SplrGame);
    Delete(MplrGame);
    Delete(Frontend); // saves the settings
    Step("delete input devices");
    Delete(Keyboard);
    Delete(Mouse);
    Delete(Joystick);
    Step("delete session");
    Delete(NetSession);

    Step("release DirectInput");
    Input::ReleaseDirectInput();
    Step("stop audio");
    Audio::StopDirectSound();

    Step("destroy texture dictionaries");
    RwTextureDictionaryForAllDictionaries(Rw::DestroyTextureDictionary, nullptr);
    RwTextureSetReadCallback(Rw::DefaultTextureRead);
    Rw::ImageFormatsRegistered = false;

    Step("stop file loader");
    Base::AsyncLoader::Stop();

    StopEngineAndDisplay();
    Started = false;
}

} // namespace App
