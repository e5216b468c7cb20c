// The front end: the menu pages between games. For now it has no pages, camera or music of its own: it
// keeps the player's settings and time, and asks nothing of the main loop.
#pragma once

#include "base/AppActions.h"
#include "base/Config.h"
#include "base/String.h"

#include <cstdint>

namespace Audio {
class MusicPlayer;
}
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
    // After the display's size changed.
    void OnResize();
    // The named page is shown after half the duration (at the next update for 0).
    void SwitchPage(const Base::String& name, float duration);

    MPlr::Session* session;    // not owned
    Audio::MusicPlayer* music; // owned; null while there is no menu music
    Input::Joystick* joystick; // not owned, may be null
    Base::Config config;       // the program's settings
    uint32_t action = 0;       // App::FrontendAction of the current update
    float transitionDuration = 0.0f;
    Base::String targetPageName; // the page being switched to; empty: none
};

} // namespace Fe
