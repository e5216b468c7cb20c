// The multiplayer game: one running network game as this peer sees it. Its world holds this peer's
// airplane and the copies of the others' objects; every object of a shared kind that joins the world gets
// its local proxy, and the registry of proxies sends and receives through the front end's session each
// frame. The local player respawns 12 s after losing the airplane; the score tables show while F10 is held
// or while waiting to respawn; Enter opens and closes the chat entry. Time always runs at its own pace, and
// the world, the network and the proxies keep running while the in-game menu is shown over the game.
#pragma once

#include "cameras/CamerasManager.h"
#include "network/Dispatch.h"
#include "network/Stats.h"
#include "scene/World.h"

#include "base/AppActions.h"
#include "base/Config.h"
#include "base/SmartPtr.h"
#include "base/String.h"

#include <cstdint>
#include <memory>

namespace Audio {
class MusicPlayer;
class SoundGroup;
} // namespace Audio
namespace Fe {
class Frontend;
class MultiplayerRequest;
} // namespace Fe
namespace Gui {
class Desktop;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input
namespace Obj {
class Airplane;
}

namespace MPlr {

class Game;

// The game's world: each object of a shared kind that this peer adds gets its local proxy.
class World : public Grp::World {
public:
    explicit World(Game* game) : game(game) {}
    // Every object goes before the world itself.
    ~World() override;
    void AddObject(Obj::Object* object) override;

    Game* game;
};

class Game : public SPlr::CamerasManager, public NetworkHost {
public:
    static constexpr float RespawnDelay = 12.0f;
    static constexpr uint8_t KeyStats = 0x44, KeyEnter = 0x1C, KeyEscape = 0x01;
    // A respawn never puts the airplane lower than this above the ground.
    static constexpr float RespawnClearance = 300.0f;

    // Any device may be null. The settings, the request and the session are the front end's.
    Game(Fe::Frontend* frontend, Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick);
    virtual ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // One frame: 0 go on, 2 Escape (the in-game menu). In the background the world, the network and the
    // proxies run on, but nothing is drawn and no input is read.
    App::GameAction Update(bool background);

    void SetChatOpen(bool open);
    // The first airplane, at the request's start position.
    void SpawnAtStart();
    // A new airplane at a random point near the other airplanes.
    void Respawn();
    void UpdateScore();
    void ShowStats(bool show);
    void ShowTeamStats(bool show);
    // The owners' names over the other players' airplanes, inside the camera's update.
    void DrawNameLabels();

    // Where a respawn puts the airplane: near the airplane closest to the centre of all of them (or the
    // start position when there is none), from four uniform draws; never below the ground's clearance nor
    // outside the flying area.
    struct Place {
        float x, z, altitude, heading;
    };
    Place DrawRespawnPlace();

    // What the registry asks of its game.
    void Announce(const Base::String& text) override;
    void AddChatLine(DPNID sender, const Base::String& text) override;
    void AddSystemChatLine(const Base::String& text) override;
    uint32_t GameType() const override;
    bool HasLocalPilot() const override { return localPilot.Get() != nullptr; }
    Grp::World* GetWorld() override { return world.get(); }
    std::unique_ptr<Comm::RemoteObj> MakeRemote(NetworkObjects* registry, uint8_t objectKind,
                                                const GUID& guid, DPNID owner, float clock) override;

    // The local pilot's airplane, while it has one.
    Obj::Airplane* LocalAirplane() const;
    const Fe::MultiplayerRequest& Request() const;
    Session* GetSession() const;

    Fe::Frontend* frontend; // not owned
    std::unique_ptr<World> world;
    Gui::Desktop* gui = nullptr; // owned
    std::unique_ptr<NetworkObjects> network;
    Audio::MusicPlayer* music = nullptr;      // owned
    Audio::SoundGroup* sounds = nullptr;      // owned: the overlay's and the world's
    Audio::SoundGroup* musicSounds = nullptr; // owned: the music's
    Base::SmartPtr<Obj::Object> localPilot;
    float respawnTime = -1.0f;
    ScoreKeeper score;
    uint32_t spawned = 0; // airplanes this peer has spawned
    bool chatOpen = false;
    // The standing airplane was re-armed; cleared once it moves. One for each game.
    bool rearmed = false;
    Input::Keyboard* keyboard; // not owned, may be null
    Input::Mouse* mouse;       // not owned, may be null
    Input::Joystick* joystick; // not owned, may be null
    uint32_t framesPresented = 0;

private:
    const Base::Config& Settings() const;
    void Spawn(float x, float z, float altitude, float heading);
    void Render();

    std::unique_ptr<Fe::MultiplayerRequest> ownRequest; // of a game made without a front end
};

} // namespace MPlr
