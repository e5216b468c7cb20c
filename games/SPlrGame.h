// The single-player game: one running mission with its world, the in-game overlay, the game music and the
// camera set it is seen through. The main loop creates it when the front end starts or restarts a
// single-player game, updates it once a frame (in the background while the front end is shown over it) and
// deletes it when the game ends.
#pragma once

#include "cameras/CamerasManager.h"

#include "base/AppActions.h"
#include "base/Config.h"
#include "base/SmartPtr.h"
#include "base/String.h"
#include "mission/GameRequest.h"
#include "mission/Host.h"
#include "scene/World.h"

#include <cstdint>
#include <memory>

namespace Audio {
class MusicPlayer;
class SoundGroup;
} // namespace Audio
namespace Fe {
class Frontend;
}
namespace Gui {
class Desktop;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input
namespace Mission {
class Mission;
}
namespace Obj {
class Airplane;
class Frame;
} // namespace Obj

namespace SPlr {

// The game's world: it takes every object down before the world itself goes.
class World : public Grp::World {
public:
    World() = default;
    ~World() override;
};

// The time keys' effect on the world time's rate. Pause resumes at 1 when the frame's step was not
// positive (time stood still), and stops time otherwise; TimeCmp cycles 1, 2, 4, 8, 1; Minus halves down to 0
// below about 1/1024; Plus doubles from 0 to 1/1024 and up to 16.
float PauseRate(float step);
float TimeCmpRate(float rate);
float TimeCmpMinusRate(float rate);
float TimeCmpPlusRate(float rate);

// A key-assignment entry fires on its key pressed this frame with its modifiers (or any, 0xFF), or on its
// joystick button pressed this frame. Either device may be null.
bool AssignmentFires(const Base::KeyAssignment& entry, const Input::Keyboard* keyboard,
                     const Input::Joystick* joystick);

// The blinking text over a game whose time does not run at rate 1: "Paused", "Time x 2", "Time / 4"
// (from the strings file); empty at rate 1.
Base::String TimeFlowText(float rate);

class Game : public CamerasManager, public Mission::Host {
public:
    // The key-assignment entries of the time keys.
    static constexpr int PauseEntry = 18, TimeCmpEntry = 19, TimeCmpMinusEntry = 20, TimeCmpPlusEntry = 21;

    // Any device may be null. The settings and the request are the front end's.
    Game(Fe::Frontend* frontend, Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick);
    ~Game() override;
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // One frame: 0 go on, 2 Escape (pause under the front end), 3 the mission is over. In the background
    // (the front end shown over the game) only the music plays.
    App::GameAction Update(bool background);

    // The blinking time-flow text at the screen's centre, inside the camera's update.
    void DrawTimeFlow();

    // The camera that renders the frame.
    Cameras::Basic* CurrentCamera() const { return current; }
    // The player's airplane, while it lives.
    Obj::Airplane* PlayerAirplane() const { return playerAirplane.Get(); }

    // What the running mission asks of its game.
    Grp::World* GetWorld() override { return world.get(); }
    Fe::GameRequest& GetRequest() override;
    const Base::Config* GetSettings() override;
    Gui::Announcer* GetAnnouncer() override;
    void EndMission() override { result = App::GameMissionOver; }
    void SetCameraTarget(Obj::Frame* target) override;
    void SetCurrentCamera(int camera) override;
    void SetPlayer(Obj::Object* pilot, Obj::Airplane* airplane) override;
    using CamerasManager::SetCurrentCamera;
    using CamerasManager::SetPlayer;

    Fe::Frontend* frontend;                   // not owned
    std::unique_ptr<World> world;             // the game world
    Gui::Desktop* gui = nullptr;              // owned: the in-game overlay
    Mission::Mission* mission = nullptr;      // owned: the request's mission; null for the built-in flight
    Audio::MusicPlayer* music = nullptr;      // owned
    Audio::SoundGroup* sounds = nullptr;      // owned: the overlay's and the world's sounds
    Audio::SoundGroup* musicSounds = nullptr; // owned: the music player's
    uint32_t result = 0;                      // App::GameAction of the current update
    uint32_t startFrame = 0;                  // frames are presented once the counter is past this + 3
    Input::Keyboard* keyboard;                // not owned, may be null
    Input::Mouse* mouse;                      // not owned, may be null
    Input::Joystick* joystick;                // not owned, may be null
    // Frames presented so far; tests read it.
    uint32_t framesPresented = 0;
    // False: each update runs the whole frame but its drawing (the test rig's long runs).
    bool drawing = true;

    // The window focus as the game sees it; tests put their own in its place.
    static inline bool (*HasFocus)() = nullptr;

private:
    const Base::Config& Settings() const;
    void StartFlight();
    void Render();

    Fe::GameRequest ownRequest; // the request of a game made without a front end
};

} // namespace SPlr
