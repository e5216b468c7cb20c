// The single-player game itself on the rig: the engine on a hidden window, the front end's settings and
// request, the objects' makers the program installs, and each frame the game's own update (which ticks the
// clock, polls the devices, reads the time and camera keys, runs the mission and the world and draws).
// The game runs in a scratch folder that sees the data through links, so that the settings it reads and
// the front end saves are its own.
// "game-flight": the built-in flight (the player on the Coast Field's runway, two fighters above it).
// "game-combat": two computer-flown F16s against two Mig29s over the coast, the player parked on the runway.
// "game-area": the player in the air, flying out of the area the airplanes are kept in.
// Traced: each switch of the current camera (with what it looks at), each airplane's first hit, its
// turns at the area's bound and its end, the number of airplanes when it changes, and the game's result
// when it is not 0. With the runner's --no-drawing the game runs every step of its frame but the drawing. The
// digest adds the current camera and its target to the world's objects (the cameras among them).
#include "tests/rig/ScenarioRunner.h"
#include "tests/rig/WorldScenario.h"
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
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/SmartPtr.h"
#include "base/SoundCache.h"
#include "base/StreamedTextureCache.h"
#include "base/TextTable.h"
#include "cameras/SceneLights.h"
#include "cockpit/Cockpit.h"
#include "frontend/Frontend.h"
#include "games/SPlrGame.h"
#include "gui/draw/Draw3d.h"
#include "gui/draw/Font.h"
#include "mission/Mission.h"
#include "objects/Terrain.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/texture.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"
#include "scene/World.h"
#include "weapons/AirplaneGun.h"
#include "weapons/AutoWeapons.h"
#include "weapons/Stores.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int Width = 320, Height = 240;

// Two against two, head-on over the coast north of the field, each pilot sent after one of the other side.
constexpr const char* CombatMission = R"(Name	Combat
Objectives	"Watch."
Briefing	"Two against two."
TimeOfDay	1
Events
{
	0Init
	{
		Actions
		{
			0Player	SpawnPlayer
			{
				SetupType	Airbase
				AirbaseId	Coast Field
				RunwayName	09
			}
			1Friends	SpawnAirplanes
			{
				ObjectId	Friend
				Count	2
				Formation
				{
					Type	LineAbreast
					ObjectsSpan	300
				}
				Pos	-3500 -2000
				Hdg	0
				Alt	2500
				Model	Airplanes\F16
				Ordnance	AirToAir
				Allegiance	Friendly
				Level	0.6
			}
			2Enemies	SpawnAirplanes
			{
				ObjectId	Bandit
				Count	2
				Formation
				{
					Type	LineAbreast
					ObjectsSpan	300
				}
				Pos	-3500 9000
				Hdg	180
				Alt	2500
				Model	Airplanes\Mig29
				Ordnance	AirToAir
				Allegiance	Enemy
				Level	0.6
			}
			3	SetTarget
			{
				ObjectId	Friend1
				Target	Bandit1
			}
			4	SetTarget
			{
				ObjectId	Friend2
				Target	Bandit2
			}
			5	SetTarget
			{
				ObjectId	Bandit1
				Target	Friend1
			}
			6	SetTarget
			{
				ObjectId	Bandit2
				Target	Friend2
			}
		}
	}
}
)";

// The player alone in the air 2 km inside the area's northern bound, heading out of it at 200 m/s.
constexpr const char* AreaMission = R"(Name	Area
Objectives	"Fly north."
Briefing	"Towards the bound."
TimeOfDay	1
Events
{
	0Init
	{
		Actions
		{
			0Player	SpawnPlayer
			{
				SetupType	AirGround
				Pos	2000 6192
				Hdg	0
				Alt	3000
				Speed	200
			}
		}
	}
}
)";

const char* KindName(const SPlr::Game& game) {
    const Cameras::Basic* current = game.current;
    if (current == game.free)
        return "free";
    if (current == game.cockpit)
        return "cockpit";
    if (current == game.outside)
        return "outside";
    if (current == game.flyBy)
        return "fly-by";
    if (current == game.crash)
        return "crash";
    return "none";
}

class GameScenario : public Rig::Scenario {
public:
    explicit GameScenario(const char* mission) : missionText(mission) {}
    ~GameScenario() override { GameScenario::Stop(); }

    bool TicksClock() const override { return true; }

    bool Start(Rig::RunContext& run, std::string& error) override {
        data = run.data;
        // Headless unless the caller chose otherwise: no screen, no sound device.
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("ALSOFT_DRIVERS", "null", 0);
        scratch = std::make_unique<TestSupport::TempDir>("corvane-game-scenario");
        std::error_code failed;
        fs::create_directory_symlink(run.data / "Data", scratch->path / "Data", failed);
        if (!failed)
            fs::create_directory_symlink(run.data / "Shaders", scratch->path / "Shaders", failed);
        if (!failed)
            fs::current_path(scratch->path, failed);
        if (failed) {
            error = "the scratch folder cannot be made: " + failed.message();
            return false;
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            error = std::string("no video: ") + SDL_GetError();
            return false;
        }
        videoStarted = true;
        Win32::AskDeviceFrameBuffer();
        window =
            SDL_CreateWindow("game scenario", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) {
            error = std::string("no window: ") + SDL_GetError();
            return false;
        }
        hwnd = Win32::AttachSdlWindow(window);
        if (!Rw::StartEngine(4096, 0, hwnd, 0, 0)) {
            error = "the engine does not start: " + Rw::StartFailure;
            return false;
        }
        engineStarted = true;

        Base::Info strings;
        if (strings.LoadFile("Data\\Strings.info") != 0) {
            error = "the strings file cannot be read";
            return false;
        }
        Base::TextTable = strings;
        Base::FontCache::Directory = Base::GetText("FontsDir");
        Base::ClumpCache::Directory = Base::GetText("ModelsDir");
        Base::AnimationCache::Directory = Base::GetText("AnimationsDir");
        Base::SoundCache::Directory = Base::GetText("SoundsDir");
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        // What the program installs at its start.
        Gui::Font::InstallCache();
        Gui::InstallClumpPoints();
        Lights::InstallSkyLights();
        Rw::InstallClumpCache();
        Rw::InstallAnimationCache();
        Weapons::InstallVehicleWeapons();
        Weapons::InstallAirplaneGun();
        Cockpit::RegisterCockpit();
        Weapons::InstallStores();
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        Rw::RegisterImageFormats();
        soundStarted = Audio::StartDirectSound(nullptr, hwnd);
        Audio::InstallSoundCache();
        SPlr::Game::HasFocus = [] { return true; };

        frontend = std::make_unique<Fe::Frontend>(run.keyboard, run.mouse, run.joystick, nullptr);
        frontend->config.SetDefaults();
        if (missionText) {
            std::ofstream("Scenario.msn") << missionText;
            const Mission::Header* header = Mission::Header::Load("Scenario.msn");
            if (!header) {
                error = "the scenario's mission is refused";
                return false;
            }
            Fe::GameRequest request = frontend->gameRequest;
            request.header = *header;
            request.airplane = "Airplanes\\Su27";
            frontend->gameRequest.Assign(request);
        }
        game = std::make_unique<SPlr::Game>(frontend.get(), run.keyboard, run.mouse, run.joystick);
        // The device stays: the models load their textures through it as in the game.
        game->drawing = run.drawing;
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        const uint32_t result = uint32_t(game->Update(false));
        if (result != 0)
            run.Trace("game action " + std::to_string(result));
        const std::string kind = KindName(*game);
        Obj::Object* target = game->target.Get();
        if (kind != lastKind || target != lastTarget.Get()) {
            std::string seen = "camera " + kind;
            if (auto* damageable = dynamic_cast<Obj::Damageable*>(target);
                damageable && !damageable->name.empty())
                seen += " on " + damageable->name;
            run.Trace(seen);
            lastKind = kind;
            lastTarget = target;
        }
        int airplanes = 0;
        game->world->ForEach([&](Obj::Object* o) {
            auto* airplane = dynamic_cast<Obj::Airplane*>(o);
            if (!airplane)
                return;
            ++airplanes;
            const auto known = std::find_if(fighters.begin(), fighters.end(),
                                            [&](const Fighter& f) { return f.airplane.Get() == airplane; });
            if (known == fighters.end())
                fighters.push_back({airplane, airplane->name + " " + std::to_string(fighters.size() + 1),
                                    airplane->hitPoints});
        });
        for (Fighter& f : fighters) {
            if (f.gone)
                continue;
            if (Obj::Airplane* airplane = f.airplane.Get()) {
                if (airplane->hitPoints < f.hitPoints && !f.hit)
                    run.Trace(f.name + " hit");
                f.hit = f.hit || airplane->hitPoints < f.hitPoints;
                f.hitPoints = airplane->hitPoints;
                TraceArea(run, f, *airplane);
            } else {
                run.Trace(f.name + " gone");
                f.gone = true;
            }
        }
        if (airplanes != lastAirplanes) {
            run.Trace("airplanes " + std::to_string(airplanes));
            lastAirplanes = airplanes;
        }
    }

    void Digest(Rig::StateDigest& digest) override {
        Rig::DigestWorld(*game->world, digest);
        digest.Add(std::string_view(KindName(*game)));
        uint32_t targetIndex = 0, index = 0;
        game->world->ForEach([&](Obj::Object* o) {
            ++index;
            if (o == game->target.Get())
                targetIndex = index;
        });
        digest.Add(targetIndex);
    }

    void Stop() override {
        fighters.clear();
        game.reset();
        frontend.reset();
        SPlr::Game::HasFocus = nullptr;
        Obj::Airplane::CreateCockpit = nullptr;
        Obj::Airplane::CreateStores = nullptr;
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        Base::SoundCache::Clear();
        if (soundStarted)
            Audio::StopDirectSound();
        soundStarted = false;
        if (engineStarted) {
            RwTextureDictionaryForAllDictionaries(Rw::DestroyTextureDictionary, nullptr);
            RwTextureSetReadCallback(Rw::DefaultTextureRead);
            Rw::ImageFormatsRegistered = false;
            Base::AsyncLoader::Stop();
            Base::StreamedTextureCache::Update();
            Rw::StopEngine();
            engineStarted = false;
            // The GL driver's own leaks are named (and suppressed) only while it is loaded.
            TestSupport::PinGlDriver();
        }
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        hwnd = nullptr;
        if (window)
            SDL_DestroyWindow(window);
        window = nullptr;
        if (videoStarted)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoStarted = false;
        Base::TextTable = Base::Info();
        if (scratch) {
            std::error_code ignored;
            fs::current_path(data, ignored);
            scratch.reset();
        }
    }

private:
    const char* missionText;
    fs::path data;
    std::unique_ptr<TestSupport::TempDir> scratch;
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    bool videoStarted = false, engineStarted = false, soundStarted = false;
    std::unique_ptr<Fe::Frontend> frontend;
    std::unique_ptr<SPlr::Game> game;
    std::string lastKind;
    Base::SmartPtr<Obj::Object> lastTarget;
    int lastAirplanes = -1;
    // Every airplane seen, named by its model and the order it was first seen in.
    struct Fighter {
        Base::SmartPtr<Obj::Airplane> airplane;
        std::string name;
        float hitPoints = 0;
        bool hit = false, gone = false, outside = false;
        float velocity[2] = {0, 0}; // x and z at the last frame
    };
    std::vector<Fighter> fighters;

    // The area the airplanes are kept in, worked out here from the terrain itself: the map shrunk by the
    // airplane's margin on each side. An airplane past it by more than a metre after the frame, and one
    // whose velocity turned back at its bound, are traced.
    void TraceArea(Rig::RunContext& run, Fighter& f, Obj::Airplane& airplane) {
        const Obj::Terrain* terrain = game->world->terrain;
        if (!terrain || !terrain->IsLoaded())
            return;
        const Base::Vector2 origin = terrain->GridToWorld(0, 0), size = terrain->Extent();
        const Physics::AirplaneState s = airplane.GetState();
        const float position[2] = {s.position.x, s.position.z}, velocity[2] = {s.velocity.x, s.velocity.z};
        const float low[2] = {origin.x + Obj::Airplane::AreaMargin(size.x),
                              origin.y + Obj::Airplane::AreaMargin(size.y)};
        const float high[2] = {origin.x + size.x - Obj::Airplane::AreaMargin(size.x),
                               origin.y + size.y - Obj::Airplane::AreaMargin(size.y)};
        for (int a = 0; a < 2; ++a) {
            const char* axis = a == 0 ? "x" : "z";
            if ((position[a] < low[a] - 1 || position[a] > high[a] + 1) && !f.outside) {
                run.Trace(f.name + " past the area in " + axis);
                f.outside = true;
            }
            const bool atBound = std::fabs(position[a] - low[a]) < 1 || std::fabs(position[a] - high[a]) < 1;
            if (atBound && f.velocity[a] * velocity[a] < 0)
                run.Trace(f.name + " turned back in " + axis);
            f.velocity[a] = velocity[a];
        }
    }
};

const bool flight = Rig::RegisterScenario(
    "game-flight", [] { return std::unique_ptr<Rig::Scenario>(new GameScenario(nullptr)); },
    "the single-player game's built-in flight: the player on the runway, two fighters above");

const bool area = Rig::RegisterScenario(
    "game-area", [] { return std::unique_ptr<Rig::Scenario>(new GameScenario(AreaMission)); },
    "the single-player game with the player in the air, heading out of the area the airplanes are kept in");

const bool combat = Rig::RegisterScenario(
    "game-combat", [] { return std::unique_ptr<Rig::Scenario>(new GameScenario(CombatMission)); },
    "the single-player game with two computer-flown F16s against two Mig29s, the player on the runway");

} // namespace
