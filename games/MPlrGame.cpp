#include "games/MPlrGame.h"

#include "base/FrameClock.h"

namespace MPlr {

Game::Game(Fe::Frontend*, Input::Keyboard*, Input::Mouse*, Input::Joystick*) {}

Game::~Game() = default;

App::GameAction Game::Update(bool background) {
    if (!background)
        Base::FrameClock::Tick();
    return App::GameGoOn;
}

} // namespace MPlr
