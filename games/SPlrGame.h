// The single-player game. For now it has no world, mission or drawing: it keeps time and goes on.
#pragma once

#include "base/AppActions.h"

namespace Fe {
class Frontend;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input

namespace SPlr {

class Game {
public:
    Game(Fe::Frontend* frontend, Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick);
    virtual ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // In the background (paused under the front end) it does not tick the frame clock.
    App::GameAction Update(bool background);
};

} // namespace SPlr
