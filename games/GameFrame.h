// The frame steps that the single-player and the multiplayer game share: their overlay, the devices and sound
// group their world reads, the game music, the 3D sound listener, drawing a frame, and what happens when the
// front end comes over the game.
#pragma once

#include <functional>

namespace Audio {
class MusicPlayer;
class SoundGroup;
} // namespace Audio
namespace Base {
class Config;
}
namespace Cameras {
class Basic;
}
namespace Fe {
class Frontend;
}
namespace Grp {
class World;
}
namespace Gui {
class Desktop;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input

namespace SPlr {

// The settings of a game without a front end (tests that build a game alone).
const Base::Config& DefaultSettings();

// The in-game overlay from "Game.gui" on the game's keyboard and mouse, with its own sound group (the
// desktop's `sounds`, owned by the caller) and the screen's rectangle. A missing or damaged file leaves the
// overlay empty, said once; the game itself goes on.
Gui::Desktop* LoadOverlay(Input::Keyboard* keyboard, Input::Mouse* mouse);

// The world's sound group and devices.
void AttachDevices(Grp::World& world, Audio::SoundGroup* sounds, Input::Keyboard* keyboard,
                   Input::Mouse* mouse, Input::Joystick* joystick);

// The area the airplanes keep inside (and the multiplayer game's respawns are placed over): the extent of
// the world's terrain. Nothing without a terrain.
void KeepInsideTerrain(Grp::World& world);

// The game music: the game playlist in a loop on a sound group of its own (`musicSounds`, owned by the
// caller), started by the first update.
Audio::MusicPlayer* CreateGameMusic(Audio::SoundGroup*& musicSounds);
void UpdateMusic(Audio::MusicPlayer& music, float volume);

// The world's sounds at this volume, heard from the camera (when there is one).
void UpdateWorldSound(Grp::World& world, const Cameras::Basic* camera, float volume);

// Clears the camera's depth and stencil; a lost or busy device waits 100 ms and gives false, and the frame
// is then neither drawn nor shown.
bool ClearFrame(Cameras::Basic& camera);

// The world's visible renderables seen through the camera, the overlay over them and then the game's own
// texts (`texts`); the frame is shown when `present`.
void DrawFrame(Cameras::Basic& camera, Grp::World& world, Gui::Desktop* gui,
               const std::function<void()>& texts, bool present);

// The front end comes over the game: its map shows the world as it was left, and the world's sounds stop
// (at once when `force`).
void LeaveForFrontend(Fe::Frontend* frontend, Grp::World& world, bool force);

} // namespace SPlr
