#include "games/MPlrGame.h"

#include "games/GameFrame.h"
#include "network/ObjectProxies.h"

#include "aircraft/Airplane.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Maths.h"
#include "base/Random.h"
#include "base/TextTable.h"
#include "frontend/Frontend.h"
#include "gui/Announcer.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/PassiveChat.h"
#include "gui/Text.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "mission/GameRequest.h"
#include "objects/LoadScenery.h"
#include "objects/Sky.h"
#include "objects/Terrain.h"
#include "pilots/PilotPlayer.h"
#include "scene/EngineHost.h"
#include "scene/WorldPasses.h"

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace MPlr {

namespace {

float Uniform() {
    return float(Base::Random::NextUInt32()) * (1.0f / 4294967296.0f);
}

} // namespace

World::~World() {
    Clear();
}

void World::AddObject(Obj::Object* object) {
    Grp::World::AddObject(object);
    if (!game || !game->network)
        return;
    if (std::unique_ptr<Comm::NetworkObj> proxy = Comm::MakeLocalProxy(game->network.get(), object))
        game->network->Register(std::move(proxy));
}

Game::Game(Fe::Frontend* frontend, Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick)
    : frontend(frontend), keyboard(keyboard), mouse(mouse), joystick(joystick) {
    if (!frontend)
        ownRequest = std::make_unique<Fe::MultiplayerRequest>();
    if (joystick)
        joystick->SetDeadZone(std::clamp(Settings().joyDeadZone, 0.0f, 1.0f));

    gui = SPlr::LoadOverlay(keyboard, mouse);
    sounds = gui->sounds;
    if (gui->cursor)
        gui->cursor->bounds = gui->screenRect;

    world = std::make_unique<World>(this);
    SPlr::AttachDevices(*world, sounds, keyboard, mouse, joystick);
    // The time of day is the scenery's number, from 0 ("Morning") on, as in the single-player game.
    Obj::LoadScenery(Settings(), *world, int(std::min<uint32_t>(Request().timeOfDay, INT32_MAX)));
    SPlr::KeepInsideTerrain(*world);
    CreateCameras(world.get());
    network = std::make_unique<NetworkObjects>(this, GetSession());
    if (Request().hosting)
        SpawnAtStart();

    music = SPlr::CreateGameMusic(musicSounds);
}

Game::~Game() {
    // Out of the session, ready to host or join again; every departure is queued by then.
    if (Session* session = GetSession())
        session->Reinitialize();
    network.reset();
    delete gui;
    gui = nullptr;
    localPilot = nullptr;
    world.reset();
    delete music;
    delete sounds;
    delete musicSounds;
}

const Base::Config& Game::Settings() const {
    return frontend ? frontend->config : SPlr::DefaultSettings();
}

const Fe::MultiplayerRequest& Game::Request() const {
    return frontend ? frontend->multiplayerRequest : *ownRequest;
}

Session* Game::GetSession() const {
    return frontend ? frontend->session : nullptr;
}

uint32_t Game::GameType() const {
    return Request().gameType;
}

Obj::Airplane* Game::LocalAirplane() const {
    auto* pilot = dynamic_cast<Obj::Pilot*>(localPilot.Get());
    return pilot ? pilot->GetAirplane() : nullptr;
}

std::unique_ptr<Comm::RemoteObj> Game::MakeRemote(NetworkObjects* registry, uint8_t objectKind,
                                                  const GUID& guid, DPNID owner, float clock) {
    return Comm::MakeRemoteProxy(registry, objectKind, guid, owner, clock);
}

void Game::Announce(const Base::String& text) {
    if (Gui::Announcer* announcer = gui ? gui->Find<Gui::Announcer>("Announcer", true) : nullptr)
        announcer->Announce("SenderSystem", "", text, 0.0f, nullptr);
}

void Game::AddSystemChatLine(const Base::String& text) {
    if (auto* chat = gui ? gui->Find<Gui::PassiveChat>("PassiveChat", true) : nullptr)
        chat->AddLine(text, "", true);
}

void Game::AddChatLine(DPNID sender, const Base::String& text) {
    auto* chat = gui ? gui->Find<Gui::PassiveChat>("PassiveChat", true) : nullptr;
    Session* session = GetSession();
    if (!chat || !session)
        return;
    Base::String name, team;
    session->GetPlayerNames(sender, name, team);
    if (name.empty())
        return;
    std::optional<PlayerEntry> local = session->FindLocalPlayer();
    Base::String label;
    bool own;
    if (GameType() == 2) {
        label = name + " [" + team + "] :   ";
        own = local && team == local->Text();
    } else {
        label = name + " :   ";
        own = local && sender == local->id;
    }
    chat->AddLine(text, label, own);
}

void Game::SetChatOpen(bool open) {
    auto* active = gui ? gui->Find<Gui::Widget>("ActiveChat", true) : nullptr;
    auto* edit = gui ? gui->Find<Gui::Edit>("MessageEdit", true) : nullptr;
    if (active)
        active->SetVisible(open);
    if (open && edit) {
        if (active) {
            gui->focus = active;
            active->focus = edit;
        }
        // The edit takes the keys as if clicked: the player types at once.
        gui->GiveKeys(edit);
        edit->SetText("");
    }
    if (auto* pilot = dynamic_cast<Obj::PilotPlayer*>(localPilot.Get()))
        pilot->inputSuspended = open;
    if (!open) {
        if (gui && gui->focus == active)
            gui->focus = nullptr;
        // The hidden edit lets go of the keys (and of the mouse, should it hold it).
        if (gui && edit)
            gui->Forget(edit);
        if (edit && !edit->text.empty()) {
            network->SendChat(edit->text);
            edit->SetText("");
        }
    }
}

void Game::Spawn(float x, float z, float altitude, float heading) {
    const Fe::MultiplayerRequest& request = Request();
    // The selection pages give a models path ("Airplanes\\Su27"); the catalogue knows the type's name.
    const Base::String* path =
        Comm::TypeCatalogue::Airplane(request.airplane.empty() ? "F16" : Comm::TypeNameOf(request.airplane));
    if (!path) {
        std::fprintf(stderr, "The airplane \"%s\" is not among the sample airplanes.\n",
                     Base::Clip(request.airplane).c_str());
        return;
    }
    auto* airplane = new Obj::Airplane;
    airplane->seed = Base::Random::NextUInt32();
    if (!airplane->Load(path->c_str(), Obj::Airplane::ComplexModel)) {
        delete airplane;
        return;
    }
    world->AddObject(airplane);
    ++spawned;
    score.lastKills = 0;
    airplane->Place(x, z, altitude, heading, 150.0f);
    if (airplane->stores && !request.loadout.GetChildren().empty())
        airplane->stores->ApplySetup(&request.loadout);

    auto* pilot = new Obj::PilotPlayer;
    const Base::Info& model =
        Base::InfoCache::Get(Base::MakePath(Base::ClumpCache::Directory, "Airplanes\\Pilot.model"));
    if (!pilot->Load(&model)) {
        delete pilot;
        return;
    }
    localPilot = pilot;
    world->AddObject(pilot);
    pilot->SetAirplane(airplane);
    pilot->ApplySettings(&Settings(), keyboard, mouse, joystick);
    pilot->inputSuspended = chatOpen;
    SetTarget(airplane);
    if (cockpit)
        SetCurrentCamera(cockpit);
    SetPlayer(pilot);
}

void Game::SpawnAtStart() {
    const Fe::MultiplayerRequest& r = Request();
    Spawn(r.startX, r.startY, r.altitude, r.heading);
}

Game::Place Game::DrawRespawnPlace() {
    const Fe::MultiplayerRequest& r = Request();
    std::vector<RwV3d> positions;
    world->ForEach([&positions](Obj::Object* object) {
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(object))
            positions.push_back(RwFrameGetWorldMatrix(airplane->frame)->pos);
    });
    RwV3d anchor{r.startX, r.altitude, r.startY};
    if (!positions.empty()) {
        RwV3d centre{0, 0, 0};
        for (const RwV3d& p : positions)
            centre = {centre.x + p.x, centre.y + p.y, centre.z + p.z};
        const float n = float(positions.size());
        centre = {centre.x / n, centre.y / n, centre.z / n};
        float best = INFINITY;
        for (const RwV3d& p : positions) {
            const float d = (p.x - centre.x) * (p.x - centre.x) + (p.y - centre.y) * (p.y - centre.y) +
                            (p.z - centre.z) * (p.z - centre.z);
            if (d < best) {
                best = d;
                anchor = p;
            }
        }
    }
    const float u1 = Uniform(), u2 = Uniform(), u3 = Uniform(), u4 = Uniform();
    Place place{anchor.x + u1 * 50000.0f - 25000.0f, std::max(anchor.y + u2 * 4000.0f - 2000.0f, 0.0f),
                anchor.z + u3 * 50000.0f - 25000.0f, u4 * 360.0f};
    // Inside the flying area, and clear of the ground.
    const Grp::World::Extent& e = world->terrainExtent;
    if (e.sizeX > 0 && e.sizeZ > 0) {
        const float mx = Obj::Airplane::AreaMargin(e.sizeX), mz = Obj::Airplane::AreaMargin(e.sizeZ);
        place.x = std::clamp(place.x, e.minX + mx, e.minX + e.sizeX - mx);
        place.z = std::clamp(place.z, e.minZ + mz, e.minZ + e.sizeZ - mz);
    }
    if (world->terrain) {
        const RwLine down{{place.x, 100000.0f, place.z}, {place.x, -100000.0f, place.z}};
        RwV3d hit;
        if (world->terrain->IntersectSegment(&down, &hit, nullptr))
            place.altitude = std::max(place.altitude, hit.y + RespawnClearance);
    }
    return place;
}

void Game::Respawn() {
    const Place place = DrawRespawnPlace();
    Spawn(place.x, place.z, place.altitude, place.heading);
}

void Game::UpdateScore() {
    Obj::Airplane* airplane = LocalAirplane();
    const bool alive = airplane && airplane->hitPoints != 0.0f;
    score.Update(alive, spawned, airplane != nullptr, airplane ? airplane->airplaneKills : 0);
    Session* session = GetSession();
    if (!session)
        return;
    std::optional<PlayerEntry> local = session->FindLocalPlayer();
    if (!local || (PlayerDeaths(*local) == score.deaths && PlayerKills(*local) == score.kills))
        return;
    const auto data = score.Publish(local->data);
    session->SetLocalPlayerData(data.data(), uint32_t(data.size()));
}

void Game::ShowStats(bool show) {
    auto* table = gui ? gui->Find<Gui::Widget>("MultiplayerStats", true) : nullptr;
    if (!table)
        return;
    if (!show) {
        table->SetVisible(false);
        return;
    }
    std::vector<PlayerEntry> players;
    if (Session* session = GetSession()) {
        std::lock_guard<std::mutex> hold(session->playersLock);
        players = session->players;
    }
    std::vector<StatsRow> rows = MakeRows(players, false);
    SortRows(rows);
    FillTable(table, rows, false);
    table->SetVisible(true);
}

void Game::ShowTeamStats(bool show) {
    auto* teams = gui ? gui->Find<Gui::Widget>("MultiplayerTeamStats1", true) : nullptr;
    auto* members = gui ? gui->Find<Gui::Widget>("MultiplayerTeamStats2", true) : nullptr;
    if (!show) {
        if (teams)
            teams->SetVisible(false);
        if (members)
            members->SetVisible(false);
        return;
    }
    std::vector<PlayerEntry> players;
    if (Session* session = GetSession()) {
        std::lock_guard<std::mutex> hold(session->playersLock);
        players = session->players;
    }
    std::vector<StatsRow> rows = MakeRows(players, true);
    SortRows(rows);
    if (members) {
        FillTable(members, rows, true);
        members->SetVisible(true);
    }
    if (teams) {
        FillTable(teams, MakeTeamRows(rows));
        teams->SetVisible(true);
    }
}

App::GameAction Game::Update(bool background) {
    const Base::Config& settings = Settings();
    // 1, 2: the local player's life.
    if (respawnTime < 0 && !LocalAirplane()) {
        Announce(Base::GetText("MPlr.Positioning"));
        respawnTime = float(Base::FrameClock::GameTime) + RespawnDelay;
    }
    if (respawnTime >= 0 && float(Base::FrameClock::GameTime) >= respawnTime) {
        respawnTime = -1.0f;
        Respawn();
    }
    // 3.
    if (Rw::EngineStarted)
        Rw::ResetRenderStates();
    UpdateScore();
    // 4.
    SPlr::UpdateMusic(*music, std::clamp(settings.musicVolume, 0.0f, 1.0f));
    // 5: a standing airplane is re-armed once.
    if (Obj::Airplane* airplane = LocalAirplane()) {
        const Physics::AirplaneState s = airplane->GetState();
        const bool standing = airplane->hitPoints > 0 && !s.crashed && Base::VectorLength(s.velocity) < 0.1;
        if (!standing)
            rearmed = false;
        else if (!rearmed) {
            airplane->Rearm();
            rearmed = true;
        }
    }
    // 6: time runs at its own pace, in the background too.
    Grp::WorldTime& clock = *world->time;
    const float t0 = clock.time;
    if (!background)
        Base::FrameClock::Tick();
    clock.Advance();
    const float t1 = clock.time;
    // 7.
    SPlr::UpdateWorldSound(*world, current, std::clamp(settings.sfxVolume, 0.0f, 1.0f));
    // 8: input.
    if (!background) {
        Input::PollDevices({keyboard, mouse, joystick});
        if (keyboard) {
            const bool show = !localPilot.Get() || (keyboard->keys[KeyStats] && keyboard->modifiers == 0);
            if (GameType() == 1)
                ShowStats(show);
            else
                ShowTeamStats(show);
            if (keyboard->pressedKey == KeyEnter && keyboard->modifiers == 0) {
                chatOpen = !chatOpen;
                SetChatOpen(chatOpen);
            }
        }
        HandleKeys(keyboard);
    }
    // 9 to 11: the network, the world, the overlay.
    network->ProcessIncoming();
    Grp::SimulateGroup(*world->simulateables, t0, t1);
    Grp::RunGroup(*world->runnables);
    gui->Update();
    if (background)
        return App::GameGoOn;
    // 13.
    if (!current || !current->camera || !Rw::EngineStarted)
        return App::GameGoOn;
    RwCameraSetNearClipPlane(current->camera, 2.0f);
    if (world->sky && world->sky->VisibilityRange() > 2.0f)
        RwCameraSetFarClipPlane(current->camera, world->sky->VisibilityRange());
    if (!SPlr::ClearFrame(*current))
        return App::GameGoOn;
    Render();
    // 14: Escape opens the in-game menu, unless it only closes what is being typed.
    if (!chatOpen && keyboard && keyboard->modifiers == 0 && keyboard->pressedKey == KeyEscape) {
        SPlr::LeaveForFrontend(frontend, *world, false);
        if (musicSounds) {
            musicSounds->SetVolume(0);
            musicSounds->Update();
        }
        return App::GamePause;
    }
    return App::GameGoOn;
}

void Game::Render() {
    SPlr::DrawFrame(
        *current, *world, gui, [this] { DrawNameLabels(); }, true);
    ++framesPresented;
}

void Game::DrawNameLabels() {
    Session* session = GetSession();
    if (!session || !current || !current->camera)
        return;
    std::vector<PlayerEntry> players;
    {
        std::lock_guard<std::mutex> hold(session->playersLock);
        players = session->players;
    }
    std::optional<PlayerEntry> local = session->FindLocalPlayer();
    const bool team = GameType() == 2;
    bool queued = false;
    for (const auto& [guid, proxy] : network->proxies) {
        auto* airplane = dynamic_cast<Obj::Airplane*>(proxy->GetObject());
        if (!airplane)
            continue;
        RwV3d screen;
        current->ProjectPoint(&RwFrameGetWorldMatrix(airplane->frame)->pos, &screen);
        // Depth runs from 0 at the near clip plane to 1 at the far one: behind the camera gives no label.
        if (!(screen.z > 0.0f && screen.z <= 1.0f))
            continue;
        Base::String name, text;
        if (auto* remote = dynamic_cast<Comm::RemoteObj*>(proxy.get()))
            for (const PlayerEntry& p : players)
                if (p.id == remote->owner) {
                    name = p.name;
                    text = p.Text();
                }
        if (team)
            name += " [" + text + "]";
        RwRGBA colour{254, 64, 64, 255};
        if (team && local && text == local->Text())
            colour = {64, 255, 64, 255};
        Gui::QueueText({std::floor(screen.x) + 0.5f, std::floor(screen.y) - 5.5f}, name, colour, {1, 1}, 0,
                       name.size(), {0, 0}, 0, 0);
        queued = true;
    }
    if (queued)
        Gui::FlushTextQueue(Base::FontCache::Get("Tahoma8.font"), rwFILTERLINEAR);
}

} // namespace MPlr
