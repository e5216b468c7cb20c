#include "games/SPlrGame.h"

#include "games/GameFrame.h"

#include "aircraft/Airplane.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"
#include "gui/Announcer.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "mission/Host.h"
#include "mission/Mission.h"
#include "objects/LoadScenery.h"
#include "objects/Structure.h"
#include "pilots/PilotPlayer.h"
#include "scene/Attachable.h"
#include "scene/EngineHost.h"
#include "scene/RenderProbe.h"
#include "scene/WorldPasses.h"

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/baworobj.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace SPlr {

World::~World() {
    Clear();
}

float PauseRate(float step) {
    return step <= 0 ? 1.0f : 0.0f;
}

float TimeCmpRate(float rate) {
    const float r = 2 * rate;
    if (r > 8.08f)
        return 1.0f;
    return r <= 0 ? 0.0f : r;
}

float TimeCmpMinusRate(float rate) {
    const float r = rate * 0.5f;
    return r < 0.0009667969f || r <= 0 ? 0.0f : r;
}

float TimeCmpPlusRate(float rate) {
    const float r = 2 * rate;
    if (r == 0)
        return 0.0009765625f;
    if (r > 16.16f)
        return 16.0f;
    return r <= 0 ? 0.0f : r;
}

bool AssignmentFires(const Base::KeyAssignment& entry, const Input::Keyboard* keyboard,
                     const Input::Joystick* joystick) {
    if (keyboard && entry.key != Base::KeyAssignment::NoKey &&
        (entry.modifiers == Base::KeyAssignment::AnyModifiers || entry.modifiers == keyboard->modifiers) &&
        entry.key == keyboard->pressedKey)
        return true;
    return joystick && entry.button != Base::KeyAssignment::NoButton && entry.button <= 31 &&
           int(entry.button) == int(joystick->pressedButton);
}

Base::String TimeFlowText(float rate) {
    if (rate == 0)
        return Base::GetText("Splr.TimeFlow1");
    if (rate > 1)
        return Base::Formatted(Base::GetText("Splr.TimeFlow2").c_str(), double(rate));
    if (rate > 0 && rate < 1)
        return Base::Formatted(Base::GetText("Splr.TimeFlow3").c_str(), 1.0 / double(rate));
    return {};
}

namespace {

bool WindowHasFocus() {
    return GetFocus() != nullptr;
}

} // namespace

Game::Game(Fe::Frontend* frontend, Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick)
    : frontend(frontend), keyboard(keyboard), mouse(mouse), joystick(joystick) {
    startFrame = Base::FrameClock::FrameCounter;

    gui = LoadOverlay(keyboard, mouse);
    sounds = gui->sounds;

    if (joystick)
        joystick->SetDeadZone(Settings().joyDeadZone);

    world = std::make_unique<World>();
    AttachDevices(*world, sounds, keyboard, mouse, joystick);

    CreateCameras(world.get());

    // The mission's scenery; the built-in flight flies over the first one.
    const Mission::Header& header = GetRequest().header;
    Obj::LoadScenery(Settings(), *world, header.fileName.empty() ? 1 : int(header.timeOfDay));
    KeepInsideTerrain(*world);
    if (header.fileName.empty())
        StartFlight();
    else
        mission = new Mission::Mission(*this, header.fileName);

    music = CreateGameMusic(musicSounds);
}

Game::~Game() {
    delete mission;
    mission = nullptr;
    delete gui;
    gui = nullptr;
    // The cameras are the world's objects and go with it.
    world.reset();
    current = nullptr;
    free = nullptr;
    cockpit = nullptr;
    outside = nullptr;
    flyBy = nullptr;
    crash = nullptr;
    delete music;
    delete sounds;
    delete musicSounds;
}

const Base::Config& Game::Settings() const {
    return frontend ? frontend->config : DefaultSettings();
}

Fe::GameRequest& Game::GetRequest() {
    return frontend ? frontend->gameRequest : ownRequest;
}

const Base::Config* Game::GetSettings() {
    return &Settings();
}

Gui::Announcer* Game::GetAnnouncer() {
    return gui ? gui->Find<Gui::Announcer>("Announcer", true) : nullptr;
}

void Game::SetCameraTarget(Obj::Frame* object) {
    SetTarget(dynamic_cast<Obj::Object*>(object));
}

void Game::SetCurrentCamera(int kind) {
    switch (kind) {
    case CockpitCamera:
        SetCurrentCamera(cockpit);
        break;
    case OutsideCamera:
        SetCurrentCamera(outside);
        break;
    case FlyByCamera:
        SetCurrentCamera(flyBy);
        break;
    default:
        break;
    }
}

void Game::SetPlayer(Obj::Object* pilot, Obj::Airplane* airplane) {
    SetPlayer(pilot);
    // A player without a seated pilot is still the player's airplane for the camera keys.
    if (!playerAirplane.Get() && airplane) {
        playerAirplane = airplane;
        playerSeen = true;
    }
}

void Game::StartFlight() {
    // The player in the sample fighter at the start of the first airbase's runway, two computer fighters
    // circling above it.
    Obj::Airbase* base = nullptr;
    world->ForEach([&base](Obj::Object* object) {
        if (auto* found = dynamic_cast<Obj::Airbase*>(object))
            base = found;
    });
    const Base::String directory = Base::ClumpCache::Directory;
    auto* airplane = new Obj::Airplane;
    airplane->seed = 1;
    if (!airplane->Load(Base::MakePath(directory, "Airplanes\\Su27").c_str(), Obj::Airplane::ComplexModel)) {
        delete airplane;
        return;
    }
    world->AddObject(airplane);
    if (!base || !airplane->PlaceOnRunway(base, "09"))
        airplane->Place(0, 0, 1500, 90, 200);
    // The player's pilot flies it on the game's devices with the settings' controls; the view starts in
    // its cockpit.
    auto* pilot = new Obj::PilotPlayer;
    if (pilot->Load(&Base::InfoCache::Get(Base::MakePath(directory, "Airplanes\\Pilot.model")))) {
        pilot->SetAirplane(airplane);
        world->AddObject(pilot);
        pilot->ApplySettings(&Settings(), keyboard, mouse, joystick);
    } else {
        delete pilot;
        pilot = nullptr;
    }
    SetCameraTarget(airplane);
    SetCurrentCamera(CockpitCamera);
    SetPlayer(pilot, airplane);

    RwV3d centre{0, 0, 0};
    if (const RwSphere* sphere = base ? base->GetBoundingSphere() : nullptr)
        centre = sphere->center;
    // A pair of computer fighters on the player's side flies a circuit round the airbase: the leader along
    // its route, the second as its wingman.
    Obj::Object* lead = nullptr;
    constexpr float Heading = 160.0f, Radians = 3.14159265f / 180.0f;
    const float forwardX = -std::sin(Heading * Radians), forwardZ = std::cos(Heading * Radians);
    // The circuit (6 km about the airbase) and the pair's start move as one to keep 1.5 km clear of the
    // area's bound, where airplanes are turned back.
    constexpr float Circuit = 6000.0f;
    const Grp::World::Extent& e = world->terrainExtent;
    const auto shift = [](float centre, float low, float size) {
        if (!(size > 0))
            return 0.0f;
        const float m = Obj::Airplane::AreaMargin(size) + 1500.0f;
        const float lo = low + m + Circuit, hi = std::max(lo, low + size - m - Circuit);
        return std::clamp(centre, lo, hi) - centre;
    };
    const float cx = centre.x + shift(centre.x, e.minX, e.sizeX),
                cz = centre.z + shift(centre.z, e.minZ, e.sizeZ);
    const float startX = cx - 3000.0f, startZ = cz + 4000.0f;
    for (int i = 0; i < 2; ++i) {
        auto* other = new Obj::Airplane;
        other->seed = uint32_t(2 + i);
        if (!other->Load(Base::MakePath(directory, "Airplanes\\F16").c_str(), Obj::Airplane::SimpleModel)) {
            delete other;
            continue;
        }
        other->allegiance = airplane->allegiance;
        world->AddObject(other);
        // The wingman starts near its slot: 80 behind the leader and 150 to its left.
        const float back = 80.0f * float(i), side = 150.0f * float(i);
        other->Place(startX - back * forwardX - side * forwardZ, startZ - back * forwardZ + side * forwardX,
                     1200.0f, Heading, 155.0f);
        Mission::Crew* crew = Mission::Crew::installed;
        Obj::Object* pilot =
            crew ? crew->CreateComputerPilot(other, Base::MakePath(directory, "Airplanes\\Pilot.model"),
                                             other->allegiance, 0.0f)
                 : nullptr;
        if (!pilot)
            continue;
        if (!lead) {
            lead = pilot;
            const float r = Circuit, y = centre.y + 1500.0f;
            crew->SetRoute(
                pilot, {{cx - r, y, cz + r}, {cx + r, y, cz + r}, {cx + r, y, cz - r}, {cx - r, y, cz - r}});
        } else {
            crew->SetWingLeader(pilot, crew->GetAirplane(lead));
        }
    }
}

App::GameAction Game::Update(bool background) {
    result = App::GameGoOn;
    const Base::Config& settings = Settings();
    // Music and sounds are heard only while time runs at its own pace.
    const float gate = world->time->rate == 1.0f ? 1.0f : 0.0f;

    if (Rw::EngineStarted)
        Rw::ResetRenderStates();

    gui->screenRect = Gui::ScreenRect();
    if (gui->cursor) {
        gui->cursor->bounds = gui->screenRect;
        gui->cursor->Update();
    }

    UpdateMusic(*music, gate * settings.musicVolume);

    if (background)
        return App::GameGoOn;

    Grp::WorldTime& clock = *world->time;
    const float t0 = clock.time;
    Base::FrameClock::Tick();
    clock.Advance();
    const float t1 = clock.time;

    UpdateWorldSound(*world, current, gate * settings.sfxVolume);
    Input::PollDevices({keyboard, mouse, joystick});

    if (!(HasFocus ? HasFocus() : WindowHasFocus()))
        clock.rate = 0;

    const Base::KeyAssignment* keys = settings.keyAssignments;
    if (AssignmentFires(keys[PauseEntry], keyboard, joystick))
        clock.rate = PauseRate(clock.step);
    if (AssignmentFires(keys[TimeCmpEntry], keyboard, joystick))
        clock.rate = TimeCmpRate(clock.rate);
    if (AssignmentFires(keys[TimeCmpMinusEntry], keyboard, joystick))
        clock.rate = TimeCmpMinusRate(clock.rate);
    if (AssignmentFires(keys[TimeCmpPlusEntry], keyboard, joystick))
        clock.rate = TimeCmpPlusRate(clock.rate);

    HandleKeys(keyboard);

    if (mission) {
        Grp::ProbeSection section("mission");
        mission->Update();
    }
    {
        Grp::ProbeSection section("simulate");
        Grp::SimulateGroup(*world->simulateables, t0, t1);
    }
    {
        Grp::ProbeSection section("run");
        Grp::RunGroup(*world->runnables);
    }
    {
        Grp::ProbeSection section("GUI");
        gui->Update();
    }

    // The player's kills go to the front end's request, for the end page.
    if (mission)
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(mission->FindObject("PlayerAirplane"))) {
            Fe::GameRequest copy = GetRequest();
            copy.airplaneKills = int32_t(airplane->airplaneKills);
            copy.vehicleKills = int32_t(airplane->groundKills);
            copy.shipKills = int32_t(airplane->shipKills);
            GetRequest().Assign(copy);
        }

    if (drawing) {
        if (!current || !current->camera || !Rw::EngineStarted)
            return App::GameAction(result);
        if (!ClearFrame(*current))
            return App::GameAction(result);
        Render();
    }

    if (keyboard && keyboard->modifiers == 0 && keyboard->pressedKey == 1)
        result = App::GamePause;

    // The game's sounds stop at once under the front end.
    if (result != App::GameGoOn)
        LeaveForFrontend(frontend, *world, true);
    return App::GameAction(result);
}

void Game::Render() {
    const bool present = Base::FrameClock::FrameCounter > startFrame + 3;
    DrawFrame(
        *current, *world, gui, [this] { DrawTimeFlow(); }, present);
    if (present)
        ++framesPresented;
}

void Game::DrawTimeFlow() {
    if (std::fmod(Base::FrameClock::GameTime, 0.5) >= 0.3)
        return;
    Gui::Font* font = Base::FontCache::Get("Verdana24ib.font");
    if (!font)
        return;
    const Base::String text = TimeFlowText(world->time->rate);
    if (text.empty())
        return;
    const Gui::Rect screen = Gui::ScreenRect();
    Gui::QueueText({screen.right * 0.5f, screen.bottom * 0.5f}, text, {255, 255, 255, 255}, {1, 1}, 0,
                   text.size(), {0, 0}, 0, 0);
    Gui::FlushTextQueue(font, rwFILTERLINEAR);
}

} // namespace SPlr
