// The front end: the menu pages between games. For now it has no pages to show: it keeps the player's
// settings and time, and asks nothing of the main loop.
#pragma once

#include "base/AppActions.h"
#include "base/Config.h"
#include "base/String.h"

namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input
namespace MPlr {
class Session;
}

namespace Fe {

class Frontend {
public:
    // Reads the settings from "Config.dat" (defaults when it is missing).
    Frontend(Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick,
             MPlr::Session* session);
    // Saves the settings to "Config.dat".
    virtual ~Frontend();
    Frontend(const Frontend&) = delete;
    Frontend& operator=(const Frontend&) = delete;

    App::FrontendAction Update();
    void OnResize(int width, int height);
    // The named page is shown after half the transition time (at the next update for 0).
    void ShowPage(const char* name, float transitionTime);

    Base::Config Settings;
    Base::String PendingPage;
    float TransitionTime = 0.0f;
};

} // namespace Fe
