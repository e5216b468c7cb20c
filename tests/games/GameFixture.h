// The single-player game on the test rig: the engine on a small hidden window over the built sample data,
// the front end that the game reads its settings from, the fixed clock, and the rig's scripted keyboard,
// mouse and joystick. The test runs in a scratch folder that sees the data through a link, so that the
// settings file the front end saves is its own.
#pragma once

#include "tests/rig/ScriptedInput.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"
#include "tests/support/TempDir.h"

#include "aircraft/Airplane.h"
#include "audio/CreateSound.h"
#include "audio/Device.h"
#include "base/AnimationCache.h"
#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "base/Random.h"
#include "base/SoundCache.h"
#include "base/TextTable.h"
#include "cameras/SceneLights.h"
#include "cockpit/Cockpit.h"
#include "frontend/Frontend.h"
#include "frontend/Page.h"
#include "gui/Desktop.h"
#include "games/SPlrGame.h"
#include "gui/draw/Font.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "mission/Mission.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/texture.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace GameTest {

namespace fs = std::filesystem;

constexpr int Width = 320, Height = 240;
constexpr double Step = 1.0 / 30.0;

// The enemy airplanes that the mission holds by name.
inline std::vector<Obj::Airplane*> EnemyAirplanes(const Mission::Mission& mission) {
    std::vector<Obj::Airplane*> found;
    for (const auto& [name, object] : mission.objects)
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(object.Get());
            airplane && airplane->allegiance == Obj::Enemy)
            found.push_back(airplane);
    return found;
}

// The scripted kill: each airplane is destroyed where it flies, which must be over the 32 km map, so that
// it falls onto the ground (beyond the map's edge there is none to crash into).
inline void ShootDownOverTheMap(const std::vector<Obj::Airplane*>& airplanes) {
    for (Obj::Airplane* airplane : airplanes) {
        const Physics::AirplaneState s = airplane->GetState();
        ASSERT_LT(std::max(std::fabs(s.position.x), std::fabs(s.position.z)), 16000.0) << "off the map";
        airplane->SetHitPoints(0);
    }
}

class GameRig : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path data = fs::path(CORVANE_BINARY_DIR) / "data";
        ASSERT_TRUE(fs::exists(data / "Data" / "Scripts" / "Gui" / "Game.gui"))
            << "build the sample_data target";
        previous = fs::current_path();
        fs::create_directory_symlink(data / "Data", scratch / "Data");
        fs::create_directory_symlink(data / "Shaders", scratch / "Shaders");
        fs::current_path(scratch.path);
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("game", Width, Height, window, hwnd));
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        Base::Info strings;
        ASSERT_EQ(strings.LoadFile("Data\\Strings.info"), 0);
        Base::TextTable = strings;
        Base::FontCache::Directory = Base::GetText("FontsDir");
        Base::ClumpCache::Directory = Base::GetText("ModelsDir");
        Base::AnimationCache::Directory = Base::GetText("AnimationsDir");
        Base::SoundCache::Directory = Base::GetText("SoundsDir");
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        Gui::Font::InstallCache();
        Lights::InstallSkyLights();
        Rw::InstallClumpCache();
        Rw::InstallAnimationCache();
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        Rw::RegisterImageFormats();
        soundStarted = Audio::StartDirectSound(nullptr, hwnd);
        Audio::InstallSoundCache();
        // As the program starts: every airplane gets its cockpit.
        Cockpit::RegisterCockpit();

        Base::Random::Seed(4357);
        Base::FrameClock::SetFixedStep(Step, 0);
        Base::FrameClock::FrameCounter = 0;
        SPlr::Game::HasFocus = [] { return focused; };
        focused = true;

        input = std::make_unique<Rig::ScriptedInput>(true);
        keyboard = std::make_unique<Input::Keyboard>();
        mouse = std::make_unique<Input::Mouse>();
        joystick = std::make_unique<Input::Joystick>();
        frontend = std::make_unique<Fe::Frontend>(keyboard.get(), mouse.get(), joystick.get(), nullptr);
        frontend->config.SetDefaults();
    }

    void TearDown() override {
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        Base::SoundCache::Clear();
        game.reset();
        frontend.reset();
        keyboard.reset();
        mouse.reset();
        joystick.reset();
        input.reset();
        SPlr::Game::HasFocus = nullptr;
        Obj::Airplane::CreateCockpit = nullptr;
        Base::FrameClock::SetFixedStep(0);
        if (soundStarted)
            Audio::StopDirectSound();
        RwTextureDictionaryForAllDictionaries(Rw::DestroyTextureDictionary, nullptr);
        RwTextureSetReadCallback(Rw::DefaultTextureRead);
        Rw::ImageFormatsRegistered = false;
        Base::AsyncLoader::Stop();
        Rw::StopEngine();
        TestSupport::PinGlDriver();
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        if (window)
            SDL_DestroyWindow(window);
        Base::TextTable = Base::Info();
        if (!previous.empty())
            fs::current_path(previous);
    }

    void Start() {
        game = std::make_unique<SPlr::Game>(frontend.get(), keyboard.get(), mouse.get(), joystick.get());
        frame = 0;
    }

    // Adds script lines ("frame device event ...", frames counted from the game's start).
    void Script(const std::string& text) { ASSERT_TRUE(input->script.Parse(text)) << input->script.error; }
    // A key pressed in the current frame.
    void Key(const char* key) { Script(std::to_string(frame) + " keyboard press " + key + "\n"); }

    // The front end's page on show (the last, should two be).
    Fe::Page* Shown() const {
        Fe::Page* shown = nullptr;
        for (auto& [name, child] : *frontend->desktop)
            if (auto* page = dynamic_cast<Fe::Page*>(child); page && page->visible)
                shown = page;
        return shown;
    }
    template <class T = Fe::Page> T* Page(const char* name) const {
        return frontend->desktop->Find<T>(name, true);
    }

    // One frame of the game: the script's events of the frame, then the game's update (which ticks the
    // clock and polls the devices itself).
    uint32_t Frame(bool background = false) {
        input->BeginFrame(frame++);
        return uint32_t(game->Update(background));
    }

    float Rate() const { return game->world->time->rate; }

    static inline bool focused = true;

    TestSupport::TempDir scratch{"corvane-game"};
    fs::path previous;
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    bool soundStarted = false;
    std::unique_ptr<Rig::ScriptedInput> input;
    std::unique_ptr<Input::Keyboard> keyboard;
    std::unique_ptr<Input::Mouse> mouse;
    std::unique_ptr<Input::Joystick> joystick;
    std::unique_ptr<Fe::Frontend> frontend;
    std::unique_ptr<SPlr::Game> game;
    uint32_t frame = 0;
};

} // namespace GameTest
